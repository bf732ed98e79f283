#include "DescriptorCheck.h"

#include "DescriptorComparison.h"
#include "DescriptorScan.h"
#include "FileSystem.h"
#include "RuledVerdict.h"
#include "ShownText.h"
#include "TweakPairing.h"

#include <QBuffer>
#include <QCryptographicHash>

#include <algorithm>
#include <optional>

#include <sys/stat.h>

namespace {

// Whether two files hold the same lines as the window reads them (a DOS
// end-of-file mark is a byte of the last line to the window).
bool sameWindowLines(const DescriptorText& one, const DescriptorText& other)
{
    return one.hasByteOrderMark() == other.hasByteOrderMark() && one.hasDosEndMark() == other.hasDosEndMark()
        && std::equal(one.lines().begin(), one.lines().end(), other.lines().begin(), other.lines().end(),
                      [](const TextLine& a, const TextLine& b) { return a.raw == b.raw; });
}

// Another car's genuine descriptor, when the descriptor is (nearly) that
// and not its own car's.
const GenuineDescriptor* otherCarOf(const DescriptorText& text, const GenuineDescriptor& genuine, const GenuineSet& cars)
{
    const KeyCounts keys(text);
    if (likeness(genuine.text->keys, keys) >= OtherCarLikeness)
        return nullptr;
    for (const GenuineDescriptor* other : cars) {
        if (other->car != genuine.car && likeness(other->text->keys, keys) >= OtherCarLikeness)
            return other;
    }
    return nullptr;
}

Verdict::Status statusOf(const std::vector<Difference>& differences)
{
    bool damaged = false;
    for (const Difference& difference : differences) {
        if (difference.isTweak())
            return Verdict::Status::Tweaked;
        damaged = damaged || difference.kind == Difference::Class::Damaged;
    }
    return damaged ? Verdict::Status::Damaged : Verdict::Status::Formatting;
}

// How bad a status is, so that of two readings the worse one stands and of
// the versions under a league's rules the best one: allowed counts as
// genuine (exit status 0), damage does not.
int severity(Verdict::Status status)
{
    switch (status) {
    case Verdict::Status::Genuine:
        return 0;
    case Verdict::Status::Formatting:
        return 1;
    case Verdict::Status::Allowed:
        return 2;
    case Verdict::Status::Damaged:
        return 3;
    case Verdict::Status::Tweaked:
    case Verdict::Status::Error:
        break;
    }
    return 4;
}

// A difference that makes the file tweaked, the rules applied.
bool blocks(const Difference& difference)
{
    return difference.isTweak() && !difference.allowed;
}

// Whether the strict (window's) reading loses what the loose one does not:
// a difference that makes it tweaked and that the loose reading has not.
// On a tie of status its evidence then stands, so that a key the window's
// reading hides is named.
bool losesMore(const Verdict& window, const Verdict& loose)
{
    const auto same = [](const Difference& a, const Difference& b) {
        return a.kind == b.kind && a.section == b.section && a.key == b.key && a.value == b.value
            && a.genuine == b.genuine;
    };
    return std::any_of(window.differences.begin(), window.differences.end(), [&](const Difference& difference) {
        return blocks(difference)
            && std::none_of(loose.differences.begin(), loose.differences.end(),
                            [&](const Difference& other) { return same(difference, other); });
    });
}

} // namespace

const GenuineText& GenuineDescriptor::comparedIn(LineReading reading) const
{
    // A file that reads the same both ways but for an LF-only one, which
    // is compared in its loose reading.
    return reading == LineReading::Window && text->text.readsTwoWays() ? *windowText : *text;
}

GenuineDescriptor GenuineDescriptor::read(const Car& car, const QByteArray& bytes, const QString& version)
{
    GenuineDescriptor genuine{&car,
                              bytes,
                              std::make_shared<const GenuineText>(bytes, LineReading::Loose),
                              nullptr,
                              Verdict(),
                              version,
                              QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()};
    if (genuine.text->text.lfEnds() > 0 || genuine.text->text.readsTwoWays())
        genuine.windowText = std::make_shared<const GenuineText>(bytes, LineReading::Window);
    return genuine;
}

GenuineDescriptor GenuineDescriptor::of(const Car& car, const QByteArray& bytes, ReferenceStore& store,
                                        const QString& version)
{
    GenuineDescriptor genuine = read(car, bytes, version);
    genuine.verdict = checkDescriptorBytes(QByteArray(), bytes, {&genuine}, {}, store);
    return genuine;
}

Verdict checkDescriptor(const QByteArray& path, const GenuineVersions& versions, const GenuineSet& cars,
                        ReferenceStore& store, qint64 largest, const LeagueRules* rules)
{
    Verdict verdict;
    verdict.path = path;
    verdict.car = versions.front()->car;
    QByteArray bytes;
    struct stat opened {};
    if (!FileSystem::readAllEncoded(path, ShownText::name(path), &bytes, &verdict.error, largest, &opened))
        return verdict;
    const FileIdentity identity{quint64(opened.st_dev), quint64(opened.st_ino), qint64(opened.st_size),
                                qint64(opened.st_mtim.tv_sec) * 1'000'000'000 + opened.st_mtim.tv_nsec};
    const auto same = std::find_if(versions.begin(), versions.end(),
                                   [&bytes](const GenuineDescriptor* version) { return version->bytes == bytes; });
    if (same != versions.end()) {
        verdict = (*same)->verdict;
        verdict.path = path;
    } else {
        verdict = checkDescriptorBytes(path, bytes, versions, cars, store, rules);
    }
    verdict.identity = identity;
    return verdict;
}

namespace {

// What the descriptor's differences from one version come to, the
// descriptor read as text (in one reading) and as the window reads it.
void compareWith(const GenuineDescriptor& genuine, const DescriptorText& text, const DescriptorText& windowText,
                 const GenuineSet& cars, Verdict& verdict)
{
    verdict.version = genuine.version;
    verdict.versionSha256 = genuine.sha256;
    for (Tweak& tweak : verdict.tweaks)
        tweak.genuine.reset();
    verdict.missing.clear();
    verdict.differences.clear();
    verdict.reading = text.reading();
    pairTweaks(genuine.windowLines(), windowText, verdict);
    if (const GenuineDescriptor* other = otherCarOf(text, genuine, cars)) {
        Difference difference;
        difference.kind = Difference::Class::OtherCar;
        difference.value = other->car->listEntry.toUtf8();
        verdict.differences.push_back(difference);
    } else {
        verdict.differences = compareDescriptors(genuine.comparedIn(text.reading()), text);
    }
    // The bytes differ (a file with the genuine bytes never gets here), and
    // nothing above says how: that is never taken for harmless.
    if (verdict.differences.empty()) {
        Difference difference;
        difference.kind = Difference::Class::Other;
        difference.value = QByteArrayLiteral("other bytes differ, in a way no class explains");
        verdict.differences.push_back(difference);
    }
    verdict.status = statusOf(verdict.differences);
}

// The descriptor, in one reading, judged by the rules (when given) against
// the version it fares best against under them, and of those (and without
// rules) the one it differs from least; on a tie, the earlier one.
Verdict closestVersion(const Verdict& scanned, const GenuineVersions& versions, const DescriptorText& text,
                       const DescriptorText& windowText, const GenuineSet& cars, const LeagueRules* rules)
{
    const auto rank = [rules](const Verdict& verdict) {
        return std::pair(rules ? severity(verdict.status) : 0, verdict.differences.size());
    };
    std::optional<Verdict> best;
    for (const GenuineDescriptor* version : versions) {
        Verdict candidate = scanned;
        compareWith(*version, text, windowText, cars, candidate);
        if (rules)
            applyRules(candidate, *rules);
        if (!best || rank(candidate) < rank(*best))
            best = std::move(candidate);
    }
    return std::move(*best);
}

} // namespace

Verdict checkDescriptorBytes(const QByteArray& path, const QByteArray& bytes, const GenuineVersions& versions,
                             const GenuineSet& cars, ReferenceStore& store, const LeagueRules* rules)
{
    const GenuineDescriptor& original = *versions.front();
    Verdict verdict;
    verdict.path = path;
    verdict.car = original.car;
    verdict.version = original.version;
    verdict.versionSha256 = original.sha256;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const DescriptorScan scan{ShownText::name(path), original.car->indexName};
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
    // Read once in each reading that gives other lines: the window's is
    // the loose one's where no lone LF or mark makes it another.
    const DescriptorText looseText(bytes, LineReading::Loose);
    std::optional<DescriptorText> ownWindowText;
    if (looseText.lfEnds() > 0 || looseText.readsTwoWays())
        ownWindowText.emplace(bytes, LineReading::Window);
    const DescriptorText& windowText = ownWindowText ? *ownWindowText : looseText;
    for (const GenuineDescriptor* version : versions) {
        if (sameWindowLines(windowText, version->windowLines())) {
            verdict.status = Verdict::Status::Genuine;
            verdict.version = version->version;
            verdict.versionSha256 = version->sha256;
            return verdict;
        }
    }
    verdict.bytes = bytes;
    // A file that reads two ways (lone LFs beside other line ends, or a
    // mark the window reads as bytes of a line) is judged in each, and is
    // only as good as its worse reading (docs/check.md, "Line ends"); any
    // other file reads the same both ways but for an LF-only one, which the
    // loose reading takes line by line. Each reading is judged by the rules
    // before the worse is taken: an allowed change in the loose reading
    // allows nothing the window's reading loses.
    Verdict judged = closestVersion(verdict, versions, looseText, windowText, cars, rules);
    if (looseText.readsTwoWays()) {
        Verdict windowVerdict = closestVersion(verdict, versions, windowText, windowText, cars, rules);
        const int windowSeverity = severity(windowVerdict.status);
        const int looseSeverity = severity(judged.status);
        if (windowSeverity > looseSeverity || (windowSeverity == looseSeverity && losesMore(windowVerdict, judged)))
            judged = std::move(windowVerdict);
    }
    return judged;
}
