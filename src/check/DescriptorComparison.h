#pragma once

#include "DescriptorSections.h"
#include "Verdict.h"

#include <vector>

// How a descriptor differs from its car's genuine one, read by section and
// key: values changed, added, missing, moved or repeated; damage (empty,
// binary, cut off), which explains the lines it took and nothing else; and
// formatting (line ends, a byte order mark, white space, comments, blank
// lines, order), which changes nothing the game reads. Values come first,
// in the descriptor's order, then damage, then formatting. The genuine
// descriptor comes read already, as it is read once a run.
std::vector<Difference> compareDescriptors(const SectionedText& genuine, const DescriptorText& descriptor);

// How much of two descriptors' keys and values are the same, from 0 to 1:
// the share of the larger one's that the other holds too.
double likeness(const DescriptorText& one, const DescriptorText& other);
