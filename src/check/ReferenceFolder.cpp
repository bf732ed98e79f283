#include "ReferenceFolder.h"

#include "FileSystem.h"
#include "OpenReferenceStore.h"

#include <QDir>

#include <algorithm>

namespace {

// "" when the file has the size and date given, else why not.
QString mismatch(const QString& path, const QString& size, const QString& dateTime)
{
    const std::optional<qint64> length = FileSystem::length(path);
    const std::optional<QDateTime> modified = FileSystem::modified(path);
    if (!length || !modified)
        return FileSystem::failure(path, QStringLiteral("missing (expected %1 bytes dated %2)").arg(size, dateTime));
    const QString foundSize = QString::number(*length);
    const bool sizeDiffers = foundSize != size;
    const bool dateDiffers = !FileSystem::dateMatches(*modified, dateTime);
    if (!sizeDiffers && !dateDiffers)
        return QString();
    // Both readings of the date the check accepts, where they differ.
    QString foundTime = FileSystem::dateTimeText(*modified);
    const QString foundUtc = FileSystem::utcDateTimeText(*modified);
    if (foundUtc != foundTime)
        foundTime += QStringLiteral(" (%1 UTC)").arg(foundUtc);
    QString reason = QStringLiteral("expected %1 bytes dated %2, found %3 bytes dated %4: ")
                         .arg(size, dateTime, foundSize, foundTime);
    if (sizeDiffers && dateDiffers)
        reason += QStringLiteral("the size and the date differ");
    else if (sizeDiffers)
        reason += QStringLiteral("the size differs");
    else
        reason += QStringLiteral("the date differs (a copy keeps the dates only when made with cp -a or cp -p)");
    return FileSystem::failure(path, reason);
}

} // namespace

ReferenceFolder::ReferenceFolder(const QString& folder)
    : m_folder(folder)
{
}

QString ReferenceFolder::databasePath() const
{
    return FileSystem::resolve(m_folder + QStringLiteral("/Sam.mdb"));
}

QString ReferenceFolder::genuinePath(const Car& car) const
{
    return FileSystem::resolve(m_folder + u'/' + car.listEntry + QStringLiteral(".dat"));
}

QStringList ReferenceFolder::verify(const std::vector<const Car*>& cars) const
{
    QStringList failures;
    const QString database = mismatch(databasePath(), CarCatalogue::DatabaseSize, CarCatalogue::DatabaseTime);
    if (!database.isEmpty())
        failures << database;
    for (const Car* car : cars) {
        const QString reference = mismatch(genuinePath(*car), car->referenceSize, car->referenceTime);
        if (!reference.isEmpty())
            failures << reference;
    }
    return failures;
}

void ReferenceFolder::loadGenuine(const std::vector<const Car*>& cars, ReferenceStore& store)
{
    for (const Car& car : CarCatalogue::cars()) {
        const bool needed = std::find(cars.begin(), cars.end(), &car) != cars.end();
        QByteArray bytes;
        QString error;
        if (!FileSystem::readAll(genuinePath(car), &bytes, &error)) {
            if (needed)
                m_genuineErrors[&car] = error;
            continue;
        }
        if (needed) {
            m_all.push_back(&(m_genuine[&car] = GenuineDescriptor::of(car, bytes, store)));
            m_versions[&car] = {m_all.back()};
        }
        else
            m_all.push_back(&(m_others[&car] = GenuineDescriptor::read(car, bytes)));
    }
}

void ReferenceFolder::addVersion(const QString& name, const Car& car, const QByteArray& bytes, ReferenceStore& store)
{
    const auto own = m_versions.find(&car);
    if (own == m_versions.end())
        return;
    own->second.push_back(&m_otherVersions[&car].emplace_back(GenuineDescriptor::of(car, bytes, store, name)));
}

const GenuineVersions& ReferenceFolder::versions(const Car& car) const
{
    static const GenuineVersions none;
    const auto found = m_versions.find(&car);
    return found == m_versions.end() ? none : found->second;
}

QByteArray ReferenceFolder::genuineBytesOf(const Verdict& verdict) const
{
    if (!verdict.car)
        return QByteArray();
    for (const GenuineDescriptor* version : versions(*verdict.car)) {
        if (version->version == verdict.version)
            return version->bytes;
    }
    return QByteArray();
}

const GenuineDescriptor* ReferenceFolder::genuine(const Car& car) const
{
    const auto found = m_genuine.find(&car);
    return found == m_genuine.end() ? nullptr : &found->second;
}

QString ReferenceFolder::genuineError(const Car& car) const
{
    const auto found = m_genuineErrors.find(&car);
    return found == m_genuineErrors.end() ? QString() : found->second;
}

std::unique_ptr<ReferenceStore> ReferenceFolder::openStore(const std::vector<const Car*>& cars, QString* error) const
{
    std::unique_ptr<ReferenceStore> store = openReferenceStore(databasePath(), error);
    for (const Car* car : cars) {
        // A car whose index is unusable fails again, with the reason, for
        // each of its descriptors.
        QString unusable;
        if (store)
            store->setIndex(car->indexName, &unusable);
    }
    return store;
}
