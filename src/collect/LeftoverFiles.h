#pragma once

#include "ArrivalJournal.h"

#include <QString>

#include <functional>
#include <optional>

// Files a collector that crashed left behind: each arriving file is written
// under a hidden temporary name in its player's folder, which only its
// rename ends, beside a journal naming its sender and the name it was to
// take. At start a half-written file becomes a partial file under that name,
// "<stamp>-<name>.partial", like any other transfer that ended early; a file
// kept whole whose journal is still there is to be checked, unless the
// verdict log has its record already; each is told of.
namespace LeftoverFiles {

struct Found {
    // from, a temporary file, is now the partial file to; entry names its
    // sender, where its journal could be read.
    std::function<void(const QString& from, const QString& to, const std::optional<ArrivalJournal::Entry>& entry)>
        recovered;
    // A file kept whole as DIR/entry.kept and never recorded; its journal
    // is to be removed once it is.
    std::function<void(const ArrivalJournal::Entry& entry, const QString& journal)> unrecorded;
    std::function<void(const QString& path, const QString& reason)> failed;
};

// Looks through the players' folders below dir.
void recover(const QString& dir, const Found& found);

} // namespace LeftoverFiles
