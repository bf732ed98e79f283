#pragma once

#include "ShownTime.h"

#include "LeaguePages.h"

#include <QByteArray>

#include <functional>
#include <optional>
#include <vector>

class LeagueHistory;
class LeagueMetrics;

// What the league page answers, whatever carries it: read-only routes, each
// a whole answer but /events, which streams.
struct LeagueAnswer {
    int status = 200;
    QByteArray type;
    QByteArray body;
    bool stream = false;
};

class LeagueSite
{
public:
    // players: the roster's names now; displayed: the name shown for one;
    // notTaking: why the collector takes no files now, empty while it does;
    // looked: a player's page is about to be shown; shown: how its times read.
    LeagueSite(const LeagueHistory& history, const LeagueMetrics& metrics,
               std::function<std::vector<QByteArray>()> players, LeaguePages::DisplayedName displayed,
               std::function<QString()> notTaking, std::function<void(const QString&)> looked, ShownTime shown);

    // method as sent ("GET"); path still percent-encoded, without its query.
    LeagueAnswer answer(const QByteArray& method, const QByteArray& path) const;
    // The history changed: the grid is built again when next asked for.
    void historyChanged() { m_grid.clear(); }

    // Routes of another part of the collector (the race events), asked
    // before nothing is found, and what it adds to the grid's page.
    struct MoreRoutes {
        std::function<std::optional<LeagueAnswer>(const QByteArray& path)> answer;
        std::function<QByteArray()> onGrid;
    };
    void setMoreRoutes(MoreRoutes routes) { m_more = std::move(routes); }

private:
    const LeagueHistory& m_history;
    const LeagueMetrics& m_metrics;
    std::function<std::vector<QByteArray>()> m_players;
    LeaguePages::DisplayedName m_displayed;
    std::function<QString()> m_notTaking;
    std::function<void(const QString&)> m_looked;
    ShownTime m_shown;
    // Built once for each change of the history or the roster, not for
    // every request: a roster of thousands takes a while to draw.
    mutable QByteArray m_grid;
    mutable std::vector<QByteArray> m_gridPlayers;
    mutable std::vector<QString> m_gridNames;
    MoreRoutes m_more;
};
