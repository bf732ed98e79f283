// kestrix-stage: lays out a program folder from the sample data set: the
// program, "Sample.txt", "help.txt", the six reference files and "Sam.mdb",
// each reference file stamped with its genuine date so all of them read
// "Correct". Files the program writes itself (the log, received descriptors)
// are left as they are.

#include "CarCatalogue.h"
#include "FileSystem.h"
#include "ReferenceBuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

QTextStream err(stderr);

bool fail(const QString& message)
{
    err << "kestrix-stage: " << message << "\n";
    return false;
}

bool copyFile(const QString& from, const QString& to)
{
    QByteArray bytes;
    QString error;
    if (!FileSystem::readAll(from, &bytes, &error) || !FileSystem::writeAll(to, bytes, &error))
        return fail(error);
    return true;
}

bool stamp(const QString& path, const QString& dateTimeText)
{
    QString error;
    if (!FileSystem::setModified(path, FileSystem::fromDateTimeText(dateTimeText), &error))
        return fail(error);
    return true;
}

bool buildDatabase(const QString& genuine, const QString& path)
{
    ReferenceBuilder builder;
    QString error;
    if (!builder.create(path, &error))
        return fail(error);
    int number = 0;
    for (const Car& car : CarCatalogue::cars()) {
        QFile descriptor(genuine + u'/' + car.listEntry + QStringLiteral(".dat"));
        descriptor.setObjectName(descriptor.fileName());
        if (!descriptor.open(QIODevice::ReadOnly))
            return fail(descriptor.fileName() + QStringLiteral(": ") + descriptor.errorString());
        if (!builder.addDescriptor(++number, descriptor, &error))
            return fail(error);
    }
    if (!builder.finish(CarCatalogue::DatabaseSize.toLongLong(), &error))
        return fail(error);
    return stamp(path, CarCatalogue::DatabaseTime);
}

bool stage(const QString& data, const QString& out, const QString& program)
{
    if (!QDir().mkpath(out))
        return fail(out + QStringLiteral(": cannot create the folder"));
    for (const Car& car : CarCatalogue::cars()) {
        const QString name = car.listEntry + QStringLiteral(".dat");
        if (!copyFile(data + QStringLiteral("/genuine/") + name, out + u'/' + name)
            || !stamp(out + u'/' + name, car.referenceTime))
            return false;
    }
    QString error;
    if (!buildDatabase(data + QStringLiteral("/genuine"), out + QStringLiteral("/Sam.mdb"))
        || !copyFile(data + QStringLiteral("/help.txt"), out + QStringLiteral("/help.txt")))
        return false;
    if (!FileSystem::writeAll(out + QStringLiteral("/Sample.txt"), "Vortrax Kestrix parameter file\r\n", &error))
        return fail(error);
    if (program.isEmpty())
        return true;
    const QString target = out + u'/' + QFileInfo(program).fileName();
    QFile::remove(target);
    if (!QFile::copy(program, target))
        return fail(target + QStringLiteral(": cannot copy the program"));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: kestrix-stage DATA_FOLDER PROGRAM_FOLDER [PROGRAM]\n";
        return 2;
    }
    return stage(args.at(0), args.at(1), args.value(2)) ? 0 : 1;
}
