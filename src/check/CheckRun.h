#pragma once

#include "DescriptorFinder.h"
#include "Verdict.h"

#include <functional>
#include <memory>
#include <vector>

class LeagueRules;
class ReferenceFolder;
class ReferenceStore;

// Checks every descriptor the finder gives on as many threads as there are
// stores, one store a thread, and hands each verdict to report in the order
// found, whatever order the threads finish in. The finder walks on ahead of
// the report by a bounded number of descriptors, so memory stays the same
// for a league of any size. afterCheck runs on the checking thread once a
// verdict is made (to correct a tweaked file, say). Once stopped says so,
// no further descriptor is taken: the checks under way finish and are
// reported, and the run returns false. Verdicts are judged by rules when
// given (checkDescriptor).
// A descriptor larger than largest is an error.
bool runChecks(DescriptorFinder& finder, const ReferenceFolder& reference,
               std::vector<std::unique_ptr<ReferenceStore>>& stores, qint64 largest, const LeagueRules* rules,
               const std::function<void(Verdict&)>& afterCheck,
               const std::function<void(const Verdict&, std::size_t done)>& report,
               const std::function<bool()>& stopped);
