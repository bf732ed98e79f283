#include "CollectorFolder.h"

#include <algorithm>
#include <tuple>

#include <dirent.h>

namespace CollectorFolder {

bool isCollectorFolder(const FolderListing& listing)
{
    const QByteArrayView verdicts("verdicts.jsonl");
    const auto found = std::lower_bound(listing.entries.begin(), listing.entries.end(), verdicts,
                                        [&](const FolderListing::Entry& entry, QByteArrayView name) {
                                            return listing.name(entry) < name;
                                        });
    return found != listing.entries.end() && listing.name(*found) == verdicts && found->type != DT_DIR;
}

LatestCopies::LatestCopies(const FolderListing& listing)
    : m_everyCopy(false)
{
    for (const FolderListing::Entry& entry : listing.entries) {
        if (entry.type == DT_DIR)
            continue;
        const CarCatalogue::DescriptorName name = CarCatalogue::descriptorNameOf(listing.name(entry));
        if (!name.car || name.arrival == 0)
            continue;
        Arrival& latest = m_latest[std::size_t(name.car - CarCatalogue::cars().data())];
        if (std::tie(name.arrival, name.copy) > std::tie(latest.at, latest.copy))
            latest = {name.arrival, name.copy};
    }
}

bool LatestCopies::isLatest(const CarCatalogue::DescriptorName& name) const
{
    if (m_everyCopy || !name.car || name.arrival == 0)
        return true;
    const Arrival& latest = m_latest[std::size_t(name.car - CarCatalogue::cars().data())];
    return name.arrival == latest.at && name.copy == latest.copy;
}

} // namespace CollectorFolder
