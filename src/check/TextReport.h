#pragma once

#include "Verdict.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Verdicts for people: a line for each descriptor, its path escaped, its
// status and car and what the differences come to, then a line for each
// difference. Descriptor bytes show as Windows-1252; control characters
// other than tab show as "?", so that no descriptor can steer the terminal.
QString verdictText(const Verdict& verdict, const QByteArray& keptAs);

// One difference as a line: "changed [Engine] Torque: 412.5 -> 512.5 (line 16)".
QString differenceText(const Difference& difference);

// Descriptor bytes as a person may see them.
QString printable(const QByteArray& bytes);

// "N descriptors: G genuine, F formatting only, D damaged, T tweaked,
// E errors; P players, Q with tweaks", in the singular for one; under a
// league's rules "A allowed" too, and "; C corrected" when corrected is given.
QString summaryText(const qint64 (&counts)[Verdict::StatusCount], qint64 players, qint64 playersWithTweaks,
                    std::optional<qint64> corrected = std::nullopt, bool rules = false);
