#include "SampleProgramFolder.h"

#include "CarCatalogue.h"
#include "FileSystem.h"
#include "ReferenceBuilder.h"

#include <QDir>
#include <QFile>

namespace {

bool copyFile(const QString& from, const QString& to, QString* error)
{
    QByteArray bytes;
    return FileSystem::readAll(from, &bytes, error) && FileSystem::writeAll(to, bytes, error);
}

bool stamp(const QString& path, const QString& dateTimeText, QString* error)
{
    return FileSystem::setModified(path, FileSystem::fromDateTimeText(dateTimeText), error);
}

} // namespace

bool buildSampleDatabase(const QString& genuineFolder, const QString& path, QString* error)
{
    ReferenceBuilder builder;
    if (!builder.create(path, error))
        return false;
    int number = 0;
    for (const Car& car : CarCatalogue::cars()) {
        QFile descriptor(genuineFolder + u'/' + car.listEntry + QStringLiteral(".dat"));
        descriptor.setObjectName(QDir::toNativeSeparators(descriptor.fileName()));
        if (!descriptor.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: %2").arg(descriptor.objectName(), descriptor.errorString());
            return false;
        }
        if (!builder.addDescriptor(++number, descriptor, error))
            return false;
    }
    return builder.finish(CarCatalogue::DatabaseSize.toLongLong(), error)
        && stamp(path, CarCatalogue::DatabaseTime, error);
}

bool stageSampleProgramFolder(const QString& dataFolder, const QString& programFolder, QString* error)
{
    if (!QDir().mkpath(programFolder)) {
        *error = QStringLiteral("%1: cannot create the folder").arg(QDir::toNativeSeparators(programFolder));
        return false;
    }
    const QString genuine = dataFolder + QStringLiteral("/genuine");
    for (const Car& car : CarCatalogue::cars()) {
        const QString name = u'/' + car.listEntry + QStringLiteral(".dat");
        if (!copyFile(genuine + name, programFolder + name, error)
            || !stamp(programFolder + name, car.referenceTime, error))
            return false;
    }
    return buildSampleDatabase(genuine, programFolder + QStringLiteral("/Sam.mdb"), error)
        && copyFile(dataFolder + QStringLiteral("/help.txt"), programFolder + QStringLiteral("/help.txt"), error)
        && FileSystem::writeAll(programFolder + QStringLiteral("/Sample.txt"), "Vortrax Kestrix parameter file\r\n",
                                error);
}
