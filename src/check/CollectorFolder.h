#pragma once

#include "CarCatalogue.h"
#include "FolderLister.h"

#include <array>

// A folder kestrix-collect keeps: verdicts.jsonl beside a folder for each
// sender, which holds every file the sender sent under a name stamped with
// its arrival. A sender who sends a car's descriptor again means the new one.
namespace CollectorFolder {

// Whether listing is of a collector's own folder: it holds verdicts.jsonl.
bool isCollectorFolder(const FolderListing& listing);

// The latest copy of each car among one folder's files.
class LatestCopies
{
public:
    // Every copy is checked: outside a collector's folder, or asked for.
    LatestCopies() = default;
    explicit LatestCopies(const FolderListing& listing);

    // Whether a file of this name is to be checked: the latest copy of its
    // car, or one as late (two names that differ only in letter case), or a
    // file the collector did not keep, whose age its name does not say.
    bool isLatest(const CarCatalogue::DescriptorName& name) const;

private:
    struct Arrival {
        qint64 at = 0;
        int copy = 0;
    };
    bool m_everyCopy = true;
    std::array<Arrival, CarCatalogue::CarCount> m_latest{};
};

} // namespace CollectorFolder
