// kestrix-stage: lays out a program folder from the sample data set and
// copies the program into it.

#include "SampleProgramFolder.h"
#include "Usage.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    const QString usage = QStringLiteral(
        "usage: kestrix-stage DATA_FOLDER PROGRAM_FOLDER [PROGRAM...]\n"
        "\n"
        "Lays out a program folder from the sample data set in DATA_FOLDER: the six\n"
        "reference files and Sam.mdb stamped with their genuine sizes and dates,\n"
        "Sample.txt and help.txt; then copies each PROGRAM into it.\n");
    if (Usage::asked(args))
        return Usage::show(usage, true);
    if (args.size() < 2)
        return Usage::show(usage, false);
    QString error;
    if (!stageSampleProgramFolder(args.at(0), args.at(1), &error)) {
        err << "kestrix-stage: " << error << "\n";
        return 1;
    }
    for (const QString& program : args.mid(2)) {
        const QString target = args.at(1) + u'/' + QFileInfo(program).fileName();
        QFile::remove(target);
        if (!QFile::copy(program, target)) {
            err << "kestrix-stage: " << target << ": cannot copy the program\n";
            return 1;
        }
    }
    return 0;
}
