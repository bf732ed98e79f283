#pragma once

#include "DescriptorSections.h"
#include "Verdict.h"

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

// A descriptor's Key=Value lines as likeness() counts them.
struct KeyCounts {
    explicit KeyCounts(const DescriptorText& text);

    std::unordered_map<std::string, qint64> counts;
    qint64 total = 0;
};

// A genuine descriptor read once for comparing, in one reading: its lines,
// its sections, the names of its sections and keys in any letter case, and
// its keys as likeness() counts them. Made once a run and read by every
// thread.
struct GenuineText {
    GenuineText(QByteArray bytes, LineReading reading);
    GenuineText(const GenuineText&) = delete;
    GenuineText& operator=(const GenuineText&) = delete;

    const DescriptorText text;
    const DescriptorSections sections;
    const std::set<std::string> names;
    const KeyCounts keys;
};

// How a descriptor differs from its car's genuine one, read by section and
// key: values changed, added, missing, moved or repeated; damage (empty,
// binary, cut off), which explains the lines it took and nothing else; and
// formatting (line ends, a byte order mark, white space, comments, blank
// lines, order), which changes nothing the game reads. Values come first,
// in the descriptor's order, then damage, then formatting.
std::vector<Difference> compareDescriptors(const GenuineText& genuine, const DescriptorText& descriptor);

// How much of two descriptors' keys and values are the same, from 0 to 1:
// the share of the larger one's that the other holds too.
double likeness(const KeyCounts& one, const KeyCounts& other);
