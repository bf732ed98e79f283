#include "FileSystem.h"
#include "PlayerPreamble.h"
#include "ReferenceBuilder.h"
#include "TestProgramFolder.h"
#include "ToolRun.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

QString tool(const QString& name)
{
    return QStringLiteral(KESTRIX_TOOLS_DIR "/") + name;
}

QByteArray contentOf(const QString& path)
{
    QByteArray bytes;
    QString error;
    return FileSystem::readAll(path, &bytes, &error) ? bytes : QByteArray("<missing>");
}

// The collector's side of one connection, over a real socket: a player's
// preamble gets `opening`; a whole file (its header, then its announced
// size) gets `closing`, and the connection ends. A refusal in place of the
// challenge ends it at once.
struct FakeCollector {
    explicit FakeCollector(QByteArray openingLine, QByteArray closingLine)
        : opening(std::move(openingLine))
        , closing(std::move(closingLine))
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { take(socket); });
        });
    }

    void take(QTcpSocket* socket)
    {
        wire += socket->readAll();
        if (!saidOpening && wire.startsWith(PlayerPreamble::PlayerMarker) && wire.count('|') >= 2) {
            saidOpening = true;
            socket->write(opening);
            if (opening.startsWith(PlayerPreamble::RefusedMarker))
                socket->disconnectFromHost();
        }
        if (!saidClosing && !file().isNull()) {
            saidClosing = true;
            socket->write(closing);
            socket->disconnectFromHost();
        }
    }

    // "FILEINFO|<size>|<name>|" as it came, or null while incomplete.
    QByteArray header() const
    {
        const qsizetype start = wire.indexOf("FILEINFO|");
        qsizetype end = start;
        for (int bar = 0; end >= 0 && bar < 3; ++bar)
            end = wire.indexOf('|', end + 1);
        return start < 0 || end < 0 ? QByteArray() : wire.sliced(start, end + 1 - start);
    }

    // The file's bytes, or null until all the announced ones came.
    QByteArray file() const
    {
        const QByteArray h = header();
        const qsizetype size = h.split('|').value(1).toLongLong();
        const qsizetype from = wire.indexOf(h) + h.size();
        return h.isNull() || wire.size() - from < size ? QByteArray() : wire.sliced(from, size);
    }

    QByteArray field(QByteArrayView marker) const
    {
        const qsizetype at = wire.indexOf(marker);
        return at < 0 ? QByteArray() : wire.sliced(at + marker.size()).split('|').value(0);
    }

    QTcpServer server;
    QByteArray challenge = PlayerPreamble::newChallengeHex();
    QByteArray opening;
    QByteArray closing;
    QByteArray wire;
    bool saidOpening = false;
    bool saidClosing = false;
};

} // namespace

class TestCompanionTools : public QObject
{
    Q_OBJECT

private slots:
    void helpAndWrongOptions_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"kestrix-send", "kestrix-refbuild", "kestrix-stage"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    // Usage asked for goes to stdout with status 0, and only once; after a
    // wrong command line it goes to stderr with status 2.
    void helpAndWrongOptions()
    {
        QFETCH(QString, name);
        const ToolRun help = ToolRun::of(tool(name), {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.startsWith("usage: " + name.toLatin1()), help.out.constData());
        QCOMPARE(help.out.count("usage:"), 1);
        QCOMPARE(help.errors, QString());

        const ToolRun wrong = ToolRun::of(tool(name), {QStringLiteral("only-one-argument")});
        QCOMPARE(wrong.exitCode, 2);
        QCOMPARE(wrong.out, QByteArray());
        QVERIFY2(wrong.errors.startsWith(QStringLiteral("usage: ")), qPrintable(wrong.errors));
    }

    // "<tool> <version>" on stdout, status 0, as help2man reads it for the
    // manual pages.
    void version()
    {
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-refbuild")), {QStringLiteral("--version")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^kestrix-refbuild \\d+\\.\\d+\\.\\d+\n$"))
                     .match(QString::fromLatin1(run.out))
                     .hasMatch(),
                 run.out.constData());
        QCOMPARE(run.errors, QString());
    }

    // A build that fails leaves the database that was there, and no
    // temporary file beside it.
    void failedBuildKeepsTheDatabase_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("misspelt");
        QTest::addColumn<QString>("reason");
        QTest::newRow("misspelt descriptor") << QStringList() << "Grelm.dta" << "Grelm.dta";
        QTest::newRow("padding too small") << QStringList{QStringLiteral("--pad"), QStringLiteral("4096")} << ""
                                           << "does not fit";
        QTest::newRow("padding not in pages") << QStringList{QStringLiteral("--pad"), QStringLiteral("202753")} << ""
                                              << "pages";
    }

    void failedBuildKeepsTheDatabase()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, misspelt);
        QFETCH(QString, reason);
        TestProgramFolder folder;
        QVERIFY(folder.isValid());
        const QString database = folder.file(QStringLiteral("Sam.mdb"));
        const QByteArray before = contentOf(database);
        QStringList arguments = options;
        arguments << database;
        for (const char* car : {"Brackwell", "DunMarr", "Skelder4", "Grelm", "Puddlewick", "OldGrist"}) {
            const QString name = QString::fromLatin1(car) + QStringLiteral(".dat");
            arguments << folder.file(name == u"Grelm.dat" && !misspelt.isEmpty() ? misspelt : name);
        }
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-refbuild")), arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(reason), qPrintable(run.errors));
        QVERIFY(contentOf(database) == before);
        QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden), QStringList());
    }

    // A token is never taken from the command line, and a player needs one.
    void sendersTokenRules_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("says");
        const QString why = QStringLiteral("never taken from the command line, where every user's ps shows it: use "
                                           "--token-file FILE or the environment variable KESTRIX_TOKEN");
        QTest::newRow("--token") << QStringList{QStringLiteral("--player"), QStringLiteral("alice"), QStringLiteral("--token"),
                                                QStringLiteral("x")}
                                 << why;
        QTest::newRow("--token=") << QStringList{QStringLiteral("--token=x")} << why;
        QTest::newRow("no token") << QStringList{QStringLiteral("--player"), QStringLiteral("alice")} << "KESTRIX_TOKEN";
        QTest::newRow("unreadable token file")
            << QStringList{QStringLiteral("--player"), QStringLiteral("alice"), QStringLiteral("--token-file"),
                           QStringLiteral("/nonexistent/alice.token")}
            << "/nonexistent/alice.token: cannot read the token: No such file or directory";
        QTest::newRow("no player's name") << QStringList{QStringLiteral("--player"), QStringLiteral("../alice")}
                                          << "is no player's name";
        QTest::newRow("token file without player") << QStringList{QStringLiteral("--token-file"), QStringLiteral("t")}
                                                   << "add --player NAME";
    }

    void sendersTokenRules()
    {
        QFETCH(QStringList, extra);
        QFETCH(QString, says);
        qunsetenv("KESTRIX_TOKEN");
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-send")),
                                        QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("1"), QStringLiteral("f")} + extra);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(says), qPrintable(run.errors));
    }

    void playersExchange_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("tokenFile");  // empty: the token is in KESTRIX_TOKEN
        QTest::addColumn<QByteArray>("opening");    // "": the challenge
        QTest::addColumn<QByteArray>("closing");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QStringList player{QStringLiteral("--player"), QStringLiteral("alice")};
        const QByteArray token("tok-7f3a9c");
        QTest::newRow("stored") << player << QByteArray(token + '\n') << QByteArray()
                                << QByteArray("STORED|tweaked|\n") << 0
                                << "sent and checked: tweaked\nadvice: put the genuine descriptor back and send it again\n";
        // The notes are shown safely, five at most, and what follows them is not.
        QTest::newRow("notes") << player << QByteArray(token + '\n') << QByteArray()
                               << QByteArray("STORED|damaged|\nNOTE|damaged: line 3 \xc3\xa9|\nNOTE|a\x1b[2J\xe2\x80\xae" "b|\nNOTE|3|\n"
                                             "NOTE|4|\nNOTE|5|\nNOTE|6|\n")
                               << 0
                               << "sent and checked: damaged\n  damaged: line 3 \u00e9\n  a?[2J?b\n  3\n  4\n  5\n"
                                  "advice: send the file again\n";
        QTest::newRow("other than a note") << player << QByteArray(token + '\n') << QByteArray()
                                           << QByteArray("STORED|allowed|\nNOTE|1|\nSTORED|x|\nNOTE|2|\n") << 0
                                           << "sent and checked: allowed\n  1\n";
        QTest::newRow("token file in CR LF") << player << QByteArray(token + "\r\n") << QByteArray()
                                             << QByteArray("STORED|genuine|\n") << 0 << "sent and checked: genuine\n";
        QTest::newRow("token in KESTRIX_TOKEN") << player << QByteArray() << QByteArray()
                                                << QByteArray("STORED|unchecked|\n") << 0
                                                << "sent and checked: unchecked\n";
        QTest::newRow("refused after the file")
            << player << token << QByteArray() << QByteArray("REFUSED|bad-proof|the token is wrong|\n") << 1
            << "refused: bad-proof (the token is wrong)";
        QTest::newRow("refused in place of the challenge")
            << player << token << QByteArray("REFUSED|unknown-player|\"alice\" is not on the roster|\n")
            << QByteArray() << 1 << "refused: unknown-player (\"alice\" is not on the roster)";
        QTest::newRow("closed without an answer")
            << player << token << QByteArray() << QByteArray() << 1
            << "the collector closed the connection without an answer about the file";
        QTest::newRow("plain sender refused")
            << QStringList() << QByteArray() << QByteArray()
            << QByteArray("REFUSED|no-player|send with --player NAME|\n") << 1
            << "refused: no-player (send with --player NAME)";
    }

    // kestrix-send against the collector's side played here: the proof it
    // sends holds for the token, which never crosses the wire, nor does its
    // hash; the answer decides what it prints and its status.
    void playersExchange()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, tokenFile);
        QFETCH(QByteArray, opening);
        QFETCH(QByteArray, closing);
        QFETCH(int, status);
        QFETCH(QString, says);
        const QByteArray token("tok-7f3a9c");
        FakeCollector collector(opening, closing);
        if (opening.isEmpty())
            collector.opening = PlayerPreamble::challengeLine(collector.challenge);
        QVERIFY(collector.server.listen(QHostAddress::LocalHost, 0));
        QTemporaryDir dir;
        const QByteArray content("[Engine]\nTorque=412.5\n");
        QString error;
        QVERIFY(FileSystem::writeAll(dir.filePath(QStringLiteral("BrackwellDescriptor.txt")), content, &error));
        QStringList arguments{QStringLiteral("127.0.0.1"), QString::number(collector.server.serverPort()),
                              dir.filePath(QStringLiteral("BrackwellDescriptor.txt"))};
        arguments += options;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KESTRIX_TOKEN"));
        if (!tokenFile.isEmpty()) {
            QVERIFY(FileSystem::writeAll(dir.filePath(QStringLiteral("alice.token")), tokenFile, &error));
            arguments << QStringLiteral("--token-file") << dir.filePath(QStringLiteral("alice.token"));
        } else if (!options.isEmpty()) {
            environment.insert(QStringLiteral("KESTRIX_TOKEN"), QString::fromLatin1(token));
        }

        QProcess sender;
        sender.setProcessEnvironment(environment);
        sender.start(tool(QStringLiteral("kestrix-send")), arguments);
        QVERIFY(QTest::qWaitFor([&] { return sender.state() == QProcess::NotRunning; }, 30'000));
        const QByteArray out = sender.readAllStandardOutput();
        const QString errors = QString::fromLocal8Bit(sender.readAllStandardError());

        QCOMPARE(sender.exitStatus(), QProcess::NormalExit);
        QVERIFY2(sender.exitCode() == status, qPrintable(errors));
        if (status == 0)
            QCOMPARE(out, says.toUtf8());
        else
            QVERIFY2(out.isEmpty() && errors.contains(says), qPrintable(errors));
        QVERIFY(!collector.wire.contains(token));
        QVERIFY(!collector.wire.contains(PlayerPreamble::tokenSha256Hex(token)));
        if (!collector.field(PlayerPreamble::ProofMarker).isNull()) {
            QCOMPARE(collector.field(PlayerPreamble::PlayerMarker), QByteArray("alice"));
            QCOMPARE(collector.header(), QByteArray("FILEINFO|22|BrackwellDescriptor.txt|"));
            QVERIFY(PlayerPreamble::proofHolds(collector.field(PlayerPreamble::ProofMarker),
                                               PlayerPreamble::tokenSha256Hex(token), collector.challenge, "alice",
                                               collector.header()));
            QCOMPARE(collector.file(), content);
        }
    }

    // A league's settings file fills what the command line leaves out; the
    // command line, --token-file and KESTRIX_TOKEN come before it.
    void sendersSettingsFile_data()
    {
        // PORT: the fake collector's; after "\xFF\xFE", written as UTF-16 LE.
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("hostOnCommandLine");
        QTest::addColumn<QByteArray>("environmentToken");
        QTest::addColumn<QByteArray>("provenToken"); // empty: a failure, with says on stderr
        QTest::addColumn<QString>("says");
        const QByteArray full("; from the league\r\n[kestrix-send]\r\nhost = 127.0.0.1\r\nport = PORT\r\n"
                              "player = alice\r\ntoken = ini-token\r\n");
        QTest::newRow("everything from the settings") << full << false << QByteArray() << QByteArray("ini-token") << "";
        QTest::newRow("KESTRIX_TOKEN before the settings")
            << full << false << QByteArray("env-token") << QByteArray("env-token") << "";
        QTest::newRow("command line before the settings")
            << QByteArray("host = nowhere.invalid\nport = 1\nplayer = alice\ntoken = ini-token\n") << true
            << QByteArray() << QByteArray("ini-token") << "";
        QTest::newRow("a line that is no setting")
            << QByteArray("host = 127.0.0.1\ncolour = red\n") << true << QByteArray() << QByteArray()
            << ":2: \"colour = red\" is not one of host, port, player or token";
        QTest::newRow("no host, no port, one file") << QByteArray("player = alice\ntoken = t\n") << false << QByteArray()
                                                    << QByteArray() << "usage: kestrix-send";
        // As players save it: Notepad's encodings, values in quotes.
        QTest::newRow("UTF-16 with its byte order mark")
            << "\xFF\xFE" + full << false << QByteArray() << QByteArray("ini-token") << "";
        QTest::newRow("UTF-8 with its byte order mark, values in quotes")
            << QByteArray("\xEF\xBB\xBF[kestrix-send]\r\nhost = \"127.0.0.1\"\r\nport = \"PORT\"\r\nplayer = \"alice\"\r\n"
                          "token = \"ini-token\"\r\n")
            << false << QByteArray() << QByteArray("ini-token") << "";
        QTest::newRow("the example's host") << QByteArray("[kestrix-send]\nhost = league.example.org\nport = PORT\n") << false
                                            << QByteArray() << QByteArray()
                                            << "league.ini:2: host is still the example's \"league.example.org\"";
        QTest::newRow("the example's token, in quotes")
            << QByteArray("host = 127.0.0.1\nport = PORT\nplayer = alice\ntoken = \"paste-your-token-here\"\n") << false
            << QByteArray() << QByteArray() << "league.ini:4: token is still the example's \"paste-your-token-here\"";
        QTest::newRow("the example's player") << QByteArray("player = your-name\n") << true << QByteArray() << QByteArray()
                                              << "league.ini:1: player is still the example's \"your-name\"";
        QTest::newRow("raw bytes shown escaped")
            << QByteArray("host = 127.0.0.1\n\xff\x01" "colour\0=\\red\n", 32) << true << QByteArray() << QByteArray()
            << "league.ini:2: \"\\xFF\\x01colour\\x00=\\\\red\" is not one of host";
    }

    void sendersSettingsFile()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, hostOnCommandLine);
        QFETCH(QByteArray, environmentToken);
        QFETCH(QByteArray, provenToken);
        QFETCH(QString, says);
        FakeCollector collector(QByteArray(), QByteArray("STORED|genuine|\n"));
        collector.opening = PlayerPreamble::challengeLine(collector.challenge);
        QVERIFY(collector.server.listen(QHostAddress::LocalHost, 0));
        QTemporaryDir dir;
        QString error;
        const QString descriptor = dir.filePath(QStringLiteral("BrackwellDescriptor.txt"));
        QVERIFY(FileSystem::writeAll(descriptor, "[Engine]\nTorque=412.5\n", &error));
        const QString ini = dir.filePath(QStringLiteral("league.ini"));
        settings.replace("PORT", QByteArray::number(collector.server.serverPort()));
        if (settings.startsWith("\xFF\xFE")) {
            const QString text = QString::fromUtf8(settings.sliced(2));
            settings = "\xFF\xFE";
            for (const QChar c : text)
                settings += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
        }
        QVERIFY(FileSystem::writeAll(ini, settings, &error));
        QStringList arguments{QStringLiteral("--config"), ini, descriptor};
        if (hostOnCommandLine)
            arguments = QStringList{QStringLiteral("127.0.0.1"), QString::number(collector.server.serverPort())} + arguments;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KESTRIX_TOKEN"));
        if (!environmentToken.isEmpty())
            environment.insert(QStringLiteral("KESTRIX_TOKEN"), QString::fromLatin1(environmentToken));

        QProcess sender;
        sender.setProcessEnvironment(environment);
        sender.start(tool(QStringLiteral("kestrix-send")), arguments);
        QVERIFY(QTest::qWaitFor([&] { return sender.state() == QProcess::NotRunning; }, 30'000));
        const QString errors = QString::fromLocal8Bit(sender.readAllStandardError());
        if (provenToken.isEmpty()) {
            QCOMPARE(sender.exitCode(), 2);
            QVERIFY2(errors.contains(says), qPrintable(errors));
            QVERIFY(collector.wire.isEmpty());
            return;
        }
        QVERIFY2(sender.exitCode() == 0, qPrintable(errors));
        QCOMPARE(sender.readAllStandardOutput(), QByteArray("sent and checked: genuine\n"));
        QVERIFY(PlayerPreamble::proofHolds(collector.field(PlayerPreamble::ProofMarker),
                                           PlayerPreamble::tokenSha256Hex(provenToken), collector.challenge, "alice",
                                           collector.header()));
    }

    // The example a league hands out is refused until it is filled in.
    void sendersExampleSettings()
    {
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-send")),
                                        {QStringLiteral("--config"),
                                         QStringLiteral(KESTRIX_SOURCE_DIR "/tools/send/player/kestrix-send.ini"),
                                         QStringLiteral("BrackwellDescriptor.txt")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(QStringLiteral("kestrix-send.ini:5: host is still the example's \"league.example.org\"")),
                 qPrintable(run.errors));
    }

    void sendersVersion()
    {
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-send")), {QStringLiteral("--version")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("kestrix-send " KESTRIX_VERSION "\n"));
    }

    // A key of a car the catalogue does not have is refused, not written out of bounds.
    void keysOfUnknownCarsAreRefused()
    {
        QTemporaryDir dir;
        ReferenceBuilder builder;
        QString error;
        QVERIFY2(builder.create(dir.filePath(QStringLiteral("Sam.mdb")), &error), qPrintable(error));
        for (const int car : {0, 7, -1}) {
            QVERIFY(!builder.addKey(car, "Torque=412.5", &error));
            QVERIFY2(error.contains(QStringLiteral("no car")), qPrintable(error));
        }
        QVERIFY(builder.addKey(1, "Torque=412.5", &error));
    }

    void buildReplacesTheDatabaseWhenItSucceeds()
    {
        TestProgramFolder folder;
        QVERIFY(folder.isValid());
        const QString database = folder.file(QStringLiteral("Sam.mdb"));
        QString error;
        QVERIFY(FileSystem::writeAll(database, "an older database", &error));
        QStringList arguments{QStringLiteral("--pad"), QStringLiteral("202752"), database};
        for (const char* car : {"Brackwell", "DunMarr", "Skelder4", "Grelm", "Puddlewick", "OldGrist"})
            arguments << folder.file(QString::fromLatin1(car) + QStringLiteral(".dat"));
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-refbuild")), arguments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        QCOMPARE(FileSystem::length(database), std::optional<qint64>(202752));
        QVERIFY(contentOf(database).startsWith("SQLite format 3"));
    }
};

QTEST_GUILESS_MAIN(TestCompanionTools)
#include "test_companion_tools.moc"
