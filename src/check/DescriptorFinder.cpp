#include "DescriptorFinder.h"

#include "CollectorFolder.h"
#include "FileSystem.h"
#include "PlayerName.h"
#include "ShownText.h"

#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>

// One folder being walked, and how far the walk is in it.
struct DescriptorFinder::Folder {
    std::unique_ptr<FolderListing> listing;
    std::size_t next = 0;
    QByteArray player; // of every descriptor below
    CollectorFolder::LatestCopies latest;
};

namespace {

QString shown(QByteArrayView path)
{
    return ShownText::name(path);
}

FoundDescriptor refusal(const QByteArray& path, const QByteArray& player, const QString& reason)
{
    return {path, player, nullptr, FileSystem::failure(shown(path), reason)};
}

// The DT_ type of what lies at path, for a file system whose listings do not say.
unsigned char typeAt(const QByteArray& path)
{
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0)
        return DT_REG; // gone since it was listed: its check says so
    return S_ISDIR(status.st_mode) ? DT_DIR : S_ISLNK(status.st_mode) ? DT_LNK : DT_REG;
}

} // namespace

DescriptorFinder::DescriptorFinder(const QList<QByteArray>& paths, const FinderOptions& options, Notice notice)
    : m_paths(paths)
    , m_options(options)
    , m_notice(std::move(notice))
    , m_lister(options.listers > 0 ? std::make_unique<FolderLister>(options.listers) : nullptr)
{
}

DescriptorFinder::~DescriptorFinder() = default;

void DescriptorFinder::tell(const QString& text) const
{
    if (m_notice)
        m_notice(text);
}

// Whether this is the first time the walk meets file; a file met again is
// told of, with the path it was first found under.
bool DescriptorFinder::firstMeeting(const FileKey& file, const QByteArray& path)
{
    const auto [met, first] = m_met.try_emplace(file, m_metPaths.size());
    if (first) {
        m_metPaths.append(path).append('\0');
        return true;
    }
    tell(QStringLiteral("%1: the same file as %2, checked once").arg(shown(path), shown(m_metPaths.constData() + met->second)));
    return false;
}

std::size_t DescriptorFinder::FileKeyHash::operator()(const FileKey& file) const
{
    const auto [device, inode, car] = file;
    return std::hash<ino_t>()(inode) ^ (std::hash<dev_t>()(device) << 1) ^ std::hash<const Car*>()(car);
}

// Starts on the next path: true when it gives an entry at once (a file, or
// an error), false when its walk begins or it gives nothing.
bool DescriptorFinder::startPath(const QByteArray& path, FoundDescriptor* found)
{
    m_pathGave = false;
    m_inCollector = false;
    struct stat status {};
    const bool resolves = ::stat(path.constData(), &status) == 0;
    if (resolves && S_ISDIR(status.st_mode)) {
        m_pathPlayer = PlayerName::ofFolder(path);
        if (enter(path, {}, found))
            return false;
        m_pathGave = true;
        return true;
    }
    m_pathGave = true;
    if (!resolves && ::lstat(path.constData(), &status) != 0) {
        // Not a descriptor of anyone's: no verdict, no player.
        const int reason = errno;
        m_pathErrors << FileSystem::failure(shown(path), reason == ENOENT ? QStringLiteral("no such file or folder")
                                                                          : FileSystem::systemReason(reason));
        return false;
    }
    const QByteArray player = PlayerName::ofFile(path);
    const Car* car = CarCatalogue::descriptorNameOf(QByteArrayView(path).sliced(path.lastIndexOf('/') + 1)).car;
    if (!car)
        car = m_options.givenCar;
    if (!car) {
        *found = refusal(path, player, QStringLiteral("the name says no car; name one with --car"));
        return true;
    }
    if (!firstMeeting({status.st_dev, status.st_ino, car}, path))
        return false;
    *found = {path, player, car, QString()};
    return true;
}

// Opens a folder for the walk; false, with the reason in refused, when it
// cannot be read. A folder that would lead round a loop is passed by.
bool DescriptorFinder::enter(const QByteArray& folder, QByteArrayView name, FoundDescriptor* refused)
{
    QByteArray player;
    if (m_walk.empty())
        player = m_pathPlayer; // what lies in the path itself
    else if (m_walk.size() > 1)
        player = m_walk.back().player;
    else if (m_options.playerDepth0 || (!m_inCollector && PlayerName::isGameFolder(name)))
        player = m_pathPlayer;
    else
        player = name.toByteArray();

    std::unique_ptr<FolderListing> listing = m_lister ? m_lister->take(folder) : FolderListing::of(folder);
    if (listing->error != 0) {
        *refused = refusal(folder, player,
                           QStringLiteral("the folder cannot be read: %1").arg(FileSystem::systemReason(listing->error)));
        return false;
    }
    for (const Folder& ancestor : m_walk) {
        if (ancestor.listing->device == listing->device && ancestor.listing->inode == listing->inode) {
            tell(QStringLiteral("%1: a loop back to %2, not followed").arg(shown(folder), shown(ancestor.listing->path)));
            return true;
        }
    }
    if (m_walk.empty())
        m_inCollector = CollectorFolder::isCollectorFolder(*listing);
    CollectorFolder::LatestCopies latest;
    if (m_inCollector && !m_options.allCopies)
        latest = CollectorFolder::LatestCopies(*listing);
    if (m_lister)
        m_lister->entered(*listing);
    m_walk.push_back({std::move(listing), 0, std::move(player), latest});
    return true;
}

bool DescriptorFinder::next(FoundDescriptor* found)
{
    for (;;) {
        if (m_walk.empty()) {
            if (m_nextPath >= m_paths.size())
                return false;
            if (startPath(m_paths.at(m_nextPath++), found))
                return true;
            continue;
        }

        Folder& folder = m_walk.back();
        const FolderListing& listing = *folder.listing;
        if (folder.next == listing.entries.size()) {
            m_walk.pop_back();
            if (m_walk.empty() && !m_pathGave)
                m_emptyPaths << m_paths.at(m_nextPath - 1);
            continue;
        }
        if (m_lister)
            m_lister->walkedTo(listing, folder.next);
        const FolderListing::Entry& entry = listing.entries[folder.next++];
        const QByteArrayView name = listing.name(entry);
        FileKey file{listing.device, entry.inode, nullptr};
        QByteArray path;
        unsigned char type = entry.type;
        if (type == DT_UNKNOWN)
            type = typeAt(path = listing.pathOf(entry));
        if (type == DT_LNK) {
            if (path.isEmpty())
                path = listing.pathOf(entry);
            struct stat target {};
            const bool resolves = ::stat(path.constData(), &target) == 0;
            if (resolves && S_ISDIR(target.st_mode)) {
                if (!m_options.followLinks) {
                    if (m_linksTold.insert({listing.device, entry.inode}).second)
                        tell(QStringLiteral("%1: a link to a folder, not followed (--follow follows it)").arg(shown(path)));
                    continue;
                }
                type = DT_DIR;
            } else if (resolves && m_options.followLinks) {
                // Followed, it is the file it leads to.
                file = {target.st_dev, target.st_ino, nullptr};
            }
        }
        if (type == DT_DIR) {
            if (path.isEmpty())
                path = listing.pathOf(entry);
            if (enter(path, name, found))
                continue;
            m_pathGave = true;
            return true;
        }

        const CarCatalogue::DescriptorName descriptor = CarCatalogue::descriptorNameOf(name);
        if (!descriptor.car)
            continue;
        m_pathGave = true;
        if (!folder.latest.isLatest(descriptor))
            continue;
        if (path.isEmpty())
            path = listing.pathOf(entry);
        std::get<const Car*>(file) = descriptor.car;
        if (!firstMeeting(file, path))
            continue;
        *found = {path, folder.player, descriptor.car, QString()};
        return true;
    }
}
