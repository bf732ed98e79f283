#include "DescriptorCorrection.h"
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

#include <sys/stat.h>

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
        QCOMPARE(verdicts.size(), 5);
        QCOMPARE(statusOf(QStringLiteral("ann/Cars/Brackwell/BrackwellDescriptor.txt")), QStringLiteral("genuine"));
        QCOMPARE(statusOf(QStringLiteral("bob/Cars/Grelm/grelmdescriptor.TXT")), QStringLiteral("tweaked"));
        QCOMPARE(statusOf(QStringLiteral("cy/sent/to/admin/DunmarrDescriptor.txt")), QStringLiteral("genuine"));
        QCOMPARE(statusOf(QStringLiteral("dee/loop")), QStringLiteral("error"));
        QCOMPARE(statusOf(QStringLiteral("eve/Cars/Skelder4/Skelder4Descriptor.txt")), QStringLiteral("error"));
        QVERIFY(verdicts.value(league.player(QStringLiteral("dee/loop")))
                    .value(QStringLiteral("error"))
                    .toString()
                    .contains(QStringLiteral("loop")));
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
        QVERIFY2(text.out.endsWith("5 descriptors: 2 genuine, 1 tweaked, 2 errors\n"), text.out.constData());
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
        QVERIFY2(run.out.startsWith(unzipped.toLocal8Bit() + ": genuine"), run.out.constData());
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
        QVERIFY2(run.out.endsWith("3 descriptors: 1 genuine, 0 tweaked, 2 errors\n"), run.out.constData());
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
        QTest::newRow("all genuine") << QStringList{genuine} << 0 << "out" << "1 descriptor: 1 genuine, 0 tweaked, 0 errors";
        QTest::newRow("one tweaked") << QStringList{genuine, tweaked} << 1 << "out" << "1 genuine, 1 tweaked, 0 errors";
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
        const ToolRun run = league.check(arguments);
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

    // An earlier kept copy is never replaced; a failed write leaves all as it was.
    void correctionKeepsEverything()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("BrackwellDescriptor.txt"));
        QVERIFY(put(path, "tweaked\r\n"));
        QVERIFY(put(path + QStringLiteral(".tweaked-20261210-120000"), "an earlier one\r\n"));
        QString kept;
        QString error;
        QVERIFY2(correctDescriptor(path, "genuine\r\n", QStringLiteral("20261210-120000"), &kept, &error), qPrintable(error));
        QCOMPARE(kept, path + QStringLiteral(".tweaked-20261210-120000-2"));
        QCOMPARE(bytesOf(kept), QByteArray("tweaked\r\n"));
        QCOMPARE(bytesOf(path + QStringLiteral(".tweaked-20261210-120000")), QByteArray("an earlier one\r\n"));
        QCOMPARE(bytesOf(path), QByteArray("genuine\r\n"));
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

    // The published page holds a row for every descriptor, with its verdict,
    // and each tweaked one's lines beside the genuine ones.
    void htmlReport()
    {
        League league;
        const QString report = league.player(QStringLiteral("report.html"));
        const QString cars = TestProgramFolder::dataFile(QStringLiteral("Cars"));
        const ToolRun run = league.check({QStringLiteral("--json"), QStringLiteral("--report"), report, cars});
        QCOMPARE(run.exitCode, 1);
        const QMap<QString, QJsonObject> verdicts = verdictsOf(run.out);

        QFile page(report);
        QVERIFY(page.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&page);
        QMap<QString, QString> rows;
        QStringList detailed;
        QStringList genuineCells;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            if (xml.name() == u"tr" && attributes.hasAttribute(QStringLiteral("data-status")))
                rows.insert(attributes.value(QStringLiteral("data-path")).toString(),
                            attributes.value(QStringLiteral("data-status")).toString());
            if (xml.name() == u"table" && attributes.value(QStringLiteral("class")) == u"lines")
                detailed << attributes.value(QStringLiteral("data-path")).toString();
            if (xml.name() == u"td" && attributes.value(QStringLiteral("class")) == u"text")
                genuineCells << xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(rows.size(), verdicts.size());
        for (auto verdict = verdicts.cbegin(); verdict != verdicts.cend(); ++verdict)
            QCOMPARE(rows.value(verdict.key()), verdict->value(QStringLiteral("status")).toString());
        QCOMPARE(detailed.size(), 2);
        QVERIFY(genuineCells.contains(QStringLiteral("Torque=512.5")) && genuineCells.contains(QStringLiteral("Torque=412.5")));
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
