#pragma once

#include "Verdict.h"

#include <QString>

// Verdicts for people: a line for a genuine descriptor; for a tweaked one a
// block with each tweak's line number and text and the genuine text it took
// the place of, or "added", then the lines it lost. Descriptor bytes show as
// Windows-1252; control characters other than tab show as "?", so that no
// descriptor can steer the terminal.
QString verdictText(const Verdict& verdict, const QString& keptAs);

// "N descriptors: G genuine, T tweaked, E errors", in the singular for one.
QString summaryText(qint64 genuine, qint64 tweaked, qint64 errors);

// Descriptor bytes as a person may see them.
QString printable(const QByteArray& bytes);
