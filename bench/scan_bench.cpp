// Drives the scan core the way the "&Check" button does, without a window,
// and the bare floor it is measured against.
//   scan_bench scan SAM.MDB INDEX DESCRIPTOR LOG   -> "lines unmatched seconds"
//   scan_bench floor DESCRIPTOR LOG                -> "records seconds"

#include "DescriptorScan.h"
#include "LineReader.h"
#include "OpenReferenceStore.h"
#include "UnmatchLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

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

// Only an open-append-close for each line of the descriptor, with the
// records the log would hold, all built in advance: what logging every line
// cannot go below.
int floor(const QStringList& args)
{
    QFile descriptor(args.at(0));
    if (!descriptor.open(QIODevice::ReadOnly)) {
        QTextStream(stderr) << args.at(0) << ": " << descriptor.errorString() << "\n";
        return 1;
    }
    std::vector<QByteArray> records;
    LineReader reader(descriptor);
    QByteArrayView line;
    while (reader.next(&line))
        records.push_back('"' + line.toByteArray() + "\"\r\n");
    const QByteArray log = QFile::encodeName(args.at(1));
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray& record : records) {
        const int fd = ::open(log.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 || ::write(fd, record.data(), size_t(record.size())) != ssize_t(record.size()) || ::close(fd) != 0)
            return 1;
    }
    QTextStream(stdout) << records.size() << " " << double(timer.nsecsElapsed()) / 1e9 << "\n";
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 5 && args.first() == u"scan")
        return scan(args.mid(1));
    if (args.size() == 3 && args.first() == u"floor")
        return floor(args.mid(1));
    QTextStream(stderr) << "usage: scan_bench scan SAM.MDB INDEX DESCRIPTOR LOG | floor DESCRIPTOR LOG\n";
    return 2;
}
