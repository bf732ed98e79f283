#include "LeagueSite.h"

#include "LeagueFiles.h"
#include "LeagueHistory.h"
#include "LeagueMetrics.h"
#include "LeaguePages.h"
#include "StandingBadge.h"

#include <algorithm>

namespace {

const QByteArray Html = "text/html; charset=utf-8";
const QByteArray Text = "text/plain; charset=utf-8";

LeagueAnswer text(int status, const QByteArray& body)
{
    return {status, Text, body + '\n', false};
}

} // namespace

LeagueSite::LeagueSite(const LeagueHistory& history, const LeagueMetrics& metrics,
                       std::function<std::vector<QByteArray>()> players, LeaguePages::DisplayedName displayed,
                       std::function<QString()> notTaking, std::function<void(const QString&)> looked,
                       ShownTime shown)
    : m_history(history)
    , m_metrics(metrics)
    , m_players(std::move(players))
    , m_displayed(std::move(displayed))
    , m_notTaking(std::move(notTaking))
    , m_looked(std::move(looked))
    , m_shown(std::move(shown))
{
}

LeagueAnswer LeagueSite::answer(const QByteArray& method, const QByteArray& path) const
{
    if (method != "GET" && method != "HEAD")
        return text(405, "Only GET and HEAD are answered here.");
    if (path == "/") {
        std::vector<QByteArray> players = m_players();
        std::vector<QString> shownNames;
        shownNames.reserve(players.size());
        for (const QByteArray& player : players)
            shownNames.push_back(m_displayed(QString::fromUtf8(player)));
        if (m_grid.isEmpty() || players != m_gridPlayers || shownNames != m_gridNames) {
            m_grid = LeaguePages::grid(m_history, players, m_shown, m_displayed);
            m_gridPlayers = std::move(players);
            m_gridNames = std::move(shownNames);
        }
        if (!m_more.onGrid)
            return {200, Html, m_grid, false};
        QByteArray grid = m_grid;
        grid.replace("</body>", m_more.onGrid() + "</body>");
        return {200, Html, grid, false};
    }
    if (path == "/league.js")
        return {200, "text/javascript; charset=utf-8", LeagueFiles::bytes(LeagueFiles::File::GridScript), false};
    if (path == "/events")
        return {200, "text/event-stream", "retry: 1000\n\n", true};
    if (path == "/verdicts.json")
        return {200, "application/json", m_history.latestRecords(), false};
    if (path == "/metrics")
        return {200, "text/plain; version=0.0.4; charset=utf-8", m_metrics.exposition(), false};
    if (path == "/healthz")
    {
        const QString why = m_notTaking();
        return why.isEmpty() ? text(200, "ok") : text(503, why.toUtf8());
    }
    static const QByteArray Player = "/player/";
    if (path.startsWith(Player) && !path.mid(Player.size()).contains('/')) {
        const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(Player.size())));
        if (const LeagueHistory::Cars* cars = m_history.player(name)) {
            m_looked(name);
            return {200, Html, LeaguePages::player(name, *cars, m_shown, m_displayed), false};
        }
    }
    static const QByteArray Badge = "/badge/";
    if (path.startsWith(Badge) && path.endsWith(".svg") && !path.mid(Badge.size()).contains('/')) {
        const QByteArray id = QByteArray::fromPercentEncoding(path.mid(Badge.size(), path.size() - Badge.size() - 4));
        const LeagueHistory::Cars* cars = m_history.player(QString::fromUtf8(id));
        const std::vector<QByteArray> listed = m_players();
        if (cars || std::find(listed.begin(), listed.end(), id) != listed.end()) {
            const QString name = QString::fromUtf8(id);
            return {200, "image/svg+xml", StandingBadge::svg(m_displayed(name), StandingBadge::standing(cars)), false};
        }
    }
    if (m_more.answer) {
        if (std::optional<LeagueAnswer> answer = m_more.answer(path))
            return *answer;
    }
    return text(404, "Nothing here.");
}
