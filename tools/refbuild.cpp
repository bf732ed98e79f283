// kestrix-refbuild: writes a SQLite reference database ("Sam.mdb") from the
// six genuine car descriptors, or converts an Access/Jet one.

#include "CarCatalogue.h"
#include "JetConversion.h"
#include "ReferenceBuilder.h"
#include "Usage.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

QString usageText()
{
    QString text = QStringLiteral(
        "usage: kestrix-refbuild [--pad BYTES] OUT.mdb DESCRIPTOR1 ... DESCRIPTOR6\n"
        "       kestrix-refbuild --from-jet IN.mdb OUT.mdb\n"
        "\n"
        "Builds a reference database for Kestrix: table Codes, indexes Car1 ... Car6.\n"
        "The descriptors are the genuine files of the six cars in list order:\n");
    for (const Car& car : CarCatalogue::cars())
        text += QStringLiteral("  %1  %2\n").arg(car.indexName, car.listEntry);
    text += QStringLiteral(
        "--pad BYTES pads the file to exactly BYTES (a multiple of 2048).\n"
        "\n"
        "--from-jet converts an Access/Jet Sam.mdb (Access 97 or 2000-2003) into a\n"
        "SQLite one with the same keys under Car1 ... Car6, for editing.\n"
        "\n"
        "OUT.mdb is replaced only once the new database is complete; a failure\n"
        "leaves an earlier file as it was.\n"
        "\n"
        "Kestrix reads \"Correct\" only for a database of the genuine size and date.\n"
        "A converted file is a new file and never passes that check: Kestrix shows\n"
        "\"Incorrect\" for it and will not scan. Kestrix reads the genuine Access/Jet\n"
        "Sam.mdb directly, so keep that file in the program folder to scan.\n");
    return text;
}

int fail(const QString& error)
{
    std::fprintf(stderr, "kestrix-refbuild: %s\n", qPrintable(error));
    return 1;
}

int build(const QStringList& args, std::optional<qint64> pad)
{
    ReferenceBuilder builder;
    QString error;
    if (!builder.create(args.first(), &error))
        return fail(error);
    for (int car = 1; car <= CarCatalogue::CarCount; ++car) {
        QFile descriptor(args.at(car));
        descriptor.setObjectName(descriptor.fileName());
        if (!descriptor.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1: %2").arg(descriptor.fileName(), descriptor.errorString()));
        if (!builder.addDescriptor(car, descriptor, &error))
            return fail(error);
    }
    if (!builder.finish(pad, &error))
        return fail(error);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-refbuild"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    QStringList args = app.arguments().mid(1);
    if (Usage::asked(args))
        return Usage::show(usageText(), true);
    if (Usage::versionAsked(args))
        return Usage::showVersion();
    if (!args.isEmpty() && args.first() == u"--from-jet") {
        if (args.size() != 3)
            return Usage::show(usageText(), false);
        QString error;
        if (!convertJetReference(JetDatabasePath{args.at(1)}, SqliteDatabasePath{args.at(2)}, &error))
            return fail(error);
        return 0;
    }
    std::optional<qint64> pad;
    if (args.size() >= 2 && args.first() == u"--pad") {
        bool ok = false;
        pad = args.at(1).toLongLong(&ok);
        if (!ok)
            return Usage::show(usageText(), false);
        args = args.mid(2);
    }
    if (args.size() != 1 + CarCatalogue::CarCount)
        return Usage::show(usageText(), false);
    return build(args, pad);
}
