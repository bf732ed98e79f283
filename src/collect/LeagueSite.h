#pragma once

#include "ShownTime.h"

#include "LeaguePages.h"

#include <QByteArray>

#include <functional>
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
    // players: the roster's names now; displayed: the name shown for one; taking: whether the collector takes
    // files; looked: a player's page is about to be shown; shown: how
    // its times read.
    LeagueSite(const LeagueHistory& history, const LeagueMetrics& metrics,
               std::function<std::vector<QByteArray>()> players, LeaguePages::DisplayedName displayed,
               std::function<bool()> taking, std::function<void(const QString&)> looked, ShownTime shown);

    // method as sent ("GET"); path still percent-encoded, without its query.
    LeagueAnswer answer(const QByteArray& method, const QByteArray& path) const;

private:
    const LeagueHistory& m_history;
    const LeagueMetrics& m_metrics;
    std::function<std::vector<QByteArray>()> m_players;
    LeaguePages::DisplayedName m_displayed;
    std::function<bool()> m_taking;
    std::function<void(const QString&)> m_looked;
    ShownTime m_shown;
};
