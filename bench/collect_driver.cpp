// Drives a collection benchmark: COUNT transfers of FILE over loopback from
// CONCURRENCY senders at once, each connecting, sending, closing its side
// and waiting for the receiver's close. Prints one line: transfers, seconds,
// transfers per second, the p50 and p99 time from connect to the receiver's
// close, and, for kestrix-collect, its peak RSS after 1,000 transfers and at
// the end. The collector closes only once the file is kept, checked and its
// verdict written, so for it that time bounds connect to verdict written.
//
//   collect_driver collect COLLECTOR PROGRAM_FOLDER DIR FILE COUNT CONCURRENCY
//   collect_driver raw PORT FILE COUNT CONCURRENCY        (a plain receiver: no header)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <sys/socket.h>

namespace {

QByteArray peakKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first();
    }
    return "?";
}

class Driver : public QObject
{
public:
    Driver(quint16 port, QByteArray message, int count, int concurrency)
        : m_port(port)
        , m_message(std::move(message))
        , m_count(count)
        , m_concurrency(concurrency)
    {
    }

    void start()
    {
        clock.start();
        for (int i = 0; i < m_concurrency; ++i)
            next();
    }

    std::vector<qint64> latencies; // nanoseconds from connect to the receiver's close
    std::function<void(int done)> onDone;

private:
    void next()
    {
        if (m_started == m_count)
            return;
        ++m_started;
        auto* socket = new QTcpSocket(this);
        const qint64 begun = clock.nsecsElapsed();
        connect(socket, &QTcpSocket::connected, this, [this, socket] { socket->write(m_message); });
        // Only the sending side is closed, as kestrix-send does; the receiver's
        // close then ends the transfer.
        connect(socket, &QTcpSocket::bytesWritten, this, [socket] {
            if (socket->bytesToWrite() == 0)
                ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, begun] {
            latencies.push_back(clock.nsecsElapsed() - begun);
            socket->deleteLater();
            ++m_done;
            if (onDone)
                onDone(m_done);
            next();
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [socket](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError)
                std::fprintf(stderr, "collect_driver: %s\n", qPrintable(socket->errorString()));
        });
        socket->connectToHost(QHostAddress::LocalHost, m_port);
    }

    quint16 m_port;
    QByteArray m_message;
    int m_count;
    int m_concurrency;
    int m_started = 0;
    int m_done = 0;

public:
    QElapsedTimer clock;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool collect = args.size() == 8 && args.at(1) == u"collect";
    if (!collect && !(args.size() == 6 && args.at(1) == u"raw")) {
        std::fprintf(stderr, "usage: collect_driver collect COLLECTOR PROGRAM_FOLDER DIR FILE COUNT CONCURRENCY\n"
                             "       collect_driver raw PORT FILE COUNT CONCURRENCY\n");
        return 2;
    }
    const int first = collect ? 5 : 3;
    QFile file(args.at(first));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray content = file.readAll();
    const int count = args.at(first + 1).toInt();
    const int concurrency = args.at(first + 2).toInt();

    QProcess collector;
    quint16 port = 0;
    QByteArray rssAt1000 = "-";
    std::unique_ptr<Driver> driver;
    if (collect) {
        // Its events go to a file, as to a service manager's journal, so that
        // reading them takes nothing from the senders here.
        const QString events = args.at(4) + QStringLiteral(".events");
        collector.setStandardOutputFile(events);
        collector.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        collector.start(args.at(2), {QStringLiteral("--json"), QStringLiteral("--port"), QStringLiteral("0"),
                                     QStringLiteral("--dir"), args.at(4), QStringLiteral("--folder"), args.at(3),
                                     QStringLiteral("--max-connections"), QString::number(concurrency * 2)});
        if (!collector.waitForStarted())
            return 1;
        QElapsedTimer waiting;
        waiting.start();
        while (port == 0 && collector.state() == QProcess::Running && waiting.elapsed() < 10'000) {
            QFile log(events);
            if (log.open(QIODevice::ReadOnly)) {
                const QByteArray first = log.readAll().split('\n').first();
                port = quint16(QJsonDocument::fromJson(first).object().value(QStringLiteral("port")).toInt());
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        if (port == 0)
            return 1;
    } else {
        port = quint16(args.at(2).toUInt());
    }

    const QByteArray message = collect ? "FILEINFO|" + QByteArray::number(content.size()) + '|'
            + QFileInfo(file.fileName()).fileName().toLatin1() + '|' + content
                                       : content;
    driver = std::make_unique<Driver>(port, message, count, concurrency);
    qint64 seconds = 0;
    driver->onDone = [&](int done) {
        if (collect && done == std::min(1000, count))
            rssAt1000 = peakKilobytes(collector.processId());
        if (done == count) {
            seconds = driver->clock.nsecsElapsed();
            QCoreApplication::quit();
        }
    };
    driver->start();
    app.exec();

    QByteArray rssAtEnd = "-";
    qsizetype verdicts = 0;
    if (collect) {
        QFile log(args.at(4) + QStringLiteral("/verdicts.jsonl"));
        if (log.open(QIODevice::ReadOnly))
            verdicts = log.readAll().count('\n');
        rssAtEnd = peakKilobytes(collector.processId());
        collector.terminate();
        collector.waitForFinished();
    }
    std::vector<qint64>& latencies = driver->latencies;
    std::sort(latencies.begin(), latencies.end());
    const auto milliseconds = [&](std::size_t at) { return double(latencies[at]) / 1e6; };
    const double elapsed = double(seconds) / 1e9;
    std::printf("%d %.3f %.0f %.2f %.2f %s %s %lld\n", count, elapsed, count / elapsed, milliseconds(latencies.size() / 2),
                milliseconds(latencies.size() * 99 / 100), rssAt1000.constData(), rssAtEnd.constData(), static_cast<long long>(verdicts));
    return 0;
}
