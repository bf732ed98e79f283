#pragma once

#include "DescriptorText.h"

#include <map>
#include <set>
#include <string_view>
#include <vector>

// One section's Key=Value lines by key, its other lines, and the lines that
// start it.
struct SectionLines {
    std::map<std::string_view, std::vector<const TextLine*>> keys;
    std::vector<std::string_view> keyOrder; // by first appearance
    std::vector<const TextLine*> plain;
    std::vector<const TextLine*> headers; // every line that starts it
};

// A descriptor's lines by section, as the comparison reads them, leaving out
// the lines given as skipped (those damage took) unless a damaged line still
// reads as a Key or Section line. Lines before any section lie in the
// section named NoSection. It points into the text, which must outlive it.
class DescriptorSections
{
public:
    // A name no section can have.
    static constexpr std::string_view NoSection{"\0", 1};

    explicit DescriptorSections(const DescriptorText& text, const std::set<qint64>& skipped = {});

    const std::map<std::string_view, SectionLines>& byName() const { return m_byName; }
    const std::vector<std::string_view>& order() const { return m_order; } // by first appearance
    const SectionLines* find(std::string_view name) const;

    static std::string_view sectionOf(const TextLine& line);

private:
    std::map<std::string_view, SectionLines> m_byName;
    std::vector<std::string_view> m_order;
};
