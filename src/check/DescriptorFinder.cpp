#include "DescriptorFinder.h"

#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <sys/stat.h>

// One folder being walked, and how far the walk is in it.
struct DescriptorFinder::Folder {
    std::unique_ptr<FolderListing> listing;
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

DescriptorFinder::DescriptorFinder(const QStringList& paths, const Car* givenCar, int listers)
    : m_paths(paths)
    , m_givenCar(givenCar)
    , m_lister(listers > 0 ? std::make_unique<FolderLister>(listers) : nullptr)
{
}

DescriptorFinder::~DescriptorFinder() = default;

// Opens a folder for the walk; false, with the reason in refused, when it
// cannot be read or would lead round a loop.
bool DescriptorFinder::enter(const QByteArray& folder, FoundDescriptor* refused)
{
    std::unique_ptr<FolderListing> listing = m_lister ? m_lister->take(folder) : FolderListing::of(folder);
    if (listing->error != 0) {
        *refused = refusal(folder, QStringLiteral("the folder cannot be read: %1").arg(FileSystem::systemReason(listing->error)));
        return false;
    }
    for (const Folder& ancestor : m_walk) {
        if (ancestor.listing->device == listing->device && ancestor.listing->inode == listing->inode) {
            *refused = refusal(folder, QStringLiteral("a symbolic-link loop: it leads back to %1").arg(shown(ancestor.listing->path)));
            return false;
        }
    }
    if (m_lister)
        m_lister->entered(*listing);
    m_walk.push_back({std::move(listing), 0});
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

        Folder& folder = m_walk.back();
        const FolderListing& listing = *folder.listing;
        if (folder.next == listing.entries.size()) {
            m_walk.pop_back();
            continue;
        }
        if (m_lister)
            m_lister->walkedTo(listing, folder.next);
        const FolderListing::Entry& entry = listing.entries[folder.next++];
        const QByteArray path = listing.pathOf(entry);
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
        if (const Car* car = CarCatalogue::carOfDescriptorName(QFile::decodeName(listing.name(entry).toByteArray()))) {
            *found = {shown(path), car, QString()};
            return true;
        }
    }
}
