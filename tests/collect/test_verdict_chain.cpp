// The verdict log as a hash chain: the real kestrix-collect goes on from a
// log that began unchained, through SIGHUP, a rotation compressed by gzip and
// a restart, and reads its history from the .gz too; kestrix-check
// --verify-log finds the chain whole, and the first line of a log changed by
// hand.

#include "CollectorHarness.h"

#include <QCryptographicHash>
#include <QJsonArray>

#include <csignal>

using namespace CollectorTest;

namespace {

QByteArray hashOf(const QByteArray& line)
{
    return QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex();
}

QByteArray prevOf(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object().value(QStringLiteral("prev")).toString().toLatin1();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// As logrotate with compress leaves it: moved to .1, then gzip'd.
void rotateCompressed(const QString& dir)
{
    QVERIFY(QFile::rename(dir + QStringLiteral("/verdicts.jsonl"), dir + QStringLiteral("/verdicts.jsonl.1")));
    QCOMPARE(QProcess::execute(QStringLiteral("gzip"), {QStringLiteral("-n"), dir + QStringLiteral("/verdicts.jsonl.1")}),
             0);
}

QByteArray lastLineOf(const QString& path)
{
    QList<QByteArray> lines = bytesOf(path).split('\n');
    lines.removeLast();
    return lines.isEmpty() ? QByteArray() : lines.last();
}

void sendGenuine(quint16 port)
{
    Sender sender(port);
    sender.send(message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
    sender.socket.disconnectFromHost();
    if (sender.socket.state() != QAbstractSocket::UnconnectedState)
        sender.socket.waitForDisconnected(10'000);
}

ToolRun verifyLog(const QString& dir)
{
    return ToolRun::of(QStringLiteral(KESTRIX_CHECK), {QStringLiteral("--verify-log"), dir});
}

} // namespace

class TestVerdictChain : public QObject
{
    Q_OBJECT

private slots:
    void chainGoesOnAcrossReloadRotationAndRestart()
    {
        QTemporaryDir kept;
        const QString dir = kept.filePath(QStringLiteral("collected"));
        QVERIFY(QDir().mkpath(dir));
        // A log from before the chain: two records without prev.
        const QByteArray oldLines = "{\"status\":\"genuine\",\"time\":\"2026-01-01T10:00:00.000+00:00\"}\n"
                                    "{\"status\":\"tweaked\",\"time\":\"2026-01-01T10:00:01.000+00:00\"}\n";
        writeBytes(dir + QStringLiteral("/verdicts.jsonl"), oldLines);
        {
            Collector collector({}, dir);
            QVERIFY(collector.started());
            sendGenuine(collector.port);
            QTRY_COMPARE(collector.verdicts().size(), 3);
            QCOMPARE(prevOf(bytesOf(dir + QStringLiteral("/verdicts.jsonl")).split('\n')[2]), hashOf(oldLines.split('\n')[1]));

            rotateCompressed(dir);
            QVERIFY(::kill(pid_t(collector.process.processId()), SIGHUP) == 0);
            QTRY_COMPARE(collector.count(QStringLiteral("reloaded")), 1);
            sendGenuine(collector.port);
            QTRY_COMPARE(collector.verdicts().size(), 1);
            QCOMPARE(collector.terminate(), 0);
        }
        const QByteArray beforeRestart = lastLineOf(dir + QStringLiteral("/verdicts.jsonl"));
        // logrotate numbers the older one up, then compresses the newest.
        QVERIFY(QFile::rename(dir + QStringLiteral("/verdicts.jsonl.1.gz"), dir + QStringLiteral("/verdicts.jsonl.2.gz")));
        rotateCompressed(dir);

        Collector restarted({QStringLiteral("--http"), QStringLiteral("127.0.0.1:0")}, dir);
        QVERIFY(restarted.started());
        // No verdicts.jsonl: the chain goes on from .1.gz.
        QCOMPARE(restarted.count(QStringLiteral("history")), 1);
        const QJsonObject history = *std::find_if(restarted.events.cbegin(), restarted.events.cend(), [](const QJsonObject& e) {
            return e.value(QStringLiteral("event")).toString() == u"history";
        });
        QCOMPARE(QJsonDocument(history.value(QStringLiteral("files")).toArray()).toJson(QJsonDocument::Compact),
                 QByteArray("[{\"file\":\"verdicts.jsonl.2.gz\",\"records\":3},{\"file\":\"verdicts.jsonl.1.gz\",\"records\":1}]"));
        sendGenuine(restarted.port);
        QTRY_COMPARE(restarted.verdicts().size(), 1);
        QCOMPARE(prevOf(lastLineOf(dir + QStringLiteral("/verdicts.jsonl"))), hashOf(beforeRestart));
        QCOMPARE(restarted.terminate(), 0);

        const ToolRun holds = verifyLog(dir);
        QVERIFY2(holds.exitCode == 0, qPrintable(QString::fromUtf8(holds.out) + holds.errors));
        QVERIFY2(holds.out.contains("the chain holds over 5 lines in 3 files; 2 lines before the chain"), holds.out.constData());
    }

    // A record cut short by a crash: the next one starts a line of its own,
    // chained to the cut one.
    void cutLastLineIsEnded()
    {
        QTemporaryDir kept;
        const QString dir = kept.filePath(QStringLiteral("collected"));
        QVERIFY(QDir().mkpath(dir));
        const QByteArray cut = "{\"status\":\"genuine\",\"ti";
        writeBytes(dir + QStringLiteral("/verdicts.jsonl"), cut);
        Collector collector({}, dir);
        QVERIFY(collector.started());
        sendGenuine(collector.port);
        QTRY_COMPARE(collector.verdicts().size(), 2);
        QCOMPARE(collector.terminate(), 0);
        const QList<QByteArray> lines = bytesOf(dir + QStringLiteral("/verdicts.jsonl")).split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], cut);
        QCOMPARE(prevOf(lines[1]), hashOf(cut));
        QCOMPARE(lines[2], QByteArray());
    }

    // What a hand changes in a log, the chain shows at the line after it.
    void verifyLogFindsTheFirstBrokenLine_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("whole") << 0 << 0 << QByteArray("the chain holds over 4 lines in 1 file; its head is");
        QTest::newRow("a byte of line 2 changed") << 1 << 1 << QByteArray("the chain breaks at line 3");
        QTest::newRow("line 2 removed") << 2 << 1 << QByteArray("the chain breaks at line 2");
        QTest::newRow("the last line's prev dropped") << 3 << 1 << QByteArray("the chain breaks at line 4");
        QTest::newRow("a cut .gz rotation") << 4 << 2 << QByteArray();
    }

    void verifyLogFindsTheFirstBrokenLine()
    {
        QFETCH(int, change);
        QFETCH(int, status);
        QFETCH(QByteArray, said);
        QTemporaryDir dir;
        QList<QByteArray> lines;
        QByteArray prev(64, '0');
        for (int i = 0; i < 4; ++i) {
            lines << "{\"player\":\"alice\",\"prev\":\"" + prev + "\",\"status\":\"genuine\",\"n\":" + QByteArray::number(i) + '}';
            prev = hashOf(lines.last());
        }
        if (change == 1)
            lines[1].replace("genuine", "genuinf");
        if (change == 2)
            lines.removeAt(1);
        if (change == 3)
            lines[3] = "{\"player\":\"alice\",\"status\":\"genuine\"}";
        writeBytes(dir.filePath(QStringLiteral("verdicts.jsonl")), lines.join('\n') + '\n');
        if (change == 4) {
            writeBytes(dir.filePath(QStringLiteral("verdicts.jsonl.1")), "{\"status\":\"genuine\"}\n");
            QCOMPARE(QProcess::execute(QStringLiteral("gzip"), {QStringLiteral("-n"), dir.filePath(QStringLiteral("verdicts.jsonl.1"))}), 0);
            const QByteArray whole = bytesOf(dir.filePath(QStringLiteral("verdicts.jsonl.1.gz")));
            writeBytes(dir.filePath(QStringLiteral("verdicts.jsonl.1.gz")), whole.chopped(6));
        }

        const ToolRun run = verifyLog(dir.path());

        QVERIFY2(run.exitCode == status, qPrintable(QString::fromUtf8(run.out) + run.errors));
        QVERIFY2(run.out.contains(said), run.out.constData());
        if (status == 2)
            QVERIFY2(run.errors.contains(QStringLiteral("verdicts.jsonl.1.gz")), qPrintable(run.errors));
    }
};

QTEST_GUILESS_MAIN(TestVerdictChain)
#include "test_verdict_chain.moc"
