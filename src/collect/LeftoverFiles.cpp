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

namespace {

bool moveWithoutReplacing(const QString& from, const QString& to)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                       RENAME_NOREPLACE)
        == 0;
}

} // namespace

void recover(const QString& dir, const Found& found)
{
    // ".<name>.<8 hex digits>.tmp", as a file arriving is written.
    static const QRegularExpression temporary(QStringLiteral("^\\.(.+)\\.([0-9a-f]{8})\\.tmp$"));
    const QFileInfoList players = QDir(dir).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& player : players) {
        const QDir folder(player.filePath());
        bool any = false;
        const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : names) {
            if (!name.endsWith(ArrivalJournal::Suffix))
                continue;
            const QString journal = folder.filePath(name);
            const QString from = journal.chopped(ArrivalJournal::Suffix.size());
            std::optional<ArrivalJournal::Entry> entry = ArrivalJournal::read(journal);
            // Only a journal of this folder's own files is believed.
            if (entry && !entry->kept.startsWith(player.fileName() + u'/'))
                entry.reset();
            if (!entry || !temporary.match(QFileInfo(from).fileName()).hasMatch()) {
                ArrivalJournal::remove(journal);
                continue;
            }
            const QString kept = dir + u'/' + entry->kept;
            if (QFileInfo::exists(from)) {
                const QString to = kept + QStringLiteral(".partial");
                if (!moveWithoutReplacing(from, to)) {
                    found.failed(from, FileSystem::systemReason(errno));
                    continue;
                }
                ArrivalJournal::remove(journal);
                any = true;
                found.recovered(from, to, entry);
            } else if (QFileInfo::exists(kept)) {
                found.unrecorded(*entry, journal);
            } else {
                ArrivalJournal::remove(journal);
            }
        }
        // What has no journal keeps the name it was written under.
        for (const QString& name : names) {
            const QRegularExpressionMatch match = temporary.match(name);
            const QString from = folder.filePath(name);
            if (!match.hasMatch() || !QFileInfo::exists(from))
                continue;
            QString to = folder.filePath(match.captured(1) + QStringLiteral(".partial"));
            if (QFileInfo::exists(to))
                to = folder.filePath(QStringLiteral("%1-%2.partial").arg(match.captured(1), match.captured(2)));
            if (!moveWithoutReplacing(from, to)) {
                found.failed(from, FileSystem::systemReason(errno));
                continue;
            }
            any = true;
            found.recovered(from, to, std::nullopt);
        }
        if (any)
            ArrivalStore::syncFolder(folder.path());
    }
}

} // namespace LeftoverFiles
