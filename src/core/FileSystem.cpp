#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace FileSystem {

namespace {

QString matchEntry(const QString& folder, const QString& component)
{
    if (component == u"." || component == u".." || QFileInfo::exists(folder + component))
        return component;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                       QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(component, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return component;
}

// Why an ordinary file could not be opened, in words for the user.
QString openFailure(int errorNumber)
{
    switch (errorNumber) {
    case ELOOP:
        return QStringLiteral("is a symbolic link, which is not followed");
    case EISDIR:
        return QStringLiteral("is a folder, not a file");
    case ENXIO: // also what opening a FIFO for writing without a reader says
        return QStringLiteral("is not an ordinary file");
    default:
        return systemReason(errorNumber);
    }
}

// Opens without waiting and without following a final link, then checks
// what was opened; -1 with errno set, EISDIR or ENXIO standing for a folder
// or for anything else that is no ordinary file. O_NONBLOCK stays set: an
// ordinary file takes no notice of it when read or written, and clearing it
// cost two more calls for every record a log appends.
int openOrdinaryDescriptor(const QByteArray& encodedPath, int flags, struct stat* opened = nullptr)
{
    const int fd = ::open(encodedPath.constData(), flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    struct stat own {};
    struct stat& status = opened ? *opened : own;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int reason = S_ISDIR(status.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

} // namespace

qint64 writeFully(int fd, QByteArrayView bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            break;
        }
        done += written;
    }
    return done;
}

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

QString systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

namespace {

QStringList componentsOf(const QString& path)
{
    QString normal = path;
    normal.replace(u'\\', u'/');
    return normal.split(u'/', Qt::SkipEmptyParts);
}

bool isAbsolute(const QString& path)
{
    return path.startsWith(u'/') || path.startsWith(u'\\');
}

// The path as written, with "/" for every separator and none doubled.
QString writtenForm(const QString& path)
{
    const QString joined = (isAbsolute(path) ? QStringLiteral("/") : QString()) + componentsOf(path).join(u'/');
    return joined.isEmpty() ? QStringLiteral(".") : joined;
}

// Opens an existing file for reading as written, and only when that fails
// for want of an entry, as resolved: an exact match wins anyway, and this
// spares a look-up for the path that exists as written.
int openForReading(const QString& path, struct stat* status)
{
    const int fd = openOrdinaryDescriptor(QFile::encodeName(writtenForm(path)), O_RDONLY, status);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    return openOrdinaryDescriptor(QFile::encodeName(resolve(path)), O_RDONLY, status);
}

} // namespace

QString resolve(const QString& path)
{
    const bool absolute = isAbsolute(path);
    const QStringList components = componentsOf(path);

    // A path that exists as written is its own answer, since an exact match
    // wins at every component: one look instead of one a component.
    const QString written = writtenForm(path);
    if (::access(QFile::encodeName(written).constData(), F_OK) == 0)
        return written;

    QString resolved = absolute ? QStringLiteral("/") : QString();
    bool parentExists = true;
    for (qsizetype i = 0; i < components.size(); ++i) {
        const QString folder = resolved.isEmpty() ? QStringLiteral("./") : resolved;
        const QString entry = parentExists ? matchEntry(folder, components[i]) : components[i];
        resolved += entry;
        parentExists = parentExists && QFileInfo(resolved).isDir();
        if (i + 1 < components.size())
            resolved += u'/';
    }
    return resolved.isEmpty() ? QStringLiteral(".") : resolved;
}

bool isOrdinaryFile(const QString& path)
{
    return QFileInfo(resolve(path)).isFile();
}

std::optional<qint64> length(const QString& path)
{
    const QFileInfo info(resolve(path));
    if (!info.isFile())
        return std::nullopt;
    return info.size();
}

std::optional<qint64> bytesFree(const QString& folder)
{
    // statvfs, not QStorageInfo: that reads the whole mount table each time.
    struct statvfs storage {};
    if (::statvfs(QFile::encodeName(resolve(folder)).constData(), &storage) != 0)
        return std::nullopt;
    return qint64(storage.f_bavail) * qint64(storage.f_frsize);
}

std::optional<QDateTime> modified(const QString& path)
{
    const QFileInfo info(resolve(path));
    if (!info.exists())
        return std::nullopt;
    return info.lastModified();
}

namespace {
const QString DateTimeFormat = QStringLiteral("dd/MM/yyyy HH:mm:ss");
}

QString dateTimeText(const QDateTime& time)
{
    return time.toLocalTime().toString(DateTimeFormat);
}

QDateTime fromDateTimeText(const QString& text)
{
    return QDateTime::fromString(text, DateTimeFormat);
}

QString utcDateTimeText(const QDateTime& time)
{
    return time.toUTC().toString(DateTimeFormat);
}

bool dateMatches(const QDateTime& modified, const QString& constant)
{
    return dateTimeText(modified) == constant || utcDateTimeText(modified) == constant;
}

bool setModified(const QString& path, const QDateTime& time, QString* error)
{
    QFile file(resolve(path));
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(time, QFileDevice::FileModificationTime)) {
        *error = failure(path, file.errorString());
        return false;
    }
    return true;
}

bool openOrdinary(const QString& path, QIODevice::OpenMode mode, QFile* file, QString* error)
{
    const bool writing = mode.testFlag(QIODevice::WriteOnly);
    const int fd = writing ? openOrdinaryDescriptor(QFile::encodeName(resolve(path)), O_RDWR | O_CREAT)
                           : openForReading(path, nullptr);
    if (fd < 0) {
        *error = failure(path, openFailure(errno));
        return false;
    }
    if (!file->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = failure(path, file->errorString());
        return false;
    }
    return true;
}

namespace {

// The rest of readAll, once the file is open; closes fd.
bool readOpened(int fd, const struct stat& status, const QString& path, QByteArray* bytes, QString* error, qint64 largest)
{
    if (largest >= 0 && status.st_size > largest) {
        ::close(fd);
        *error = failure(path, QStringLiteral("%1 bytes is more than the %2 it may hold").arg(status.st_size).arg(largest));
        return false;
    }
    // Read to the end, whatever the size said: a file may grow meanwhile.
    bytes->resize(qsizetype(status.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes->size())
            bytes->resize(filled * 2 + 4096);
        const ssize_t got = ::read(fd, bytes->data() + filled, size_t(bytes->size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = failure(path, systemReason(errno));
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        filled += got;
        if (largest >= 0 && filled > largest) {
            ::close(fd);
            *error = failure(path, QStringLiteral("it holds more than the %1 bytes it may").arg(largest));
            return false;
        }
    }
    ::close(fd);
    bytes->resize(filled);
    return true;
}

} // namespace

bool readAll(const QString& path, QByteArray* bytes, QString* error, qint64 largest, PathRules rules)
{
    struct stat status {};
    const int fd = rules == PathRules::Exact ? openOrdinaryDescriptor(QFile::encodeName(path), O_RDONLY, &status)
                                             : openForReading(path, &status);
    if (fd < 0) {
        *error = failure(path, openFailure(errno));
        return false;
    }
    return readOpened(fd, status, path, bytes, error, largest);
}

bool readAllEncoded(const QByteArray& encodedPath, const QString& shownPath, QByteArray* bytes, QString* error,
                    qint64 largest, struct stat* opened)
{
    struct stat own {};
    struct stat& status = opened ? *opened : own;
    const int fd = openOrdinaryDescriptor(encodedPath, O_RDONLY, &status);
    if (fd < 0) {
        *error = failure(shownPath, openFailure(errno));
        return false;
    }
    return readOpened(fd, status, shownPath, bytes, error, largest);
}

bool writeAll(const QString& path, QByteArrayView bytes, QString* error, PathRules rules)
{
    QSaveFile file(rules == PathRules::Exact ? path : resolve(path));
    // Flushed by hand first: commit() alone does not see a write that fails
    // while it flushes (a full disk), and would put a short file in place.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), bytes.size()) != bytes.size() || !file.flush()
        || !file.commit()) {
        *error = failure(path, file.errorString());
        return false;
    }
    return true;
}

bool append(const QString& path, QByteArrayView bytes, QString* error)
{
    return appendEncoded(QFile::encodeName(resolve(path)), bytes, error);
}

bool appendEncoded(const QByteArray& encodedPath, QByteArrayView bytes, QString* error)
{
    int opened = -1;
    if (!appendEncoded(encodedPath, bytes, error, &opened))
        return false;
    if (::close(opened) != 0) {
        *error = failure(QFile::decodeName(encodedPath), openFailure(errno));
        return false;
    }
    return true;
}

bool appendEncoded(const QByteArray& encodedPath, QByteArrayView bytes, QString* error, int* opened)
{
    const auto fail = [&] {
        *error = failure(QFile::decodeName(encodedPath), openFailure(errno));
        return false;
    };
    struct stat before {};
    const int fd = openOrdinaryDescriptor(encodedPath, O_WRONLY | O_APPEND | O_CREAT, &before);
    if (fd < 0)
        return fail();
    if (writeFully(fd, bytes) < bytes.size()) {
        const int reason = errno;
        // No half record stays behind for the next one to run on from.
        [[maybe_unused]] const int cut = ::ftruncate(fd, before.st_size);
        ::close(fd);
        errno = reason;
        return fail();
    }
    *opened = fd;
    return true;
}

} // namespace FileSystem
