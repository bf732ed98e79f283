#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The NOTE lines a player hears after "STORED|<status>|", before the
// collector closes (docs/player-preamble.md): the verdict's first
// differences and the player's page, so that the player knows what to put
// right. Each is UTF-8 escaped as the report escapes names, with "|" as
// "\x7C" too, and cut to fit the line.
namespace PlayerNotes {

inline constexpr int MostDifferences = 3;
// Without its LF: the longest line a sender takes.
inline constexpr qsizetype LongestLine = 512;

QByteArray noteLine(const QString& text);
// The notes of a verdict's first differences (MostDifferences at most), then
// of the player's page when there is one.
QByteArray lines(const QStringList& differences, const QString& playerPage);

} // namespace PlayerNotes
