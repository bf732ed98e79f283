#include "LeagueSite.h"

#include "LeagueHistory.h"
#include "LeagueMetrics.h"
#include "LeaguePages.h"

namespace {

const QByteArray Html = "text/html; charset=utf-8";
const QByteArray Text = "text/plain; charset=utf-8";

LeagueAnswer text(int status, const QByteArray& body)
{
    return {status, Text, body + '\n', false};
}

} // namespace

LeagueSite::LeagueSite(const LeagueHistory& history, const LeagueMetrics& metrics,
                       std::function<std::vector<QByteArray>()> players, std::function<QString()> notTaking,
                       std::function<void(const QString&)> looked)
    : m_history(history)
    , m_metrics(metrics)
    , m_players(std::move(players))
    , m_notTaking(std::move(notTaking))
    , m_looked(std::move(looked))
{
}

LeagueAnswer LeagueSite::answer(const QByteArray& method, const QByteArray& path) const
{
    if (method != "GET" && method != "HEAD")
        return text(405, "Only GET and HEAD are answered here.");
    if (path == "/") {
        std::vector<QByteArray> players = m_players();
        if (m_grid.isEmpty() || players != m_gridPlayers) {
            m_grid = LeaguePages::grid(m_history, players);
            m_gridPlayers = std::move(players);
        }
        if (!m_more.onGrid)
            return {200, Html, m_grid, false};
        QByteArray grid = m_grid;
        grid.replace("</body>", m_more.onGrid() + "</body>");
        return {200, Html, grid, false};
    }
    if (path == "/league.js")
        return {200, "text/javascript; charset=utf-8", LeaguePages::script(), false};
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
            return {200, Html, LeaguePages::player(name, *cars), false};
        }
    }
    if (m_more.answer) {
        if (std::optional<LeagueAnswer> answer = m_more.answer(path))
            return *answer;
    }
    return text(404, "Nothing here.");
}
