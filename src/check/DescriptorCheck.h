#pragma once

#include "DescriptorComparison.h"
#include "Verdict.h"

#include <QByteArray>

#include <memory>
#include <vector>

class LeagueRules;
class ReferenceStore;

// A car's genuine descriptor in one version (the program folder's own is
// "original"; a league may accept others, after a patch), read once a run
// and shared, read-only, by every check: as sections in the loose reading,
// and in the window's where a lone LF makes its lines other ones. With the
// verdict its own bytes get, worked out once by the same check: a
// descriptor byte for byte the same gets the same verdict without being
// checked again.
struct GenuineDescriptor {
    const Car* car = nullptr;
    QByteArray bytes;
    std::shared_ptr<const GenuineText> text;
    std::shared_ptr<const GenuineText> windowText; // none where the window reads the same lines
    Verdict verdict;
    QString version = QStringLiteral("original");
    QByteArray sha256; // of bytes, lower-case hex

    // Its lines as the window reads them.
    const DescriptorText& windowLines() const { return (windowText ? *windowText : *text).text; }
    // What a descriptor read in reading is compared with.
    const GenuineText& comparedIn(LineReading reading) const;

    // Read, and checked once against store.
    static GenuineDescriptor of(const Car& car, const QByteArray& bytes, ReferenceStore& store,
                                const QString& version = QStringLiteral("original"));
    // Read only: another car's, to tell a descriptor that is that car's.
    static GenuineDescriptor read(const Car& car, const QByteArray& bytes,
                                  const QString& version = QStringLiteral("original"));
};

// The accepted versions of one car's genuine descriptor, the program
// folder's own first.
using GenuineVersions = std::vector<const GenuineDescriptor*>;

// Every car's genuine descriptor that could be read: a descriptor may be
// another car's.
using GenuineSet = std::vector<const GenuineDescriptor*>;

// The largest file taken for a descriptor unless asked otherwise: a
// descriptor is about 5 KB, and a larger file would only make a verdict, and
// the time it takes, without bound.
inline constexpr qint64 LargestDescriptor = 64 * 1024;

// Checks the descriptor at path (the system's bytes) of the versions' car. Its
// tweaks are exactly the lines the window's scan finds (the same scan over
// the same store), in file order, repeats included, each paired with the
// genuine line it took the place of. Its differences read it by section and
// key, against the version it differs from least (on a tie, the earlier
// one). It is genuine when it holds a version's lines in their order as the
// window reads them; formatting when only formatting differs;
// damaged when damage is the worst; tweaked for any value changed, added,
// missing, moved or repeated, or for another car's descriptor.
// Under a league's rules (when given, for kestrix-check and the collector
// alike) each reading's verdict against each version is judged by them
// (applyRules) before a version and a reading are chosen: the version it
// fares best against (then the one it differs from least), and the worse
// reading. A file larger than largest is an error, unread.
Verdict checkDescriptor(const QByteArray& path, const GenuineVersions& versions, const GenuineSet& cars,
                        ReferenceStore& store, qint64 largest = LargestDescriptor, const LeagueRules* rules = nullptr);

// The same for a descriptor's bytes, read already.
Verdict checkDescriptorBytes(const QByteArray& path, const QByteArray& bytes, const GenuineVersions& versions,
                             const GenuineSet& cars, ReferenceStore& store, const LeagueRules* rules = nullptr);

// How alike a descriptor must be to another car's genuine one, in keys and
// values, to be called that car's.
inline constexpr double OtherCarLikeness = 0.95;
