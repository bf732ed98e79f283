// Drives the scan core the way the "&Check" button does, without a window,
// and the bare floor it is measured against.
//   scan_bench scan SAM.MDB INDEX DESCRIPTOR LOG   -> "lines unmatched seconds"
//   scan_bench floor RECORDS RECORD_BYTES LOG      -> "records seconds"

#include "DescriptorScan.h"
#include "UnmatchLog.h"
#include "OpenReferenceStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

int scan(const QStringList& args)
{
    QTextStream out(stdout);
    QString error;
    QElapsedTimer timer;
    timer.start();
    auto store = openReferenceStore(args.at(0), &error);
    if (!store) {
        QTextStream(stderr) << error << "\n";
        return 1;
    }
    const DescriptorScan scan{args.at(2), args.at(1)};
    UnmatchLog log(args.at(3));
    const DescriptorScan::Outcome outcome = scan.run(
        *store, [&log](QByteArrayView line, qint64, QString* reason) { return log.append(line, reason); });
    if (!outcome.completed) {
        QTextStream(stderr) << outcome.error << "\n";
        return 1;
    }
    out << outcome.lines << " " << outcome.unmatched << " " << double(timer.nsecsElapsed()) / 1e9 << "\n";
    return 0;
}

// Only the open-append-close per record, with records built in advance.
int floor(const QStringList& args)
{
    const long records = args.at(0).toLong();
    const std::string record = '"' + std::string(size_t(args.at(1).toLong()), 'x') + "\"\r\n";
    const QByteArray log = args.at(2).toLocal8Bit();
    QElapsedTimer timer;
    timer.start();
    for (long i = 0; i < records; ++i) {
        const int fd = ::open(log.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 || ::write(fd, record.data(), record.size()) != ssize_t(record.size()) || ::close(fd) != 0)
            return 1;
    }
    QTextStream(stdout) << records << " " << double(timer.nsecsElapsed()) / 1e9 << "\n";
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 5 && args.first() == u"scan")
        return scan(args.mid(1));
    if (args.size() == 4 && args.first() == u"floor")
        return floor(args.mid(1));
    QTextStream(stderr) << "usage: scan_bench scan SAM.MDB INDEX DESCRIPTOR LOG | floor RECORDS RECORD_BYTES LOG\n";
    return 2;
}
