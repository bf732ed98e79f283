#include "CollectorHarness.h"
#include "ToolRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace CollectorTest;

// How the reader of the collector's stdout behaves.
enum class Reader { Stops, Resumes, Goes };
Q_DECLARE_METATYPE(Reader)

namespace {

QStringList options(std::initializer_list<const char*> words)
{
    QStringList list;
    for (const char* word : words)
        list << QString::fromLatin1(word);
    return list;
}

QList<QJsonObject> eventsNamed(const Collector& collector, const QString& name)
{
    QList<QJsonObject> found;
    for (const QJsonObject& event : collector.events) {
        if (event.value(QStringLiteral("event")).toString() == name)
            found << event;
    }
    return found;
}

// A peer that announces a file and then sends one byte of it a second.
struct Trickler {
    Trickler(quint16 port, const QString& from)
        : sender(port, from)
    {
        sender.send("FILEINFO|100000|trickle.txt|");
        QObject::connect(&drip, &QTimer::timeout, &drip, [this] {
            if (sender.socket.state() == QAbstractSocket::ConnectedState)
                sender.send("t");
        });
        drip.start(1000);
    }
    Sender sender;
    QTimer drip;
};

void sendWhole(quint16 port, const QString& from, const QString& name, const QByteArray& content)
{
    Sender sender(port, from);
    sender.send(message(name, content));
    sender.socket.disconnectFromHost();
    if (sender.socket.state() != QAbstractSocket::UnconnectedState)
        sender.socket.waitForDisconnected(5000);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray lineFrom(QTcpSocket& socket)
{
    [[maybe_unused]] const bool said = QTest::qWaitFor(
        [&] { return socket.canReadLine() || socket.state() != QAbstractSocket::ConnectedState; }, 10'000);
    return socket.readLine();
}

QStringList hiddenTemporaries(const QString& dir)
{
    return filesBelow(dir).filter(QRegularExpression(QStringLiteral("(^|/)\\.[^/]*\\.tmp$")));
}

// The collector with its stdout on a pipe that the test holds and reads only
// as far as it chooses, or that nobody holds at all.
struct PipedCollector {
    PipedCollector(const QString& dir, const QStringList& extra, bool readerGone)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return;
        reader = ends[0];
        if (readerGone)
            closeReader();
        const int writer = ends[1];
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setChildProcessModifier([writer] { ::dup2(writer, STDOUT_FILENO); });
        process.start(QStringLiteral(KESTRIX_COLLECT),
                      QStringList{QStringLiteral("--json"), QStringLiteral("--dir"), dir, QStringLiteral("--folder"),
                                  program.path()}
                          + extra);
        ::close(writer);
    }
    ~PipedCollector()
    {
        closeReader();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    // Exactly one line, so that everything after it stays in the pipe.
    QByteArray readLine(int timeoutMs = 10'000)
    {
        QByteArray line;
        QElapsedTimer clock;
        clock.start();
        while (!line.endsWith('\n') && clock.elapsed() < timeoutMs) {
            pollfd ready{reader, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0)
                continue;
            char c = 0;
            if (::read(reader, &c, 1) != 1)
                break;
            line += c;
        }
        return line;
    }
    qsizetype unread() const
    {
        int bytes = 0;
        return ::ioctl(reader, FIONREAD, &bytes) == 0 ? bytes : -1;
    }
    void closeReader()
    {
        if (reader >= 0)
            ::close(reader);
        reader = -1;
    }
    int terminate()
    {
        if (::kill(pid_t(process.processId()), SIGTERM) != 0 || !process.waitForFinished(5'000)
            || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    TestProgramFolder program;
    QProcess process;
    int reader = -1;
};

} // namespace

// The collector as a service: its door, its loop, its stdout, its signals.
class TestCollectService : public QObject
{
    Q_OBJECT

private slots:
    // 128 trickling connections, half of them from one address, hold no slot
    // for long: a genuine sender from another address is served while the
    // trickle goes on. The tricklers served are closed as too slow after 5 s
    // of service, those still waiting when their time from the accept runs
    // out as timed out, and what arrived of their files is kept as partial.
    void trickleAttack()
    {
        Collector collector(options({"--max-connections", "16", "--transfer-timeout", "20", "--min-rate", "256",
                                     "--max-per-address", "64"}));
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Trickler>> tricklers;
        for (int i = 0; i < 64; ++i)
            tricklers.push_back(std::make_unique<Trickler>(collector.port, QStringLiteral("127.0.0.2")));
        for (int i = 0; i < 64; ++i)
            tricklers.push_back(std::make_unique<Trickler>(collector.port, QStringLiteral("127.0.0.%1").arg(3 + i / 8)));
        // Every slot is a trickler's before the genuine sender comes.
        QTRY_COMPARE(collector.count(QStringLiteral("accepted")), 16);

        Sender genuine(collector.port, QStringLiteral("127.0.0.50"));
        genuine.send(message(QStringLiteral("Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
        genuine.socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 1, 10'000);
        const QJsonObject verdict = collector.verdicts().first();
        QCOMPARE(verdict.value(QStringLiteral("sender")).toString(), QStringLiteral("127.0.0.50"));
        QCOMPARE(verdict.value(QStringLiteral("status")).toString(), QStringLiteral("genuine"));
        const auto ended = [&] {
            return collector.refusals(QStringLiteral("too-slow")) + collector.refusals(QStringLiteral("timed-out"));
        };
        QVERIFY2(ended() < 64, "the genuine sender was served only once the trickle was over");

        QTRY_COMPARE_WITH_TIMEOUT(ended(), 128, 30'000);
        QVERIFY(collector.refusals(QStringLiteral("too-slow")) >= 16);
        QVERIFY(collector.refusals(QStringLiteral("timed-out")) > 0);
        qint64 received = 0;
        for (const QJsonObject& refusal : eventsNamed(collector, QStringLiteral("refused")))
            received += refusal.value(QStringLiteral("received")).toInteger();
        QVERIFY(received > 0);
        const QStringList partials = filesBelow(collector.dir()).filter(QStringLiteral(".partial"));
        QVERIFY(partials.size() >= 16);
        qint64 kept = 0;
        for (const QString& partial : partials) {
            QVERIFY2(QRegularExpression(QStringLiteral("^127\\.0\\.0\\.([2-9]|10)/\\d{8}-\\d{6}-\\d{3}(-\\d+)?-trickle\\.txt\\.partial$"))
                         .match(partial)
                         .hasMatch(),
                     qPrintable(partial));
            const QByteArray bytes = bytesOf(collector.dir() + u'/' + partial);
            QCOMPARE(bytes, QByteArray(bytes.size(), 't'));
            kept += bytes.size();
        }
        QCOMPARE(kept, received);
        QCOMPARE(hiddenTemporaries(collector.dir()), QStringList());
        QCOMPARE(collector.terminate(), 0);
    }

    // One address beyond its limit is refused at once, and told why on the
    // wire; once one of its connections ends, it may open another.
    void oneAddressBeyondItsLimit()
    {
        Collector collector;
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Sender>> held;
        for (int i = 0; i < 8; ++i)
            held.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.0.7")));
        Sender ninth(collector.port, QStringLiteral("127.0.0.7"));
        const QByteArray line = lineFrom(ninth.socket);
        QVERIFY2(line.startsWith("REFUSED|too-many-from-address|") && line.endsWith("|\n") && line.contains("127.0.0.7"),
                 line.constData());
        QTRY_VERIFY(ninth.closedByPeer());
        QTRY_COMPARE(collector.refusals(QStringLiteral("too-many-from-address")), 1);

        held.front()->send("HELLO|\n");
        QTRY_COMPARE(collector.refusals(QStringLiteral("bad-header")), 1);
        sendWhole(collector.port, QStringLiteral("127.0.0.7"), QStringLiteral("Grelmdescriptor.txt"),
                  sample(QStringLiteral("genuine/Grelm.dat")));
        QTRY_COMPARE(collector.verdicts().size(), 1);
        QCOMPARE(collector.verdicts().first().value(QStringLiteral("sender")).toString(), QStringLiteral("127.0.0.7"));
        QCOMPARE(collector.refusals(QStringLiteral("too-many-from-address")), 1);
        QCOMPARE(collector.terminate(), 0);
    }

    // A sender that sends and closes while it waits for a slot keeps its
    // address: what it sent goes under it, whole or partial.
    void senderClosesWhileWaiting_data()
    {
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("kept");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("a whole file") << message(QStringLiteral("Grelmdescriptor.txt"), content) << content
                                      << QStringLiteral("verdict") << QString();
        QTest::newRow("half a file") << message(QStringLiteral("Grelmdescriptor.txt"), content).chopped(2000)
                                     << content.chopped(2000) << QStringLiteral("ended early") << QStringLiteral(".partial");
    }

    void senderClosesWhileWaiting()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, kept);
        QFETCH(QString, ending);
        QFETCH(QString, suffix);
        Collector collector(options({"--max-connections", "1", "--idle-timeout", "1"}));
        QVERIFY(collector.started());
        Sender idle(collector.port, QStringLiteral("127.0.0.3"));
        QTest::qWait(200);
        Sender waiting(collector.port, QStringLiteral("127.0.0.4"));
        waiting.send(sent);
        waiting.socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(collector.count(ending), 1, 10'000);
        QCOMPARE(collector.refusals(QStringLiteral("timed-out")), 1);
        QCOMPARE(eventsNamed(collector, ending).first().value(QStringLiteral("peer")).toString(), QStringLiteral("127.0.0.4"));

        QStringList files = filesBelow(collector.dir());
        files.removeOne(QStringLiteral("verdicts.jsonl"));
        QCOMPARE(files.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^127\\.0\\.0\\.4/\\d{8}-\\d{6}-\\d{3}-Grelmdescriptor\\.txt%1$")
                                        .arg(QRegularExpression::escape(suffix)))
                     .match(files.first())
                     .hasMatch(),
                 qPrintable(files.first()));
        QCOMPARE(bytesOf(collector.dir() + u'/' + files.first()), kept);
        if (suffix.isEmpty()) {
            QCOMPARE(collector.verdicts().size(), 1);
            QCOMPARE(collector.verdicts().first().value(QStringLiteral("sender")).toString(), QStringLiteral("127.0.0.4"));
        }
        QCOMPARE(collector.terminate(), 0);
    }

    // Descriptors of 64 KiB of one-byte lines among steady senders: every
    // verdict arrives, each hostile record stays small yet tells the whole
    // counts, and the loop's longest stall is told at the stop.
    void worstCaseDescriptors()
    {
        Collector collector;
        QVERIFY(collector.started());
        const QByteArray hostile = QByteArray("x\r").repeated(32 * 1024);
        const QByteArray genuine = sample(QStringLiteral("genuine/Grelm.dat"));
        std::vector<std::unique_ptr<Sender>> senders;
        for (int i = 0; i < 24; ++i) {
            const bool worst = i % 6 == 0;
            senders.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.1.%1").arg(1 + i)));
            senders.back()->send(worst ? message(QStringLiteral("BrackwellDescriptor.txt"), hostile)
                                       : message(QStringLiteral("Grelmdescriptor.txt"), genuine));
            senders.back()->socket.disconnectFromHost();
        }
        QTRY_COMPARE_WITH_TIMEOUT(collector.verdicts().size(), 24, 30'000);
        int worst = 0;
        for (const QByteArray& line : bytesOf(collector.dir() + QStringLiteral("/verdicts.jsonl")).split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject record = QJsonDocument::fromJson(line).object();
            if (record.value(QStringLiteral("car")).toString() != u"Brackwell") {
                QCOMPARE(record.value(QStringLiteral("status")).toString(), QStringLiteral("genuine"));
                continue;
            }
            ++worst;
            QVERIFY2(line.size() <= 10 * 1024, QByteArray::number(line.size()).constData());
            // Every line of it is one no genuine descriptor has.
            QCOMPARE(record.value(QStringLiteral("tweaks_total")).toInteger(), 32 * 1024);
            QVERIFY(record.value(QStringLiteral("differences_total")).toInteger() >= 32 * 1024);
            for (const char* list : {"tweaks", "missing", "differences"}) {
                const QString name = QString::fromLatin1(list);
                const qsizetype shown = record.value(name).toArray().size();
                // One long list crowds out none of the others.
                QVERIFY2(shown >= 1 && shown <= 100, list);
                QVERIFY2(record.value(name + QStringLiteral("_total")).toInteger() > shown, list);
            }
        }
        QCOMPARE(worst, 4);
        QCOMPARE(collector.terminate(), 0);
        QCOMPARE(collector.count(QStringLiteral("stopped")), 1);
        QVERIFY(eventsNamed(collector, QStringLiteral("stopped")).first().value(QStringLiteral("longest_stall_ms")).isDouble());
    }

    // A stdout that nobody reads any more, and one whose reader is gone:
    // the transfers go on, verdicts.jsonl has them all, and SIGTERM still
    // ends the collector at once.
    void stdoutNotRead_data()
    {
        QTest::addColumn<Reader>("reader");
        QTest::newRow("a reader that stops reading") << Reader::Stops;
        QTest::newRow("a reader that stops, then reads again") << Reader::Resumes;
        QTest::newRow("a reader that goes away") << Reader::Goes;
    }

    void stdoutNotRead()
    {
        QFETCH(Reader, reader);
        QTemporaryDir work;
        const QString dir = work.filePath(QStringLiteral("collected"));
        PipedCollector collector(dir, options({"--port", "0"}), false);
        const QJsonObject listening = QJsonDocument::fromJson(collector.readLine()).object();
        QCOMPARE(listening.value(QStringLiteral("event")).toString(), QStringLiteral("listening"));
        const quint16 port = quint16(listening.value(QStringLiteral("port")).toInt());
        if (reader == Reader::Goes)
            collector.closeReader();

        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        std::vector<std::unique_ptr<Sender>> senders;
        for (int i = 0; i < 100; ++i) {
            senders.push_back(std::make_unique<Sender>(port, QStringLiteral("127.0.2.%1").arg(1 + i)));
            senders.back()->send(message(QStringLiteral("Grelmdescriptor.txt"), content));
            senders.back()->socket.disconnectFromHost();
        }
        const auto records = [&] { return bytesOf(dir + QStringLiteral("/verdicts.jsonl")).count('\n'); };
        QTRY_COMPARE_WITH_TIMEOUT(records(), 100, 30'000);
        if (reader != Reader::Goes) {
            // The pipe is full: a collector that waited on it would have stopped long ago.
            QVERIFY2(collector.unread() > ::fcntl(collector.reader, F_GETPIPE_SZ) - 4096,
                     QByteArray::number(collector.unread()).constData());
        }
        if (reader == Reader::Resumes) {
            // What waited comes whole once the reader is back: accepted, stored
            // and verdict for each transfer.
            QList<QJsonObject> events;
            while (events.size() < 300) {
                const QByteArray line = collector.readLine();
                QVERIFY2(line.endsWith('\n'), line.constData());
                events << QJsonDocument::fromJson(line).object();
                QVERIFY2(!events.last().isEmpty() && !events.last().contains(QStringLiteral("dropped")), line.constData());
            }
            for (const char* name : {"accepted", "stored", "verdict"}) {
                QCOMPARE(std::count_if(events.cbegin(), events.cend(),
                                       [&](const QJsonObject& e) { return e.value(QStringLiteral("event")) == QLatin1String(name); }),
                         100);
            }
        }
        QCOMPARE(collector.terminate(), 0);
        QCOMPARE(hiddenTemporaries(dir), QStringList());
        const QByteArray errors = collector.process.readAllStandardError();
        QCOMPARE(errors.count("events are no longer written"), reader == Reader::Goes ? 1 : 0);
    }

    // SIGHUP rereads the roster: a new one is in force at once, a broken
    // one is said to be so, naming its file, and the one in force is kept.
    void rosterReloadedOnHangup()
    {
        QTemporaryDir config;
        const QString roster = config.filePath(QStringLiteral("roster.toml"));
        const auto entryOf = [](const char* name) {
            const ToolRun made =
                ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-token"), QString::fromLatin1(name)});
            return made.out.sliced(made.out.indexOf('\n') + 1);
        };
        writeFile(roster, entryOf("alice"));
        QVERIFY(QFile::setPermissions(roster, QFile::ReadOwner | QFile::WriteOwner));
        Collector collector({QStringLiteral("--roster"), roster});
        QVERIFY(collector.started());
        const auto answerTo = [&](const QByteArray& player, const QString& from) {
            Sender sender(collector.port, from);
            sender.send("PLAYER|" + player + '|');
            return lineFrom(sender.socket);
        };
        QVERIFY(answerTo("alice", QStringLiteral("127.0.0.2")).startsWith("CHALLENGE|"));

        writeFile(roster, entryOf("bob"));
        QVERIFY(::kill(pid_t(collector.process.processId()), SIGHUP) == 0);
        QTRY_COMPARE(collector.count(QStringLiteral("reloaded")), 1);
        QVERIFY(answerTo("bob", QStringLiteral("127.0.0.3")).startsWith("CHALLENGE|"));
        QVERIFY(answerTo("alice", QStringLiteral("127.0.0.4")).startsWith("REFUSED|unknown-player|"));

        writeFile(roster, "[[player]]\nname = \"carol\"\n");
        QVERIFY(::kill(pid_t(collector.process.processId()), SIGHUP) == 0);
        QTRY_COMPARE(collector.count(QStringLiteral("reload failed")), 1);
        const QString reason = eventsNamed(collector, QStringLiteral("reload failed")).first().value(QStringLiteral("reason")).toString();
        QVERIFY2(reason.contains(roster), qPrintable(reason));
        QVERIFY(answerTo("bob", QStringLiteral("127.0.0.5")).startsWith("CHALLENGE|"));
        QVERIFY(answerTo("carol", QStringLiteral("127.0.0.6")).startsWith("REFUSED|unknown-player|"));
        QCOMPARE(collector.count(QStringLiteral("reloaded")), 1);
        QCOMPARE(collector.terminate(), 0);
    }

    // SIGHUP rereads the rules, which the next file is checked under, and
    // appends to a fresh verdicts.jsonl where rotation moved the old one;
    // rules that fail to load keep those in force.
    void rulesReloadedOnHangup()
    {
        QTemporaryDir config;
        const QString rules = config.filePath(QStringLiteral("rules.toml"));
        writeFile(rules, "[[allow]]\ncar = \"DunMarr\"\nsection = \"*\"\nkey = \"*\"\n");
        Collector collector({QStringLiteral("--rules"), rules});
        QVERIFY(collector.started());
        const QByteArray tweaked = sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        const auto lastVerdict = [&](int records) -> QJsonObject {
            sendWhole(collector.port, QStringLiteral("127.0.0.2"), QStringLiteral("Grelmdescriptor.txt"), tweaked);
            if (!QTest::qWaitFor([&] { return collector.verdicts().size() == records; }, 10'000))
                return {};
            return collector.verdicts().last();
        };
        const QJsonObject before = lastVerdict(1);
        QCOMPARE(before.value(QStringLiteral("status")).toString(), QStringLiteral("tweaked"));

        const QString log = collector.dir() + QStringLiteral("/verdicts.jsonl");
        QVERIFY(QFile::rename(log, log + QStringLiteral(".1")));
        writeFile(rules, "[[allow]]\ncar = \"Grelm\"\nsection = \"*\"\nkey = \"*\"\n");
        QVERIFY(::kill(pid_t(collector.process.processId()), SIGHUP) == 0);
        QTRY_COMPARE(collector.count(QStringLiteral("reloaded")), 1);
        const QJsonObject after = lastVerdict(1);
        QCOMPARE(after.value(QStringLiteral("status")).toString(), QStringLiteral("allowed"));
        QVERIFY(after.value(QStringLiteral("rules")).toString() != before.value(QStringLiteral("rules")).toString());
        QCOMPARE(bytesOf(log + QStringLiteral(".1")).count('\n'), 1);

        writeFile(rules, "[[alow]]\n");
        QVERIFY(::kill(pid_t(collector.process.processId()), SIGHUP) == 0);
        QTRY_COMPARE(collector.count(QStringLiteral("reload failed")), 1);
        const QString reason = eventsNamed(collector, QStringLiteral("reload failed")).first().value(QStringLiteral("reason")).toString();
        QVERIFY2(reason.contains(rules), qPrintable(reason));
        const QJsonObject kept = lastVerdict(2);
        QCOMPARE(kept.value(QStringLiteral("status")).toString(), QStringLiteral("allowed"));
        QCOMPARE(kept.value(QStringLiteral("rules")).toString(), after.value(QStringLiteral("rules")).toString());
        QCOMPARE(collector.terminate(), 0);
    }

    // A crash mid-transfer leaves a hidden temporary file; the next start
    // makes it a partial file under its sender, with the name it was sent
    // by, says so before it listens, and serves on.
    void crashThenRestart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("a descriptor's name") << QStringLiteral("Grelmdescriptor.txt");
        QTest::newRow("a long name") << QStringLiteral("league-round-07-final-entry-of-the-season-Grelmdescriptor.txt");
    }

    void crashThenRestart()
    {
        QFETCH(QString, name);
        QTemporaryDir kept;
        const QString dir = kept.filePath(QStringLiteral("collected"));
        const QByteArray content = sample(QStringLiteral("genuine/Grelm.dat"));
        {
            Collector crashed({}, dir);
            QVERIFY(crashed.started());
            Sender half(crashed.port, QStringLiteral("127.0.0.6"));
            half.send(message(name, content).chopped(1000));
            QTRY_COMPARE(crashed.count(QStringLiteral("accepted")), 1);
            QTRY_COMPARE(hiddenTemporaries(dir).size(), 1);
            const QString temporary = dir + u'/' + hiddenTemporaries(dir).first();
            QTRY_COMPARE(QFileInfo(temporary).size(), content.size() - 1000);
            crashed.process.kill();
            QVERIFY(crashed.process.waitForFinished());
        }
        Collector restarted({}, dir);
        QVERIFY(restarted.started());
        QCOMPARE(restarted.count(QStringLiteral("recovered")), 1);
        const QJsonObject recovered = restarted.events.first();
        QCOMPARE(recovered.value(QStringLiteral("event")).toString(), QStringLiteral("recovered"));
        const QFileInfo from(recovered.value(QStringLiteral("from")).toString());
        const QFileInfo partial(recovered.value(QStringLiteral("kept")).toString());
        QCOMPARE(from.absolutePath(), dir + QStringLiteral("/127.0.0.6"));
        QVERIFY2(from.fileName().startsWith(u'.') && from.fileName().endsWith(QStringLiteral(".tmp")), qPrintable(from.fileName()));
        QVERIFY(!from.exists());
        QCOMPARE(partial.absolutePath(), dir + QStringLiteral("/127.0.0.6"));
        QVERIFY2(partial.fileName().endsWith(name + QStringLiteral(".partial")), qPrintable(partial.fileName()));
        QCOMPARE(bytesOf(partial.filePath()), content.chopped(1000));
        QCOMPARE(hiddenTemporaries(dir), QStringList());

        sendWhole(restarted.port, QStringLiteral("127.0.0.6"), QStringLiteral("Grelmdescriptor.txt"), content);
        QTRY_COMPARE(restarted.verdicts().size(), 1);
        QCOMPARE(restarted.verdicts().first().value(QStringLiteral("status")).toString(), QStringLiteral("genuine"));
        QCOMPARE(restarted.terminate(), 0);
    }

    // A restart whose stdout has no reader from the start recovers a
    // leftover all the same, says once on stderr that events are not
    // written, and runs on until it is stopped.
    void restartWithStdoutGone()
    {
        QTemporaryDir work;
        const QString dir = work.filePath(QStringLiteral("collected"));
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/127.0.0.6")));
        writeFile(dir + QStringLiteral("/127.0.0.6/.Grelmdescriptor.txt.0a1b2c3d.tmp"), "[Engine]\r\n");
        PipedCollector collector(dir, options({"--port", "0"}), true);
        QTRY_COMPARE(filesBelow(dir), QStringList{QStringLiteral("127.0.0.6/Grelmdescriptor.txt.partial")});
        QByteArray errors;
        QTRY_VERIFY((errors += collector.process.readAllStandardError()).contains("events are no longer written")
                    || collector.process.state() == QProcess::NotRunning);
        QVERIFY2(collector.process.state() == QProcess::Running,
                 qPrintable(QStringLiteral("it ended, %1 %2")
                                .arg(collector.process.exitStatus() == QProcess::CrashExit ? QStringLiteral("killed by signal")
                                                                                           : QStringLiteral("with status"))
                                .arg(collector.process.exitCode())));
        QCOMPARE(collector.terminate(), 0);
        errors += collector.process.readAllStandardError();
        QCOMPARE(errors.count("events are no longer written"), 1);
    }

    // At a stop every connection, served or waiting, ends with an event and
    // a last line to its peer.
    void stopEndsEveryConnection()
    {
        Collector collector(options({"--max-connections", "2"}));
        QVERIFY(collector.started());
        std::vector<std::unique_ptr<Sender>> peers;
        for (int i = 0; i < 5; ++i) {
            peers.push_back(std::make_unique<Sender>(collector.port, QStringLiteral("127.0.3.%1").arg(1 + i)));
            peers.back()->send("FILEINFO|5");
        }
        QTest::qWait(300);
        QCOMPARE(collector.count(QStringLiteral("refused")), 0);
        QCOMPARE(collector.terminate(), 0);
        QCOMPARE(collector.refusals(QStringLiteral("stopping")), 5);
        QCOMPARE(collector.events.last().value(QStringLiteral("event")).toString(), QStringLiteral("stopped"));
        for (const auto& peer : peers)
            QVERIFY(lineFrom(peer->socket).startsWith("REFUSED|stopping|"));
    }
};

QTEST_GUILESS_MAIN(TestCollectService)
#include "test_collect_service.moc"
