#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

QString resolve(const QString& path)
{
    QString normal = path;
    normal.replace(u'\\', u'/');
    const bool absolute = normal.startsWith(u'/');
    const QStringList components = normal.split(u'/', Qt::SkipEmptyParts);

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

bool setModified(const QString& path, const QDateTime& time, QString* error)
{
    QFile file(resolve(path));
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(time, QFileDevice::FileModificationTime)) {
        *error = failure(path, file.errorString());
        return false;
    }
    return true;
}

bool readAll(const QString& path, QByteArray* bytes, QString* error)
{
    QFile file(resolve(path));
    if (QFileInfo(file.fileName()).isDir()) {
        *error = failure(path, QStringLiteral("is a folder, not a file"));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = failure(path, file.errorString());
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = failure(path, file.errorString());
        return false;
    }
    return true;
}

bool writeAll(const QString& path, QByteArrayView bytes, QString* error)
{
    QFile file(resolve(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = failure(path, file.errorString());
        return false;
    }
    if (file.write(bytes.data(), bytes.size()) != bytes.size() || !file.flush()) {
        *error = failure(path, file.errorString());
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
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
    const int fd = ::open(encodedPath.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = failure(QFile::decodeName(encodedPath), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            *error = failure(QFile::decodeName(encodedPath), QString::fromLocal8Bit(std::strerror(errno)));
            ::close(fd);
            return false;
        }
        data += written;
        left -= written;
    }
    if (::close(fd) != 0) {
        *error = failure(QFile::decodeName(encodedPath), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

} // namespace FileSystem
