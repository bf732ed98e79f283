#pragma once

#include "DescriptorFinder.h"
#include "Verdict.h"

#include <functional>
#include <vector>

class ReferenceFolder;
class ReferenceStore;

// Checks the descriptors found on as many threads as there are stores, one
// store a thread, and hands every verdict to report in the order found,
// whatever order the threads finish in. afterCheck runs on the checking
// thread, once a verdict is made (to correct a tweaked file, say).
void runChecks(const std::vector<FoundDescriptor>& found, const ReferenceFolder& reference,
               std::vector<std::unique_ptr<ReferenceStore>>& stores, const std::function<void(Verdict&)>& afterCheck,
               const std::function<void(const Verdict&, std::size_t done)>& report);
