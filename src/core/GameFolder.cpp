#include "GameFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace GameFolder {

QStringList drives()
{
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    roots.sort();
    return roots;
}

QString driveOf(const QString& path, const QStringList& drives)
{
    QString best;
    for (const QString& root : drives) {
        const QString prefix = root.endsWith(u'/') ? root : root + u'/';
        if ((path == root || path.startsWith(prefix)) && root.size() > best.size())
            best = root;
    }
    return best;
}

bool canOpen(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

} // namespace GameFolder
