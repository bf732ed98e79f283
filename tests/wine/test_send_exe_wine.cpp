// kestrix-send.exe as a player runs it, under Wine, against the real
// kestrix-collect on 127.0.0.1 with a roster.

#include "CollectorHarness.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cstdio>

using namespace CollectorTest;

namespace {

// Where a Windows program sees a path of this machine: Wine's Z: drive.
QString windowsPath(const QString& path)
{
    return QStringLiteral("Z:") + QString(path).replace(u'/', u'\\');
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Whether Debian offers Wine to this machine at all.
bool wineInstallable()
{
    std::FILE* policy = ::popen("apt-cache policy wine 2>/dev/null", "r");
    if (!policy)
        return false;
    QByteArray text;
    char buffer[512];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, policy))
        text.append(buffer, qsizetype(got));
    ::pclose(policy);
    return text.contains("Candidate:") && !text.contains("Candidate: (none)");
}

struct Run {
    int status = -1;
    QString out;
    QString errors;
};

} // namespace

class TestSendExeUnderWine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_prefix;
    QString m_exe;
    QByteArray m_roster;
    QList<Player> m_players;

    QProcessEnvironment wineEnvironment(const QByteArray& token = QByteArray()) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), m_prefix);
        environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        // No .NET or HTML engine to set up: a console program needs neither.
        environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        // Wine reads the command line's bytes in the locale's code page.
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("KESTRIX_TOKEN"));
        if (!token.isEmpty())
            environment.insert(QStringLiteral("KESTRIX_TOKEN"), QString::fromLatin1(token));
        return environment;
    }

    // The sender run to its end with no console input, as a script runs it.
    Run send(const QStringList& arguments, const QByteArray& token = QByteArray())
    {
        return underWine(m_exe, arguments, token);
    }

    Run underWine(const QString& exe, const QStringList& arguments, const QByteArray& token = QByteArray())
    {
        QProcess wine;
        wine.setProcessEnvironment(wineEnvironment(token));
        wine.start(QStringLiteral("wine"), QStringList{exe} + arguments);
        wine.closeWriteChannel();
        [[maybe_unused]] const bool ended =
            QTest::qWaitFor([&] { return wine.state() == QProcess::NotRunning; }, 120'000);
        return {wine.exitStatus() == QProcess::NormalExit ? wine.exitCode() : -1,
                QString::fromUtf8(wine.readAllStandardOutput()), QString::fromUtf8(wine.readAllStandardError())};
    }

    // The player's settings beside the .exe, as the league hands them out.
    void settings(quint16 port, const Player& player, const QByteArray& token)
    {
        QVERIFY(writeFile(QFileInfo(m_exe).absolutePath() + QStringLiteral("/kestrix-send.ini"),
                          "[kestrix-send]\r\nhost = 127.0.0.1\r\nport = " + QByteArray::number(port)
                              + "\r\nplayer = " + player.name + "\r\ntoken = " + token + "\r\n"));
    }

    QString roster()
    {
        const QString path = m_work.filePath(QStringLiteral("roster.toml"));
        if (!QFile::exists(path)) {
            writeFile(path, m_roster);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        }
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty(),
                 "wine is not installed: run scripts/install-deps.sh");
        QVERIFY2(QFile::exists(QStringLiteral(KESTRIX_SEND_EXE)),
                 "kestrix-send.exe was not built: run scripts/install-deps.sh for the MinGW-w64 compiler, then build");
        m_exe = m_work.filePath(QStringLiteral("Kestrix Sender/kestrix-send.exe"));
        QVERIFY(QDir().mkpath(QFileInfo(m_exe).absolutePath()));
        QVERIFY(QFile::copy(QStringLiteral(KESTRIX_SEND_EXE), m_exe));
        m_prefix = m_work.filePath(QStringLiteral("wine"));
        QProcess boot;
        boot.setProcessEnvironment(wineEnvironment());
        boot.start(QStringLiteral("wineboot"), {QStringLiteral("--init")});
        QVERIFY(boot.waitForFinished(180'000));
        QCOMPARE(boot.exitCode(), 0);
        for (const char* name : {"alice", "bob"})
            m_players << newPlayer(name, &m_roster);
    }

    void cleanupTestCase()
    {
        QProcess::execute(QStringLiteral("env"), {QStringLiteral("WINEPREFIX=") + m_prefix, QStringLiteral("wineserver"),
                                                  QStringLiteral("--kill")});
    }

    // The published SHA-256 and HMAC vectors and the worked proof, on
    // Windows' CNG as kestrix-send.exe computes them.
    void keptCryptographyHoldsTheVectors()
    {
        QVERIFY2(QFile::exists(QStringLiteral(KESTRIX_WIRE_VECTORS_EXE)), "wire-vectors.exe was not built");
        const Run run = underWine(QStringLiteral(KESTRIX_WIRE_VECTORS_EXE), {});
        QVERIFY2(run.status == 0, qPrintable(run.out + run.errors));
        QVERIFY2(run.out.contains(QStringLiteral("the vectors and the worked proof hold")), qPrintable(run.out));
    }

    // A descriptor dropped from a folder whose name has spaces and accents
    // lands under its player, checked, and the player reads the verdict.
    void droppedDescriptorArrivesUnderItsPlayer()
    {
        Collector collector({QStringLiteral("--roster"), roster()});
        QVERIFY(collector.started());
        settings(collector.port, m_players[0], m_players[0].token);
        const QString descriptor = m_work.filePath(QStringLiteral("Équipe Élodie Ñ/Cars/Grelm/Grelmdescriptor.txt"));
        const QByteArray content = sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        QVERIFY(writeFile(descriptor, content));

        const Run run = send({windowsPath(descriptor)});

        QVERIFY2(run.status == 0, qPrintable(run.out + run.errors));
        QVERIFY2(run.out.contains(QStringLiteral("sent and checked: tweaked")), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("1 of 1 file sent")), qPrintable(run.out));
        QTRY_COMPARE(collector.verdicts().size(), 1);
        const QJsonObject verdict = collector.verdicts().first();
        QCOMPARE(verdict.value(QStringLiteral("player")).toString(), QStringLiteral("alice"));
        QCOMPARE(verdict.value(QStringLiteral("status")).toString(), QStringLiteral("tweaked"));
        const QString kept = verdict.value(QStringLiteral("path")).toString();
        QCOMPARE(QFileInfo(kept).absolutePath(), collector.dir() + QStringLiteral("/alice"));
        QVERIFY(bytesOf(kept) == content);
    }

    // Settings as Notepad saves "Unicode", a value in quotes: they are read;
    // the example's placeholders are not, and the player is told where.
    void settingsAsPlayersSaveThem()
    {
        Collector collector({QStringLiteral("--roster"), roster()});
        QVERIFY(collector.started());
        const QString ini = QFileInfo(m_exe).absolutePath() + QStringLiteral("/kestrix-send.ini");
        const QString text = QStringLiteral("[kestrix-send]\r\nhost = 127.0.0.1\r\nport = %1\r\nplayer = \"alice\"\r\ntoken = %2\r\n")
                                 .arg(collector.port)
                                 .arg(QString::fromLatin1(m_players[0].token));
        QByteArray utf16("\xFF\xFE");
        for (const QChar c : text)
            utf16 += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
        QVERIFY(writeFile(ini, utf16));
        const QString descriptor = m_work.filePath(QStringLiteral("unicode/Grelmdescriptor.txt"));
        QVERIFY(writeFile(descriptor, sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))));

        const Run sent = send({windowsPath(descriptor)});
        QVERIFY2(sent.status == 0, qPrintable(sent.out + sent.errors));
        QVERIFY2(sent.out.contains(QStringLiteral("sent and checked: tweaked")), qPrintable(sent.out));
        QVERIFY2(sent.out.contains(QStringLiteral("advice: put the genuine descriptor back and send it again")),
                 qPrintable(sent.out));

        QVERIFY(writeFile(ini, "[kestrix-send]\r\nhost = league.example.org\r\nport = 5000\r\n"));
        const Run refused = send({windowsPath(descriptor)});
        QCOMPARE(refused.status, 2);
        QVERIFY2(refused.errors.contains(QStringLiteral("kestrix-send.ini:2: host is still the example's \"league.example.org\"")),
                 qPrintable(refused.errors));
    }

    // Opened with nothing, as by a double-click, it says how to drop files on it.
    void noArgumentsSaysHowToDrop()
    {
        const Run run = send({});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.out.contains(QStringLiteral("or the game's whole Cars folder onto kestrix-send.exe")), qPrintable(run.out));
    }

    // From a prompt, as on Linux: KESTRIX_TOKEN comes before the settings'
    // token, and a wrong one is refused in the collector's words.
    void wrongTokenIsRefused()
    {
        Collector collector({QStringLiteral("--roster"), roster()});
        QVERIFY(collector.started());
        settings(collector.port, m_players[0], m_players[0].token);
        const QString descriptor = m_work.filePath(QStringLiteral("prompt/Grelmdescriptor.txt"));
        QVERIFY(writeFile(descriptor, sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))));

        const Run run = send({QStringLiteral("127.0.0.1"), QString::number(collector.port), windowsPath(descriptor),
                              QStringLiteral("--player"), QStringLiteral("alice")},
                             "not-alices-token");

        QCOMPARE(run.status, 1);
        QVERIFY2(run.errors.contains(QStringLiteral("refused: bad-proof (the token is wrong)")), qPrintable(run.errors));
        QTRY_COMPARE(collector.refusals(QStringLiteral("bad-proof")), 1);
        QCOMPARE(filesBelow(collector.dir()), QStringList{QStringLiteral("verdicts.jsonl")});
    }

    // A dropped Cars folder sends each descriptor in it, and nothing else.
    void droppedFolderSendsEachDescriptor()
    {
        Collector collector({QStringLiteral("--roster"), roster()});
        QVERIFY(collector.started());
        settings(collector.port, m_players[1], m_players[1].token);
        const QString cars = m_work.filePath(QStringLiteral("Vortrax Spiel/Cars"));
        QVERIFY(writeFile(cars + QStringLiteral("/Grelm/Grelmdescriptor.txt"), sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))));
        QVERIFY(writeFile(cars + QStringLiteral("/Brackwell/BrackwellDescriptor.txt"), sample(QStringLiteral("genuine/Brackwell.dat"))));
        QVERIFY(writeFile(cars + QStringLiteral("/Brackwell/notes.txt"), "not a descriptor\n"));

        const Run run = send({windowsPath(cars)});

        QVERIFY2(run.status == 0, qPrintable(run.out + run.errors));
        QVERIFY2(run.out.contains(QStringLiteral("2 of 2 files sent")), qPrintable(run.out));
        QTRY_COMPARE(collector.verdicts().size(), 2);
        QStringList seen;
        for (const QJsonObject& verdict : collector.verdicts())
            seen << verdict.value(QStringLiteral("player")).toString() + u' ' + verdict.value(QStringLiteral("car")).toString()
                    + u' ' + verdict.value(QStringLiteral("status")).toString();
        seen.sort();
        QCOMPARE(seen, (QStringList{QStringLiteral("bob Brackwell genuine"), QStringLiteral("bob Grelm tweaked")}));
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty() && !wineInstallable()) {
        std::puts("SKIP: Debian offers no wine package to this machine, so kestrix-send.exe cannot run here");
        return 77;
    }
    TestSendExeUnderWine test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_send_exe_wine.moc"
