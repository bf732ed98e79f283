#include "FileSystem.h"
#include "Privileges.h"
#include "SmallDisk.h"
#include "TestProgramFolder.h"
#include "ToolRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QByteArray bytes;
    QString error;
    return FileSystem::readAll(path, &bytes, &error) ? bytes : QByteArray("<unreadable>");
}

bool put(const QString& path, const QByteArray& bytes)
{
    QString error;
    return QDir().mkpath(QFileInfo(path).absolutePath())
        && FileSystem::writeAll(path, bytes, &error, FileSystem::PathRules::Exact);
}

QByteArray sample(const QString& name)
{
    return bytesOf(TestProgramFolder::dataFile(name));
}

// Every JSON line of a run, by the path it reports.
QMap<QString, QJsonObject> verdictsOf(const QByteArray& out)
{
    QMap<QString, QJsonObject> verdicts;
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        verdicts.insert(object.value(QStringLiteral("path")).toString(), object);
    }
    return verdicts;
}

// A file at a path of raw bytes (not always UTF-8), its folders made.
bool putBytes(const QByteArray& path, const QByteArray& bytes)
{
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0755);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

QByteArray bytesAt(const QByteArray& path)
{
    QByteArray bytes;
    QString error;
    return FileSystem::readAllEncoded(path, QString(), &bytes, &error) ? bytes : QByteArray("<unreadable>");
}

} // namespace

class TestKestrixCheck : public QObject
{
    Q_OBJECT

    // A program folder and a folder of players' files beside it.
    struct League {
        TestProgramFolder program;
        QTemporaryDir players;

        QString player(const QString& path) const { return players.filePath(path); }

        ToolRun check(QStringList arguments) const
        {
            arguments.prepend(program.path());
            arguments.prepend(QStringLiteral("--folder"));
            return ToolRun::of(QStringLiteral(KESTRIX_CHECK), arguments);
        }
    };

private slots:
    // A league's folder as an administrator has it: descriptors at any depth,
    // under either name in any letter case, among other files, a link that
    // loops and a planted FIFO; each readable one gets its verdict, each
    // other one an error, and the run ends.
    void leagueFolder()
    {
        League league;
        QVERIFY(league.program.isValid());
        QVERIFY(put(league.player(QStringLiteral("ann/Cars/Brackwell/BrackwellDescriptor.txt")),
                    sample(QStringLiteral("genuine/Brackwell.dat"))));
        QVERIFY(put(league.player(QStringLiteral("bob/Cars/Grelm/grelmdescriptor.TXT")),
                    sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))));
        QVERIFY(put(league.player(QStringLiteral("cy/sent/to/admin/DunmarrDescriptor.txt")),
                    sample(QStringLiteral("genuine/DunMarr.dat"))));
        QVERIFY(put(league.player(QStringLiteral("cy/notes.txt")), "not a descriptor"));
        QVERIFY(QDir().mkpath(league.player(QStringLiteral("dee"))));
        QVERIFY(QFile::link(league.player(QStringLiteral("dee")), league.player(QStringLiteral("dee/loop"))));
        QVERIFY(QDir().mkpath(league.player(QStringLiteral("eve/Cars/Skelder4"))));
        QCOMPARE(::mkfifo(QFile::encodeName(league.player(QStringLiteral("eve/Cars/Skelder4/Skelder4Descriptor.txt")))
                              .constData(),
                          0600),
                 0);

        const ToolRun json = league.check({QStringLiteral("--json"), league.players.path()});
        QCOMPARE(json.exitCode, 2);
        const QMap<QString, QJsonObject> verdicts = verdictsOf(json.out);
        const auto statusOf = [&](const QString& path) {
            return verdicts.value(league.player(path)).value(QStringLiteral("status")).toString();
        };
        QCOMPARE(verdicts.size(), 4);
        QCOMPARE(statusOf(QStringLiteral("ann/Cars/Brackwell/BrackwellDescriptor.txt")), QStringLiteral("genuine"));
        QCOMPARE(statusOf(QStringLiteral("bob/Cars/Grelm/grelmdescriptor.TXT")), QStringLiteral("tweaked"));
        QCOMPARE(statusOf(QStringLiteral("cy/sent/to/admin/DunmarrDescriptor.txt")), QStringLiteral("genuine"));
        QCOMPARE(statusOf(QStringLiteral("eve/Cars/Skelder4/Skelder4Descriptor.txt")), QStringLiteral("error"));
        QVERIFY2(json.errors.contains(QStringLiteral("dee/loop: a link to a folder")), qPrintable(json.errors));
        const QJsonObject grelm = verdicts.value(league.player(QStringLiteral("bob/Cars/Grelm/grelmdescriptor.TXT")));
        QCOMPARE(grelm.value(QStringLiteral("car")).toString(), QStringLiteral("Grelm"));
        QCOMPARE(grelm.value(QStringLiteral("tweaks")).toArray().size(), 2);
        QCOMPARE(QStringList(verdicts.keys()), [&] {
            QStringList order;
            for (const QByteArray& line : json.out.split('\n'))
                if (!line.isEmpty())
                    order << QJsonDocument::fromJson(line).object().value(QStringLiteral("path")).toString();
            return order;
        }());

        const ToolRun text = league.check({league.players.path()});
        QCOMPARE(text.exitCode, 2);
        QVERIFY2(text.out.endsWith("4 descriptors: 2 genuine, 0 formatting only, 0 damaged, 1 tweaked, 1 error; "
                                   "4 players, 1 with tweaks\n"),
                 text.out.constData());
        QVERIFY2(text.out.contains("\nbob: Grelm tweaked (2 changed)\nann: 1 genuine\ncy: 1 genuine\n"), text.out.constData());
        QVERIFY2(text.errors.contains(QStringLiteral("Skelder4Descriptor.txt: is not an ordinary file")),
                 qPrintable(text.errors));
    }

    // Host paths are taken as they are: a backslash is a letter of a folder's
    // name, and a report never lands on a file named in another letter case.
    void hostPathsExactly()
    {
        League league;
        const QString unzipped = league.player(QStringLiteral("bob\\Cars\\Grelm/Grelmdescriptor.txt"));
        QVERIFY(put(unzipped, sample(QStringLiteral("genuine/Grelm.dat"))));
        QVERIFY(put(league.player(QStringLiteral("report.html")), "an older page"));
        const QString report = league.player(QStringLiteral("Report.html"));
        const ToolRun run = league.check({QStringLiteral("--report"), report, league.players.path()});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith(QString(unzipped).replace(u'\\', QStringLiteral("\\\\")).toLocal8Bit() + ": genuine"),
                 run.out.constData());
        QCOMPARE(bytesOf(league.player(QStringLiteral("report.html"))), QByteArray("an older page"));
        QVERIFY(bytesOf(report).startsWith("<!DOCTYPE html>"));
    }

    // A file far larger than any descriptor is refused, not checked line by line.
    void oversizedDescriptor()
    {
        League league;
        const QString path = league.player(QStringLiteral("BrackwellDescriptor.txt"));
        QByteArray lines;
        for (int i = 0; i < 40000; ++i)
            lines += "x\r\n";
        QVERIFY(put(path, lines));
        const ToolRun run = league.check({path});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(QStringLiteral("BrackwellDescriptor.txt: 120000 bytes is more than")), qPrintable(run.errors));
    }

    // A descriptor the user may not read is an error; the rest goes on.
    void unreadableAmongReadable()
    {
        if (runsAsRoot())
            QSKIP(RootIgnoresPermissions);
        League league;
        const QString locked = league.player(QStringLiteral("a/BrackwellDescriptor.txt"));
        QVERIFY(put(locked, sample(QStringLiteral("genuine/Brackwell.dat"))));
        QVERIFY(put(league.player(QStringLiteral("b/BrackwellDescriptor.txt")), sample(QStringLiteral("genuine/Brackwell.dat"))));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
        QVERIFY(QDir().mkpath(league.player(QStringLiteral("c/closed"))));
        QVERIFY(QFile::setPermissions(league.player(QStringLiteral("c/closed")), QFileDevice::WriteOwner));
        const ToolRun run = league.check({league.players.path()});
        QFile::setPermissions(league.player(QStringLiteral("c/closed")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                          | QFileDevice::ExeOwner);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.out.endsWith("3 descriptors: 1 genuine, 0 formatting only, 0 damaged, 0 tweaked, 2 errors; "
                                  "3 players, 0 with tweaks\n"),
                 run.out.constData());
        QVERIFY2(run.errors.contains(QStringLiteral("BrackwellDescriptor.txt: Permission denied"))
                     && run.errors.contains(QStringLiteral("closed: the folder cannot be read")),
                 qPrintable(run.errors));
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stream");
        QTest::addColumn<QString>("says");
        const QString genuine = TestProgramFolder::dataFile(QStringLiteral("Cars/DunMarr/DunMarrDescriptor.txt"));
        const QString tweaked = TestProgramFolder::dataFile(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        QTest::newRow("all genuine") << QStringList{genuine} << 0 << "out"
                                     << "1 descriptor: 1 genuine, 0 formatting only, 0 damaged, 0 tweaked, 0 errors";
        QTest::newRow("one tweaked") << QStringList{genuine, tweaked} << 1 << "out" << "1 genuine, 0 formatting only, 0 damaged, 1 tweaked, 0 errors";
        QTest::newRow("nothing found") << QStringList{TestProgramFolder::dataFile(QStringLiteral("genuine"))} << 2
                                       << "err" << "no descriptors found in";
        QTest::newRow("output full") << QStringList{QStringLiteral(">/dev/full"), genuine} << 2 << "err"
                                     << "the output could not be written: No space left on device";
        QTest::newRow("one missing") << QStringList{genuine, tweaked, QStringLiteral("/no/such/file")} << 2 << "err"
                                     << "/no/such/file: no such file or folder";
        QTest::newRow("name says no car") << QStringList{TestProgramFolder::dataFile(QStringLiteral("help.txt"))} << 2
                                          << "err" << "--car";
        QTest::newRow("wrong option") << QStringList{QStringLiteral("--frobnicate"), genuine} << 2 << "err"
                                      << "Unknown option";
        QTest::newRow("wrong jobs") << QStringList{QStringLiteral("--jobs"), QStringLiteral("0"), genuine} << 2 << "err"
                                    << "--jobs";
        QTest::newRow("wrong car") << QStringList{QStringLiteral("--car"), QStringLiteral("Trabant"), genuine} << 2
                                   << "err" << "no car \"Trabant\"";
        QTest::newRow("no path") << QStringList() << 2 << "err" << "no PATH";
        QTest::newRow("over the cap") << QStringList{QStringLiteral("--max-size"), QStringLiteral("100"), genuine} << 2
                                      << "err" << "bytes is more than the 100 it may hold";
        QTest::newRow("wrong cap") << QStringList{QStringLiteral("--max-size"), QStringLiteral("64K"), genuine} << 2
                                   << "err" << "--max-size needs a whole number of bytes";
        QTest::newRow("help states the cap") << QStringList{QStringLiteral("--help")} << 0 << "out"
                                             << "--max-size (64 KiB unless given)";
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "out" << "Exit status: 0";
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << "out" << "kestrix-check 1.";
    }

    // Like diff and grep: 0 all genuine, 1 something tweaked, 2 trouble.
    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, stream);
        QFETCH(QString, says);
        League league;
        ToolRun run;
        if (!arguments.isEmpty() && arguments.first().startsWith(u'>')) {
            // Output to a file that takes nothing.
            const QString target = arguments.takeFirst().mid(1);
            run = ToolRun::of(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" >%1").arg(target),
                                                     QStringLiteral(KESTRIX_CHECK), QStringLiteral("--folder"),
                                                     league.program.path(), arguments.first()});
        } else {
            run = league.check(arguments);
        }
        QCOMPARE(run.exitCode, status);
        const QString text = stream == u"out" ? QString::fromLocal8Bit(run.out) : run.errors;
        QVERIFY2(text.contains(says), qPrintable(text));
    }

    // A file named as no car is checked as the car given.
    void carGivenForAnyName()
    {
        League league;
        const QString copy = league.player(QStringLiteral("copy of grelm.txt"));
        QVERIFY(put(copy, sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))));
        const ToolRun run = league.check({QStringLiteral("--car"), QStringLiteral("grelm"), copy});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.startsWith(copy.toLocal8Bit() + ": tweaked (Grelm)"), run.out.constData());
    }

    // The window's own reference checks, with what differs and how to keep dates.
    void referenceChecks_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("says");
        QTest::newRow("database date") << "Sam.mdb date" << "Sam.mdb: expected 202752 bytes dated 01/09/2002 09:34:02";
        QTest::newRow("database copied without dates") << "Sam.mdb date" << "cp -a or cp -p";
        QTest::newRow("reference file size") << "Grelm.dat size" << "Grelm.dat: expected 4646 bytes";
        QTest::newRow("reference file missing") << "Grelm.dat missing" << "Grelm.dat: missing";
    }

    void referenceChecks()
    {
        QFETCH(QString, fault);
        QFETCH(QString, says);
        League league;
        const QString file = league.program.file(fault.section(u' ', 0, 0));
        QString error;
        if (fault.endsWith(u"date"))
            QVERIFY(FileSystem::setModified(file, QDateTime::currentDateTime(), &error));
        else if (fault.endsWith(u"size"))
            QVERIFY(FileSystem::writeAll(file, bytesOf(file) + "x", &error));
        else
            QVERIFY(QFile::remove(file));
        const QString grelm = TestProgramFolder::dataFile(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));

        const ToolRun refused = league.check({grelm});
        QCOMPARE(refused.exitCode, 2);
        QCOMPARE(refused.out, QByteArray());
        QVERIFY2(refused.errors.contains(says), qPrintable(refused.errors));

        // Only the files a check needs are checked.
        const ToolRun other = league.check({TestProgramFolder::dataFile(QStringLiteral("Cars/DunMarr/DunMarrDescriptor.txt"))});
        QCOMPARE(other.exitCode, fault.startsWith(u"Sam.mdb") ? 2 : 0);

        const ToolRun skipped = league.check({QStringLiteral("--skip-reference-check"), grelm});
        QVERIFY2(skipped.errors.contains(QStringLiteral("was not checked by size and date")), qPrintable(skipped.errors));
        QCOMPARE(skipped.exitCode, fault.endsWith(u"missing") ? 2 : 1);
    }

    // --correct keeps the tweaked file beside and puts the genuine one in place.
    void correctsTweakedDescriptors()
    {
        League league;
        const QString path = league.player(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        const QByteArray tweaked = sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        QVERIFY(put(path, tweaked));
        const ToolRun run = league.check({QStringLiteral("--correct"), QStringLiteral("--json"), league.players.path()});
        QCOMPARE(run.exitCode, 1);
        const QJsonObject verdict = verdictsOf(run.out).value(path);
        const QString kept = verdict.value(QStringLiteral("kept")).toString();
        QVERIFY2(kept.startsWith(path + QStringLiteral(".tweaked-")), run.out.constData());
        QCOMPARE(bytesOf(kept), tweaked);
        QCOMPARE(bytesOf(path), sample(QStringLiteral("genuine/Grelm.dat")));
        QCOMPARE(league.check({league.players.path()}).exitCode, 0); // the kept copy is not a descriptor
    }

    void correctionOfAnUnwritableTarget()
    {
        SmallDisk disk;
        QTemporaryDir dir;
        QString folder;
        if (runsAsRoot()) {
            if (!disk.isMounted())
                QSKIP(SmallDisk::NeedsRoot);
            folder = disk.path();
        } else {
            folder = dir.path();
        }
        League league;
        const QString path = folder + QStringLiteral("/Grelmdescriptor.txt");
        const QByteArray tweaked = sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        QVERIFY(put(path, tweaked));
        if (runsAsRoot())
            QVERIFY(disk.fill());
        else
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        const ToolRun run = league.check({QStringLiteral("--correct"), path});
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(QStringLiteral("was not corrected")), qPrintable(run.errors));
        QCOMPARE(bytesOf(path), tweaked);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before);
    }

    // Threads change nothing but the time: the same output, in path order.
    void sameOutputWhateverTheThreads()
    {
        League league;
        for (int player = 0; player < 40; ++player) {
            const QString folder = league.player(QStringLiteral("p%1/Cars/").arg(player, 3, 10, QChar(u'0')));
            QVERIFY(put(folder + QStringLiteral("Brackwell/BrackwellDescriptor.txt"),
                        sample(player % 7 == 0 ? QStringLiteral("Cars/Brackwell/BrackwellDescriptor.txt")
                                               : QStringLiteral("genuine/Brackwell.dat"))));
            QVERIFY(put(folder + QStringLiteral("Grelm/Grelmdescriptor.txt"), sample(QStringLiteral("genuine/Grelm.dat"))));
        }
        for (const QString& format : {QStringLiteral("--json"), QStringLiteral("--car=Grelm")}) {
            const ToolRun one = league.check({format, QStringLiteral("--jobs"), QStringLiteral("1"), league.players.path()});
            const ToolRun two = league.check({format, QStringLiteral("--jobs"), QStringLiteral("2"), league.players.path()});
            QCOMPARE(one.exitCode, 1);
            QCOMPARE(two.exitCode, 1);
            QCOMPARE(two.out, one.out);
        }
    }

    // The published page: well-formed XML, a section for each tweaked
    // descriptor, each changed line beside its genuine one.
    void htmlReport()
    {
        League league;
        const QString report = league.player(QStringLiteral("report.html"));
        const QString cars = TestProgramFolder::dataFile(QStringLiteral("Cars"));
        const ToolRun run = league.check({QStringLiteral("--report"), report, cars});
        QCOMPARE(run.exitCode, 1);

        QFile page(report);
        QVERIFY(page.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&page);
        int files = 0;
        QStringList changedRows;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QStringView cssClass = xml.attributes().value(QStringLiteral("class"));
            if (xml.name() == u"section" && cssClass == u"file")
                ++files;
            if (xml.name() == u"tr" && cssClass == u"c")
                changedRows << xml.readElementText(QXmlStreamReader::IncludeChildElements);
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(files, 2);
        QVERIFY2(std::any_of(changedRows.begin(), changedRows.end(),
                             [](const QString& row) {
                                 return row.contains(QStringLiteral("412.5")) && row.contains(QStringLiteral("512.5"));
                             }),
                 qPrintable(changedRows.join(u'\n')));
    }

    // Names are bytes: a folder unzipped from Windows with a Latin-1 name, a
    // file named with its Windows path, a name that holds escapes and a
    // newline. Each is found and checked; text shows them escaped, JSON
    // gives the exact bytes, the page stays well-formed XML.
    void namesAsBytes()
    {
        League league;
        const QByteArray root = QFile::encodeName(league.players.path());
        const QByteArray latin1 = root + "/Jos\xe9/Cars/Grelm/Grelmdescriptor.txt";
        const QByteArray backslashed = root + "/cy/Cars\\Grelm\\Grelmdescriptor.txt";
        const QByteArray hostile = root + "/dee/\x1b[2J\ngenuine\xe2\x80\xae/BrackwellDescriptor.txt";
        QVERIFY(putBytes(latin1, sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))));
        QVERIFY(putBytes(backslashed, sample(QStringLiteral("genuine/Grelm.dat"))));
        QVERIFY(putBytes(hostile, sample(QStringLiteral("genuine/Brackwell.dat"))));

        const ToolRun text = league.check({league.players.path()});
        QCOMPARE(text.exitCode, 1);
        QVERIFY2(text.out.contains("/Jos\\xE9/Cars/Grelm/Grelmdescriptor.txt: tweaked (Grelm)"), text.out.constData());
        QVERIFY2(text.out.contains("/cy/Cars\\\\Grelm\\\\Grelmdescriptor.txt: genuine (Grelm)"), text.out.constData());
        QVERIFY2(text.out.contains("/dee/\\x1B[2J\\ngenuine\\u202E/BrackwellDescriptor.txt: genuine"), text.out.constData());
        QVERIFY(!text.out.contains('\x1b'));
        QCOMPARE(text.out.count('\n'), 3 + 2 + 3 + 1); // three verdicts, two changes, three players, the summary

        const ToolRun json = league.check({QStringLiteral("--json"), league.players.path()});
        bool sawLatin1 = false;
        for (const QByteArray& line : json.out.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!object.value(QStringLiteral("path")).toString().contains(QStringLiteral("Jos\ufffd")))
                continue;
            sawLatin1 = true;
            QCOMPARE(QByteArray::fromBase64(object.value(QStringLiteral("path_base64")).toString().toLatin1()), latin1);
            QCOMPARE(object.value(QStringLiteral("player")).toString(), QStringLiteral("Jos\ufffd"));
        }
        QVERIFY2(sawLatin1, json.out.constData());

        const QString report = league.player(QStringLiteral("league.html"));
        const ToolRun corrected = league.check({QStringLiteral("--correct"), QStringLiteral("--report"), report, league.players.path()});
        QCOMPARE(corrected.exitCode, 1);
        QCOMPARE(bytesAt(latin1), sample(QStringLiteral("genuine/Grelm.dat")));
        const ToolRun parsed = ToolRun::of(QStringLiteral("python3"), {QStringLiteral("-c"),
                                                                      QStringLiteral("import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])"),
                                                                      report});
        QVERIFY2(parsed.exitCode == 0, qPrintable(parsed.errors));
        // QTemporaryDir removes only what it can name in UTF-8.
        ToolRun::of(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("rm -rf \"$0\"/Jos*"), league.players.path()});
    }

    // A signal mid-run stops it as a shell expects: the corrections under
    // way finish, each correction made has its line, every file is whole
    // (the genuine one in place, or the tweaked one untouched), and the
    // summary says the run was interrupted.
    void interruptedMidRun_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("jobs");
        QTest::newRow("SIGINT") << int(SIGINT) << QStringLiteral("1");
        QTest::newRow("SIGTERM, two threads") << int(SIGTERM) << QStringLiteral("2");
    }

    void interruptedMidRun()
    {
        QFETCH(int, signalNumber);
        QFETCH(QString, jobs);
        League league;
        const QByteArray tweaked = sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"));
        const QByteArray genuine = sample(QStringLiteral("genuine/Grelm.dat"));
        constexpr int Players = 4000;
        for (int i = 0; i < Players; ++i)
            QVERIFY(put(league.player(QStringLiteral("p%1/Grelmdescriptor.txt").arg(i, 4, 10, QChar(u'0'))), tweaked));

        QProcess process;
        process.start(QStringLiteral(KESTRIX_CHECK), {QStringLiteral("--folder"), league.program.path(),
                                                      QStringLiteral("--correct"), QStringLiteral("--jobs"), jobs,
                                                      league.players.path()});
        QVERIFY(process.waitForStarted());
        QVERIFY(process.waitForReadyRead(60'000));
        QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
        QVERIFY(process.waitForFinished(60'000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signalNumber);
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray summary = out.trimmed().split('\n').last();
        QVERIFY2(summary.contains(signalNumber == SIGINT ? "; interrupted by SIGINT" : "; interrupted by SIGTERM"),
                 summary.constData());

        int corrected = 0;
        int untouched = 0;
        for (int i = 0; i < Players; ++i) {
            const QString folder = league.player(QStringLiteral("p%1").arg(i, 4, 10, QChar(u'0')));
            const QByteArray now = bytesOf(folder + QStringLiteral("/Grelmdescriptor.txt"));
            const QStringList kept = QDir(folder).entryList({QStringLiteral("*.tweaked-*")}, QDir::Files);
            if (now == genuine && kept.size() == 1 && bytesOf(folder + u'/' + kept.first()) == tweaked)
                ++corrected;
            else if (now == tweaked && kept.isEmpty())
                ++untouched;
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), kept.size() + 1);
        }
        QCOMPARE(corrected + untouched, Players);
        QVERIFY2(untouched > 0, "the run ended before the signal: give it more to do");
        QCOMPARE(out.count("  corrected; the tweaked file is kept as "), corrected);
        QVERIFY2(summary.contains(QStringLiteral("%1 corrected").arg(corrected).toUtf8()), summary.constData());
    }

    // A file over 64 KiB is an error unless --max-size takes it in.
    void largeFileTakenWhenAllowed()
    {
        League league;
        QByteArray large = sample(QStringLiteral("genuine/Brackwell.dat"));
        large += QByteArray(70'000, ';');
        const QString path = league.player(QStringLiteral("ann/BrackwellDescriptor.txt"));
        QVERIFY(put(path, large));
        const ToolRun capped = league.check({path});
        QCOMPARE(capped.exitCode, 2);
        QVERIFY2(capped.errors.contains(QStringLiteral("bytes is more than the 65536 it may hold")), qPrintable(capped.errors));
        const ToolRun taken = league.check({QStringLiteral("--max-size"), QStringLiteral("100000"), path});
        QVERIFY2(taken.exitCode == 0 || taken.exitCode == 1, qPrintable(taken.errors));
        QVERIFY2(!taken.out.contains(": error"), taken.out.constData());
    }

    // A PATH that is not there is an error on stderr and nothing more: no
    // verdict, no player, and the run ends in trouble, alone or among others.
    void pathThatIsNotThere_data()
    {
        QTest::addColumn<bool>("withPlayers");
        QTest::addColumn<bool>("json");
        QTest::newRow("among players") << true << false;
        QTest::newRow("among players, JSON") << true << true;
        QTest::newRow("alone") << false << false;
    }

    void pathThatIsNotThere()
    {
        QFETCH(bool, withPlayers);
        QFETCH(bool, json);
        League league;
        QVERIFY(put(league.player(QStringLiteral("ann/BrackwellDescriptor.txt")), sample(QStringLiteral("genuine/Brackwell.dat"))));
        const QString missing = league.player(QStringLiteral("nobody"));
        QStringList arguments{missing};
        if (withPlayers)
            arguments << league.players.path();
        if (json)
            arguments.prepend(QStringLiteral("--json"));
        const ToolRun run = league.check(arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errors, QStringLiteral("kestrix-check: %1: no such file or folder\n").arg(missing));
        QVERIFY2(!run.out.contains("nobody"), run.out.constData());
        if (!withPlayers)
            QCOMPARE(run.out, QByteArray());
        else if (json)
            QCOMPARE(run.out.count('\n'), 1);
        else
            QCOMPARE(run.out.split('\n').mid(1), (QList<QByteArray>{
                "ann: 1 genuine",
                "1 descriptor: 1 genuine, 0 formatting only, 0 damaged, 0 tweaked, 0 errors; 1 player, 0 with tweaks", ""}));
    }

    // Two players whose names differ only in a byte that is not UTF-8 read
    // the same as JSON text: player_base64 keeps them apart, as the tally does.
    void playersApartByTheirBytes()
    {
        League league;
        const QByteArray root = QFile::encodeName(league.players.path());
        const QList<QByteArray> names{"Ren\xe8" "e", "Ren\xe9" "e"};
        for (const QByteArray& name : names)
            QVERIFY(putBytes(root + '/' + name + "/BrackwellDescriptor.txt", sample(QStringLiteral("genuine/Brackwell.dat"))));
        QVERIFY(put(league.player(QStringLiteral("Ren\u00e9e/BrackwellDescriptor.txt")),
                    sample(QStringLiteral("genuine/Brackwell.dat"))));

        const ToolRun json = league.check({QStringLiteral("--json"), league.players.path()});
        QCOMPARE(json.exitCode, 0);
        QList<QByteArray> players;
        for (const QByteArray& line : json.out.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.isEmpty())
                continue;
            players << (object.contains(QStringLiteral("player_base64"))
                            ? QByteArray::fromBase64(object.value(QStringLiteral("player_base64")).toString().toLatin1())
                            : object.value(QStringLiteral("player")).toString().toUtf8());
        }
        std::sort(players.begin(), players.end());
        QCOMPARE(players, (QList<QByteArray>{"Ren\xc3\xa9" "e", "Ren\xe8" "e", "Ren\xe9" "e"}));

        const ToolRun text = league.check({league.players.path()});
        QVERIFY2(text.out.contains("Ren\\xE8e: 1 genuine\n") && text.out.contains("Ren\\xE9e: 1 genuine\n")
                     && text.out.contains("Ren\xc3\xa9" "e: 1 genuine\n") && text.out.contains("3 players"),
                 text.out.constData());
        ToolRun::of(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("rm -rf \"$0\"/Ren*"), league.players.path()});
    }

    // A collector's folder: each player's latest copy of a car, unless all
    // are asked for; the player is the folder the collector filed it under.
    void collectorFolder()
    {
        League league;
        QVERIFY(put(league.player(QStringLiteral("verdicts.jsonl")), "{}\n"));
        QVERIFY(put(league.player(QStringLiteral("10.0.0.7/20261201-100000-000-Grelmdescriptor.txt")),
                    sample(QStringLiteral("Cars/Grelm/Grelmdescriptor.txt"))));
        QVERIFY(put(league.player(QStringLiteral("10.0.0.7/20261201-110000-000-Grelmdescriptor.txt")),
                    sample(QStringLiteral("genuine/Grelm.dat"))));
        const ToolRun latest = league.check({league.players.path()});
        QCOMPARE(latest.exitCode, 0);
        QVERIFY2(latest.out.contains("20261201-110000-000-Grelmdescriptor.txt: genuine (Grelm)\n10.0.0.7: 1 genuine\n1 descriptor:"),
                 latest.out.constData());
        const ToolRun all = league.check({QStringLiteral("--all-copies"), league.players.path()});
        QCOMPARE(all.exitCode, 1);
        QVERIFY2(all.errors.contains(QStringLiteral("10.0.0.7 has two descriptors of Grelm")), qPrintable(all.errors));
    }

    // Links to folders are passed by, as find does; --follow follows them,
    // and then a loop is skipped and a file met twice is checked once.
    void linksAndCopies()
    {
        League league;
        QVERIFY(put(league.player(QStringLiteral("ann/Cars/Brackwell/BrackwellDescriptor.txt")), sample(QStringLiteral("genuine/Brackwell.dat"))));
        QVERIFY(QFile::link(league.player(QStringLiteral("ann")), league.player(QStringLiteral("bob"))));
        QVERIFY(QFile::link(league.player(QStringLiteral("ann")), league.player(QStringLiteral("ann/loop"))));

        const ToolRun plain = league.check({league.players.path()});
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(plain.out.endsWith("1 descriptor: 1 genuine, 0 formatting only, 0 damaged, 0 tweaked, 0 errors; 1 player, 0 with tweaks\n"),
                 plain.out.constData());
        QCOMPARE(plain.errors.count(QStringLiteral("a link to a folder")), 2);

        const ToolRun followed = league.check({QStringLiteral("--follow"), league.players.path()});
        QCOMPARE(followed.exitCode, 0);
        QVERIFY2(followed.out.contains("\n1 descriptor:"), followed.out.constData());
        QVERIFY2(followed.errors.contains(QStringLiteral("loop")), qPrintable(followed.errors));

        const ToolRun twice = league.check({league.players.path(), league.player(QStringLiteral("ann"))});
        QCOMPARE(twice.exitCode, 0);
        QVERIFY2(twice.out.contains("\n1 descriptor:"), twice.out.constData());
        QVERIFY2(twice.errors.contains(QStringLiteral("the same file as")), qPrintable(twice.errors));
    }

    // Editor noise passes, damage and tweaks do not; one line a player, those
    // with tweaks first.
    void statusesAndPlayers()
    {
        League league;
        QByteArray lfOnly = sample(QStringLiteral("genuine/Grelm.dat"));
        lfOnly.replace("\r\n", "\n");
        QVERIFY(put(league.player(QStringLiteral("ann/Cars/Grelm/Grelmdescriptor.txt")), lfOnly));
        QVERIFY(put(league.player(QStringLiteral("ann/Cars/Brackwell/BrackwellDescriptor.txt")), sample(QStringLiteral("genuine/Brackwell.dat"))));
        QVERIFY(put(league.player(QStringLiteral("cy/Cars/Grelm/Grelmdescriptor.txt")), QByteArray()));
        QVERIFY(put(league.player(QStringLiteral("bob/Cars/Puddlewick/Puddlewickdescriptor.txt")), sample(QStringLiteral("genuine/Skelder4.dat"))));

        const ToolRun noise = league.check({league.player(QStringLiteral("ann"))});
        QCOMPARE(noise.exitCode, 0);
        QVERIFY2(noise.out.contains("Grelmdescriptor.txt: formatting (Grelm); the window counts 1 tweaked line\n"
                                    "  formatting: line ends are LF only\n"),
                 noise.out.constData());
        QVERIFY2(noise.out.contains("\nann: Grelm formatting; 1 genuine\n"), noise.out.constData());

        const ToolRun all = league.check({league.players.path()});
        QCOMPARE(all.exitCode, 1);
        QVERIFY2(all.out.contains("  other car: this is Skelder4's genuine descriptor\n"), all.out.constData());
        QVERIFY2(all.out.contains("  damaged: the file is empty\n"), all.out.constData());
        QVERIFY2(all.out.contains("\nbob: Puddlewick tweaked (another car's descriptor)\nann: Grelm formatting; 1 genuine\ncy: Grelm damaged\n"
                                  "4 descriptors: 1 genuine, 1 formatting only, 1 damaged, 1 tweaked, 0 errors; 3 players, 1 with tweaks\n"),
                 all.out.constData());
    }

    // A league's rules: an allowed setup change passes, a forbidden one does
    // not, a patched car is genuine by its pinned version, and every record
    // says what it was checked against.
    void leagueRules()
    {
        League league;
        const QByteArray genuine = sample(QStringLiteral("genuine/Brackwell.dat"));
        QByteArray patched = genuine;
        patched.replace("IdleRPM=773", "IdleRPM=800")
            .replace("GearRatio1=3.587", "GearRatio1=3.6")
            .replace("GearRatio2=2.521", "GearRatio2=2.6");
        QVERIFY(put(league.player(QStringLiteral("rules/patch-1.1/Brackwell.dat")), patched));
        QVERIFY(put(league.player(QStringLiteral("league/ann/Cars/Brackwell/BrackwellDescriptor.txt")),
                    QByteArray(genuine).replace("GearRatio2=2.521", "GearRatio2=2.4")));
        QVERIFY(put(league.player(QStringLiteral("league/bob/Cars/Brackwell/BrackwellDescriptor.txt")),
                    QByteArray(genuine).replace("Torque=412.5", "Torque=500")));
        QVERIFY(put(league.player(QStringLiteral("league/cy/Cars/Brackwell/BrackwellDescriptor.txt")), patched));
        QByteArray lfOnly = genuine;
        QVERIFY(put(league.player(QStringLiteral("league/dee/Cars/Brackwell/BrackwellDescriptor.txt")), lfOnly.replace("\r\n", "\n")));
        // An allowed change in the loose reading; a lone LF hides [Engine]
        // from the window's reading.
        const qsizetype engine = genuine.indexOf("[Engine]");
        const qsizetype gearbox = genuine.indexOf("[Gearbox]");
        const qsizetype suspension = genuine.indexOf("[Suspension]");
        QVERIFY(put(league.player(QStringLiteral("league/eve/Cars/Brackwell/BrackwellDescriptor.txt")),
                    QByteArray(genuine.left(engine) + genuine.mid(gearbox, suspension - gearbox).trimmed() + "\n"
                               + genuine.mid(engine, gearbox - engine) + "\r\n" + genuine.mid(suspension))
                        .replace("GearRatio1=3.587", "GearRatio1=3.9")));
        // The patch with its gear ratios set back: allowed against it, not
        // tweaked (IdleRPM) against the original, which it differs from less.
        QVERIFY(put(league.player(QStringLiteral("league/fay/Cars/Brackwell/BrackwellDescriptor.txt")),
                    QByteArray(genuine).replace("IdleRPM=773", "IdleRPM=800")));

        const ToolRun digest = league.check({QStringLiteral("--digest"), league.player(QStringLiteral("rules/patch-1.1"))});
        QCOMPARE(digest.exitCode, 0);
        const QString rules = league.player(QStringLiteral("rules/league.toml"));
        const QByteArray allow = "[[allow]]\ncar = \"*\"\nsection = \"Gearbox\"\nkey = \"GearRatio?\"\n\n"
                                 "[[allow]]\ncar = \"Brackwell\"\nsection = \"Engine\"\nkey = \"Torque\"\nmin = 400\nmax = 450\n\n"
                                 "[[reference]]\nname = \"1.1\"\nfolder = \"patch-1.1\"\n";
        QVERIFY(put(rules, allow + digest.out));

        const QString page = league.player(QStringLiteral("league.html"));
        const ToolRun run = league.check({QStringLiteral("--rules"), rules, QStringLiteral("--json"), QStringLiteral("--report"),
                                          page, league.player(QStringLiteral("league"))});
        QCOMPARE(run.exitCode, 1);
        // The page shows the rules whole, and their digest.
        QVERIFY(bytesOf(page).contains("key = &quot;GearRatio?&quot;") || bytesOf(page).contains("key = \"GearRatio?\""));
        const QMap<QString, QJsonObject> verdicts = verdictsOf(run.out);
        const auto of = [&](const char* player) {
            return verdicts.value(league.player(QStringLiteral("league/%1/Cars/Brackwell/BrackwellDescriptor.txt").arg(QLatin1String(player))));
        };
        QCOMPARE(of("ann").value(QStringLiteral("status")).toString(), QStringLiteral("allowed"));
        QCOMPARE(of("ann").value(QStringLiteral("differences")).toArray().at(0).toObject().value(QStringLiteral("rule")).toInt(), 1);
        QCOMPARE(of("bob").value(QStringLiteral("status")).toString(), QStringLiteral("tweaked"));
        QCOMPARE(of("bob").value(QStringLiteral("differences")).toArray().at(0).toObject().value(QStringLiteral("reason")).toString(),
                 QStringLiteral("Torque=500 is above the league's 450"));
        QCOMPARE(of("cy").value(QStringLiteral("status")).toString(), QStringLiteral("genuine"));
        QCOMPARE(of("cy").value(QStringLiteral("version")).toString(), QStringLiteral("1.1"));
        QCOMPARE(of("dee").value(QStringLiteral("status")).toString(), QStringLiteral("formatting"));
        QCOMPARE(of("eve").value(QStringLiteral("status")).toString(), QStringLiteral("tweaked"));
        QCOMPARE(of("fay").value(QStringLiteral("status")).toString(), QStringLiteral("allowed"));
        QCOMPARE(of("fay").value(QStringLiteral("version")).toString(), QStringLiteral("1.1"));
        const ToolRun sha = ToolRun::of(QStringLiteral("sha256sum"), {rules});
        for (const QJsonObject& verdict : verdicts) {
            QCOMPARE(verdict.value(QStringLiteral("rules")).toString().toLatin1(), sha.out.left(64));
            QCOMPARE(verdict.value(QStringLiteral("reference")).toString().size(), 64);
            QCOMPARE(verdict.value(QStringLiteral("tool")).toString(), QStringLiteral("kestrix-check 1.2.0"));
        }
        QVERIFY(bytesOf(page).contains("under league rules " + sha.out.left(64)));

        // Formatting counts as a tweak where the league says so.
        QVERIFY(put(rules, "[formatting]\nignore = false\n"));
        const ToolRun strict = league.check({QStringLiteral("--rules"), rules, league.player(QStringLiteral("league/dee"))});
        QCOMPARE(strict.exitCode, 1);
        QVERIFY2(strict.out.contains(": tweaked (Brackwell)"), strict.out.constData());

        // A pinned file that changed or is gone stops the run: no check is switched off quietly.
        QVERIFY(put(rules, allow + digest.out));
        QVERIFY(put(league.player(QStringLiteral("rules/patch-1.1/Brackwell.dat")), genuine));
        const ToolRun changed = league.check({QStringLiteral("--rules"), rules, league.player(QStringLiteral("league"))});
        QCOMPARE(changed.exitCode, 2);
        QVERIFY2(changed.errors.contains(QStringLiteral("patch-1.1/Brackwell.dat: its SHA-256 is")), qPrintable(changed.errors));
        QVERIFY(QFile::remove(league.player(QStringLiteral("rules/patch-1.1/Brackwell.dat"))));
        const ToolRun gone = league.check({QStringLiteral("--rules"), rules, league.player(QStringLiteral("league"))});
        QCOMPARE(gone.exitCode, 2);
        QVERIFY2(gone.errors.contains(QStringLiteral("patch-1.1/Brackwell.dat")), qPrintable(gone.errors));

        // --explain warns of a rule that matches nothing, and of one that an
        // accepted version's genuine value already lies outside.
        QVERIFY(put(league.player(QStringLiteral("rules/patch-1.1/Brackwell.dat")), patched));
        QVERIFY(put(rules, "[[allow]]\ncar = \"*\"\nsection = \"Engine\"\nkey = \"WarpDrive\"\n\n"
                           "[[allow]]\ncar = \"Brackwell\"\nsection = \"Engine\"\nkey = \"IdleRPM\"\nmin = 700\nmax = 790\n\n"
                           "[[reference]]\nname = \"1.1\"\nfolder = \"patch-1.1\"\n" + digest.out));
        const ToolRun explained = league.check({QStringLiteral("--rules"), rules, QStringLiteral("--explain")});
        QCOMPARE(explained.exitCode, 0);
        QVERIFY2(explained.out.contains("warning: rule at line 1 matches no key"), explained.out.constData());
        QVERIFY2(explained.out.contains("warning: rule at line 6: the genuine Brackwell [Engine] IdleRPM of version \"1.1\" "
                                        "already lies outside it: IdleRPM=800 is above the league's 790\n"),
                 explained.out.constData());
        QVERIFY2(!explained.out.contains("version \"original\""), explained.out.constData());
    }

    // An Access/Jet Sam.mdb serves as well as a SQLite one.
    void jetReferenceDatabase()
    {
        League league;
        QString error;
        QVERIFY(QFile::remove(league.program.file(QStringLiteral("Sam.mdb"))));
        QVERIFY(QFile::copy(QStringLiteral(KESTRIX_SOURCE_DIR "/tests/data/jet/codes_jet4_v2000.mdb"),
                            league.program.file(QStringLiteral("Sam.mdb"))));
        QVERIFY(FileSystem::writeAll(league.program.file(QStringLiteral("Brackwell.dat")), "AAA111\r\naaa111\r\n", &error));
        const QString path = league.player(QStringLiteral("BrackwellDescriptor.txt"));
        QVERIFY(put(path, "AAA111\r\nSe\xf1or-\xe9\r\nXXX\r\n"));
        const ToolRun run = league.check({QStringLiteral("--skip-reference-check"), QStringLiteral("--json"), path});
        QCOMPARE(run.exitCode, 1);
        const QJsonArray tweaks = verdictsOf(run.out).value(path).value(QStringLiteral("tweaks")).toArray();
        QCOMPARE(tweaks.size(), 1);
        QCOMPARE(tweaks.at(0).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("XXX"));
        QCOMPARE(tweaks.at(0).toObject().value(QStringLiteral("genuine")).toString(), QStringLiteral("aaa111"));
    }

    // The checker is a Qt Core program: no windowing or network library.
    void linksQtCoreOnly()
    {
        const ToolRun ldd = ToolRun::of(QStringLiteral("ldd"), {QStringLiteral(KESTRIX_CHECK)});
        QCOMPARE(ldd.exitCode, 0);
        QVERIFY(ldd.out.contains("libQt6Core"));
        for (const char* library : {"libQt6Gui", "libQt6Widgets", "libQt6Network"})
            QVERIFY2(!ldd.out.contains(library), library);
    }
};

QTEST_GUILESS_MAIN(TestKestrixCheck)
#include "test_kestrix_check.moc"
