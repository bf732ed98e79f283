#pragma once

#include "LeagueHistory.h"

#include <QByteArray>
#include <QString>

// A player's standing as a small flat SVG badge, for a stream overlay or a
// forum signature: the label "kestrix" and the standing in its colour.
namespace StandingBadge {

// Over the latest verdict of each car: "genuine" when each is genuine,
// formatting or allowed; else the worst of tweaked, damaged, refused (a
// car of refusals only) and error; "none" before any verdict.
QString standing(const LeagueHistory::Cars* cars);

// title: what a reader's tooltip says, such as the player's name. standing:
// one of the above, or an entrant's status in an event (passed, failed,
// incomplete), each in its colour.
QByteArray svg(const QString& title, const QString& standing);

} // namespace StandingBadge
