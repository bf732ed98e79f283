#include "ReferenceVersion.h"

#include "DescriptorCheck.h"
#include "FileSystem.h"

#include <QCryptographicHash>
#include <QDir>

#include <optional>
#include <vector>

namespace {

QByteArray sha256Of(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QString datName(const Car& car)
{
    return car.listEntry + QStringLiteral(".dat");
}

// The cars whose .dat file the folder holds, by exact name; nothing when the
// folder cannot be listed.
std::optional<std::vector<const Car*>> carsIn(const QString& folder, QString* error)
{
    const QDir dir(folder);
    if (!dir.exists()) {
        *error = FileSystem::failure(folder, QStringLiteral("no such folder"));
        return std::nullopt;
    }
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    std::vector<const Car*> cars;
    for (const Car& car : CarCatalogue::cars()) {
        if (names.contains(datName(car)))
            cars.push_back(&car);
    }
    return cars;
}

} // namespace

QString ReferenceVersion::filePath(const Car& car) const
{
    return folder + u'/' + datName(car);
}

bool ReferenceVersion::load(QString* error)
{
    const QString context = QStringLiteral("reference \"%1\" (line %2): ").arg(name, QString::number(line));
    std::map<const Car*, QByteArray> read;
    for (const auto& [car, pinned] : sha256) {
        const QString path = filePath(*car);
        QByteArray content;
        QString failure;
        if (!FileSystem::readAll(path, &content, &failure, LargestDescriptor, FileSystem::PathRules::Exact)) {
            *error = context + failure;
            return false;
        }
        const QByteArray found = sha256Of(content);
        if (found != pinned) {
            *error = context
                + FileSystem::failure(path, QStringLiteral("its SHA-256 is %1, but the rules pin %2")
                                                .arg(QString::fromLatin1(found), QString::fromLatin1(pinned)));
            return false;
        }
        read[car] = content;
    }
    // A file put in the folder and never pinned would otherwise look
    // accepted to whoever reads the folder, and be refused in every check.
    QString failure;
    const std::optional<std::vector<const Car*>> present = carsIn(folder, &failure);
    if (!present) {
        *error = context + failure;
        return false;
    }
    for (const Car* car : *present) {
        if (!sha256.count(car)) {
            *error = context
                + FileSystem::failure(filePath(*car), QStringLiteral("not pinned: add sha256.%1 = \"…\" to the "
                                                                     "reference, or take the file away")
                                                          .arg(car->listEntry));
            return false;
        }
    }
    bytes = std::move(read);
    return true;
}

QStringList digestLines(const QString& folder, QString* error)
{
    const std::optional<std::vector<const Car*>> present = carsIn(folder, error);
    if (!present)
        return {};
    if (present->empty()) {
        QStringList names;
        for (const Car& car : CarCatalogue::cars())
            names << datName(car);
        *error = FileSystem::failure(folder, QStringLiteral("holds no car's .dat file (%1)")
                                                 .arg(names.join(QStringLiteral(", "))));
        return {};
    }
    QStringList lines;
    for (const Car* car : *present) {
        QByteArray content;
        if (!FileSystem::readAll(folder + u'/' + datName(*car), &content, error, LargestDescriptor,
                                 FileSystem::PathRules::Exact))
            return {};
        lines << QStringLiteral("sha256.%1 = \"%2\"").arg(car->listEntry, QString::fromLatin1(sha256Of(content)));
    }
    return lines;
}
