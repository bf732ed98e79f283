#include "CollectorHarness.h"
#include "SmallDisk.h"
#include "UnwritableFolder.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

using namespace CollectorTest;

namespace {

struct HttpAnswer {
    int status = 0;
    QByteArray body;
};

// One GET on a connection of its own, read to its close.
HttpAnswer get(quint16 port, const QByteArray& path)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: kestrix\r\nConnection: close\r\n\r\n");
    QByteArray bytes;
    [[maybe_unused]] const bool closed = QTest::qWaitFor([&] {
        bytes += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    }, 10'000);
    bytes += socket.readAll();
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    return {bytes.mid(9, 3).toInt(), end < 0 ? QByteArray() : bytes.mid(end + 4)};
}

quint16 httpPort(const Collector& collector)
{
    for (const QJsonObject& event : collector.events) {
        if (event.value(QStringLiteral("event")).toString() == u"listening")
            return quint16(event.value(QStringLiteral("http_port")).toInt());
    }
    return 0;
}

qint64 metric(quint16 port, const QByteArray& series)
{
    for (const QByteArray& line : get(port, "/metrics").body.split('\n')) {
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1).toLongLong();
    }
    return -1;
}

// A plain sender's whole file, and the line the collector answers with.
QByteArray sendFrom(quint16 port, const QString& from, const QString& name, const QByteArray& content)
{
    Sender sender(port, from);
    sender.send(message(name, content));
    return lineFrom(sender.socket);
}

// The same, for a file that is to be kept: a plain sender hears nothing then,
// and closes once it has sent.
void sendAndClose(quint16 port, const QString& from, const QString& name, const QByteArray& content)
{
    Sender sender(port, from);
    sender.send(message(name, content));
    sender.socket.disconnectFromHost();
    if (sender.socket.state() != QAbstractSocket::UnconnectedState)
        sender.socket.waitForDisconnected(5000);
}

const QStringList WithPage{QStringLiteral("--http"), QStringLiteral("0"), QStringLiteral("--max-size"),
                           QStringLiteral("8000")};

} // namespace

// A collection folder that cannot take a file: the sender is told so, the
// figures and /healthz say so, and it takes files again once it can.
class TestCollectStore : public QObject
{
    Q_OBJECT

private slots:
    // A full disk, and one with room for the file but not for its record:
    // cannot-store, counted as failed, /healthz 503 until room is made.
    void fullDisk()
    {
        SmallDisk disk(1024);
        if (!disk.isMounted())
            QSKIP(SmallDisk::NeedsRoot);
        const QString dir = disk.file(QStringLiteral("collected"));
        QVERIFY(QDir().mkpath(dir));
        Collector collector(WithPage, dir);
        QVERIFY(collector.started());
        const quint16 http = httpPort(collector);
        QCOMPARE(get(http, "/healthz").status, 200);
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));

        QVERIFY(disk.fill());
        // A few kilobytes free: room for the file, none for its record.
        const QByteArray filler = QFile::encodeName(disk.file(QStringLiteral("filler")));
        QVERIFY(::truncate(filler.constData(), QFileInfo(disk.file(QStringLiteral("filler"))).size() - 4 * content.size()) == 0);
        const QByteArray answer = sendFrom(collector.port, QStringLiteral("127.0.0.1"), QStringLiteral("Grelmdescriptor.txt"), content);
        QVERIFY2(answer.startsWith("REFUSED|cannot-store|"), answer.constData());
        QCOMPARE(collector.count(QStringLiteral("stored")), 0);
        QCOMPARE(filesBelow(dir).filter(QRegularExpression(QStringLiteral("Grelmdescriptor\\.txt$"))), QStringList());
        const HttpAnswer health = get(http, "/healthz");
        QCOMPARE(health.status, 503);
        QVERIFY2(health.body.contains("free"), health.body.constData());
        QCOMPARE(metric(http, "kestrix_transfers_total{result=\"failed\"}"), 1);
        QCOMPARE(metric(http, "kestrix_refusals_total{code=\"cannot-store\"}"), 1);
        QCOMPARE(collector.count(QStringLiteral("cannot store")), 1);

        QVERIFY(QFile::remove(disk.file(QStringLiteral("filler"))));
        QTRY_COMPARE_WITH_TIMEOUT(get(http, "/healthz").status, 200, 10'000);
        QCOMPARE(collector.count(QStringLiteral("can store")), 1);
        sendAndClose(collector.port, QStringLiteral("127.0.0.1"), QStringLiteral("Grelmdescriptor.txt"), content);
        QTRY_COMPARE(collector.verdicts().size(), 2); // the refusal, where it could be written, and the verdict
        QCOMPARE(collector.verdicts().first().value(QStringLiteral("code")).toString(), u"cannot-store");
        QCOMPARE(collector.terminate(), 0);
    }

    // DIR read-only, or not writable: every file is refused as
    // cannot-store, /healthz says why, and a test write every few seconds
    // finds it writable again.
    void unwritableDir()
    {
        QTemporaryDir work;
        const QString dir = work.filePath(QStringLiteral("collected"));
        UnwritableFolder locked(dir);
        QVERIFY(locked.isLocked());
        Collector collector(WithPage, dir);
        QVERIFY(collector.started());
        const quint16 http = httpPort(collector);
        QCOMPARE(collector.count(QStringLiteral("cannot store")), 1);
        const HttpAnswer health = get(http, "/healthz");
        QCOMPARE(health.status, 503);
        QVERIFY2(health.body.contains(QFile::encodeName(dir)), health.body.constData());
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray answer = sendFrom(collector.port, QStringLiteral("127.0.0.1"), QStringLiteral("Grelmdescriptor.txt"), content);
        QVERIFY2(answer.startsWith("REFUSED|cannot-store|"), answer.constData());
        QTRY_COMPARE(metric(http, "kestrix_transfers_total{result=\"failed\"}"), 1);
        QCOMPARE(metric(http, "kestrix_transfers_total{result=\"ended-early\"}"), 0);

        QVERIFY(locked.unlock());
        QTRY_COMPARE_WITH_TIMEOUT(get(http, "/healthz").status, 200, 10'000);
        sendAndClose(collector.port, QStringLiteral("127.0.0.1"), QStringLiteral("Grelmdescriptor.txt"), content);
        QTRY_COMPARE(collector.count(QStringLiteral("verdict")), 1);
        QCOMPARE(collector.terminate(), 0);
    }

    // One player's folder that cannot be written refuses that player's
    // files, with a record; the others are stored, and DIR stays healthy.
    void playerFolderUnwritable()
    {
        QTemporaryDir work;
        const QString dir = work.filePath(QStringLiteral("collected"));
        UnwritableFolder locked(dir + QStringLiteral("/127.0.0.2"));
        QVERIFY(locked.isLocked());
        Collector collector(WithPage, dir);
        QVERIFY(collector.started());
        const quint16 http = httpPort(collector);
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray answer = sendFrom(collector.port, QStringLiteral("127.0.0.2"), QStringLiteral("Grelmdescriptor.txt"), content);
        QVERIFY2(answer.startsWith("REFUSED|cannot-store|"), answer.constData());
        QVERIFY2(answer.contains("127.0.0.2"), answer.constData());
        sendAndClose(collector.port, QStringLiteral("127.0.0.3"), QStringLiteral("Grelmdescriptor.txt"), content);
        QTRY_COMPARE(collector.verdicts().size(), 2);
        const QJsonObject refused = collector.verdicts().first();
        QCOMPARE(refused.value(QStringLiteral("code")).toString(), u"cannot-store");
        QCOMPARE(refused.value(QStringLiteral("sender")).toString(), u"127.0.0.2");
        QCOMPARE(collector.verdicts().last().value(QStringLiteral("status")).toString(), u"genuine");
        QCOMPARE(get(http, "/healthz").status, 200);
        QCOMPARE(collector.count(QStringLiteral("cannot store")), 0);
        QCOMPARE(collector.terminate(), 0);
    }

    // A record that cannot be appended: the sender hears cannot-store, not
    // STORED, and the file it sent becomes a partial file.
    void recordCannotBeAppended()
    {
        Collector collector(WithPage);
        QVERIFY(collector.started());
        // A log it cannot read keeps it from starting: the chain could not go on.
        QVERIFY(QDir().mkpath(collector.dir() + QStringLiteral("/verdicts.jsonl")));
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QByteArray answer = sendFrom(collector.port, QStringLiteral("127.0.0.1"), QStringLiteral("Grelmdescriptor.txt"), content);
        QVERIFY2(answer.startsWith("REFUSED|cannot-store|its record could not be kept"), answer.constData());
        const QStringList files = filesBelow(collector.dir());
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("^127\\.0\\.0\\.1/\\d{8}-\\d{6}-\\d{3}-Grelmdescriptor\\.txt\\.partial$"))).size(), 1);
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("Grelmdescriptor\\.txt$"))), QStringList());
        QTRY_COMPARE(collector.count(QStringLiteral("failed")), 2); // the file, and its refusal's record
        QCOMPARE(collector.count(QStringLiteral("stored")), 0);
        QCOMPARE(collector.terminate(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCollectStore)
#include "test_collect_store.moc"
