#pragma once

#include "LeagueHistory.h"
#include "ShownTime.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// The league page's HTML: the grid of every player's cars, kept live by
// league.js, and a player's own page. They stand on what the history holds,
// the evidence as the checking threads drew it: nothing here compares a file.
namespace LeaguePages {

// players: the roster's names, shown whether or not they sent anything;
// the history's players are shown too. Times are shown as times says, a
// player by the name displayed gives for his id; links keep the id.
using DisplayedName = std::function<QString(const QString& player)>;
QByteArray grid(const LeagueHistory& history, const std::vector<QByteArray>& players, const ShownTime& times,
                const DisplayedName& displayed);
QByteArray player(const QString& name, const LeagueHistory::Cars& cars, const ShownTime& times,
                  const DisplayedName& displayed);

// How a link names a player: every byte but the unreserved ones percent-encoded.
QByteArray playerLink(const QString& name);

} // namespace LeaguePages
