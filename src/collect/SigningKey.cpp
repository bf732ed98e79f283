#include "SigningKey.h"

#include "Ed25519.h"
#include "FileSystem.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace SigningKey {

std::optional<QByteArray> writeNew(const QString& path, QString* error)
{
    const QByteArray seed = QByteArray::fromStdString(wire::ed25519::newSeed());
    const QByteArray line = seed.toBase64() + '\n';
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = errno == EEXIST ? FileSystem::failure(path, QStringLiteral("it exists already, and a key is never replaced"))
                                 : FileSystem::failure(path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    const bool written = ::write(fd, line.constData(), std::size_t(line.size())) == line.size() && ::fsync(fd) == 0;
    const int reason = errno;
    if (::close(fd) != 0 || !written) {
        *error = FileSystem::failure(path, QString::fromLocal8Bit(std::strerror(written ? errno : reason)));
        ::unlink(QFile::encodeName(path).constData());
        return std::nullopt;
    }
    return publicKeyOf(seed);
}

std::optional<QByteArray> read(const QString& path, QString* error)
{
    QByteArray text;
    if (!FileSystem::readAll(path, &text, error, 4096, FileSystem::PathRules::Exact))
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != qsizetype(wire::ed25519::SeedBytes)) {
        *error = FileSystem::failure(path, QStringLiteral("it holds no signing key (the base64 of 32 bytes on one line)"));
        return std::nullopt;
    }
    return decoded.decoded;
}

QByteArray publicKeyOf(const QByteArray& seed)
{
    return QByteArray::fromStdString(wire::ed25519::publicKeyOf(seed.toStdString()).value_or(std::string())).toBase64();
}

} // namespace SigningKey
