#pragma once

#include "Verdict.h"

#include <QByteArray>

// Says which genuine line each tweak took the place of, and which genuine
// lines the descriptor lost with no tweak in their place, line by line as
// the window reads them. A tweak Key=Value takes the place of the genuine
// line of the same key in the same section when that one is gone; the
// tweaks left pair, in order, with the lines gone in the same place; a lost
// genuine line whose key its section no longer has is missing. A line that
// is only elsewhere now was moved, not lost.
void pairTweaks(const QByteArray& genuine, const QByteArray& descriptor, Verdict& verdict);
