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
constexpr int Attempts = 100;

} // namespace

TemporaryFile::~TemporaryFile()
{
    discard();
}

bool TemporaryFile::fail(const QString& shown, QString* error) const
{
    const int failure = errno;
    *error = FileSystem::failure(shown, FileSystem::systemReason(failure));
    errno = failure;
    return false;
}

bool TemporaryFile::create(const QString& folder, const QString& shownName, QString* error)
{
    discard();
    const int opened = ::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (opened < 0)
        return fail(shownName, error);
    const bool created = createIn(opened, QFile::encodeName(shownName), 0666, error);
    const int failure = errno;
    ::close(opened);
    errno = failure;
    if (created)
        m_path = folder + u'/' + QFile::decodeName(m_name);
    m_shown = shownName;
    return created;
}

bool TemporaryFile::createIn(int folder, const QByteArray& forName, mode_t mode, QString* error)
{
    discard();
    m_shown = QFile::decodeName(forName);
    m_size = 0;
    m_folder = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (m_folder < 0)
        return fail(m_shown, error);
    const QByteArray stem = forName.left(NameStemLength);
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const QByteArray name = '.' + stem + '.'
            + QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0') + ".tmp";
        m_fd = ::openat(m_folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (m_fd >= 0) {
            m_name = name;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    fail(m_shown, error);
    const int failure = errno;
    discard();
    errno = failure;
    return false;
}

bool TemporaryFile::write(QByteArrayView bytes, QString* error)
{
    const qint64 written = FileSystem::writeFully(m_fd, bytes);
    m_size += written;
    return written == bytes.size() || fail(m_shown, error);
}

bool TemporaryFile::sync(QString* error)
{
    return ::fsync(m_fd) == 0 || fail(m_shown, error);
}

bool TemporaryFile::close(QString* error)
{
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 || fail(m_shown, error);
}

bool TemporaryFile::renamed(int toFolder, const QByteArray& to, Existing existing)
{
    const char* from = m_name.constData();
    bool done = ::renameat2(m_folder, from, toFolder, to.constData(),
                            existing == Existing::Keep ? RENAME_NOREPLACE : 0) == 0;
    if (!done && (errno == EINVAL || errno == ENOSYS)) {
        // A file system or kernel without renameat2 or its flag: a hard link
        // cannot replace either, and a plain rename replaces.
        if (existing == Existing::Replace) {
            done = ::renameat(m_folder, from, toFolder, to.constData()) == 0;
        } else if (::linkat(m_folder, from, toFolder, to.constData(), 0) == 0) {
            ::unlinkat(m_folder, from, 0);
            done = true;
        }
    }
    if (done)
        m_name.clear();
    return done;
}

bool TemporaryFile::moveTo(const QString& target, Existing existing, QString* error)
{
    if (m_fd >= 0 && ::fdatasync(m_fd) != 0 && errno != EINVAL)
        return fail(m_shown, error);
    if (!close(error))
        return false;
    if (!renamed(AT_FDCWD, QFile::encodeName(target), existing))
        return fail(target, error);
    m_path.clear();
    return true;
}

bool TemporaryFile::rename(const QByteArray& name, Existing existing, QString* error)
{
    if (!renamed(m_folder, name, existing))
        return fail(QFile::decodeName(name), error);
    m_path.clear();
    return true;
}

void TemporaryFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_name.isEmpty())
        ::unlinkat(m_folder, m_name.constData(), 0);
    m_name.clear();
    m_path.clear();
    if (m_folder >= 0)
        ::close(m_folder);
    m_folder = -1;
}
