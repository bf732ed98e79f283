#include "ReferenceDigest.h"

#include "CarCatalogue.h"
#include "FileSystem.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

std::optional<QByteArray> referenceDigest(const QString& programFolder, QString* error)
{
    QStringList names{QStringLiteral("Sam.mdb")};
    for (const Car& car : CarCatalogue::cars())
        names << car.listEntry + QStringLiteral(".dat");

    QByteArray listing;
    for (const QString& name : names) {
        const QString path = programFolder + u'/' + name;
        QFile file;
        if (!FileSystem::openOrdinary(path, QIODevice::ReadOnly, &file, error))
            return std::nullopt;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        // Streamed: an Access database may be far larger than the sample's.
        if (!hash.addData(&file) || file.error() != QFileDevice::NoError) {
            *error = FileSystem::failure(path, file.errorString());
            return std::nullopt;
        }
        listing += hash.result().toHex() + "  " + name.toUtf8() + '\n';
    }
    return QCryptographicHash::hash(listing, QCryptographicHash::Sha256).toHex();
}
