#include "StoreHealth.h"

#include "FileSystem.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

StoreHealth::StoreHealth(const QString& dir, qint64 largest, QObject* parent)
    : QObject(parent)
    , m_dir(dir)
    , m_largest(largest)
{
    connect(&m_retry, &QTimer::timeout, this, &StoreHealth::probe);
}

QString StoreHealth::problem() const
{
    return m_failing.isEmpty() ? condition() : m_failing;
}

void StoreHealth::failed()
{
    // While DIR fails, the next try is due anyway.
    if (!m_retry.isActive())
        probe();
}

QString StoreHealth::shortOfSpace(const QString& folder, qint64 size)
{
    const std::optional<qint64> free = FileSystem::bytesFree(folder);
    if (!free || *free >= size + RecordRoom)
        return QString();
    return QStringLiteral("only %1 bytes are free, fewer than the %2 that a file of %3 bytes and its record need")
        .arg(*free)
        .arg(size + RecordRoom)
        .arg(size);
}

// What the system says of DIR, without writing to it.
QString StoreHealth::condition() const
{
    const QByteArray encoded = QFile::encodeName(m_dir);
    struct statvfs storage {};
    if (::statvfs(encoded.constData(), &storage) != 0)
        return FileSystem::failure(QDir::toNativeSeparators(m_dir), FileSystem::systemReason(errno));
    if (storage.f_flag & ST_RDONLY)
        return FileSystem::failure(QDir::toNativeSeparators(m_dir), QStringLiteral("the file system is read-only"));
    if (::access(encoded.constData(), W_OK | X_OK) != 0)
        return FileSystem::failure(QDir::toNativeSeparators(m_dir),
                                   QStringLiteral("cannot be written: %1").arg(FileSystem::systemReason(errno)));
    const QString shortOfSpace = StoreHealth::shortOfSpace(m_dir, m_largest);
    return shortOfSpace.isEmpty() ? QString() : FileSystem::failure(QDir::toNativeSeparators(m_dir), shortOfSpace);
}

QString StoreHealth::testWrite() const
{
    const QString path = m_dir + QStringLiteral("/.kestrix-write-test");
    const QByteArray encoded = QFile::encodeName(path);
    const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return FileSystem::failure(QDir::toNativeSeparators(path), FileSystem::systemReason(errno));
    const bool written = FileSystem::writeFully(fd, QByteArrayView("test\n")) == 5 && ::fsync(fd) == 0;
    const int reason = errno;
    ::close(fd);
    ::unlink(encoded.constData());
    return written ? QString() : FileSystem::failure(QDir::toNativeSeparators(path), FileSystem::systemReason(reason));
}

void StoreHealth::probe()
{
    QString problem = condition();
    if (problem.isEmpty())
        problem = testWrite();
    if (problem.isEmpty())
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start(RetryEvery);
    if (problem == m_failing)
        return;
    m_failing = problem;
    emit changed(problem);
}
