#include "CollectorHarness.h"
#include "ToolRun.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>

#include <csignal>

#include <unistd.h>

using namespace CollectorTest;

namespace {

// A peer that sends a header and then one byte a second, for ever.
struct Trickler {
    Trickler(quint16 port, const QString& from)
        : sender(port, from)
    {
        sender.send("FILEINFO|100000|trickle.txt|");
        QObject::connect(&drip, &QTimer::timeout, [this] {
            if (sender.socket.state() == QAbstractSocket::ConnectedState)
                sender.send("t");
        });
        drip.start(1000);
    }
    Sender sender;
    QTimer drip;
};

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}


} // namespace

// The collector as a service: its door, its loop, its stdout, its signals.
class TestCollectService : public QObject
{
    Q_OBJECT

private slots:
    // 64 trickling connections from one address and 64 from eight others
    // hold no slot for long: a genuine sender from another address is
    // served long before the transfer timeout, and the tricklers are
    // closed as too slow, their bytes kept as partial files. One address
    // beyond its limit is refused at once, and told so.
    void trickleAttack()
    {
        Collector collector({QStringLiteral("--max-connections"), QStringLiteral("16"), QStringLiteral("--transfer-timeout"),
                             QStringLiteral("30"), QStringLiteral("--max-per-address"), QStringLiteral("64")});
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Trickler>> tricklers;
        for (int i = 0; i < 64; ++i)
            tricklers.push_back(std::make_unique<Trickler>(collector.port, QStringLiteral("127.0.0.2")));
        for (int i = 0; i < 64; ++i)
            tricklers.push_back(std::make_unique<Trickler>(collector.port, QStringLiteral("127.0.0.%1").arg(3 + i % 8)));
        QTest::qWait(500);
        QElapsedTimer clock;
        clock.start();
        Sender genuine(collector.port, QStringLiteral("127.0.0.50"));
        genuine.send(message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
        genuine.socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 1, 15'000);
        QVERIFY2(clock.elapsed() < 15'000, "the genuine sender waited for the tricklers");
        QCOMPARE(collector.verdicts().first().value(QStringLiteral("sender")).toString(), QStringLiteral("127.0.0.50"));
        QTRY_VERIFY_WITH_TIMEOUT(collector.refusals(QStringLiteral("too-slow")) >= 16, 15'000);
        QVERIFY(!filesBelow(collector.dir()).filter(QRegularExpression(QStringLiteral("trickle\\.txt\\.partial$"))).isEmpty());
        QCOMPARE(collector.terminate(), 0);
    }

    void tooManyFromOneAddress()
    {
        Collector collector;
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Sender>> held;
        for (int i = 0; i < 8; ++i)
            held.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.0.7")));
        Sender ninth(collector.port, QStringLiteral("127.0.0.7"));
        QVERIFY(lineFrom(ninth.socket).startsWith("REFUSED|too-many-from-address|"));
        Sender other(collector.port, QStringLiteral("127.0.0.8"));
        other.send(message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
        other.socket.disconnectFromHost();
        QTRY_COMPARE(collector.verdicts().size(), 1);
        QCOMPARE(collector.refusals(QStringLiteral("too-many-from-address")), 1);
        QCOMPARE(collector.terminate(), 0);
    }

    // A sender that sends its whole file and closes while it waits for a
    // slot keeps its address: its file goes under it.
    void senderClosesWhileWaiting()
    {
        Collector collector({QStringLiteral("--max-connections"), QStringLiteral("1"), QStringLiteral("--idle-timeout"),
                             QStringLiteral("1")});
        QVERIFY(collector.started());
        Sender idle(collector.port, QStringLiteral("127.0.0.3"));
        QTest::qWait(200);
        Sender waiting(collector.port, QStringLiteral("127.0.0.4"));
        waiting.send(message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
        waiting.socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 1, 10'000);
        const QJsonObject verdict = collector.verdicts().first();
        QCOMPARE(verdict.value(QStringLiteral("sender")).toString(), QStringLiteral("127.0.0.4"));
        QCOMPARE(QFileInfo(verdict.value(QStringLiteral("path")).toString()).absolutePath(),
                 collector.dir() + QStringLiteral("/127.0.0.4"));
        QCOMPARE(verdict.value(QStringLiteral("status")).toString(), QStringLiteral("genuine"));
        QCOMPARE(collector.terminate(), 0);
    }

    // Worst-case descriptors among steady senders: every verdict arrives,
    // the hostile ones' records stay small, and the loop's longest stall
    // is told at the stop.
    void worstCaseDescriptors()
    {
        Collector collector({QStringLiteral("--max-per-address"), QStringLiteral("64")});
        QVERIFY(collector.started());
        const QByteArray hostile = QByteArray(64 * 1024 / 2, 'x').replace("x", "x\r");
        std::vector<std::unique_ptr<Sender>> senders;
        for (int i = 0; i < 24; ++i) {
            const bool worst = i % 6 == 0;
            senders.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.1.%1").arg(1 + i)));
            senders.back()->send(worst ? message(QStringLiteral("BrackwellDescriptor.txt"), hostile)
                                       : message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
            senders.back()->socket.disconnectFromHost();
        }
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 24, 30'000);
        for (const QByteArray& line : bytesOf(collector.dir() + QStringLiteral("/verdicts.jsonl")).split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            QVERIFY2(line.size() < 12 * 1024, QByteArray::number(line.size()).constData());
            if (record.value(QStringLiteral("status")).toString() == u"genuine")
                continue;
            QVERIFY(record.value(QStringLiteral("differences_total")).toInt() > 100
                    || record.value(QStringLiteral("tweaks_total")).toInt() > 100);
            QVERIFY(record.value(QStringLiteral("differences")).toArray().size() <= 100);
        }
        QCOMPARE(collector.terminate(), 0);
        QTRY_VERIFY(collector.count(QStringLiteral("stopped")) == 1);
        QVERIFY(collector.events.last().value(QStringLiteral("longest_stall_ms")).isDouble());
    }

    // One player's stream of worst-case files holds back no other's verdict:
    // checks are taken player by player in turn.
    void checksTakenPlayerByPlayer()
    {
        Collector collector({QStringLiteral("--max-per-address"), QStringLiteral("64"), QStringLiteral("--jobs"), QStringLiteral("1")});
        QVERIFY(collector.started());
        const QByteArray hostile = QByteArray(64 * 1024 / 2, 'x').replace("x", "x\r");
        std::vector<std::unique_ptr<Sender>> flood;
        for (int i = 0; i < 6; ++i) {
            flood.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.5.1")));
            flood.back()->send(message(QStringLiteral("BrackwellDescriptor.txt"), hostile));
            flood.back()->socket.disconnectFromHost();
        }
        QTRY_COMPARE(collector.count(QStringLiteral("accepted")), 6);
        Sender other(collector.port, QStringLiteral("127.0.5.2"));
        other.send(message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
        other.socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(collector.count(QStringLiteral("verdict")), 7, 60'000);
        QStringList players;
        for (const QJsonObject& event : collector.events) {
            if (event.value(QStringLiteral("event")).toString() == u"verdict")
                players << event.value(QStringLiteral("peer")).toString();
        }
        // At most the one being checked and the one next in turn go first.
        QVERIFY2(players.indexOf(QStringLiteral("127.0.5.2")) <= 2, qPrintable(players.join(u' ')));
        QCOMPARE(collector.terminate(), 0);
    }

    // A stdout nobody reads, and one that is gone: the transfers go on,
    // verdicts.jsonl has them all, and SIGTERM still ends it.
    void stdoutNotRead_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::newRow("a reader that stops reading") << QStringLiteral("stops");
        QTest::newRow("a reader that goes away") << QStringLiteral("closed");
        QTest::newRow("a reader that reads again after the stop") << QStringLiteral("lags");
    }

    void stdoutNotRead()
    {
        QFETCH(QString, reader);
        const bool closed = reader == u"closed";
        TestProgramFolder program;
        QTemporaryDir work;
        const QString dir = work.filePath(QStringLiteral("collected"));
        const QString portFile = work.filePath(QStringLiteral("port"));
        // The port is learnt from the first event, read by a shell that then
        // stops reading, or leaves.
        QProcess shell;
        // A group of its own, so that the reader and all go at the end.
        shell.setChildProcessModifier([] { ::setpgid(0, 0); });
        const QString go = work.filePath(QStringLiteral("go"));
        const QString events = work.filePath(QStringLiteral("events"));
        const QString command = closed ? QStringLiteral("head -n 1 > '%1'").arg(portFile)
            : reader == u"stops"       ? QStringLiteral("{ head -n 1 > '%1'; sleep 60; }").arg(portFile)
                                       : QStringLiteral("{ head -n 1 > '%1'; until [ -e '%2' ]; do sleep 0.1; done; sleep 2; cat > '%3'; }")
                                       .arg(portFile, go, events);
        shell.start(QStringLiteral("bash"),
                    {QStringLiteral("-c"), QStringLiteral("exec 3>&1; { '%1' --json --port 0 --dir '%2' --folder '%3' "
                                                          "--max-per-address 200 2>'%4'; echo $? >&3; } | %5")
                                               .arg(QStringLiteral(KESTRIX_COLLECT), dir, program.path(),
                                                    work.filePath(QStringLiteral("errors")), command)});
        const pid_t group = pid_t(shell.processId());
        QVERIFY(QTest::qWaitFor([&] { return !bytesOf(portFile).startsWith('<') && bytesOf(portFile).contains('\n'); }, 10'000));
        const quint16 port = quint16(QJsonDocument::fromJson(bytesOf(portFile)).object().value(QStringLiteral("port")).toInt());
        QVERIFY(port != 0);
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        for (int round = 0; round < 8; ++round) {
            std::vector<std::unique_ptr<Sender>> senders;
            for (int i = 0; i < 25; ++i) {
                senders.push_back(std::make_unique<Sender>(port, QStringLiteral("127.0.2.%1").arg(1 + i)));
                senders.back()->send(message(QStringLiteral("Grelmdescriptor.txt"), content));
                senders.back()->socket.disconnectFromHost();
            }
            QTRY_VERIFY_WITH_TIMEOUT(std::all_of(senders.begin(), senders.end(), [](const auto& s) { return s->closedByPeer(); }),
                                     20'000);
        }
        const auto records = [&] { return bytesOf(dir + QStringLiteral("/verdicts.jsonl")).count('\n'); };
        QTRY_COMPARE_WITH_TIMEOUT(records(), 200, 20'000);
        const QString self = u'^' + QRegularExpression::escape(QStringLiteral(KESTRIX_COLLECT) + QStringLiteral(" --json --port 0 --dir ") + dir);
        const auto reap = qScopeGuard([&] {
            ToolRun::of(QStringLiteral("pkill"), {QStringLiteral("-KILL"), QStringLiteral("-f"), self});
            if (group > 0)
                ::kill(-group, SIGKILL);
        });
        const QString pid = QString::fromLatin1(ToolRun::of(QStringLiteral("pgrep"), {QStringLiteral("-f"), self}).out.trimmed());
        QVERIFY2(!pid.isEmpty() && !pid.contains(u'\n'), qPrintable(pid));
        QVERIFY(::kill(pid.toInt(), SIGTERM) == 0);
        writeFile(go, QByteArray());
        // The shell prints the collector's exit status once it has ended.
        QVERIFY(shell.waitForReadyRead(10'000));
        QCOMPARE(shell.readAllStandardOutput().trimmed(), QByteArray("0"));
        shell.kill();
        shell.waitForFinished();
        QCOMPARE(filesBelow(dir).filter(QRegularExpression(QStringLiteral("\\.tmp$"))), QStringList());
        if (closed)
            QCOMPARE(bytesOf(work.filePath(QStringLiteral("errors"))).count("events are no longer written"), 1);
        if (reader == u"lags") {
            // Whole lines to the end, the stop among them.
            QList<QByteArray> lines = bytesOf(events).split('\n');
            QCOMPARE(lines.takeLast(), QByteArray());
            lines.removeFirst(); // head may have read into it
            for (const QByteArray& line : lines)
                QVERIFY2(QJsonDocument::fromJson(line).isObject(), line.constData());
            QCOMPARE(QJsonDocument::fromJson(lines.last()).object().value(QStringLiteral("event")).toString(), u"stopped");
        }
    }

    // SIGHUP reloads the roster; a broken one keeps the one in force.
    void reloadOnHangup()
    {
        QTemporaryDir config;
        const ToolRun alice = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-token"), QStringLiteral("alice")});
        const QByteArray aliceEntry = alice.out.sliced(alice.out.indexOf('\n') + 1);
        const QString roster = writeFile(config.filePath(QStringLiteral("roster.toml")), aliceEntry);
        QFile::setPermissions(roster, QFile::ReadOwner | QFile::WriteOwner);
        Collector collector({QStringLiteral("--roster"), roster});
        QVERIFY(collector.started());

        const ToolRun bob = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-token"), QStringLiteral("bob")});
        writeFile(roster, aliceEntry + bob.out.sliced(bob.out.indexOf('\n') + 1));
        QVERIFY(::kill(pid_t(collector.process.processId()), SIGHUP) == 0);
        QTRY_COMPARE(collector.count(QStringLiteral("reloaded")), 1);
        Sender bobSends(collector.port);
        bobSends.send("PLAYER|bob|");
        QVERIFY(lineFrom(bobSends.socket).startsWith("CHALLENGE|"));

        writeFile(roster, "[[player]]\nname = \"x\"\n");
        QVERIFY(::kill(pid_t(collector.process.processId()), SIGHUP) == 0);
        QTRY_COMPARE(collector.count(QStringLiteral("reload failed")), 1);
        QVERIFY(collector.events.last().value(QStringLiteral("reason")).toString().contains(QStringLiteral("roster.toml:1:1")));
        Sender stillBob(collector.port, QStringLiteral("127.0.0.9"));
        stillBob.send("PLAYER|bob|");
        QVERIFY(lineFrom(stillBob.socket).startsWith("CHALLENGE|"));
        QCOMPARE(collector.terminate(), 0);
    }

    // A crash mid-transfer leaves a hidden temporary file and its journal;
    // the next start makes it a partial file under the stamped name it was
    // to take, with a record naming its sender, and serves on.
    void crashThenRestart()
    {
        QTemporaryDir kept;
        const QString dir = kept.filePath(QStringLiteral("collected"));
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        const QString longName = QStringLiteral("Grelmdescriptor-with-a-name-longer-than-forty-eight-characters.txt");
        {
            Collector crashed({}, dir);
            QVERIFY(crashed.started());
            Sender half(crashed.port);
            half.send(message(QStringLiteral("Grelmdescriptor.txt"), content).chopped(1000));
            Sender longer(crashed.port, QStringLiteral("127.0.0.2"));
            longer.send(message(longName, content).chopped(1000));
            QTRY_COMPARE(crashed.count(QStringLiteral("accepted")), 2);
            QTRY_COMPARE(filesBelow(dir).filter(QRegularExpression(QStringLiteral("\\.tmp$"))).size(), 2);
            crashed.process.kill();
            QVERIFY(crashed.process.waitForFinished());
        }
        Collector restarted({}, dir);
        QVERIFY(restarted.started());
        QCOMPARE(restarted.count(QStringLiteral("recovered")), 2);
        QStringList partials;
        for (const QJsonObject& event : restarted.events) {
            if (event.value(QStringLiteral("event")).toString() != u"recovered")
                continue;
            const QString path = event.value(QStringLiteral("kept")).toString();
            partials << path;
            QCOMPARE(bytesOf(dir + u'/' + path).size(), content.size() - 1000);
        }
        partials.sort();
        QVERIFY2(QRegularExpression(QStringLiteral("^127\\.0\\.0\\.1/\\d{8}-\\d{6}-\\d{3}-Grelmdescriptor\\.txt\\.partial$"))
                     .match(partials.first()).hasMatch(), qPrintable(partials.first()));
        QVERIFY2(partials.last().startsWith(QStringLiteral("127.0.0.2/")) && partials.last().endsWith(longName + QStringLiteral(".partial")),
                 qPrintable(partials.last()));
        const QList<QJsonObject> records = restarted.verdicts();
        QCOMPARE(records.size(), 2);
        for (const QJsonObject& record : records) {
            QCOMPARE(record.value(QStringLiteral("status")).toString(), u"partial");
            QVERIFY(partials.contains(record.value(QStringLiteral("kept")).toString()));
            QCOMPARE(record.value(QStringLiteral("sender")).toString(), record.value(QStringLiteral("player")).toString());
            QCOMPARE(record.value(QStringLiteral("received")).toInteger(), content.size() - 1000);
        }
        QCOMPARE(filesBelow(dir).filter(QRegularExpression(QStringLiteral("\\.(tmp|arriving)$"))), QStringList());
        Sender whole(restarted.port);
        whole.send(message(QStringLiteral("Grelmdescriptor.txt"), content));
        whole.socket.disconnectFromHost();
        QTRY_COMPARE(restarted.verdicts().size(), 3);
        QCOMPARE(restarted.terminate(), 0);
    }

    // A file kept whole whose journal is still there was never checked (the
    // collector ended between the two): the next start checks and records it,
    // once.
    void keptButNotChecked()
    {
        QTemporaryDir kept;
        const QString dir = kept.filePath(QStringLiteral("collected"));
        const QString player = dir + QStringLiteral("/127.0.0.1");
        QVERIFY(QDir().mkpath(player));
        const QString name = QStringLiteral("20261211-080000-000-Grelmdescriptor.txt");
        writeFile(player + u'/' + name, sample(QStringLiteral("genuine/Grelm.dat")));
        const QString journal = player + QStringLiteral("/.Grelmdescriptor.txt.0123abcd.tmp.arriving");
        const QByteArray journalLine =
            QJsonDocument(QJsonObject{{QStringLiteral("kept"), QStringLiteral("127.0.0.1/") + name},
                                      {QStringLiteral("name"), QStringLiteral("Grelmdescriptor.txt")},
                                      {QStringLiteral("player"), QStringLiteral("127.0.0.1")},
                                      {QStringLiteral("sender"), QStringLiteral("127.0.0.1")},
                                      {QStringLiteral("size"), sample(QStringLiteral("genuine/Grelm.dat")).size()}})
                .toJson(QJsonDocument::Compact)
            + '\n';
        writeFile(journal, journalLine);
        Collector restarted({}, dir);
        QVERIFY(restarted.started());
        QCOMPARE(restarted.count(QStringLiteral("verdict")), 1);
        QCOMPARE(restarted.verdicts().size(), 1);
        const QJsonObject record = restarted.verdicts().first();
        QCOMPARE(record.value(QStringLiteral("status")).toString(), u"genuine");
        QCOMPARE(record.value(QStringLiteral("sender")).toString(), u"127.0.0.1");
        QCOMPARE(record.value(QStringLiteral("path")).toString(), player + u'/' + name);
        QCOMPARE(filesBelow(dir), QStringList({QStringLiteral("127.0.0.1/") + name, QStringLiteral("verdicts.jsonl")}));
        QCOMPARE(restarted.terminate(), 0);

        // Ended after the record and before the journal went: not recorded twice.
        writeFile(journal, journalLine);
        Collector again({}, dir);
        QVERIFY(again.started());
        QCOMPARE(again.count(QStringLiteral("verdict")), 0);
        QCOMPARE(again.verdicts().size(), 1);
        QCOMPARE(filesBelow(dir), QStringList({QStringLiteral("127.0.0.1/") + name, QStringLiteral("verdicts.jsonl")}));
        QCOMPARE(again.terminate(), 0);
    }

    // A full queue of silent connections keeps no one out: the oldest still
    // waiting makes room for the newcomer, which is served in its turn.
    void fullQueueMakesRoom()
    {
        Collector collector({QStringLiteral("--max-pending"), QStringLiteral("4"), QStringLiteral("--max-connections"),
                             QStringLiteral("1"), QStringLiteral("--idle-timeout"), QStringLiteral("1")});
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Sender>> silent;
        for (int i = 0; i < 4; ++i)
            silent.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.4.%1").arg(1 + i)));
        QTest::qWait(300);
        Sender player(collector.port, QStringLiteral("127.0.4.9"));
        player.send(message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
        // The first waits for its turn behind the one served: it goes.
        QVERIFY(lineFrom(silent[1]->socket).startsWith("REFUSED|busy|"));
        QTRY_COMPARE_WITH_TIMEOUT(collector.count(QStringLiteral("verdict")), 1, 10'000);
        QCOMPARE(collector.refusals(QStringLiteral("busy")), 1);
        QCOMPARE(collector.terminate(), 0);
    }

    // At a stop every connection, served or waiting, a half header among
    // them, ends with an event.
    void stopEndsEveryConnection()
    {
        Collector collector({QStringLiteral("--max-connections"), QStringLiteral("2")});
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Sender>> peers;
        for (int i = 0; i < 5; ++i) {
            peers.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.3.%1").arg(1 + i)));
            peers.back()->send("FILEINFO|5");
        }
        QTest::qWait(300);
        QCOMPARE(collector.terminate(), 0);
        QCOMPARE(collector.refusals(QStringLiteral("stopping")), 5);
    }
};

QTEST_GUILESS_MAIN(TestCollectService)
#include "test_collect_service.moc"
