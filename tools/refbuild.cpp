// kestrix-refbuild: writes a SQLite reference database ("Sam.mdb") from the
// six genuine car descriptors, or converts an Access/Jet one.

#include "CarCatalogue.h"
#include "JetConversion.h"
#include "ReferenceBuilder.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

namespace {

int usage(QTextStream& err)
{
    err << "usage: kestrix-refbuild [--pad BYTES] OUT.mdb DESCRIPTOR1 ... DESCRIPTOR6\n"
           "       kestrix-refbuild --from-jet IN.mdb OUT.mdb\n"
           "\n"
           "Builds a reference database for Kestrix: table Codes, indexes Car1 ... Car6.\n"
           "The descriptors are the genuine files of the six cars in list order:\n";
    for (const Car& car : CarCatalogue::cars())
        err << "  " << car.indexName << "  " << car.listEntry << "\n";
    err << "--pad BYTES pads the file to exactly BYTES (a multiple of 2048).\n"
           "\n"
           "--from-jet converts an Access/Jet Sam.mdb (Access 97 or 2000-2003) into a\n"
           "SQLite one with the same keys under Car1 ... Car6, for editing.\n"
           "\n"
           "Kestrix reads \"Correct\" only for a database of the genuine size and date.\n"
           "A converted file is a new file and never passes that check: Kestrix shows\n"
           "\"Incorrect\" for it and will not scan. Kestrix reads the genuine Access/Jet\n"
           "Sam.mdb directly, so keep that file in the program folder to scan.\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.first() == u"--from-jet") {
        if (args.size() != 3)
            return usage(err);
        QString error;
        if (!convertJetReference(args.at(1), args.at(2), &error)) {
            err << "kestrix-refbuild: " << error << "\n";
            return 1;
        }
        return 0;
    }
    std::optional<qint64> pad;
    if (args.size() >= 2 && args.first() == u"--pad") {
        bool ok = false;
        pad = args.at(1).toLongLong(&ok);
        if (!ok)
            return usage(err);
        args = args.mid(2);
    }
    if (args.size() != 1 + ReferenceBuilder::CarCount)
        return usage(err);

    ReferenceBuilder builder;
    QString error;
    if (!builder.create(args.first(), &error)) {
        err << "kestrix-refbuild: " << error << "\n";
        return 1;
    }
    for (int car = 1; car <= ReferenceBuilder::CarCount; ++car) {
        QFile descriptor(args.at(car));
        descriptor.setObjectName(descriptor.fileName());
        if (!descriptor.open(QIODevice::ReadOnly)) {
            err << "kestrix-refbuild: " << descriptor.fileName() << ": " << descriptor.errorString() << "\n";
            return 1;
        }
        if (!builder.addDescriptor(car, descriptor, &error)) {
            err << "kestrix-refbuild: " << error << "\n";
            return 1;
        }
    }
    if (!builder.finish(pad, &error)) {
        err << "kestrix-refbuild: " << error << "\n";
        return 1;
    }
    return 0;
}
