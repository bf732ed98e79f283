#include "DescriptorComparison.h"

#include <QStringList>

#include "BoundedDiff.h"
#include "DescriptorSections.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

using Kind = TextLine::Kind;

std::string_view viewOf(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), size_t(bytes.size()));
}

QByteArray bytesOf(QByteArrayView view)
{
    return view.toByteArray();
}

constexpr std::string_view NoSection = DescriptorSections::NoSection;

std::string_view sectionOf(const TextLine& line)
{
    return DescriptorSections::sectionOf(line);
}

std::optional<QByteArray> sectionName(std::string_view section)
{
    if (section == NoSection)
        return std::nullopt;
    return QByteArray(section.data(), qsizetype(section.size()));
}

// Up to three line numbers, as "(lines 4, 9, 12, …)".
QString examples(const std::vector<qint64>& lines)
{
    QStringList shown;
    for (std::size_t i = 0; i < lines.size() && i < 3; ++i)
        shown << QString::number(lines[i]);
    if (lines.size() > 3)
        shown << QStringLiteral("...");
    return QStringLiteral(" (line%1 %2)").arg(lines.size() == 1 ? QString() : QStringLiteral("s"), shown.join(QStringLiteral(", ")));
}

QString lineCount(std::size_t count)
{
    return count == 1 ? QStringLiteral("1 line has") : QStringLiteral("%1 lines have").arg(count);
}

Difference inWords(Difference::Class kind, const QString& words)
{
    Difference difference;
    difference.kind = kind;
    difference.value = words.toUtf8();
    return difference;
}

// The lines that damage explains: the descriptor's own damaged lines and
// the genuine lines that are gone where they are. Keys gone where control
// bytes are are named, as explained by the damage; those gone with the end
// of a file cut off are not (the cut names where it is).
struct Damage {
    std::set<qint64> descriptorLines;
    std::set<qint64> genuineLines;
    std::set<qint64> cutGenuineLines;
    std::vector<Difference> differences;
};

// A file cut off: it ends inside a line, without a line end, where that line
// is the start of a genuine line, and every genuine key after that one is
// gone. A whole last line (one the genuine file holds as it stands) only
// lacks its line end: the game reads it, and nothing is cut. The cut line
// and everything after it are the damage's; a cut Key=Value line is named
// with the value it reads as, explained by the damage, when that is the
// start of the genuine value (a value of its own is no cut: see above).
void findCut(const DescriptorText& genuine, const DescriptorText& descriptor, Damage* damage)
{
    if (descriptor.endsWithLineEnd() || descriptor.lines().empty())
        return;
    const TextLine& last = descriptor.lines().back();
    if (last.kind == Kind::Blank || last.binary)
        return;
    std::set<std::pair<std::string_view, std::string_view>> keysLeft;
    const TextLine* before = nullptr; // the last line before it that is not blank
    for (const TextLine& line : descriptor.lines()) {
        if (&line == &last)
            break;
        if (line.kind == Kind::Key)
            keysLeft.emplace(sectionOf(line), viewOf(line.key));
        if (line.kind != Kind::Blank)
            before = &line;
    }
    const QByteArrayView partial = trimmedField(last.raw);
    const std::vector<TextLine>& lines = genuine.lines();
    const auto whole = [partial](const TextLine& line) { return trimmedField(line.raw) == partial; };
    if (std::any_of(lines.begin(), lines.end(), whole))
        return;
    // From the end, the first genuine line whose keys after it are all gone.
    std::size_t keptUpTo = lines.size();
    while (keptUpTo > 0) {
        const TextLine& line = lines[keptUpTo - 1];
        if (line.kind == Kind::Key && keysLeft.count({sectionOf(line), viewOf(line.key)}))
            break;
        --keptUpTo;
    }
    // Of the genuine lines it is the start of, the one that follows what the
    // descriptor's line before it is (a comment such as "; ----" stands more
    // than once), else the first.
    std::optional<std::size_t> first;
    std::optional<std::size_t> following;
    const TextLine* genuineBefore = nullptr;
    for (std::size_t at = 0; at < lines.size() && !following; ++at) {
        if (at >= keptUpTo && lines[at].kind != Kind::Blank && trimmedField(lines[at].raw).startsWith(partial)) {
            first = first ? first : at;
            if (before && genuineBefore && trimmedField(genuineBefore->raw) == trimmedField(before->raw))
                following = at;
        }
        if (lines[at].kind != Kind::Blank)
            genuineBefore = &lines[at];
    }
    const std::optional<std::size_t> cutAt = following ? following : first;
    if (!cutAt)
        return;
    const TextLine& cut = lines[*cutAt];
    damage->descriptorLines.insert(last.number);
    for (std::size_t gone = *cutAt; gone < lines.size(); ++gone) {
        damage->genuineLines.insert(lines[gone].number);
        damage->cutGenuineLines.insert(lines[gone].number);
    }
    if (last.kind == Kind::Key && cut.kind == Kind::Key && last.key == cut.key && last.value != cut.value) {
        Difference changed;
        changed.kind = Difference::Class::Changed;
        changed.section = sectionName(sectionOf(cut));
        changed.key = bytesOf(cut.key);
        changed.genuine = bytesOf(cut.value);
        changed.genuineLine = cut.number;
        changed.value = bytesOf(last.value);
        changed.line = last.number;
        changed.byDamage = true;
        damage->differences.push_back(changed);
    }
    damage->differences.push_back(inWords(
        Difference::Class::Damaged, QStringLiteral("cut off after line %1 of %2").arg(cut.number - 1).arg(lines.size())));
}

// A line as the diff of whole files compares it: what it means, where it
// is, and never equal to another when it is damaged.
std::string token(const TextLine& line)
{
    if (line.binary)
        return "\x01" + std::to_string(line.number);
    switch (line.kind) {
    case Kind::Section:
        return "[" + std::string(viewOf(line.section)) + "]";
    case Kind::Key:
        return std::string(sectionOf(line)) + "\x1f" + std::string(viewOf(line.key)) + "=" + std::string(viewOf(line.value));
    default:
        return std::string(viewOf(line.value));
    }
}

// The genuine lines lost to the damage in one stretch of a diff that holds
// a damaged line: those where damaged lines, and nothing else but blank
// lines and comments, stand in their place, between the nearest genuine
// lines before and after them found intact. Lines the stretch holds on both
// sides, once each, in the same order, are those found intact: a long
// stretch (see boundedDiff) holds most of the file.
void claimLost(const std::vector<std::string>& genuineTokens, const std::vector<const TextLine*>& genuineLines,
               const std::vector<bool>& genuineKept, const std::vector<std::string>& descriptorTokens,
               const std::vector<const TextLine*>& descriptorLines, std::pair<std::size_t, std::size_t> genuineRange,
               std::pair<std::size_t, std::size_t> descriptorRange, std::set<qint64>* lost)
{
    const auto substantial = [](const TextLine& line) { return line.kind != Kind::Blank && line.kind != Kind::Comment; };
    // Per token: how often each side has it, and where.
    struct Seen {
        int genuineCount = 0;
        int descriptorCount = 0;
        std::size_t genuineAt = 0;
        std::size_t descriptorAt = 0;
    };
    std::unordered_map<std::string_view, Seen> seen;
    for (std::size_t at = genuineRange.first; at < genuineRange.second; ++at) {
        if (genuineLines[at]->kind != Kind::Blank) {
            Seen& entry = seen[genuineTokens[at]];
            ++entry.genuineCount;
            entry.genuineAt = at;
        }
    }
    for (std::size_t at = descriptorRange.first; at < descriptorRange.second; ++at) {
        if (descriptorLines[at]->kind == Kind::Blank || descriptorLines[at]->binary)
            continue;
        if (const auto found = seen.find(descriptorTokens[at]); found != seen.end()) {
            ++found->second.descriptorCount;
            found->second.descriptorAt = at;
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> pairs; // genuine, descriptor
    for (std::size_t at = genuineRange.first; at < genuineRange.second; ++at) {
        if (genuineLines[at]->kind == Kind::Blank)
            continue;
        const Seen& entry = seen.at(genuineTokens[at]);
        if (entry.genuineCount == 1 && entry.descriptorCount == 1)
            pairs.emplace_back(at, entry.descriptorAt);
    }
    // The longest run of them in the same order on both sides.
    std::vector<std::size_t> tails;
    std::vector<std::ptrdiff_t> before(pairs.size(), -1);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const auto place = std::lower_bound(tails.begin(), tails.end(), pairs[i].second,
                                            [&pairs](std::size_t index, std::size_t at) { return pairs[index].second < at; });
        if (place != tails.begin())
            before[i] = std::ptrdiff_t(*(place - 1));
        if (place == tails.end())
            tails.push_back(i);
        else
            *place = i;
    }
    std::vector<std::pair<std::size_t, std::size_t>> intact;
    for (std::ptrdiff_t i = tails.empty() ? -1 : std::ptrdiff_t(tails.back()); i >= 0; i = before[std::size_t(i)])
        intact.push_back(pairs[std::size_t(i)]);
    std::reverse(intact.begin(), intact.end());
    intact.emplace_back(genuineRange.second, descriptorRange.second);

    std::pair<std::size_t, std::size_t> from{genuineRange.first, descriptorRange.first};
    for (const auto& [genuineAt, descriptorAt] : intact) {
        bool damaged = false;
        bool other = false;
        for (std::size_t at = from.second; at < descriptorAt; ++at) {
            damaged = damaged || descriptorLines[at]->binary;
            other = other || (!descriptorLines[at]->binary && substantial(*descriptorLines[at]));
        }
        if (damaged && !other) {
            for (std::size_t at = from.first; at < genuineAt; ++at) {
                if (!genuineKept[at])
                    lost->insert(genuineLines[at]->number);
            }
        }
        from = {genuineAt + 1, descriptorAt + 1};
    }
}

// Binary bytes: a line that holds them is damaged, and so are the genuine
// lines gone in its place (see claimLost).
void findBinary(const DescriptorText& genuine, const DescriptorText& descriptor, Damage* damage)
{
    if (!descriptor.hasBinary())
        return;
    std::vector<qint64> binaryLines;
    for (const TextLine& line : descriptor.lines()) {
        if (line.binary)
            binaryLines.push_back(line.number);
    }
    // Blank lines too, so that those gone with the damage are its own.
    std::vector<std::string> genuineTokens;
    std::vector<const TextLine*> genuineLines;
    for (const TextLine& line : genuine.lines()) {
        genuineTokens.push_back(token(line));
        genuineLines.push_back(&line);
    }
    std::vector<std::string> descriptorTokens;
    std::vector<const TextLine*> descriptorLines;
    for (const TextLine& line : descriptor.lines()) {
        descriptorTokens.push_back(token(line));
        descriptorLines.push_back(&line);
    }
    const std::vector<DiffStep> steps = boundedDiff(genuineTokens, descriptorTokens);
    std::vector<bool> genuineKept(genuineLines.size(), false);
    bool hunkDamaged = false;
    std::size_t genuineAt = 0;
    std::size_t descriptorAt = 0;
    std::pair<std::size_t, std::size_t> hunkFrom{0, 0};
    const auto closeHunk = [&] {
        if (hunkDamaged) {
            claimLost(genuineTokens, genuineLines, genuineKept, descriptorTokens, descriptorLines,
                      {hunkFrom.first, genuineAt}, {hunkFrom.second, descriptorAt}, &damage->genuineLines);
        }
        hunkDamaged = false;
    };
    for (const DiffStep step : steps) {
        switch (step) {
        case DiffStep::Common:
            genuineKept[genuineAt] = true;
            // A blank line between two stretches of damage does not part them.
            if (genuineLines[genuineAt]->kind != Kind::Blank) {
                closeHunk();
                hunkFrom = {genuineAt + 1, descriptorAt + 1};
            }
            ++genuineAt;
            ++descriptorAt;
            break;
        case DiffStep::Delete:
            ++genuineAt;
            break;
        case DiffStep::Add:
            hunkDamaged = hunkDamaged || descriptorLines[descriptorAt]->binary;
            ++descriptorAt;
            break;
        }
    }
    closeHunk();
    damage->descriptorLines.insert(binaryLines.begin(), binaryLines.end());
    const QString holding = binaryLines.size() == 1 ? QStringLiteral("1 line holds")
                                                    : QStringLiteral("%1 lines hold").arg(binaryLines.size());
    damage->differences.push_back(
        inWords(Difference::Class::Damaged,
                holding + QStringLiteral(" NUL or other control bytes that no editor writes") + examples(binaryLines)));
}

Difference valueDifference(Difference::Class kind, std::string_view section, const TextLine* genuine,
                           const TextLine* descriptor)
{
    Difference difference;
    difference.kind = kind;
    difference.section = sectionName(section);
    const TextLine* either = descriptor ? descriptor : genuine;
    if (either->kind == Kind::Key)
        difference.key = bytesOf(either->key);
    if (genuine) {
        difference.genuine = bytesOf(genuine->value);
        difference.genuineLine = genuine->number;
    }
    if (descriptor) {
        difference.value = bytesOf(descriptor->value);
        difference.line = descriptor->number;
    }
    return difference;
}

std::string folded(QByteArrayView name)
{
    return name.toByteArray().toLower().toStdString();
}

// Lines that are not Key=Value, compared as a bag: those the genuine section
// has more of are missing, those the descriptor has more of are added.
void comparePlain(std::string_view name, const SectionLines* genuine, const SectionLines* descriptor,
                  std::vector<Difference>* missing, std::vector<Difference>* added)
{
    std::unordered_map<std::string_view, std::vector<const TextLine*>> left;
    if (genuine) {
        for (const TextLine* line : genuine->plain)
            left[viewOf(line->value)].push_back(line);
    }
    if (descriptor) {
        for (const TextLine* line : descriptor->plain) {
            std::vector<const TextLine*>& same = left[viewOf(line->value)];
            if (same.empty())
                added->push_back(valueDifference(Difference::Class::Added, name, nullptr, line));
            else
                same.erase(same.begin());
        }
    }
    if (!genuine)
        return;
    for (const TextLine* line : genuine->plain) {
        std::vector<const TextLine*>& same = left[viewOf(line->value)];
        if (std::find(same.begin(), same.end(), line) != same.end())
            missing->push_back(valueDifference(Difference::Class::Missing, name, line, nullptr));
    }
}

// The keys of one section present in both: values compared in order, the
// genuine file's repeats kept, the descriptor's extra ones duplicates.
void compareKeys(std::string_view name, const SectionLines* genuine, const SectionLines* descriptor,
                 std::vector<Difference>* values, std::vector<Difference>* missing, std::vector<Difference>* added)
{
    static const std::vector<const TextLine*> none;
    if (genuine) {
        for (const std::string_view key : genuine->keyOrder) {
            const std::vector<const TextLine*>& expected = genuine->keys.at(key);
            const std::vector<const TextLine*>* presentLines = &none;
            if (descriptor) {
                if (const auto found = descriptor->keys.find(key); found != descriptor->keys.end())
                    presentLines = &found->second;
            }
            const std::vector<const TextLine*>& present = *presentLines;
            for (std::size_t i = 0; i < expected.size() || i < present.size(); ++i) {
                if (i < expected.size() && i < present.size()) {
                    if (expected[i]->value != present[i]->value)
                        values->push_back(valueDifference(Difference::Class::Changed, name, expected[i], present[i]));
                } else if (i < expected.size()) {
                    missing->push_back(valueDifference(Difference::Class::Missing, name, expected[i], nullptr));
                } else {
                    Difference duplicate = valueDifference(Difference::Class::Duplicate, name, nullptr, present[i]);
                    duplicate.firstLine = present.front()->number;
                    values->push_back(duplicate);
                }
            }
        }
    }
    if (!descriptor)
        return;
    // The genuine keys by their names in lower case, made once a key the
    // genuine section has not is found.
    std::optional<std::unordered_map<std::string, std::string_view>> genuineFolded;
    for (const std::string_view key : descriptor->keyOrder) {
        if (genuine && genuine->keys.count(key))
            continue;
        const std::vector<const TextLine*>& present = descriptor->keys.at(key);
        // A key that differs from one the genuine section has, and the file
        // holds, only in letter case is that key again to a game that reads
        // keys in any case: a duplicate, by the genuine key's name.
        const auto variantOf = [&]() -> const std::vector<const TextLine*>* {
            if (!genuine)
                return nullptr;
            if (!genuineFolded) {
                genuineFolded.emplace();
                for (const std::string_view genuineKey : genuine->keyOrder)
                    genuineFolded->emplace(folded(genuineKey), genuineKey);
            }
            const auto genuineKey = genuineFolded->find(folded(key));
            if (genuineKey == genuineFolded->end())
                return nullptr;
            const auto found = descriptor->keys.find(genuineKey->second);
            return found == descriptor->keys.end() ? nullptr : &found->second;
        };
        if (const std::vector<const TextLine*>* same = variantOf()) {
            for (const TextLine* line : present) {
                const bool variantFirst = line->number < same->front()->number;
                const TextLine* first = variantFirst ? line : same->front();
                const TextLine* repeat = variantFirst ? same->front() : line;
                Difference duplicate = valueDifference(Difference::Class::Duplicate, name, nullptr, repeat);
                duplicate.key = bytesOf(same->front()->key);
                duplicate.firstLine = first->number;
                values->push_back(duplicate);
            }
            continue;
        }
        added->push_back(valueDifference(Difference::Class::Added, name, nullptr, present.front()));
        for (std::size_t i = 1; i < present.size(); ++i) {
            Difference duplicate = valueDifference(Difference::Class::Duplicate, name, nullptr, present[i]);
            duplicate.firstLine = present.front()->number;
            values->push_back(duplicate);
        }
    }
}

// A section's name as a game reads it that reads sections as the Windows
// INI reader does: up to the first ']', in any letter case.
std::string readName(std::string_view section)
{
    QByteArrayView name(section.data(), qsizetype(section.size()));
    if (const qsizetype end = name.indexOf(']'); end >= 0)
        name = trimmedField(name.first(end));
    return folded(name);
}

// A section started again, in any letter case: a game that lets the later
// one replace the earlier loses the earlier one's keys. Repeats beyond the
// genuine file's own are duplicates. An empty section that is not the car's
// is added: a game may read it all the same.
void compareHeaders(const DescriptorSections& genuine, const DescriptorSections& descriptor, std::vector<Difference>* values)
{
    std::map<std::string, std::size_t> genuineCount;
    for (const auto& [name, section] : genuine.byName())
        genuineCount[readName(name)] += section.headers.size();
    std::map<std::string, std::vector<const TextLine*>> byReadName;
    for (const std::string_view name : descriptor.order()) {
        const std::vector<const TextLine*>& headers = descriptor.byName().at(name).headers;
        byReadName[readName(name)].insert(byReadName[readName(name)].end(), headers.begin(), headers.end());
    }
    std::set<qint64> repeats;
    for (auto& [name, headers] : byReadName) {
        std::sort(headers.begin(), headers.end(),
                  [](const TextLine* a, const TextLine* b) { return a->number < b->number; });
        for (std::size_t i = std::max<std::size_t>(genuineCount[name], 1); i < headers.size(); ++i) {
            Difference duplicate;
            duplicate.kind = Difference::Class::Duplicate;
            duplicate.section = bytesOf(headers[i]->section);
            duplicate.line = headers[i]->number;
            duplicate.firstLine = headers.front()->number;
            values->push_back(duplicate);
            repeats.insert(headers[i]->number);
        }
    }
    for (const std::string_view name : descriptor.order()) {
        const SectionLines& section = descriptor.byName().at(name);
        if (genuine.find(name) || !section.keys.empty() || !section.plain.empty() || section.headers.empty()
            || repeats.count(section.headers.front()->number))
            continue;
        Difference added;
        added.kind = Difference::Class::Added;
        added.section = sectionName(name);
        added.line = section.headers.front()->number;
        values->push_back(added);
    }
}

// A genuine Key=Value missing from its section and added, unchanged, in
// another one was moved.
void pairMoved(std::vector<Difference>* missing, std::vector<Difference>* added, std::vector<Difference>* values)
{
    std::vector<bool> addedUsed(added->size(), false);
    std::vector<Difference> stillMissing;
    for (Difference& lost : *missing) {
        bool moved = false;
        for (std::size_t i = 0; lost.key && i < added->size() && !moved; ++i) {
            const Difference& found = (*added)[i];
            if (addedUsed[i] || found.key != lost.key || found.value != lost.genuine || found.section == lost.section)
                continue;
            addedUsed[i] = true;
            moved = true;
            Difference difference = lost;
            difference.kind = Difference::Class::Moved;
            difference.value = found.value;
            difference.line = found.line;
            difference.toSection = found.section;
            values->push_back(difference);
        }
        if (!moved)
            stillMissing.push_back(std::move(lost));
    }
    // Within added's room, never copied whole: a hostile file may add tens
    // of thousands.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < added->size(); ++i) {
        if (!addedUsed[i] && kept++ != i)
            (*added)[kept - 1] = std::move((*added)[i]);
    }
    added->resize(kept);
    added->insert(added->begin(), std::make_move_iterator(values->begin()), std::make_move_iterator(values->end()));
    *values = std::move(*added);
    values->insert(values->end(), std::make_move_iterator(stillMissing.begin()), std::make_move_iterator(stillMissing.end()));
}

// A file that is not sectioned text, line by line: what the genuine file
// has and it lacks is missing, what it has beyond is added.
void compareLines(const DescriptorText& genuine, const DescriptorText& descriptor, const Damage& damage,
                  std::vector<Difference>* values)
{
    std::vector<std::string_view> genuineLines;
    std::vector<const TextLine*> genuineSource;
    for (const TextLine& line : genuine.lines()) {
        if (line.kind != Kind::Blank) {
            genuineLines.push_back(viewOf(trimmedField(line.raw)));
            genuineSource.push_back(&line);
        }
    }
    std::vector<std::string_view> descriptorLines;
    std::vector<const TextLine*> descriptorSource;
    for (const TextLine& line : descriptor.lines()) {
        if (line.kind != Kind::Blank && !damage.descriptorLines.count(line.number)) {
            descriptorLines.push_back(viewOf(trimmedField(line.raw)));
            descriptorSource.push_back(&line);
        }
    }
    std::size_t genuineAt = 0;
    std::size_t descriptorAt = 0;
    for (const DiffStep step : boundedDiff(genuineLines, descriptorLines)) {
        Difference difference;
        if (step == DiffStep::Common) {
            ++genuineAt;
            ++descriptorAt;
            continue;
        }
        if (step == DiffStep::Delete) {
            const TextLine* line = genuineSource[genuineAt++];
            if (damage.genuineLines.count(line->number))
                continue;
            difference.kind = Difference::Class::Missing;
            difference.genuine = bytesOf(trimmedField(line->raw));
            difference.genuineLine = line->number;
        } else {
            const TextLine* line = descriptorSource[descriptorAt++];
            difference.kind = Difference::Class::Added;
            difference.value = bytesOf(trimmedField(line->raw));
            difference.line = line->number;
        }
        values->push_back(difference);
    }
}

// What differs in the bytes but not in what the game reads, outside what
// damage explains.
std::optional<Difference> formatting(const GenuineText& genuineRead, const DescriptorText& descriptor,
                                     const DescriptorSections& descriptorSections, const Damage& damage,
                                     bool valuesDiffer)
{
    const DescriptorText& genuine = genuineRead.text;
    const auto skippedOf = [&](const DescriptorText& text) -> const std::set<qint64>& {
        return &text == &genuine ? damage.genuineLines : damage.descriptorLines;
    };
    QStringList words;
    if (descriptor.hasByteOrderMark() && !genuine.hasByteOrderMark())
        words << QStringLiteral("it starts with a byte order mark");
    if (descriptor.hasDosEndMark() && !genuine.hasDosEndMark())
        words << QStringLiteral("it ends with a DOS end-of-file mark");

    const auto endsOf = [](const DescriptorText& text) {
        return std::array<qint64, 3>{text.crLfEnds(), text.lfEnds(), text.crEnds()};
    };
    const std::array<qint64, 3> ends = endsOf(descriptor);
    const std::array<qint64, 3> genuineEnds = endsOf(genuine);
    const auto only = [](const std::array<qint64, 3>& counts, int kind) {
        for (int i = 0; i < 3; ++i) {
            if ((i == kind) != (counts[size_t(i)] > 0))
                return false;
        }
        return true;
    };
    static const char* const EndNames[] = {"CR LF", "LF", "CR"};
    for (int kind = 0; kind < 3; ++kind) {
        if (only(ends, kind) && !only(genuineEnds, kind))
            words << QStringLiteral("line ends are %1 only").arg(QLatin1String(EndNames[kind]));
    }
    if (std::count_if(ends.begin(), ends.end(), [](qint64 count) { return count > 0; }) > 1) {
        QStringList mix;
        for (int kind = 0; kind < 3; ++kind) {
            if (ends[size_t(kind)] > 0)
                mix << QStringLiteral("%1 %2").arg(ends[size_t(kind)]).arg(QLatin1String(EndNames[kind]));
        }
        words << QStringLiteral("line ends are mixed (%1)").arg(mix.join(QStringLiteral(", ")));
    }

    // White space: trailing, around names and values, and tabs.
    const auto linesWhere = [&](const DescriptorText& text, auto&& test) {
        std::vector<qint64> numbers;
        for (const TextLine& line : text.lines()) {
            if (!skippedOf(text).count(line.number) && test(line))
                numbers.push_back(line.number);
        }
        return numbers;
    };
    const auto trailing = [](const TextLine& line) { return line.raw.endsWith(' ') || line.raw.endsWith('\t'); };
    const auto around = [](const TextLine& line) {
        QByteArrayView text = line.raw;
        while (text.endsWith(' ') || text.endsWith('\t'))
            text.chop(1);
        if (line.kind == Kind::Key)
            return text.size() != line.key.size() + 1 + line.value.size();
        if (line.kind == Kind::Section)
            return text.size() != line.section.size() + 2;
        return line.kind != Kind::Blank && text.size() != trimmedField(line.raw).size();
    };
    const auto tabs = [](const TextLine& line) { return line.raw.contains('\t'); };
    const auto report = [&](auto&& test, const QString& what) {
        const std::vector<qint64> found = linesWhere(descriptor, test);
        if (!found.empty() && found.size() != linesWhere(genuine, test).size())
            words << lineCount(found.size()) + u' ' + what + examples(found);
    };
    report(trailing, QStringLiteral("trailing white space"));
    report(around, QStringLiteral("white space before or around their text"));
    report(tabs, QStringLiteral("tabs"));
    words.replaceInStrings(QStringLiteral("have tabs"), QStringLiteral("hold tabs"));
    words.replaceInStrings(QStringLiteral("has tabs"), QStringLiteral("holds tabs"));

    const auto ofKind = [&](const DescriptorText& text, Kind kind) {
        std::vector<std::string_view> found;
        for (const TextLine& line : text.lines()) {
            if (line.kind == kind && !skippedOf(text).count(line.number))
                found.push_back(viewOf(line.value));
        }
        return found;
    };
    if (ofKind(descriptor, Kind::Comment) != ofKind(genuine, Kind::Comment))
        words << QStringLiteral("comments differ");
    const std::size_t blanks = ofKind(descriptor, Kind::Blank).size();
    const std::size_t genuineBlanks = ofKind(genuine, Kind::Blank).size();
    if (blanks != genuineBlanks)
        words << QStringLiteral("%1 blank lines where the genuine file has %2").arg(blanks).arg(genuineBlanks);
    // Where blank lines and comments lie among the others, when nothing else
    // tells the files apart: moved, they change nothing either.
    const auto layout = [&](const DescriptorText& text) {
        std::vector<Kind> kinds;
        for (const TextLine& line : text.lines()) {
            if (!skippedOf(text).count(line.number))
                kinds.push_back(line.kind == Kind::Blank || line.kind == Kind::Comment ? line.kind : Kind::Key);
        }
        return kinds;
    };
    if (words.isEmpty() && !valuesDiffer && layout(descriptor) != layout(genuine))
        words << QStringLiteral("blank lines or comments are elsewhere");

    // Order: of sections, and of keys within each section both have.
    // The genuine file's own, but where damage took some of its lines.
    std::optional<DescriptorSections> lessDamage;
    if (!damage.genuineLines.empty())
        lessDamage.emplace(genuine, damage.genuineLines);
    const DescriptorSections& genuineSections = lessDamage ? *lessDamage : genuineRead.sections;
    const auto common = [](const std::vector<std::string_view>& order, const auto& other) {
        std::vector<std::string_view> kept;
        for (const std::string_view name : order) {
            if (other.count(name))
                kept.push_back(name);
        }
        return kept;
    };
    if (common(descriptorSections.order(), genuineSections.byName()) != common(genuineSections.order(), descriptorSections.byName()))
        words << QStringLiteral("sections are in another order");
    QStringList reordered;
    for (const std::string_view name : genuineSections.order()) {
        const SectionLines* other = descriptorSections.find(name);
        const SectionLines& own = genuineSections.byName().at(name);
        if (other && common(other->keyOrder, own.keys) != common(own.keyOrder, other->keys))
            reordered << QStringLiteral("[%1]").arg(QString::fromUtf8(name.data(), qsizetype(name.size())));
    }
    if (!reordered.isEmpty())
        words << QStringLiteral("keys are in another order in %1").arg(reordered.join(QStringLiteral(", ")));

    if (words.isEmpty())
        return std::nullopt;
    return inWords(Difference::Class::Formatting, words.join(QStringLiteral("; ")));
}

// The names of a descriptor's sections and keys, in any letter case.
std::set<std::string> namesOf(const DescriptorText& text)
{
    std::set<std::string> names;
    for (const TextLine& line : text.lines()) {
        if (line.kind == Kind::Section)
            names.insert("[" + folded(line.section));
        else if (line.kind == Kind::Key)
            names.insert(folded(line.key));
    }
    return names;
}

// Whether the descriptor holds any of the genuine file's section headers or
// keys, in any case: a file that holds none is no descriptor, however a
// game reads names. One that holds any is judged by its values.
bool holdsAnyOf(const GenuineText& genuine, const DescriptorText& descriptor)
{
    return std::any_of(descriptor.lines().begin(), descriptor.lines().end(), [&genuine](const TextLine& line) {
        return (line.kind == Kind::Section && genuine.names.count("[" + folded(line.section)))
            || (line.kind == Kind::Key && genuine.names.count(folded(line.key)));
    });
}

qint64 position(const Difference& difference)
{
    return difference.line.value_or(difference.genuineLine.value_or(0));
}

} // namespace

std::vector<Difference> compareDescriptors(const GenuineText& genuineRead, const DescriptorText& descriptor)
{
    const DescriptorText& genuine = genuineRead.text;
    if (descriptor.isBlank()) {
        return {inWords(Difference::Class::Damaged, descriptor.bytes().isEmpty()
                                                        ? QStringLiteral("the file is empty")
                                                        : QStringLiteral("the file holds nothing but white space"))};
    }
    if (!holdsAnyOf(genuineRead, descriptor))
        return {inWords(Difference::Class::Damaged, QStringLiteral("not a descriptor"))};
    Damage damage;
    findCut(genuine, descriptor, &damage);
    findBinary(genuine, descriptor, &damage);

    const DescriptorSections descriptorSections(descriptor, damage.descriptorLines);
    std::vector<Difference> values;
    if (descriptor.isSectioned()) {
        const DescriptorSections& genuineSections = genuineRead.sections;
        std::vector<Difference> missing;
        std::vector<Difference> added;
        // Room for every difference there can be (one a line of either
        // file, and a few in words), so that they are never moved to more.
        added.reserve(genuine.lines().size() + descriptor.lines().size() + 4);
        for (const std::string_view name : genuineSections.order()) {
            const SectionLines* own = genuineSections.find(name);
            const SectionLines* other = descriptorSections.find(name);
            compareKeys(name, own, other, &values, &missing, &added);
            comparePlain(name, own, other, &missing, &added);
        }
        for (const std::string_view name : descriptorSections.order()) {
            const SectionLines* own = genuineSections.find(name);
            const SectionLines* other = descriptorSections.find(name);
            if (!own) {
                compareKeys(name, nullptr, other, &values, &missing, &added);
                comparePlain(name, nullptr, other, &missing, &added);
            }
        }
        compareHeaders(genuineSections, descriptorSections, &values);
        std::erase_if(missing, [&](const Difference& lost) { return damage.cutGenuineLines.count(*lost.genuineLine) > 0; });
        for (Difference& lost : missing)
            lost.byDamage = damage.genuineLines.count(*lost.genuineLine) > 0;
        pairMoved(&missing, &added, &values);
    } else {
        compareLines(genuine, descriptor, damage, &values);
    }
    std::stable_sort(values.begin(), values.end(),
                     [](const Difference& a, const Difference& b) { return position(a) < position(b); });

    values.insert(values.end(), damage.differences.begin(), damage.differences.end());
    if (std::optional<Difference> noise = formatting(genuineRead, descriptor, descriptorSections, damage, !values.empty()))
        values.push_back(*noise);
    return values;
}

KeyCounts::KeyCounts(const DescriptorText& text)
{
    for (const TextLine& line : text.lines()) {
        if (line.kind == Kind::Key) {
            ++counts[token(line)];
            ++total;
        }
    }
}

GenuineText::GenuineText(QByteArray bytes, LineReading reading)
    : text(std::move(bytes), reading)
    , sections(text)
    , names(namesOf(text))
    , keys(text)
{
}

double likeness(const KeyCounts& one, const KeyCounts& other)
{
    qint64 shared = 0;
    for (const auto& [token, count] : other.counts) {
        if (const auto found = one.counts.find(token); found != one.counts.end())
            shared += std::min(count, found->second);
    }
    const qint64 larger = std::max(one.total, other.total);
    return larger == 0 ? 0.0 : double(shared) / double(larger);
}
