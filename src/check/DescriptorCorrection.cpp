#include "DescriptorCorrection.h"

#include "FileSystem.h"
#include "ShownText.h"
#include "TemporaryFile.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MostKeptCopies = 1000;

// A file descriptor, closed when dropped.
class Handle
{
public:
    explicit Handle(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Handle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Handle(Handle&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Handle& operator=(Handle&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

QString changedReason()
{
    return QStringLiteral("it changed after it was checked");
}

bool isPlainName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\0');
}

QList<QByteArray> componentsOf(const QByteArray& path)
{
    QList<QByteArray> components = path.split('/');
    components.removeAll(QByteArray());
    return components;
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    if (folder == ".")
        return name;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// Whether status describes the file that was checked, unchanged.
bool isChecked(const struct stat& status, const FileIdentity& checked)
{
    return S_ISREG(status.st_mode) && quint64(status.st_dev) == checked.device
        && quint64(status.st_ino) == checked.inode && qint64(status.st_size) == checked.size
        && qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec == checked.modifiedNs;
}

QByteArray keptName(const QByteArray& name, const QByteArray& stamp, int attempt)
{
    return name + ".tweaked-" + stamp + (attempt == 1 ? QByteArray() : '-' + QByteArray::number(attempt));
}

// The descriptor's path taken apart: a folder taken as given, the folders
// below it, opened without following a link, and the file's name.
struct Way {
    QByteArray given;
    QList<QByteArray> folders;
    QByteArray name;
};

bool wayOf(const QByteArray& path, const CorrectionPlace& place, Way* way, QString* reason)
{
    const QByteArray tail = place.player + '/' + place.belowPlayer;
    QList<QByteArray> below = componentsOf(tail);
    const bool inPath = !place.player.isEmpty() && below.size() >= 2 && (path == tail || path.endsWith('/' + tail))
        && std::all_of(below.cbegin(), below.cend(), isPlainName);
    // The player's name also above would leave it open which folder is the
    // player's: then none is taken as given.
    if (inPath && !componentsOf(path.chopped(tail.size())).contains(place.player)) {
        way->given = path.chopped(tail.size());
        if (way->given.isEmpty())
            way->given = ".";
    } else {
        way->given = path.startsWith('/') ? "/" : ".";
        below = componentsOf(path);
    }
    if (below.isEmpty() || !isPlainName(below.last())) {
        *reason = QStringLiteral("it does not name a file");
        return false;
    }
    way->name = below.takeLast();
    way->folders = below;
    return true;
}

// Opens the folder given, then each of folders inside the last, never
// through a link (with create, making the ones missing); the last one is
// opened for reading, so that it can be synced.
Handle openFolder(const QByteArray& given, const QList<QByteArray>& folders, bool create, QString* reason)
{
    const auto fail = [reason](const QByteArray& folder) {
        *reason = QStringLiteral("the folder %1 cannot be opened: %2")
                      .arg(ShownText::name(folder), FileSystem::systemReason(errno));
        return Handle();
    };
    Handle current(::open(given.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!current.isOpen())
        return fail(given);
    QByteArray walked = given;
    for (const QByteArray& folder : folders) {
        walked = joined(walked, folder);
        if (create && ::mkdirat(current.fd(), folder.constData(), 0700) != 0 && errno != EEXIST)
            return fail(walked);
        Handle next(::openat(current.fd(), folder.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.isOpen()) {
            const int failure = errno;
            struct stat status {};
            if (::fstatat(current.fd(), folder.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISLNK(status.st_mode)) {
                *reason = QStringLiteral("the folder %1 is a symbolic link, which is not followed")
                              .arg(ShownText::name(walked));
                return Handle();
            }
            errno = failure;
            return fail(walked);
        }
        current = std::move(next);
    }
    Handle opened(::openat(current.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened.isOpen())
        return fail(walked);
    return opened;
}

bool readWhole(int fd, QByteArray* bytes)
{
    bytes->clear();
    char block[16384];
    for (;;) {
        const ssize_t got = ::pread(fd, block, sizeof block, bytes->size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        bytes->append(block, got);
    }
}

// Gives a new file the owner, group and permissions of the file it stands
// in for. Only root may give a file away; anyone else may still give it the
// group where he belongs to it, and otherwise it stays his own. A text file
// has no use for set-id bits, so they are not carried over.
bool takeOwnerAndMode(int fd, const struct stat& of)
{
    if (::geteuid() == 0) {
        if (::fchown(fd, of.st_uid, of.st_gid) != 0)
            return false;
    } else if (of.st_gid != ::getegid() && ::fchown(fd, uid_t(-1), of.st_gid) != 0 && errno != EPERM) {
        return false;
    }
    return ::fchmod(fd, of.st_mode & 0777) == 0;
}

// A kept copy of the tweaked file, taken back when the correction fails.
struct Kept {
    Handle ownFolder; // the keep folder's; beside the descriptor, none
    int folder = -1;
    QByteArray name;
    QByteArray path;

    void takeBack()
    {
        if (!name.isEmpty())
            ::unlinkat(folder, name.constData(), 0);
        name.clear();
    }
};

// The tweaked bytes as a new file in folder, named "<name>.tweaked-<stamp>"
// from the attempt-th name on, with the tweaked file's times. likeTweaked
// gives it the tweaked file's owner and permissions too; otherwise it is the
// running user's alone.
bool keepCopy(int folder, const QByteArray& name, const QByteArray& stamp, int attempt, const QByteArray& bytes,
              const struct stat& tweaked, bool likeTweaked, Kept* kept, QString* reason)
{
    const auto fail = [&](int failedAttempt) {
        *reason = QStringLiteral("its tweaked file could not be kept as %1: %2")
                      .arg(ShownText::name(keptName(name, stamp, failedAttempt)), FileSystem::systemReason(errno));
        return false;
    };
    TemporaryFile copy;
    QString unused; // the reason is told in the correction's words
    const struct timespec times[2] = {tweaked.st_atim, tweaked.st_mtim};
    if (!copy.createIn(folder, name, 0600, &unused) || !copy.write(bytes, &unused)
        || (likeTweaked && !takeOwnerAndMode(copy.fd(), tweaked)) || ::futimens(copy.fd(), times) != 0
        || !copy.sync(&unused))
        return fail(attempt);
    for (; attempt <= MostKeptCopies; ++attempt) {
        const QByteArray keptAs = keptName(name, stamp, attempt);
        if (copy.rename(keptAs, TemporaryFile::Existing::Keep, &unused)) {
            kept->folder = folder;
            kept->name = keptAs;
            return true;
        }
        if (errno != EEXIST)
            return fail(attempt);
    }
    *reason = QStringLiteral("it has too many kept copies already");
    return false;
}

// Keeps the tweaked file beside itself: a second name for it, or a copy
// where the file system refuses one.
bool keepBeside(int folder, const QByteArray& name, const QByteArray& stamp, int tweakedFd, const struct stat& tweaked,
                const FileIdentity& checked, Kept* kept, QString* reason)
{
    for (int attempt = 1; attempt <= MostKeptCopies; ++attempt) {
        const QByteArray keptAs = keptName(name, stamp, attempt);
        if (::linkat(folder, name.constData(), folder, keptAs.constData(), 0) == 0) {
            kept->folder = folder;
            kept->name = keptAs;
            // Linked by name: it must be the file that was checked.
            struct stat linked {};
            if (::fstatat(folder, keptAs.constData(), &linked, AT_SYMLINK_NOFOLLOW) != 0
                || !isChecked(linked, checked)) {
                kept->takeBack();
                *reason = changedReason();
                return false;
            }
            return true;
        }
        if (errno == EEXIST)
            continue;
        if (errno == ENOENT) {
            *reason = changedReason();
            return false;
        }
        // Refused by the file system, or by the system's rule that only a
        // file's owner may link it: a copy instead.
        if (errno == EPERM || errno == EMLINK || errno == EOPNOTSUPP) {
            QByteArray bytes;
            if (!readWhole(tweakedFd, &bytes)) {
                *reason = QStringLiteral("it could not be read: %1").arg(FileSystem::systemReason(errno));
                return false;
            }
            return keepCopy(folder, name, stamp, attempt, bytes, tweaked, true, kept, reason);
        }
        *reason = QStringLiteral("its tweaked file could not be kept as %1: %2")
                      .arg(ShownText::name(keptAs), FileSystem::systemReason(errno));
        return false;
    }
    *reason = QStringLiteral("it has too many kept copies already");
    return false;
}

// Keeps a copy of the tweaked file in the keep folder, beyond the players'
// reach: a copy, since that folder may be on another file system.
bool keepInFolder(const CorrectionPlace& place, const Way& way, const QByteArray& stamp, int tweakedFd,
                  const struct stat& tweaked, Kept* kept, QString* reason)
{
    QList<QByteArray> folders = componentsOf(place.belowPlayer);
    if (folders.isEmpty())
        folders = {way.name};
    if (!place.player.isEmpty())
        folders.prepend(place.player);
    if (!std::all_of(folders.cbegin(), folders.cend(), isPlainName)) {
        *reason = QStringLiteral("its place below the player (%1) is no plain path for a kept copy")
                      .arg(ShownText::name(place.player + '/' + place.belowPlayer));
        return false;
    }
    const QByteArray name = folders.takeLast();

    if (::mkdir(place.keepFolder.constData(), 0700) != 0 && errno != EEXIST) {
        *reason = QStringLiteral("the keep folder %1 cannot be made: %2")
                      .arg(ShownText::name(place.keepFolder), FileSystem::systemReason(errno));
        return false;
    }
    kept->ownFolder = openFolder(place.keepFolder, folders, true, reason);
    if (!kept->ownFolder.isOpen())
        return false;
    QByteArray bytes;
    if (!readWhole(tweakedFd, &bytes)) {
        *reason = QStringLiteral("it could not be read: %1").arg(FileSystem::systemReason(errno));
        return false;
    }
    if (!keepCopy(kept->ownFolder.fd(), name, stamp, 1, bytes, tweaked, false, kept, reason))
        return false;
    if (::fsync(kept->ownFolder.fd()) != 0) {
        *reason = QStringLiteral("its tweaked file could not be kept: %1").arg(FileSystem::systemReason(errno));
        kept->takeBack();
        return false;
    }
    QByteArray keepFolder = place.keepFolder;
    while (keepFolder.size() > 1 && keepFolder.endsWith('/'))
        keepFolder.chop(1);
    for (const QByteArray& folder : std::as_const(folders))
        keepFolder = joined(keepFolder, folder);
    kept->path = joined(keepFolder, kept->name);
    return true;
}

// Writes the genuine bytes beside the descriptor and gives them its name,
// once the name is confirmed to lead to the checked file still.
bool replace(int folder, const QByteArray& name, const QByteArray& genuine, const struct stat& tweaked,
             const FileIdentity& checked, QString* reason)
{
    TemporaryFile fresh;
    QString unused; // the reason is told in the correction's words
    if (!fresh.createIn(folder, name, 0600, &unused) || !fresh.write(genuine, &unused)) {
        *reason = QStringLiteral("the genuine descriptor could not be written beside it: %1")
                      .arg(FileSystem::systemReason(errno));
        return false;
    }
    if (!takeOwnerAndMode(fresh.fd(), tweaked)) {
        *reason = QStringLiteral("the genuine descriptor could not take its owner and permissions: %1")
                      .arg(FileSystem::systemReason(errno));
        return false;
    }
    if (!fresh.sync(&unused)) {
        *reason = QStringLiteral("the genuine descriptor could not be written beside it: %1")
                      .arg(FileSystem::systemReason(errno));
        return false;
    }
    // The kept name is on disk before the tweaked file loses its own.
    if (::fsync(folder) != 0 && errno != EINVAL) {
        *reason = QStringLiteral("its folder could not be synced: %1").arg(FileSystem::systemReason(errno));
        return false;
    }
    struct stat now {};
    if (::fstatat(folder, name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !isChecked(now, checked)) {
        *reason = changedReason();
        return false;
    }
    if (!fresh.rename(name, TemporaryFile::Existing::Replace, &unused)) {
        *reason = QStringLiteral("it could not be replaced: %1").arg(FileSystem::systemReason(errno));
        return false;
    }
    // Done and not to be taken back: syncing the folder is all that is left.
    ::fsync(folder);
    return true;
}

} // namespace

bool correctDescriptor(const QByteArray& path, const FileIdentity& checked, const QByteArray& genuine,
                       const QString& stamp, const CorrectionPlace& place, QByteArray* keptAs, QString* error)
{
    keptAs->clear();
    QString reason;
    const auto fail = [&] {
        *error = FileSystem::failure(ShownText::name(path), reason + QStringLiteral(", so it was not corrected"));
        return false;
    };

    Way way;
    if (!wayOf(path, place, &way, &reason))
        return fail();
    const Handle folder = openFolder(way.given, way.folders, false, &reason);
    if (!folder.isOpen())
        return fail();

    // Looked at before it is opened, so that nothing but the checked file
    // (no FIFO or device put in its place) is ever opened.
    struct stat tweaked {};
    if (::fstatat(folder.fd(), way.name.constData(), &tweaked, AT_SYMLINK_NOFOLLOW) != 0) {
        reason = errno == ENOENT ? changedReason() : FileSystem::systemReason(errno);
        return fail();
    }
    if (!isChecked(tweaked, checked)) {
        reason = changedReason();
        return fail();
    }
    const Handle opened(::openat(folder.fd(), way.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!opened.isOpen() || ::fstat(opened.fd(), &tweaked) != 0) {
        reason = errno == ENOENT || errno == ELOOP ? changedReason() : FileSystem::systemReason(errno);
        return fail();
    }
    if (!isChecked(tweaked, checked)) {
        reason = changedReason();
        return fail();
    }

    const QByteArray stampBytes = stamp.toUtf8();
    Kept kept;
    if (place.keepFolder.isEmpty()) {
        if (!keepBeside(folder.fd(), way.name, stampBytes, opened.fd(), tweaked, checked, &kept, &reason))
            return fail();
        kept.path = path + kept.name.mid(way.name.size());
    } else if (!keepInFolder(place, way, stampBytes, opened.fd(), tweaked, &kept, &reason)) {
        return fail();
    }

    if (!replace(folder.fd(), way.name, genuine, tweaked, checked, &reason)) {
        kept.takeBack();
        return fail();
    }
    *keptAs = kept.path;
    return true;
}

CorrectionPlace CorrectionPlace::of(const Verdict& verdict, const QByteArray& keepFolder)
{
    const QByteArray inPlayer = '/' + verdict.player + '/';
    const qsizetype at = verdict.path.lastIndexOf(inPlayer);
    QByteArray below;
    if (at >= 0)
        below = verdict.path.mid(at + inPlayer.size());
    else if (verdict.path.startsWith(verdict.player + '/'))
        below = verdict.path.mid(verdict.player.size() + 1);
    else
        below = verdict.path.mid(verdict.path.lastIndexOf('/') + 1);
    return {keepFolder, verdict.player, below};
}
