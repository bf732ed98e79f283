#include "LeagueSite.h"

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
                       std::function<bool()> taking, std::function<void(const QString&)> looked, ShownTime shown)
    : m_history(history)
    , m_metrics(metrics)
    , m_players(std::move(players))
    , m_displayed(std::move(displayed))
    , m_taking(std::move(taking))
    , m_looked(std::move(looked))
    , m_shown(std::move(shown))
{
}

LeagueAnswer LeagueSite::answer(const QByteArray& method, const QByteArray& path) const
{
    if (method != "GET" && method != "HEAD")
        return text(405, "Only GET and HEAD are answered here.");
    if (path == "/")
        return {200, Html, LeaguePages::grid(m_history, m_players(), m_shown, m_displayed), false};
    if (path == "/league.js")
        return {200, "text/javascript; charset=utf-8", LeaguePages::script(), false};
    if (path == "/events")
        return {200, "text/event-stream", "retry: 1000\n\n", true};
    if (path == "/verdicts.json")
        return {200, "application/json", m_history.latestRecords(), false};
    if (path == "/metrics")
        return {200, "text/plain; version=0.0.4; charset=utf-8", m_metrics.exposition(), false};
    if (path == "/healthz")
        return m_taking() ? text(200, "ok") : text(503, "stopping");
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
    return text(404, "Nothing here.");
}
