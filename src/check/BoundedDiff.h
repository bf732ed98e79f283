#pragma once

#include <dtl/dtl.hpp>

#include <cstddef>
#include <vector>

// One step of a line diff: a line both have, one only the first has, one
// only the second has.
enum class DiffStep { Common, Delete, Add };

// How many lines, of both files together, the fine diff takes at most. A
// descriptor is about 250 lines; the fine diff's cost grows with the product
// of the lines and the changes, which a hostile 64 KiB file of one-byte
// lines would make large.
inline constexpr std::size_t FineDiffLines = 2000;

// A line diff whose cost has a bound: the lines the two have in common at
// either end are matched first, and what lies between goes through the fine
// diff when it is at most FineDiffLines lines; a longer middle is one
// stretch of lines lost and lines added.
template <typename Line>
std::vector<DiffStep> boundedDiff(const std::vector<Line>& first, const std::vector<Line>& second)
{
    std::size_t head = 0;
    while (head < first.size() && head < second.size() && first[head] == second[head])
        ++head;
    std::size_t tail = 0;
    while (tail < first.size() - head && tail < second.size() - head
           && first[first.size() - 1 - tail] == second[second.size() - 1 - tail])
        ++tail;
    std::vector<DiffStep> steps(head, DiffStep::Common);
    const std::vector<Line> firstMiddle(first.begin() + std::ptrdiff_t(head), first.end() - std::ptrdiff_t(tail));
    const std::vector<Line> secondMiddle(second.begin() + std::ptrdiff_t(head), second.end() - std::ptrdiff_t(tail));
    if (firstMiddle.size() + secondMiddle.size() <= FineDiffLines) {
        dtl::Diff<Line> diff(firstMiddle, secondMiddle);
        diff.compose();
        for (const auto& [line, info] : diff.getSes().getSequence()) {
            steps.push_back(info.type == dtl::SES_COMMON   ? DiffStep::Common
                            : info.type == dtl::SES_DELETE ? DiffStep::Delete
                                                           : DiffStep::Add);
        }
    } else {
        steps.insert(steps.end(), firstMiddle.size(), DiffStep::Delete);
        steps.insert(steps.end(), secondMiddle.size(), DiffStep::Add);
    }
    steps.insert(steps.end(), tail, DiffStep::Common);
    return steps;
}
