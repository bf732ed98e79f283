#pragma once

#include <QByteArray>

// How the league page fits a phone and a dark screen, on top of the
// report's own style: the grid and a player's evidence scroll in their own
// boxes rather than squeezing a letter to a line, and the colours turn dark
// where the reader's system asks for it.
namespace LeagueLayout {

QByteArray style();

} // namespace LeagueLayout
