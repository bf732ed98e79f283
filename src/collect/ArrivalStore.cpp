#include "ArrivalStore.h"

#include "IncomingFile.h"
#include "ReceivedName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace ArrivalStore {

bool place(IncomingFile& file, const QString& target, QString* failure)
{
    QString error;
    const QString folder = QFileInfo(target).path();
    if (!file.place(target, TemporaryFile::Existing::Keep, &error)) {
        const QString partial = folder + u'/' + partialName(QFileInfo(target).fileName());
        *failure = QStringLiteral("storing failed: %1. %2")
                       .arg(error, file.keepPartial(partial, QDir::toNativeSeparators(partial),
                                                    TemporaryFile::Existing::Keep));
        syncFolder(folder);
        return false;
    }
    syncFolder(folder);
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
