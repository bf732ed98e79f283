// kestrix-stage: lays out a program folder from the sample data set and
// copies the program into it.

#include "SampleProgramFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: kestrix-stage DATA_FOLDER PROGRAM_FOLDER [PROGRAM]\n";
        return 2;
    }
    QString error;
    if (!stageSampleProgramFolder(args.at(0), args.at(1), &error)) {
        err << "kestrix-stage: " << error << "\n";
        return 1;
    }
    if (args.size() == 3) {
        const QString target = args.at(1) + u'/' + QFileInfo(args.at(2)).fileName();
        QFile::remove(target);
        if (!QFile::copy(args.at(2), target)) {
            err << "kestrix-stage: " << target << ": cannot copy the program\n";
            return 1;
        }
    }
    return 0;
}
