#include "ArrivalStore.h"

#include "IncomingFile.h"
#include "ReceivedName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace ArrivalStore {

bool place(IncomingFile& file, const QString& target, QString* failure, QString* partial)
{
    QString error;
    const QString folder = QFileInfo(target).path();
    if (!file.place(target, TemporaryFile::Existing::Keep, &error)) {
        const QString kept = folder + u'/' + partialName(QFileInfo(target).fileName());
        *failure = QStringLiteral("storing failed: %1. %2")
                       .arg(error, file.keepPartial(kept, QDir::toNativeSeparators(kept),
                                                    TemporaryFile::Existing::Keep));
        if (QFileInfo::exists(kept))
            *partial = kept;
        syncFolder(folder);
        return false;
    }
    syncFolder(folder);
    // Costs nothing when DIR did not change.
    syncFolder(QFileInfo(folder).path());
    return true;
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace ArrivalStore
