#pragma once

#include "DescriptorText.h"
#include "Verdict.h"

// Says which genuine line each tweak took the place of, and which genuine
// lines the descriptor lost with no tweak in their place, line by line as
// the window reads them. A tweak Key=Value takes the place of the genuine
// line of the same key in the same section when that one is gone; the
// tweaks left pair, in order, with the lines gone in the same place; a lost
// genuine line whose key its section no longer has is missing. A line that
// is only elsewhere now was moved, not lost. Both texts are in the window's
// reading of their line ends (or read the same in either).
void pairTweaks(const DescriptorText& genuine, const DescriptorText& descriptor, Verdict& verdict);
