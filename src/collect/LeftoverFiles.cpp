#include "LeftoverFiles.h"

#include "ArrivalStore.h"
#include "FileSystem.h"
#include "VerdictLogFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

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

// The kept files that verdicts.jsonl has a record of. A crash between a
// record and its journal's removal leaves a journal of a file recorded
// already, which would otherwise be checked and recorded twice.
QSet<QString> recordedIn(const QString& dir)
{
    QSet<QString> kept;
    QString error;
    const std::optional<QByteArray> log =
        VerdictLogFiles::read(dir + u'/' + QLatin1String(VerdictLogFiles::CurrentName), &error);
    if (!log)
        return kept;
    // A verdict names the file by its path, other records by their name under DIR.
    const QDir under(dir);
    for (const QByteArray& line : VerdictLogFiles::lines(*log)) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        const QString path = record.value(QLatin1String("path")).toString();
        kept.insert(path.isEmpty() ? record.value(QLatin1String("kept")).toString() : under.relativeFilePath(path));
    }
    return kept;
}

} // namespace

void recover(const QString& dir, const Found& found)
{
    std::optional<QSet<QString>> recorded;
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
                if (!recorded)
                    recorded = recordedIn(dir);
                if (recorded->contains(entry->kept))
                    ArrivalJournal::remove(journal);
                else
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
