#pragma once

#include "CarCatalogue.h"
#include "FolderLister.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// A descriptor to check, or a path that could not be looked into.
struct FoundDescriptor {
    QString path;
    const Car* car = nullptr;
    QString error; // set when the path cannot be checked: it names the path and says why
};

// Every descriptor that paths name, one at a time: a file given directly, or,
// below a folder at any depth, each file named as a car's descriptor in the
// game or as received, in any letter case. The name says the car; a file
// given directly whose name says none takes givenCar, or is an error.
//
// The paths are taken in the order given, and a folder's entries in the
// byte order of their names, depth first. Links to folders are followed,
// but never round a loop; a folder that cannot be read is an error and the
// rest goes on. Only the folders being walked are held, never the whole
// list, so a league of any size takes the same memory. Given listers, that
// many threads list folders ahead of the walk.
class DescriptorFinder
{
public:
    DescriptorFinder(const QStringList& paths, const Car* givenCar, int listers = 0);
    ~DescriptorFinder();
    DescriptorFinder(const DescriptorFinder&) = delete;
    DescriptorFinder& operator=(const DescriptorFinder&) = delete;

    // False once every path is done.
    bool next(FoundDescriptor* found);

private:
    struct Folder;
    bool enter(const QByteArray& folder, FoundDescriptor* refused);

    QStringList m_paths;
    qsizetype m_nextPath = 0;
    const Car* m_givenCar;
    std::unique_ptr<FolderLister> m_lister;
    std::vector<Folder> m_walk;
};
