// A race weekend over real sockets: the real kestrix-collect with a roster,
// an event whose deadline is seconds away, kestrix-send for the players, a
// restart across the deadline, a late file and an edit to the closed event.

#include "CollectorHarness.h"
#include "Ed25519.h"
#include "PlayerSend.h"
#include "ToolRun.h"

#include <QCryptographicHash>
#include <QJsonArray>

#include <csignal>

#include <sys/stat.h>

using namespace CollectorTest;

namespace {

QString writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

QByteArray utcText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toLatin1();
}

QByteArray eventsFile(const QDateTime& opens, const QDateTime& closes, const QByteArray& cars)
{
    return "[[event]]\nid = \"round-3\"\nname = \"Round 3 — Grelm Ring\"\nopens = " + utcText(opens) + "\ncloses = "
        + utcText(closes) + "\ncars = " + cars + "\nentrants = [\"alice\", \"bob\"]\n";
}

QJsonObject carOf(const QJsonObject& result, const QString& player, const QString& car)
{
    for (const QJsonValue& entrant : result.value(QStringLiteral("entrants")).toArray()) {
        if (entrant.toObject().value(QStringLiteral("player")).toString() != player)
            continue;
        for (const QJsonValue& each : entrant.toObject().value(QStringLiteral("cars")).toArray()) {
            if (each.toObject().value(QStringLiteral("car")).toString() == car)
                return each.toObject();
        }
    }
    return {};
}

QString entrantStatus(const QJsonObject& result, const QString& player)
{
    for (const QJsonValue& entrant : result.value(QStringLiteral("entrants")).toArray()) {
        if (entrant.toObject().value(QStringLiteral("player")).toString() == player)
            return entrant.toObject().value(QStringLiteral("status")).toString();
    }
    return {};
}

} // namespace

class TestRaceEvents : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;

private slots:
    void eventClosesOnceAcrossARestart()
    {
        QByteArray rosterText;
        const Player alice = newPlayer("alice", &rosterText);
        const Player bob = newPlayer("bob", &rosterText);
        const QString roster = writeText(m_work.filePath(QStringLiteral("roster.toml")), rosterText);
        const QString keyFile = m_work.filePath(QStringLiteral("league.key"));
        const ToolRun made = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-signing-key"), keyFile});
        QCOMPARE(made.exitCode, 0);
        const QByteArray publicKey = made.out.trimmed();
        QCOMPARE(QByteArray::fromBase64(publicKey).size(), 32);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(keyFile).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0600u);
        QCOMPARE(ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-signing-key"), keyFile}).exitCode, 2);

        const QDateTime closes = QDateTime::currentDateTimeUtc().addSecs(8);
        const QByteArray cars = "[\"Grelm\", \"Brackwell\"]";
        const QString events = writeText(m_work.filePath(QStringLiteral("events.toml")),
                                         eventsFile(QDateTime::currentDateTimeUtc().addSecs(-3600), closes, cars));
        const QString dir = m_work.filePath(QStringLiteral("collected"));
        const QStringList arguments{QStringLiteral("--roster"), roster, QStringLiteral("--events"), events,
                                    QStringLiteral("--signing-key"), keyFile};
        const QString resultPath = dir + QStringLiteral("/events/round-3/result.json");
        {
            Collector before(arguments, dir);
            QVERIFY(before.started());
            const QString grelm = TestProgramFolder::dataFile(QStringLiteral("genuine/Grelm.dat"));
            const QString tweaked = TestProgramFolder::dataFile(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
            const QString brackwell = TestProgramFolder::dataFile(QStringLiteral("genuine/Brackwell.dat"));
            const QStringList asGrelm{QStringLiteral("--name"), QStringLiteral("Grelmdescriptor.txt")};
            QCOMPARE(Send(before.port, grelm, asGrelm + QStringList{QStringLiteral("--player"), QStringLiteral("alice")}, alice.token).status, 0);
            QCOMPARE(Send(before.port, brackwell, {QStringLiteral("--name"), QStringLiteral("BrackwellDescriptor.txt"),
                                                   QStringLiteral("--player"), QStringLiteral("alice")}, alice.token).status, 0);
            Send bobs(before.port, tweaked, asGrelm + QStringList{QStringLiteral("--player"), QStringLiteral("bob")}, bob.token);
            QVERIFY2(bobs.status == 1 || bobs.status == 0, qPrintable(bobs.errors));
            QTRY_COMPARE(before.verdicts().size(), 3);
            QVERIFY(!QFile::exists(resultPath));
            QCOMPARE(before.terminate(), 0);
        }
        // The deadline passes while the collector is down.
        QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentDateTimeUtc() > closes, 15'000);

        Collector after(arguments, dir);
        QVERIFY(after.started());
        QVERIFY(QFile::exists(resultPath));
        QCOMPARE(after.count(QStringLiteral("event closed")), 1);
        const QByteArray written = bytesOf(resultPath);
        const QJsonObject result = QJsonDocument::fromJson(written).object();
        QCOMPARE(result.value(QStringLiteral("event")).toString(), QStringLiteral("round-3"));
        QCOMPARE(result.value(QStringLiteral("name")).toString(), QStringLiteral("Round 3 — Grelm Ring"));
        QCOMPARE(result.value(QStringLiteral("closes")).toString(), QString::fromLatin1(utcText(closes)));
        QCOMPARE(entrantStatus(result, QStringLiteral("alice")), QStringLiteral("passed"));
        QCOMPARE(entrantStatus(result, QStringLiteral("bob")), QStringLiteral("failed"));
        QCOMPARE(carOf(result, QStringLiteral("bob"), QStringLiteral("Grelm")).value(QStringLiteral("status")).toString(),
                 QStringLiteral("tweaked"));
        const QJsonObject missing = carOf(result, QStringLiteral("bob"), QStringLiteral("Brackwell"));
        QCOMPARE(missing.value(QStringLiteral("status")).toString(), QStringLiteral("missing"));
        QVERIFY(missing.value(QStringLiteral("received")).isNull());
        QVERIFY(missing.value(QStringLiteral("record_sha256")).isNull());
        // Each counted verdict is cited by the hash of its line, and the log's head closes the list.
        QList<QByteArray> lines = bytesOf(dir + QStringLiteral("/verdicts.jsonl")).split('\n');
        lines.removeLast();
        QStringList hashes;
        for (const QByteArray& line : lines)
            hashes << QString::fromLatin1(QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex());
        QVERIFY(hashes.contains(carOf(result, QStringLiteral("alice"), QStringLiteral("Grelm")).value(QStringLiteral("record_sha256")).toString()));
        QCOMPARE(result.value(QStringLiteral("log_head")).toString(), hashes.last());
        QCOMPARE(result.value(QStringLiteral("public_key")).toString().toLatin1(), publicKey);
        QVERIFY(result.value(QStringLiteral("reference")).isString());
        QVERIFY(result.value(QStringLiteral("tool")).toString().startsWith(QStringLiteral("kestrix-collect ")));
        const QByteArray signature = QByteArray::fromBase64(bytesOf(resultPath + QStringLiteral(".sig")).trimmed());
        QVERIFY(wire::ed25519::holds(written.toStdString(), signature.toStdString(), QByteArray::fromBase64(publicKey).toStdString()));
        QVERIFY(bytesOf(dir + QStringLiteral("/events/round-3/result.html")).contains("final"));

        // A late file changes nothing, nor does an edit to the closed event.
        QCOMPARE(Send(after.port, TestProgramFolder::dataFile(QStringLiteral("genuine/Brackwell.dat")),
                      {QStringLiteral("--name"), QStringLiteral("BrackwellDescriptor.txt"), QStringLiteral("--player"),
                       QStringLiteral("bob")}, bob.token).status, 0);
        writeText(events, eventsFile(QDateTime::currentDateTimeUtc().addSecs(-3600), closes.addSecs(3600), cars));
        QVERIFY(::kill(pid_t(after.process.processId()), SIGHUP) == 0);
        QTRY_COMPARE(after.count(QStringLiteral("event edit refused")), 1);
        QCOMPARE(after.terminate(), 0);
        Collector again(arguments + QStringList{QStringLiteral("--http"), QStringLiteral("0")}, dir);
        QVERIFY(again.started());
        QCOMPARE(again.count(QStringLiteral("event closed")), 0);
        QCOMPARE(again.count(QStringLiteral("event edit refused")), 1);
        QCOMPARE(bytesOf(resultPath), written);
        // After a restart the closed event's page shows what its result says.
        const quint16 httpPort = quint16(again.events.last().value(QStringLiteral("http_port")).toInt());
        QTcpSocket page;
        page.connectToHost(QHostAddress::LocalHost, httpPort);
        QVERIFY(page.waitForConnected(5000));
        page.write("GET /event/round-3 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QByteArray html;
        while (page.waitForReadyRead(5000))
            html += page.readAll();
        QVERIFY2(html.contains("data-player=\"bob\" data-car=\"Grelm\" data-status=\"tweaked\""), html.constData());
        QVERIFY(html.contains("data-player=\"bob\" data-car=\"Brackwell\" data-status=\"missing\""));
        QVERIFY(html.contains(">final<"));
        QCOMPARE(again.terminate(), 0);

        // Anyone checks the result with the public key alone, and against the log.
        const QByteArray cited = carOf(result, QStringLiteral("alice"), QStringLiteral("Grelm"))
                                     .value(QStringLiteral("record_sha256")).toString().toLatin1();
        const QByteArray log = bytesOf(dir + QStringLiteral("/verdicts.jsonl"));
        const QByteArray citedLine = [&] {
            for (const QByteArray& line : log.split('\n')) {
                if (QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex() == cited)
                    return line;
            }
            return QByteArray();
        }();
        QVERIFY(!citedLine.isEmpty());
        const QByteArray signatureText = bytesOf(resultPath + QStringLiteral(".sig"));
        const QByteArray otherKey = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-signing-key"),
                                                m_work.filePath(QStringLiteral("other.key"))}).out.trimmed();
        const struct {
            const char* name;
            QByteArray result;
            QByteArray signature;
            QByteArray log;
            QByteArray key;
            int status;
            const char* said;
        } cases[] = {
            {"good", written, signatureText, log, publicKey, 0, "its 3 records are lines of the chain"},
            {"a byte of the result", QByteArray(written).replace("passed", "passee"), signatureText, log, publicKey, 1,
             "does not hold"},
            {"a byte of the signature", written,
             QByteArray(signatureText).replace(0, 1, signatureText.startsWith('A') ? "B" : "A"), log, publicKey, 1,
             "does not hold"},
            {"a byte of a log line", written, signatureText,
             QByteArray(log).replace(citedLine, QByteArray(citedLine).replace("genuine", "genuinf")), publicKey, 1,
             "the chain breaks at line"},
            {"a record removed", written, signatureText, QByteArray(log).replace(citedLine + '\n', ""), publicKey, 1,
             "is no line of the chain"},
            {"a wrong key", written, signatureText, log, otherKey, 1, "does not hold"},
        };
        for (const auto& test : cases) {
            QTemporaryDir copy;
            writeText(copy.filePath(QStringLiteral("verdicts.jsonl")), test.log);
            writeText(copy.filePath(QStringLiteral("result.json")), test.result);
            writeText(copy.filePath(QStringLiteral("result.json.sig")), test.signature);
            const ToolRun run = ToolRun::of(QStringLiteral(KESTRIX_CHECK),
                                            {QStringLiteral("--verify"), copy.filePath(QStringLiteral("result.json")),
                                             QStringLiteral("--public-key"), QString::fromLatin1(test.key),
                                             QStringLiteral("--log"), copy.path()});
            QVERIFY2(run.exitCode == test.status, qPrintable(QLatin1String(test.name) + u' ' + QString::fromUtf8(run.out) + run.errors));
            QVERIFY2(run.out.contains(test.said), qPrintable(QLatin1String(test.name) + u' ' + QString::fromUtf8(run.out)));
        }
    }

    // Events need the roster; a wrong events file is named by line and column.
    void eventsAreChecked()
    {
        QByteArray rosterText;
        newPlayer("alice", &rosterText);
        const QString roster = writeText(m_work.filePath(QStringLiteral("roster2.toml")), rosterText);
        const QString events = writeText(m_work.filePath(QStringLiteral("bad-events.toml")),
                                         "[[event]]\nid = \"r1\"\nname = \"R1\"\nopens = 2027-03-01T18:00:00Z\n"
                                         "closes = 2027-03-05T18:00:00Z\nentrants = [\"mallory\"]\n");
        const ToolRun alone = ToolRun::of(QStringLiteral(KESTRIX_COLLECT),
                                          {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--dir"),
                                           m_work.filePath(QStringLiteral("d1")), QStringLiteral("--events"), events});
        QCOMPARE(alone.exitCode, 2);
        QVERIFY2(alone.errors.contains(QStringLiteral("--events needs --roster")), qPrintable(alone.errors));
        Collector wrong({QStringLiteral("--roster"), roster, QStringLiteral("--events"), events});
        QVERIFY(wrong.process.waitForFinished(10'000));
        QCOMPARE(wrong.process.exitCode(), 2);
        const QString errors = QString::fromUtf8(wrong.process.readAllStandardError());
        QVERIFY2(errors.contains(events + QStringLiteral(":6:13: \"mallory\" is not on the roster")), qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestRaceEvents)
#include "test_race_events.moc"
