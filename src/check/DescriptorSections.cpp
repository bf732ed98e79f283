#include "DescriptorSections.h"

namespace {

std::string_view viewOf(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), size_t(bytes.size()));
}

// A damaged line that still reads as a Key or Section line (see TextLine):
// it is compared as that.
bool readsBeforeDamage(const TextLine& line)
{
    return line.binary && (line.kind == TextLine::Kind::Key || line.kind == TextLine::Kind::Section);
}

} // namespace

DescriptorSections::DescriptorSections(const DescriptorText& text, const std::set<qint64>& skipped)
{
    using Kind = TextLine::Kind;
    for (const TextLine& line : text.lines()) {
        if (skipped.count(line.number) && !readsBeforeDamage(line))
            continue;
        if (line.kind != Kind::Key && line.kind != Kind::Plain && line.kind != Kind::Section)
            continue;
        const std::string_view name = sectionOf(line);
        auto [entry, added] = m_byName.try_emplace(name);
        if (added)
            m_order.push_back(name);
        SectionLines& section = entry->second;
        if (line.kind == Kind::Key) {
            std::vector<const TextLine*>& lines = section.keys[viewOf(line.key)];
            if (lines.empty())
                section.keyOrder.push_back(viewOf(line.key));
            lines.push_back(&line);
        } else if (line.kind == Kind::Plain) {
            section.plain.push_back(&line);
        } else {
            section.headers.push_back(&line);
        }
    }
}

const SectionLines* DescriptorSections::find(std::string_view name) const
{
    const auto found = m_byName.find(name);
    return found == m_byName.end() ? nullptr : &found->second;
}

std::string_view DescriptorSections::sectionOf(const TextLine& line)
{
    return line.inSection ? viewOf(line.section) : NoSection;
}
