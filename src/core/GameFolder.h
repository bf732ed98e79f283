#pragma once

#include <QString>
#include <QStringList>

// The game's Cars folder is picked with a drive list (the mounted file
// systems, named by their root path) and a folder list.
namespace GameFolder {

QStringList drives();
// The drive among drives that holds path: the longest root that contains it.
QString driveOf(const QString& path, const QStringList& drives);
// Whether the folder list can be moved to folder.
bool canOpen(const QString& folder);

} // namespace GameFolder
