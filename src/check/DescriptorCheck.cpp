#include "DescriptorCheck.h"

#include "DescriptorScan.h"
#include "FileSystem.h"
#include "LineReader.h"

#include <QBuffer>
#include <QFile>

#include <dtl/dtl.hpp>

#include <string_view>
#include <unordered_map>

namespace {

std::vector<QByteArray> linesOf(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    std::vector<QByteArray> lines;
    QByteArrayView line;
    while (reader.next(&line))
        lines.push_back(line.toByteArray());
    return lines;
}

std::vector<std::string_view> viewsOf(const std::vector<QByteArray>& lines)
{
    std::vector<std::string_view> views;
    views.reserve(lines.size());
    for (const QByteArray& line : lines)
        views.emplace_back(line.constData(), size_t(line.size()));
    return views;
}

// Pairs tweaks with the genuine lines they replaced. The diff's edit script
// runs through the common lines; between two of them, a hunk deletes genuine
// lines and adds descriptor lines. A deleted line that the descriptor still
// holds elsewhere was moved, not lost. Within a hunk the tweaks, in order,
// take the places of the lost lines, in order; a lost line left over is
// missing, a tweak left over was added.
void pairWithGenuine(const std::vector<QByteArray>& genuineLines, const std::vector<QByteArray>& descriptorLines,
                     Verdict& verdict)
{
    const std::vector<std::string_view> genuine = viewsOf(genuineLines);
    const std::vector<std::string_view> descriptor = viewsOf(descriptorLines);
    dtl::Diff<std::string_view> diff(genuine, descriptor);
    diff.onHuge();
    diff.compose();

    // How many copies of a line the descriptor lost.
    std::unordered_map<std::string_view, qint64> lost;
    for (const std::string_view line : genuine)
        ++lost[line];
    for (const std::string_view line : descriptor)
        --lost[line];

    std::unordered_map<qint64, Tweak*> tweakAt;
    for (Tweak& tweak : verdict.tweaks)
        tweakAt[tweak.line] = &tweak;

    std::vector<MissingLine> hunkLost;
    std::vector<Tweak*> hunkTweaks;
    const auto closeHunk = [&] {
        std::size_t paired = 0;
        for (; paired < hunkLost.size() && paired < hunkTweaks.size(); ++paired)
            hunkTweaks[paired]->genuine = hunkLost[paired].text;
        verdict.missing.insert(verdict.missing.end(), hunkLost.begin() + qsizetype(paired), hunkLost.end());
        hunkLost.clear();
        hunkTweaks.clear();
    };
    // Line numbers are counted here: the script's own indexes are not kept
    // the same way on every path through the library.
    qint64 genuineLine = 0;
    qint64 descriptorLine = 0;
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        switch (info.type) {
        case dtl::SES_COMMON:
            ++genuineLine;
            ++descriptorLine;
            closeHunk();
            break;
        case dtl::SES_DELETE:
            ++genuineLine;
            if (qint64& copies = lost[line]; copies > 0) {
                --copies;
                hunkLost.push_back({genuineLine, QByteArray(line.data(), qsizetype(line.size()))});
            }
            break;
        case dtl::SES_ADD:
            ++descriptorLine;
            if (const auto tweak = tweakAt.find(descriptorLine); tweak != tweakAt.end())
                hunkTweaks.push_back(tweak->second);
            break;
        }
    }
    closeHunk();
}

} // namespace

GenuineDescriptor GenuineDescriptor::of(const Car& car, const QByteArray& bytes, ReferenceStore& store)
{
    return {&car, bytes, checkDescriptorBytes(QString(), bytes, car, bytes, store)};
}

Verdict checkDescriptor(const QString& path, const GenuineDescriptor& genuine, ReferenceStore& store)
{
    Verdict verdict;
    verdict.path = path;
    verdict.car = genuine.car;
    QByteArray bytes;
    if (!FileSystem::readAll(path, &bytes, &verdict.error, LargestDescriptor, FileSystem::PathRules::Exact))
        return verdict;
    if (bytes == genuine.bytes) {
        verdict = genuine.verdict;
        verdict.path = path;
        return verdict;
    }
    return checkDescriptorBytes(path, bytes, *genuine.car, genuine.bytes, store);
}

Verdict checkDescriptorBytes(const QString& path, const QByteArray& bytes, const Car& car,
                             const QByteArray& genuine, ReferenceStore& store)
{
    Verdict verdict;
    verdict.path = path;
    verdict.car = &car;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const DescriptorScan scan{path, car.indexName};
    const DescriptorScan::Outcome outcome =
        scan.run(buffer, store, [&verdict](QByteArrayView line, qint64 lineNumber, QString*) {
            verdict.tweaks.push_back({lineNumber, line.toByteArray(), std::nullopt});
            return true;
        });
    if (!outcome.completed) {
        verdict.tweaks.clear();
        verdict.error = outcome.error;
        return verdict;
    }
    verdict.lines = outcome.lines;
    pairWithGenuine(linesOf(genuine), linesOf(bytes), verdict);
    verdict.status = verdict.tweaks.empty() && verdict.missing.empty() ? Verdict::Status::Genuine
                                                                        : Verdict::Status::Tweaked;
    return verdict;
}
