#pragma once

#include "CarCatalogue.h"
#include "DescriptorCheck.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <memory>
#include <vector>

class ReferenceStore;

// A program folder's reference data, as the window reads it: "Sam.mdb" and
// each car's genuine descriptor, list entry + ".dat", beside it.
class ReferenceFolder
{
public:
    explicit ReferenceFolder(const QString& folder);

    QString folder() const { return m_folder; }
    QString databasePath() const;
    QString genuinePath(const Car& car) const;

    // The window's own checks, by size and date: the database and the
    // reference file of each car given. One line for each file that fails,
    // naming it, what was expected and what was found.
    QStringList verify(const std::vector<const Car*>& cars) const;

    // Reads the genuine descriptor of each car given and checks it once
    // against store; a car whose file cannot be read has a reason instead,
    // naming the file. The other cars' genuine descriptors are read too,
    // where they can be, to tell a descriptor that is another car's.
    void loadGenuine(const std::vector<const Car*>& cars, ReferenceStore& store);
    const GenuineDescriptor* genuine(const Car& car) const;
    // Every car's genuine descriptor that was read.
    const GenuineSet& allGenuine() const { return m_all; }
    // Another accepted version of a car's genuine descriptor, checked once
    // against store; only for a car whose own was read.
    void addVersion(const QString& name, const Car& car, const QByteArray& bytes, ReferenceStore& store);
    // The car's accepted versions, its own first; empty when its own could
    // not be read.
    const GenuineVersions& versions(const Car& car) const;
    // The genuine bytes a verdict was made against: those of the version it
    // names; empty for a verdict of no car.
    QByteArray genuineBytesOf(const Verdict& verdict) const;
    QString genuineError(const Car& car) const;

    // Opens the database with the indexes of cars made current once here,
    // so whatever the store reads at that moment is read on this thread.
    std::unique_ptr<ReferenceStore> openStore(const std::vector<const Car*>& cars, QString* error) const;

private:
    QString m_folder;
    std::map<const Car*, GenuineDescriptor> m_genuine;
    std::map<const Car*, QString> m_genuineErrors;
    std::map<const Car*, GenuineDescriptor> m_others;
    GenuineSet m_all;
    std::map<const Car*, std::deque<GenuineDescriptor>> m_otherVersions;
    std::map<const Car*, GenuineVersions> m_versions;
};
