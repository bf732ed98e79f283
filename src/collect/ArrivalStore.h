#pragma once

#include <QString>

class IncomingFile;

// Where a whole file arriving is kept for good: given its name, then the
// name made durable in its folder, so that after a power cut no verdict names
// a file the disk does not have. Runs on a checking thread.
namespace ArrivalStore {

// Places file as target; on failure, what arrived is kept as a partial file
// and *failure says what happened, in words.
bool place(IncomingFile& file, const QString& target, QString* failure);

// Makes the names in folder durable.
void syncFolder(const QString& folder);

} // namespace ArrivalStore
