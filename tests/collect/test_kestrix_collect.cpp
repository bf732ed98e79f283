#include "CollectorHarness.h"
#include "FileSystem.h"
#include "TestProgramFolder.h"
#include "ToolRun.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace CollectorTest;

class TestKestrixCollect : public QObject
{
    Q_OBJECT

private slots:
    // 200 players send at once, each a descriptor of some car, some tweaked:
    // every file is kept byte for byte under its sender, every verdict right.
    void twoHundredSendersAtOnce()
    {
        Collector collector;
        QVERIFY(collector.started());
        const QStringList cars{QStringLiteral("Brackwell/BrackwellDescriptor.txt"), QStringLiteral("DunMarr/DunMarrDescriptor.txt"),
                               QStringLiteral("Skelder4/Skelder4Descriptor.txt"), QStringLiteral("Grelm/Grelmdescriptor.txt"),
                               QStringLiteral("Puddlewick/Puddlewickdescriptor.txt"), QStringLiteral("OldGrist/OldGristdescriptor.txt")};
        QStringList expected;
        std::vector<std::unique_ptr<Sender>> senders;
        for (int i = 0; i < 200; ++i) {
            const QString car = cars.at(i % 6);
            const bool tweaked = i % 5 == 0 && (car.startsWith(u"Brackwell") || car.startsWith(u"Grelm"));
            const QByteArray content = sample(tweaked ? QStringLiteral("Cars/") + car
                                                      : QStringLiteral("genuine/") + car.section(u'/', 0, 0)
                                                            + QStringLiteral(".dat"));
            const QString from = QStringLiteral("127.0.0.%1").arg(2 + i % 50);
            senders.push_back(std::make_unique<Sender>(collector.port, from));
            senders.back()->send(message(car.section(u'/', 1), content));
            expected << QStringLiteral("%1 %2 %3 %4")
                            .arg(from, car.section(u'/', 1), tweaked ? QStringLiteral("tweaked") : QStringLiteral("genuine"))
                            .arg(qHash(content));
        }
        for (auto& sender : senders)
            sender->socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 200, 60'000);

        QStringList kept;
        for (const QJsonObject& verdict : collector.verdicts()) {
            const QString path = verdict.value(QStringLiteral("path")).toString();
            QCOMPARE(QFileInfo(path).absolutePath(), collector.dir() + u'/' + verdict.value(QStringLiteral("sender")).toString());
            kept << QStringLiteral("%1 %2 %3 %4")
                        .arg(verdict.value(QStringLiteral("sender")).toString(),
                             QFileInfo(path).fileName().section(u'-', -1), verdict.value(QStringLiteral("status")).toString())
                        .arg(qHash(bytesOf(path)));
        }
        expected.sort();
        kept.sort();
        QCOMPARE(kept, expected);
        QCOMPARE(collector.count(QStringLiteral("refused")), 0);
        QCOMPARE(collector.terminate(), 0);
    }

    // Idle connections are closed after the idle time and never keep the
    // real senders out, whether they take the slots or wait behind them.
    void idleConnectionsKeepNobodyOut()
    {
        Collector collector({QStringLiteral("--idle-timeout"), QStringLiteral("1"), QStringLiteral("--max-per-address"),
                             QStringLiteral("200")});
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Sender>> idle;
        for (int i = 0; i < 100; ++i)
            idle.push_back(std::make_unique<Sender>(collector.port));
        QTRY_VERIFY(std::all_of(idle.begin(), idle.end(), [](const auto& s) { return s->socket.state() == QAbstractSocket::ConnectedState; }));
        std::vector<std::unique_ptr<Sender>> real;
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        for (int i = 0; i < 50; ++i) {
            real.push_back(std::make_unique<Sender>(collector.port));
            real.back()->send(message(QStringLiteral("Grelmdescriptor.txt"), content));
            real.back()->socket.disconnectFromHost();
        }
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 50, 30'000);
        QTRY_COMPARE_WITH_TIMEOUT(collector.refusals(QStringLiteral("timed-out")), 100, 30'000);
        QTRY_VERIFY(std::all_of(idle.begin(), idle.end(), [](const auto& s) { return s->closedByPeer(); }));
        for (const QJsonObject& verdict : collector.verdicts())
            QCOMPARE(verdict.value(QStringLiteral("status")).toString(), QStringLiteral("genuine"));
        QCOMPARE(collector.terminate(), 0);
    }

    // A sender of one byte every 100 ms holds up nobody else.
    void slowSenderDelaysNoOne()
    {
        Collector collector({QStringLiteral("--max-per-address"), QStringLiteral("64"), QStringLiteral("--min-rate"),
                             QStringLiteral("0")});
        QVERIFY(collector.started());
        const QByteArray slowMessage = message(QStringLiteral("slow.txt"), QByteArray(20, 's'));
        Sender slow(collector.port);
        qsizetype sent = 0;
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] {
            if (sent < slowMessage.size())
                slow.send(slowMessage.mid(sent++, 1));
        });
        drip.start(100);

        QElapsedTimer clock;
        clock.start();
        std::vector<std::unique_ptr<Sender>> fast;
        const QByteArray content = sample(QStringLiteral("genuine/Brackwell.dat"));
        for (int i = 0; i < 10; ++i) {
            fast.push_back(std::make_unique<Sender>(collector.port));
            fast.back()->send(message(QStringLiteral("BrackwellDescriptor.txt"), content));
            fast.back()->socket.disconnectFromHost();
        }
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 10, 10'000);
        QVERIFY2(sent < slowMessage.size(), "the fast senders waited for the slow one");
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 11, 10'000);
        QCOMPARE(collector.verdicts().last().value(QStringLiteral("status")).toString(), QStringLiteral("unchecked"));
        QCOMPARE(collector.terminate(), 0);
    }

    // Everything a hostile peer might send, all at once on connections of
    // their own: each is refused or cut with a reason, nothing is written
    // outside the collection's folder, and the collector goes on serving.
    void hostilePeersAtOnce()
    {
        Collector collector({QStringLiteral("--max-size"), QStringLiteral("4611686018427387903"),
                             QStringLiteral("--max-per-address"), QStringLiteral("64")});
        QVERIFY(collector.started());
        const QStringList outsideBefore = filesBelow(collector.work.path());
        const QList<QByteArray> hostile{
            "FILEINFO|5|../evil.txt|hello",
            "FILEINFO|5|/tmp/evil.txt|hello",
            "FILEINFO|5|sub/evil.txt|hello",
            "FILEINFO|5|sub\\evil.txt|hello",
            "FILEINFO|5|C:evil.txt|hello",
            "FILEINFO|5|..|hello",
            "FILEINFO|5|a\x07.txt|hello",
            "FILEINFO|5|Sam.mdb|hello",
            "FILEINFO|5|Unmatch.txt|hello",
            "FILEINFO|5|   |hello",
            "FILEINFO|5| lead.txt|hello",
            "FILEINFO|5|trail.txt |hello",
            "FILEINFO|5|dot.txt.|hello",
            "FILEINFO|5||hello",
            "FILEINFO||a.txt|hello",
            "FILEINFO|abc|a.txt|hello",
            "FILEINFO|0|a.txt|",
            "FILEINFO|-5|a.txt|hello",
            "FILEINFO|99999999999999999999|a.txt|",
            "FILEINFO|4611686018427387904|over-the-largest.txt|",
            "FILEINFO|2305843009213693952|beyond-the-free-space.txt|",
            "hello, no header",
            "fileinfo|5|a.txt|hello",
            "FILEINFO|5|" + QByteArray(5000, 'n'),
        };
        std::vector<std::unique_ptr<Sender>> peers;
        for (const QByteArray& bytes : hostile) {
            peers.push_back(std::make_unique<Sender>(collector.port));
            peers.back()->send(bytes);
        }
        // More than announced: the announced bytes are kept, the rest cut.
        Sender over(collector.port);
        over.send(message(QStringLiteral("over.txt"), QByteArray("12345")) + QByteArray(100 * 1024, 'x'));
        // Far larger than a descriptor: kept, but its verdict is an error,
        // not a check of 50,000 lines on the one event loop.
        Sender huge(collector.port);
        huge.send(message(QStringLiteral("BrackwellDescriptor.txt"), QByteArray(100 * 1024, 'x').replace("xx", "x\r")));
        huge.socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(collector.count(QStringLiteral("refused")), hostile.size(), 20'000);
        QTRY_COMPARE(collector.count(QStringLiteral("cut")), 1);
        QTRY_VERIFY(std::all_of(peers.begin(), peers.end(), [](const auto& p) { return p->closedByPeer(); }));

        Sender real(collector.port);
        real.send(message(QStringLiteral("BrackwellDescriptor.txt"), sample(QStringLiteral("genuine/Brackwell.dat"))));
        real.socket.disconnectFromHost();
        QTRY_COMPARE(collector.verdicts().size(), 3);
        QStringList statuses;
        for (const QJsonObject& verdict : collector.verdicts())
            statuses << verdict.value(QStringLiteral("status")).toString();
        statuses.sort();
        QCOMPARE(statuses, (QStringList{QStringLiteral("error"), QStringLiteral("genuine"), QStringLiteral("unchecked")}));

        QStringList inside = filesBelow(collector.dir());
        QCOMPARE(inside.size(), 4);
        QVERIFY(inside.contains(QStringLiteral("verdicts.jsonl")));
        const QStringList stored = QDir(collector.dir() + QStringLiteral("/127.0.0.1")).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(stored.size(), 3);
        for (const QString& name : stored)
            QVERIFY2(name.endsWith(QStringLiteral("-over.txt")) || name.endsWith(QStringLiteral("-BrackwellDescriptor.txt")),
                     qPrintable(name));
        QCOMPARE(bytesOf(collector.dir() + QStringLiteral("/127.0.0.1/") + stored.filter(QStringLiteral("over")).first()),
                 QByteArray("12345"));
        QStringList outsideAfter = filesBelow(collector.work.path()).filter(QRegularExpression(QStringLiteral("^(?!collected/)")));
        QCOMPARE(outsideAfter, outsideBefore);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/evil.txt")));
        QCOMPARE(collector.terminate(), 0);
    }

    // Peers that split their header over reads, or stall anywhere, at once:
    // the split header serves like any other, and every stalled peer is
    // closed after the idle time, what arrived of its file kept as partial.
    void splitHeadersAndStalls()
    {
        Collector collector({QStringLiteral("--idle-timeout"), QStringLiteral("0.5")});
        QVERIFY(collector.started());
        const QByteArray content = sample(QStringLiteral("genuine/Skelder4.dat"));
        const QByteArray whole = message(QStringLiteral("Skelder4Descriptor.txt"), content);
        Sender split(collector.port);
        Sender silent(collector.port);
        Sender halfHeader(collector.port);
        Sender headerOnly(collector.port);
        Sender halfFile(collector.port);
        halfHeader.send("FILEINFO|5|");
        headerOnly.send("FILEINFO|5|stalled.txt|");
        halfFile.send(whole.first(whole.size() - content.size() / 2));
        // The header in pieces, each given time to arrive as a read of its own.
        qsizetype sent = 0;
        for (const qsizetype cut : {4, 11, 20}) {
            split.send(whole.mid(sent, cut - sent));
            sent = cut;
            QTest::qWait(100);
        }
        split.send(whole.sliced(sent));
        split.socket.disconnectFromHost();

        QTRY_COMPARE_WITH_TIMEOUT(collector.refusals(QStringLiteral("timed-out")), 4, 10'000);
        QCOMPARE(collector.count(QStringLiteral("stored")), 1);
        QTRY_VERIFY(silent.closedByPeer() && halfHeader.closedByPeer() && headerOnly.closedByPeer() && halfFile.closedByPeer());
        const QStringList files = filesBelow(collector.dir());
        const QStringList kept = files.filter(QRegularExpression(QStringLiteral("-Skelder4Descriptor\\.txt$")));
        QCOMPARE(kept.size(), 1);
        QCOMPARE(bytesOf(collector.dir() + u'/' + kept.first()), content);
        const QStringList partial = files.filter(QRegularExpression(QStringLiteral("\\.partial$")));
        QCOMPARE(partial.size(), 1);
        QCOMPARE(bytesOf(collector.dir() + u'/' + partial.first()), content.first(content.size() - content.size() / 2));
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("\\.tmp$"))).size(), 0);
        QCOMPARE(collector.terminate(), 0);
    }

    // A stop lets transfers in progress end within its grace; what has not
    // ended by then is kept as partial. Nothing temporary is left.
    void stopDuringTransfers()
    {
        Collector collector({QStringLiteral("--max-per-address"), QStringLiteral("64")});
        QVERIFY(collector.started());
        const QByteArray content = sample(QStringLiteral("genuine/DunMarr.dat"));
        const QByteArray whole = message(QStringLiteral("DunMarrDescriptor.txt"), content);
        const qsizetype half = whole.size() - content.size() / 2;
        std::vector<std::unique_ptr<Sender>> senders;
        for (int i = 0; i < 20; ++i) {
            senders.push_back(std::make_unique<Sender>(collector.port));
            senders.back()->send(i < 5 ? whole : whole.first(half));
        }
        QTRY_COMPARE(collector.count(QStringLiteral("accepted")), 20);
        QTRY_COMPARE(collector.verdicts().size(), 5);

        collector.process.terminate();
        QTRY_COMPARE(collector.count(QStringLiteral("stopping")), 1);
        for (int i = 5; i < 10; ++i)
            senders[i]->send(whole.sliced(half)); // these end within the grace
        QVERIFY(collector.process.waitForFinished(15'000));
        QCOMPARE(collector.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(collector.process.exitCode(), 0);

        const QStringList files = filesBelow(collector.dir());
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("-DunMarrDescriptor\\.txt$"))).size(), 10);
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("\\.partial$"))).size(), 10);
        QCOMPARE(files.filter(QRegularExpression(QStringLiteral("\\.tmp$"))).size(), 0);
        for (const QString& file : files.filter(QRegularExpression(QStringLiteral("-DunMarrDescriptor\\.txt$"))))
            QCOMPARE(bytesOf(collector.dir() + u'/' + file), content);
        QCOMPARE(collector.verdicts().size(), 10);
    }

    // The very sender the receiver window serves works here unchanged.
    void kestrixSendUnchanged()
    {
        Collector collector;
        QVERIFY(collector.started());
        const QString descriptor = TestProgramFolder::dataFile(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        QProcess sender;
        sender.start(QStringLiteral(KESTRIX_SEND), {QStringLiteral("127.0.0.1"), QString::number(collector.port), descriptor});
        QVERIFY(QTest::qWaitFor([&] { return sender.state() == QProcess::NotRunning; }, 30'000));
        QCOMPARE(sender.exitCode(), 0);
        QTRY_COMPARE(collector.verdicts().size(), 1);
        const QJsonObject verdict = collector.verdicts().first();
        QCOMPARE(verdict.value(QStringLiteral("status")).toString(), QStringLiteral("tweaked"));
        QCOMPARE(verdict.value(QStringLiteral("size")).toInt(), sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt")).size());
        QCOMPARE(bytesOf(verdict.value(QStringLiteral("path")).toString()), sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt")));
        QCOMPARE(collector.terminate(), 0);
    }

    // The league's rules apply to every file; each record carries its proof.
    void rulesAndProof()
    {
        QTemporaryDir rulesDir;
        const QString rules = rulesDir.filePath(QStringLiteral("rules.toml"));
        QFile file(rules);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[[allow]]\ncar = \"Grelm\"\nsection = \"*\"\nkey = \"*\"\n");
        file.close();
        Collector collector({QStringLiteral("--rules"), rules});
        QVERIFY(collector.started());
        QProcess sender;
        sender.start(QStringLiteral(KESTRIX_SEND), {QStringLiteral("127.0.0.1"), QString::number(collector.port),
                                                    TestProgramFolder::dataFile(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))});
        QVERIFY(QTest::qWaitFor([&] { return sender.state() == QProcess::NotRunning; }, 30'000));
        QTRY_COMPARE(collector.verdicts().size(), 1);
        const QJsonObject verdict = collector.verdicts().first();
        QCOMPARE(verdict.value(QStringLiteral("status")).toString(), QStringLiteral("allowed"));
        QCOMPARE(verdict.value(QStringLiteral("rules")).toString().size(), 64);
        QCOMPARE(verdict.value(QStringLiteral("reference")).toString().size(), 64);
        QVERIFY(verdict.value(QStringLiteral("tool")).toString().startsWith(QStringLiteral("kestrix-collect 1.")));
        QCOMPARE(collector.terminate(), 0);

        // Rules that do not load keep it from starting.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[[alow]]\n");
        file.close();
        const ToolRun refused = ToolRun::of(QStringLiteral(KESTRIX_COLLECT),
                                            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--dir"),
                                             rulesDir.filePath(QStringLiteral("d")), QStringLiteral("--folder"),
                                             collector.program.path(), QStringLiteral("--rules"), rules});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.errors.contains(QStringLiteral("rules.toml:1:3: unknown table")), qPrintable(refused.errors));
    }

    void startFailures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "verdicts.jsonl";
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << "kestrix-collect 1.";
        QTest::newRow("no port") << QStringList{QStringLiteral("--dir"), QStringLiteral("/tmp/x")} << 2 << "--port";
        QTest::newRow("wrong option") << QStringList{QStringLiteral("--frobnicate")} << 2 << "Unknown option";
        QTest::newRow("wrong idle time") << QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--dir"),
                                                        QStringLiteral("/tmp/x"), QStringLiteral("--idle-timeout"),
                                                        QStringLiteral("never")}
                                         << 2 << "--idle-timeout";
        QTest::newRow("public URL not of the web") << QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                                                  QStringLiteral("--dir"), QStringLiteral("/tmp/x"),
                                                                  QStringLiteral("--public-url"), QStringLiteral("league.example.org")}
                                                   << 2 << "--public-url needs an http or https address";
    }

    void startFailures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        const ToolRun run = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), arguments);
        QCOMPARE(run.exitCode, status);
        QVERIFY2((status == 0 ? QString::fromLocal8Bit(run.out) : run.errors).contains(says), qPrintable(run.errors));
    }

    // Reference data that fails its check keeps the collector from starting.
    void referenceDataChecked()
    {
        TestProgramFolder program;
        QTemporaryDir work;
        QString error;
        QVERIFY(FileSystem::setModified(program.file(QStringLiteral("OldGrist.dat")), QDateTime::currentDateTime(), &error));
        const QStringList arguments{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--dir"), work.path(),
                                    QStringLiteral("--folder"), program.path()};
        const ToolRun refused = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), arguments);
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.errors.contains(QStringLiteral("OldGrist.dat: expected 4628 bytes")), qPrintable(refused.errors));

        QProcess skipping;
        skipping.start(QStringLiteral(KESTRIX_COLLECT), arguments + QStringList{QStringLiteral("--skip-reference-check")});
        QVERIFY(skipping.waitForReadyRead(10'000));
        QVERIFY(skipping.readAllStandardOutput().contains("listening"));
        skipping.terminate();
        QVERIFY(skipping.waitForFinished(10'000));
        QCOMPARE(skipping.exitCode(), 0);
        QVERIFY(QString::fromLocal8Bit(skipping.readAllStandardError()).contains(QStringLiteral("not checked")));
    }

    // The package's example roster, copied as it stands, keeps the collector
    // from starting, and says where.
    void exampleRosterRefused()
    {
        TestProgramFolder program;
        QTemporaryDir work;
        const ToolRun refused = ToolRun::of(QStringLiteral(KESTRIX_COLLECT),
                                            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--dir"), work.path(),
                                             QStringLiteral("--folder"), program.path(), QStringLiteral("--roster"),
                                             QStringLiteral(KESTRIX_ROSTER_EXAMPLE)});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.errors.contains(QStringLiteral("roster.toml.example:13:16: the token_sha256 of \"alice\" is the "
                                                        "examples' placeholder")),
                 qPrintable(refused.errors));
    }
};

QTEST_GUILESS_MAIN(TestKestrixCollect)
#include "test_kestrix_collect.moc"
