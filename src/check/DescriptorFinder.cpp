#include "DescriptorFinder.h"

#include "FileSystem.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <set>

namespace {

class Finder
{
public:
    explicit Finder(const Car* givenCar)
        : m_givenCar(givenCar)
    {
    }

    void addPath(const QString& path)
    {
        const QFileInfo info(path);
        if (info.isDir()) {
            QStringList ancestors;
            addFolder(path, ancestors);
        } else if (!info.exists() && !info.isSymLink()) {
            addError(path, QStringLiteral("no such file or folder"));
        } else if (const Car* car = CarCatalogue::carOfDescriptorName(info.fileName()); car || m_givenCar) {
            add({path, car ? car : m_givenCar, QString()});
        } else {
            addError(path, QStringLiteral("the name says no car; name one with --car"));
        }
    }

    std::vector<FoundDescriptor> take()
    {
        std::sort(m_found.begin(), m_found.end(),
                  [](const FoundDescriptor& a, const FoundDescriptor& b) { return a.path < b.path; });
        return std::move(m_found);
    }

private:
    // ancestors: the canonical paths of the folders this one lies in, to
    // tell a link that leads back up from one that leads elsewhere.
    void addFolder(const QString& folder, QStringList& ancestors)
    {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (ancestors.contains(canonical)) {
            addError(folder, QStringLiteral("a symbolic-link loop: it leads back to %1").arg(QDir::toNativeSeparators(canonical)));
            return;
        }
        // Reached before by another way: its descriptors are listed already.
        if (!m_visited.insert(canonical).second)
            return;
        QDir dir(folder);
        if (!dir.isReadable()) {
            addError(folder, QStringLiteral("the folder cannot be read"));
            return;
        }
        ancestors.push_back(canonical);
        const QFileInfoList entries =
            dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& entry : entries) {
            const QString path = folder.endsWith(u'/') ? folder + entry.fileName() : folder + u'/' + entry.fileName();
            if (entry.isDir())
                addFolder(path, ancestors);
            else if (const Car* car = CarCatalogue::carOfDescriptorName(entry.fileName()))
                add({path, car, QString()});
        }
        ancestors.pop_back();
    }

    void add(FoundDescriptor found)
    {
        // The same file given twice, or by two ways, is checked once.
        const QString key = QFileInfo(found.path).isSymLink() ? QFileInfo(found.path).absoluteFilePath()
                                                              : QFileInfo(found.path).canonicalFilePath();
        if (key.isEmpty() || m_files.insert(key).second)
            m_found.push_back(std::move(found));
    }

    void addError(const QString& path, const QString& reason)
    {
        m_found.push_back({path, nullptr, FileSystem::failure(path, reason)});
    }

    const Car* m_givenCar;
    std::vector<FoundDescriptor> m_found;
    std::set<QString> m_visited;
    std::set<QString> m_files;
};

} // namespace

std::vector<FoundDescriptor> findDescriptors(const QStringList& paths, const Car* givenCar)
{
    Finder finder(givenCar);
    for (const QString& path : paths)
        finder.addPath(path);
    return finder.take();
}
