#pragma once

#include "CarCatalogue.h"
#include "FolderLister.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <sys/types.h>

// A descriptor to check, or a path that could not be looked into.
struct FoundDescriptor {
    QByteArray path; // as the system gives it
    QByteArray player;
    const Car* car = nullptr;
    QString error; // set when the path cannot be checked: it names the path and says why
};

struct FinderOptions {
    const Car* givenCar = nullptr; // of a file given directly whose name says no car
    int listers = 0;               // threads that list folders ahead of the walk
    bool followLinks = false;      // links to folders below a path are walked too
    bool allCopies = false;        // in a collector's folder, every copy a player sent
    bool playerDepth0 = false;     // each path is one player's
};

// Every descriptor that paths name, one at a time: a file given directly, or,
// below a folder at any depth, each file whose name says a car
// (CarCatalogue::descriptorNameOf). A file given directly whose name says
// none takes givenCar, or is an error. Names and paths stay the system's
// bytes throughout.
//
// The paths are taken in the order given, and a folder's entries in the
// byte order of their names, depth first. A link to a folder below a path
// is not followed, as find does not, unless followLinks; a path itself is
// always followed. A loop is never walked round. A file met again as the
// same car's descriptor (by another path, a hard link, a followed link) is
// found once, under the first path.
// A folder that cannot be read is an error and the rest goes on; a path
// that is not there is no descriptor at all (pathErrors).
//
// A descriptor's player is the first folder below the path given, unless
// that is one of the game's folders or the file lies in the path itself:
// then it is the path's own name (PlayerName::ofFolder). With
// playerDepth0, always the path's own name.
//
// In a collector's folder (it holds verdicts.jsonl), the first folder is
// the sender's whatever its name, and only each sender's latest copy of a
// car is found, unless allCopies.
//
// Only the folders being walked are held, and, of each descriptor found,
// which file it is and its path. Given listers, that many threads list
// folders ahead of the walk.
class DescriptorFinder
{
public:
    using Notice = std::function<void(const QString& notice)>;

    // notice is told, on the thread that calls next, of what the walk
    // passed by: links not followed, loops, files met again.
    DescriptorFinder(const QList<QByteArray>& paths, const FinderOptions& options, Notice notice = {});
    ~DescriptorFinder();
    DescriptorFinder(const DescriptorFinder&) = delete;
    DescriptorFinder& operator=(const DescriptorFinder&) = delete;

    // False once every path is done.
    bool next(FoundDescriptor* found);

    // The paths that held no descriptor and gave no error, in the order
    // given: complete once next has returned false.
    QList<QByteArray> emptyPaths() const { return m_emptyPaths; }

    // Why each path that is not there (or cannot be looked at) was passed
    // by, naming it, in the order given: complete once next has returned false.
    QStringList pathErrors() const { return m_pathErrors; }

private:
    struct Folder;
    using FileKey = std::tuple<dev_t, ino_t, const Car*>;
    struct FileKeyHash {
        std::size_t operator()(const FileKey& file) const;
    };

    bool startPath(const QByteArray& path, FoundDescriptor* found);
    bool enter(const QByteArray& folder, QByteArrayView name, FoundDescriptor* refused);
    bool firstMeeting(const FileKey& file, const QByteArray& path);
    void tell(const QString& text) const;

    QList<QByteArray> m_paths;
    qsizetype m_nextPath = 0;
    FinderOptions m_options;
    Notice m_notice;
    std::unique_ptr<FolderLister> m_lister;
    std::vector<Folder> m_walk;

    // The path being walked: its player, whether it is a collector's
    // folder, and whether it gave anything yet.
    QByteArray m_pathPlayer;
    bool m_inCollector = false;
    bool m_pathGave = false;
    QList<QByteArray> m_emptyPaths;
    QStringList m_pathErrors;

    // Each file found, with where in m_metPaths the path it was found
    // under starts: a league's paths end to end cost little more than their bytes.
    std::unordered_map<FileKey, qsizetype, FileKeyHash> m_met;
    QByteArray m_metPaths;
    std::set<std::pair<dev_t, ino_t>> m_linksTold;
};
