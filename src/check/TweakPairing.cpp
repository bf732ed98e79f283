#include "TweakPairing.h"

#include "DescriptorText.h"

#include "BoundedDiff.h"

#include <set>
#include <string_view>
#include <unordered_map>

namespace {

std::string_view viewOf(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), size_t(bytes.size()));
}

// A line as the window reads it, with the section it lies in and its key.
struct WindowLine {
    std::string_view text;
    std::string_view section;
    std::string_view key; // empty for a line that is not Key=Value
};

// The lines as the window's scan reads them, bytes and all: the text's own
// lines (in the window's reading), the first with the byte order mark before
// it, and a DOS end-of-file mark at the end of the last, or a line of its
// own after a line end.
std::vector<WindowLine> windowLines(const DescriptorText& text)
{
    const QByteArray& bytes = text.bytes();
    std::vector<WindowLine> lines;
    for (const TextLine& line : text.lines())
        lines.push_back({viewOf(line.raw), {}, {}});
    if (lines.empty()) {
        if (!bytes.isEmpty())
            lines.push_back({viewOf(bytes), {}, {}});
    } else {
        if (text.hasByteOrderMark())
            lines.front().text = std::string_view(bytes.constData(), lines.front().text.size() + 3);
        if (text.hasDosEndMark() && text.lines().back().end == LineEnd::None)
            lines.back().text = std::string_view(lines.back().text.data(), lines.back().text.size() + 1);
        else if (text.hasDosEndMark())
            lines.push_back({std::string_view(bytes.constData() + bytes.size() - 1, 1), {}, {}});
    }
    std::string_view section;
    for (WindowLine& each : lines) {
        QByteArrayView name;
        QByteArrayView value;
        const TextLine::Kind kind = classifyLine(QByteArrayView(each.text.data(), qsizetype(each.text.size())), &name, &value);
        if (kind == TextLine::Kind::Section)
            section = viewOf(name);
        else if (kind == TextLine::Kind::Key)
            each.key = viewOf(name);
        each.section = section;
    }
    return lines;
}

QByteArray bytesOf(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

struct Lost {
    qint64 line = 0;
    const WindowLine* genuine = nullptr;
    std::size_t hunk = 0;
    bool paired = false;
};

struct Placed {
    Tweak* tweak = nullptr;
    const WindowLine* line = nullptr;
    std::size_t hunk = 0;
};

} // namespace

void pairTweaks(const DescriptorText& genuineText, const DescriptorText& descriptorText, Verdict& verdict)
{
    const std::vector<WindowLine> genuine = windowLines(genuineText);
    const std::vector<WindowLine> descriptor = windowLines(descriptorText);
    std::vector<std::string_view> genuineTexts;
    for (const WindowLine& line : genuine)
        genuineTexts.push_back(line.text);
    std::vector<std::string_view> descriptorTexts;
    std::set<std::pair<std::string_view, std::string_view>> descriptorKeys;
    for (const WindowLine& line : descriptor) {
        descriptorTexts.push_back(line.text);
        if (!line.key.empty())
            descriptorKeys.emplace(line.section, line.key);
    }

    // How many copies of a line the descriptor lost.
    std::unordered_map<std::string_view, qint64> lostCopies;
    for (const std::string_view line : genuineTexts)
        ++lostCopies[line];
    for (const std::string_view line : descriptorTexts)
        --lostCopies[line];

    std::unordered_map<qint64, Tweak*> tweakAt;
    for (Tweak& tweak : verdict.tweaks)
        tweakAt[tweak.line] = &tweak;

    // The lines lost and the tweaks, each with the hunk of the diff it lies
    // in: the stretch between two lines the files have in common. Line
    // numbers are counted here.
    std::vector<Lost> lost;
    std::vector<Placed> placed;
    std::size_t hunk = 0;
    qint64 genuineLine = 0;
    qint64 descriptorLine = 0;
    for (const DiffStep step : boundedDiff(genuineTexts, descriptorTexts)) {
        switch (step) {
        case DiffStep::Common:
            ++genuineLine;
            ++descriptorLine;
            ++hunk;
            break;
        case DiffStep::Delete:
            ++genuineLine;
            if (qint64& copies = lostCopies[genuineTexts[std::size_t(genuineLine - 1)]]; copies > 0) {
                --copies;
                lost.push_back({genuineLine, &genuine[std::size_t(genuineLine - 1)], hunk, false});
            }
            break;
        case DiffStep::Add:
            ++descriptorLine;
            if (const auto tweak = tweakAt.find(descriptorLine); tweak != tweakAt.end())
                placed.push_back({tweak->second, &descriptor[std::size_t(descriptorLine - 1)], hunk});
            break;
        }
    }

    // By key first, wherever the two lie.
    std::vector<bool> tweakPaired(placed.size(), false);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const WindowLine& line = *placed[i].line;
        if (line.key.empty())
            continue;
        for (Lost& gone : lost) {
            if (!gone.paired && gone.genuine->key == line.key && gone.genuine->section == line.section) {
                gone.paired = tweakPaired[i] = true;
                placed[i].tweak->genuine = bytesOf(gone.genuine->text);
                break;
            }
        }
    }
    // Then in order within a hunk, among the lost lines whose keys their
    // sections still have.
    std::size_t next = 0;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (tweakPaired[i])
            continue;
        for (std::size_t j = 0; j < lost.size(); ++j) {
            Lost& gone = lost[j];
            const bool keyKept = gone.genuine->key.empty() || descriptorKeys.count({gone.genuine->section, gone.genuine->key});
            if (gone.paired || gone.hunk != placed[i].hunk || !keyKept || j < next)
                continue;
            gone.paired = true;
            next = j + 1;
            placed[i].tweak->genuine = bytesOf(gone.genuine->text);
            break;
        }
    }
    for (const Lost& gone : lost) {
        if (!gone.paired)
            verdict.missing.push_back({gone.line, bytesOf(gone.genuine->text)});
    }
}
