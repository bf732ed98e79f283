#pragma once

#include <QString>

class IncomingFile;

// Where a whole file arriving is kept for good: given its name, then the
// name made durable in its folder, so that after a power cut no verdict names
// a file the disk does not have. Runs on a checking thread.
namespace ArrivalStore {

// Places file as target, and makes its name durable in its player's folder
// and the folder's in DIR (a player's first file made it); on failure, what
// arrived is kept as a partial file (*partial, when it could be) and
// *failure says what happened, in words.
bool place(IncomingFile& file, const QString& target, QString* failure, QString* partial);

// Makes the names in folder durable.
void syncFolder(const QString& folder);

} // namespace ArrivalStore
