#include "LeftoverFiles.h"

#include "ArrivalStore.h"
#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>

namespace LeftoverFiles {

void recover(const QString& dir, const std::function<void(const QString& from, const QString& to)>& renamed,
             const std::function<void(const QString& path, const QString& reason)>& failed)
{
    // ".<name>.<8 hex digits>.tmp", as a file arriving is written.
    static const QRegularExpression temporary(QStringLiteral("^\\.(.+)\\.([0-9a-f]{8})\\.tmp$"));
    const QFileInfoList players = QDir(dir).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& player : players) {
        const QDir folder(player.filePath());
        bool any = false;
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const QRegularExpressionMatch match = temporary.match(name);
            if (!match.hasMatch())
                continue;
            const QString from = folder.filePath(name);
            QString to = folder.filePath(match.captured(1) + QStringLiteral(".partial"));
            if (QFileInfo::exists(to))
                to = folder.filePath(QStringLiteral("%1-%2.partial").arg(match.captured(1), match.captured(2)));
            if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                            RENAME_NOREPLACE)
                != 0) {
                failed(from, FileSystem::systemReason(errno));
                continue;
            }
            any = true;
            renamed(from, to);
        }
        if (any)
            ArrivalStore::syncFolder(folder.path());
    }
}

} // namespace LeftoverFiles
