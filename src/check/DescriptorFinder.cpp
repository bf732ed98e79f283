#include "DescriptorFinder.h"

#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>

// One folder being walked: its entries, sorted, and how far the walk is.
struct DescriptorFinder::Folder {
    struct Entry {
        QByteArray name;
        unsigned char type = DT_UNKNOWN;
    };

    QByteArray path;
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<Entry> entries;
    std::size_t next = 0;
};

namespace {

QString shown(const QByteArray& path)
{
    return QFile::decodeName(path);
}

FoundDescriptor refusal(const QByteArray& path, const QString& reason)
{
    return {shown(path), nullptr, FileSystem::failure(shown(path), reason)};
}

} // namespace

DescriptorFinder::DescriptorFinder(const QStringList& paths, const Car* givenCar)
    : m_paths(paths)
    , m_givenCar(givenCar)
{
}

DescriptorFinder::~DescriptorFinder() = default;

// Opens a folder for the walk; false, with the reason in refused, when it
// cannot be read or would lead round a loop.
bool DescriptorFinder::enter(const QByteArray& folder, FoundDescriptor* refused)
{
    DIR* dir = ::opendir(folder.constData());
    if (!dir) {
        *refused = refusal(folder, QStringLiteral("the folder cannot be read: %1").arg(FileSystem::systemReason(errno)));
        return false;
    }
    struct stat status {};
    ::fstat(::dirfd(dir), &status);
    for (const std::unique_ptr<Folder>& ancestor : m_walk) {
        if (ancestor->device == status.st_dev && ancestor->inode == status.st_ino) {
            ::closedir(dir);
            *refused = refusal(folder, QStringLiteral("a symbolic-link loop: it leads back to %1").arg(shown(ancestor->path)));
            return false;
        }
    }
    auto walked = std::make_unique<Folder>();
    walked->path = folder;
    walked->device = status.st_dev;
    walked->inode = status.st_ino;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            walked->entries.push_back({name, entry->d_type});
    }
    ::closedir(dir);
    std::sort(walked->entries.begin(), walked->entries.end(),
              [](const Folder::Entry& a, const Folder::Entry& b) { return a.name < b.name; });
    m_walk.push_back(std::move(walked));
    return true;
}

bool DescriptorFinder::next(FoundDescriptor* found)
{
    for (;;) {
        if (m_walk.empty()) {
            if (m_nextPath >= m_paths.size())
                return false;
            const QString path = m_paths.at(m_nextPath++);
            const QByteArray encoded = QFile::encodeName(path);
            struct stat status {};
            if (::stat(encoded.constData(), &status) == 0 && S_ISDIR(status.st_mode)) {
                if (!enter(encoded, found))
                    return true;
                continue;
            }
            struct stat link {};
            if (::lstat(encoded.constData(), &link) != 0) {
                *found = refusal(encoded, QStringLiteral("no such file or folder"));
                return true;
            }
            const Car* car = CarCatalogue::carOfDescriptorName(QFileInfo(path).fileName());
            *found = car || m_givenCar ? FoundDescriptor{path, car ? car : m_givenCar, QString()}
                                       : refusal(encoded, QStringLiteral("the name says no car; name one with --car"));
            return true;
        }

        Folder& folder = *m_walk.back();
        if (folder.next == folder.entries.size()) {
            m_walk.pop_back();
            continue;
        }
        const Folder::Entry& entry = folder.entries[folder.next++];
        const QByteArray path = folder.path.endsWith('/') ? folder.path + entry.name : folder.path + '/' + entry.name;
        bool isFolder = entry.type == DT_DIR;
        if (entry.type == DT_LNK || entry.type == DT_UNKNOWN) {
            struct stat status {};
            isFolder = ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
        }
        if (isFolder) {
            if (!enter(path, found))
                return true;
            continue;
        }
        if (const Car* car = CarCatalogue::carOfDescriptorName(QFile::decodeName(entry.name))) {
            *found = {shown(path), car, QString()};
            return true;
        }
    }
}
