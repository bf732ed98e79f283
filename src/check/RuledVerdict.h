#pragma once

#include "Verdict.h"

class LeagueRules;

// Judges each difference of a verdict by a league's rules and settles its
// status again: a file whose only differences the rules allow (or
// formatting, while the league ignores it) is allowed, and counts as
// genuine; a value a rule names but does not allow keeps its rule and the
// reason; formatting counts as a tweak where the league says so.
void applyRules(Verdict& verdict, const LeagueRules& rules);
