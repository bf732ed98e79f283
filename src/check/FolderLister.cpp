#include "FolderLister.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Listings made and not yet taken, at most: a bound on memory.
constexpr std::size_t MostAhead = 256;
// How many of a folder's entries ahead of the walk its folders are listed.
constexpr std::size_t Window = 256;
} // namespace

std::unique_ptr<FolderListing> FolderListing::of(const QByteArray& path)
{
    auto listing = std::make_unique<FolderListing>();
    listing->path = path;
    // The system's calls themselves, not opendir(), which looks at the
    // folder once more than the walk needs: reading folders is most of a
    // walk's cost.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        listing->error = errno;
        if (fd >= 0)
            ::close(fd);
        return listing;
    }
    listing->device = status.st_dev;
    listing->inode = status.st_ino;
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            listing->error = errno;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            const QByteArrayView name(entry->d_name);
            if (name != "." && name != "..") {
                listing->entries.push_back({entry->d_ino, quint32(listing->names.size()), quint32(name.size()), entry->d_type});
                listing->names.append(name);
            }
            at += entry->d_reclen;
        }
    }
    ::close(fd);
    listing->names.squeeze();
    const FolderListing& sorted = *listing;
    std::sort(listing->entries.begin(), listing->entries.end(),
              [&sorted](const Entry& a, const Entry& b) { return sorted.name(a) < sorted.name(b); });
    return listing;
}

QByteArray FolderListing::pathOf(const Entry& entry) const
{
    QByteArray joined = path;
    if (!joined.endsWith('/'))
        joined += '/';
    return joined.append(name(entry));
}

FolderLister::FolderLister(int threads)
{
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { work(); });
}

FolderLister::~FolderLister()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_workWaiting.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

// The folders among the first entries of a listing go to the front of the
// queue, in their order: the walk goes into them before anything queued
// earlier.
void FolderLister::listAhead(FolderListing& listing)
{
    listing.listedAhead = true;
    for (std::size_t entry = std::min(Window, listing.entries.size()); entry > 0; --entry)
        queue(listing, entry - 1, true);
}

void FolderLister::walkedTo(const FolderListing& listing, std::size_t entry)
{
    if (entry + Window >= listing.entries.size())
        return;
    const std::lock_guard lock(m_mutex);
    queue(listing, entry + Window, false);
}

// Later folders of a listing the walk is in go behind what is queued: the
// walk needs them after the folders below where it is now.
void FolderLister::queue(const FolderListing& listing, std::size_t entry, bool first)
{
    const FolderListing::Entry& folder = listing.entries[entry];
    if (folder.type != DT_DIR)
        return;
    const QByteArray path = listing.pathOf(folder);
    if (!m_queued.insert(path).second)
        return;
    if (first)
        m_queue.push_front(path);
    else
        m_queue.push_back(path);
    m_workWaiting.notify_one();
}

void FolderLister::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workWaiting.wait(lock, [this] { return m_stopping || (!m_queue.empty() && m_ready.size() < MostAhead); });
        if (m_stopping)
            return;
        const QByteArray folder = m_queue.front();
        m_queue.pop_front();
        // The walk may have taken it over already.
        if (m_queued.erase(folder) == 0)
            continue;
        m_listing.insert(folder);
        lock.unlock();
        std::unique_ptr<FolderListing> listing = FolderListing::of(folder);
        lock.lock();
        m_listing.erase(folder);
        listAhead(*listing);
        m_ready.emplace(folder, std::move(listing));
        m_listed.notify_all();
    }
}

std::unique_ptr<FolderListing> FolderLister::take(const QByteArray& folder)
{
    std::unique_lock lock(m_mutex);
    m_listed.wait(lock, [&] { return !m_listing.count(folder); });
    if (const auto ready = m_ready.find(folder); ready != m_ready.end()) {
        std::unique_ptr<FolderListing> listing = std::move(ready->second);
        m_ready.erase(ready);
        m_workWaiting.notify_one();
        return listing;
    }
    // Not listed yet: the walk lists it itself, and the helpers pass it by.
    m_queued.erase(folder);
    lock.unlock();
    return FolderListing::of(folder);
}

void FolderLister::entered(FolderListing& listing)
{
    if (listing.listedAhead)
        return;
    const std::lock_guard lock(m_mutex);
    listAhead(listing);
}
