#include "TemporaryFile.h"

#include "FileSystem.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

// Long enough to tell it from its neighbours, short enough that the hidden
// name stays within any file system's limit.
constexpr qsizetype NameStemLength = 48;

bool moveWithoutReplacing(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link cannot replace either.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

} // namespace

TemporaryFile::~TemporaryFile()
{
    discard();
}

bool TemporaryFile::create(const QString& folder, const QString& shownName, QString* error)
{
    discard();
    m_shown = shownName;
    m_size = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QStringLiteral(".%1.%2.tmp")
                                 .arg(shownName.left(NameStemLength),
                                      QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0')));
        const QString path = folder + u'/' + name;
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_path = path;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    *error = FileSystem::failure(shownName, FileSystem::systemReason(errno));
    return false;
}

bool TemporaryFile::write(QByteArrayView bytes, QString* error)
{
    const qint64 written = FileSystem::writeFully(m_fd, bytes);
    m_size += written;
    if (written < bytes.size()) {
        *error = FileSystem::failure(m_shown, FileSystem::systemReason(errno));
        return false;
    }
    return true;
}

bool TemporaryFile::close(QString* error)
{
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        *error = FileSystem::failure(m_shown, FileSystem::systemReason(errno));
        return false;
    }
    return true;
}

bool TemporaryFile::moveTo(const QString& target, Existing existing, QString* error)
{
    if (m_fd >= 0 && ::fdatasync(m_fd) != 0 && errno != EINVAL) {
        *error = FileSystem::failure(m_shown, FileSystem::systemReason(errno));
        return false;
    }
    if (!close(error))
        return false;
    const QByteArray from = QFile::encodeName(m_path);
    const QByteArray to = QFile::encodeName(target);
    const bool moved = existing == Existing::Replace ? ::rename(from.constData(), to.constData()) == 0
                                                     : moveWithoutReplacing(from, to);
    if (!moved) {
        *error = FileSystem::failure(target, FileSystem::systemReason(errno));
        return false;
    }
    m_path.clear();
    return true;
}

void TemporaryFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
}
