#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <sys/types.h>

// One folder's entries, sorted by the bytes of their names. The names are
// kept end to end in one block: a folder of many thousand entries costs
// little more than their names.
struct FolderListing {
    struct Entry {
        ino_t inode = 0; // as the listing gives it: with device, which file it is, at no cost
        quint32 offset = 0; // of the name in names
        quint32 length = 0;
        unsigned char type = 0; // the system's DT_ value; DT_UNKNOWN when it does not say
    };

    QByteArray path;
    int error = 0; // errno of a folder that could not be read
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray names;
    std::vector<Entry> entries;
    bool listedAhead = false; // its first folders are queued for listing already

    QByteArrayView name(const Entry& entry) const { return QByteArrayView(names).sliced(entry.offset, entry.length); }
    // The path of an entry: the folder's path, then the entry's name.
    QByteArray pathOf(const Entry& entry) const;

    static std::unique_ptr<FolderListing> of(const QByteArray& path);
};

// Lists folders ahead of a walk, on threads of its own. Reading folders is
// most of a walk's cost, and the system reads different folders at the same
// time, so a walk that goes depth first, as the next folder it needs is
// listed already, takes the time of its share. The helpers list in the
// walk's order, depth first from where it is, and never more than a bounded
// number of listings ahead.
class FolderLister
{
public:
    explicit FolderLister(int threads);
    ~FolderLister();
    FolderLister(const FolderLister&) = delete;
    FolderLister& operator=(const FolderLister&) = delete;

    // The listing of folder: the helpers' when they have it or are at it,
    // else made now.
    std::unique_ptr<FolderListing> take(const QByteArray& folder);
    // The walk goes into listing: its first folders are listed ahead from
    // now on (a helper's own listing has them listed ahead already). Only
    // after the walk has checked the folder, so that a link's loop is never
    // followed here either.
    void entered(FolderListing& listing);
    // The walk is at entry of listing: the folder a window's width further
    // on is listed ahead too, so a folder of any width is listed ahead
    // without holding all its folders' names at once.
    void walkedTo(const FolderListing& listing, std::size_t entry);

private:
    void work();
    void listAhead(FolderListing& listing);
    void queue(const FolderListing& listing, std::size_t entry, bool first);

    std::mutex m_mutex;
    std::condition_variable m_workWaiting;
    std::condition_variable m_listed;
    std::deque<QByteArray> m_queue;
    std::set<QByteArray> m_queued;  // in the queue and not yet taken by the walk
    std::set<QByteArray> m_listing; // being listed now
    std::map<QByteArray, std::unique_ptr<FolderListing>> m_ready;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
