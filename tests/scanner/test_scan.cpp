#include "CarCatalogue.h"
#include "Privileges.h"
#include "ScanFixtures.h"

#include <QFile>

#include <sys/stat.h>

using namespace ScanTexts;

namespace {

QByteArray withoutBlankLines(QByteArray descriptor)
{
    while (descriptor.contains("\r\n\r\n"))
        descriptor.replace("\r\n\r\n", "\r\n");
    return descriptor;
}

// The sample reference data without its blank lines, so that an empty line
// is a tweak; still of the genuine size and date.
bool useReferenceWithoutBlankLines(const TestProgramFolder& folder)
{
    QTemporaryDir genuine;
    QString error;
    for (const Car& car : CarCatalogue::cars()) {
        if (!FileSystem::writeAll(genuine.filePath(car.listEntry + QStringLiteral(".dat")),
                                  withoutBlankLines(genuineDescriptor(car.listEntry)), &error))
            return false;
    }
    return buildSampleDatabase(genuine.path(), folder.file(QStringLiteral("Sam.mdb")), &error);
}

} // namespace

class TestScan : public QObject
{
    Q_OBJECT

private slots:
    void scan_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QStringList>("counts");

        const QByteArray genuine = withoutBlankLines(genuineDescriptor(QStringLiteral("Brackwell")));
        const QByteArray first = genuine.left(genuine.indexOf('\r'));
        const QByteArray longLine(10000, 'L');
        QTest::newRow("empty file") << QByteArray() << QByteArray() << QStringList{};
        QTest::newRow("all genuine") << genuine << QByteArray() << QStringList{};
        QTest::newRow("three unmatched, one empty")
            << (first + "\r\nTorque=999\r\n\r\n" + first + "\r\nGrip=2\r\n") << QByteArray("\"Torque=999\"\r\n\"\"\r\n\"Grip=2\"\r\n")
            << QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
        QTest::newRow("duplicates count twice") << QByteArray("X=1\r\nX=1\r\n") << QByteArray("\"X=1\"\r\n\"X=1\"\r\n")
                                                << QStringList{QStringLiteral("1"), QStringLiteral("2")};
        QTest::newRow("last line without terminator") << (first + "\r\nX=1") << QByteArray("\"X=1\"\r\n")
                                                      << QStringList{QStringLiteral("1")};
        QTest::newRow("lf-only file is one line") << QByteArray("A=1\nB=2\n") << QByteArray("\"A=1\nB=2\n\"\r\n")
                                                  << QStringList{QStringLiteral("1")};
        QTest::newRow("blanks and quotes kept") << QByteArray("  " + first + " \r\nName=\"Kes\"\r\n")
                                                << QByteArray("\"  " + first + " \"\r\n\"Name=\"Kes\"\"\r\n")
                                                << QStringList{QStringLiteral("1"), QStringLiteral("2")};
        QTest::newRow("high bytes and nul") << QByteArray("Na\xefve=\x80\r\nA\0B\r\n", 14)
                                            << QByteArray("\"Na\xefve=\x80\"\r\n\"A\0B\"\r\n", 18) << QStringList{QStringLiteral("1"), QStringLiteral("2")};
        QTest::newRow("10,000-byte line") << longLine << QByteArray("\"" + longLine + "\"\r\n") << QStringList{QStringLiteral("1")};
    }

    // The remote copy (box unticked) of the selected car, through the whole
    // click: log bytes, the counter passing through every value, the messages
    // and the final state of the buttons and the bar.
    void scan()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(QByteArray, log);
        QFETCH(QStringList, counts);
        MainWindowHarness h;
        QVERIFY(useReferenceWithoutBlankLines(h.folder));
        QVERIFY(h.load());
        QStringList seen;
        connect(&h.c[u"Text1"], &Control::textChanged, this, [&] { seen << h.c[u"Text1"].text(); });

        scanRemote(h, descriptor);

        const QString unmatch = h.folder.file(QStringLiteral("Unmatch.txt"));
        QCOMPARE(QFile::exists(unmatch), !log.isEmpty());
        QCOMPARE(fileBytes(unmatch), log);
        QCOMPARE(seen, counts);
        const bool found = !counts.isEmpty();
        QCOMPARE(h.c[u"Text1"].text(), found ? counts.last() : QStringLiteral("0"));
        QCOMPARE(h.messages.texts(), (QStringList{Completed, found ? TweaksFound : NoTweaks}));
        QCOMPARE(h.c[u"ProgressBar1"].value(), found ? 100.0 : 1.0);
        QVERIFY(h.c[u"Command1"].isEnabled());
        QVERIFY(!h.c[u"cmdCompare"].isEnabled());
        QVERIFY(h.c[u"Command5"].isEnabled());
        QCOMPARE(h.c[u"Command8"].isVisible(), found);
        QCOMPARE(h.c[u"report"].height(), found ? 2415 : 2775);
        QCOMPARE(h.c[u"report"].text(), QString());
    }

    // The window keeps the line read last, genuine or not.
    void samHoldsTheLastLineRead()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        const QByteArray genuine = genuineDescriptor(QStringLiteral("Brackwell"));
        const QByteArray first = genuine.left(genuine.indexOf('\r'));
        scanRemote(h, "X=1\r\n" + first + "\r\n");
        QCOMPARE(h.form->sam, first);
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("1"));
    }

    void theTickChoosesTheCopy()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        QTemporaryDir game;
        QVERIFY(QDir(game.path()).mkpath(QStringLiteral("DunMarr")));
        QString error;
        QVERIFY(FileSystem::writeAll(game.path() + QStringLiteral("/DunMarr/DunMarrDescriptor.txt"), "Local=1\r\n", &error));
        // Received under another letter case than the car's received name.
        QVERIFY(FileSystem::writeAll(h.folder.file(QStringLiteral("DUNMARRDESCRIPTOR.TXT")), "Remote=1\r\n", &error));
        h.c[u"dirList"].setText(game.path());
        h.c[u"CarList"].select(QStringLiteral("DunMarr"));

        h.c[u"cmdCompare"].click();
        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("Unmatch.txt"))), QByteArray("\"Remote=1\"\r\n"));

        h.c[u"Command5"].click();
        h.c[u"Check1"].setValue(1);
        h.c[u"cmdCompare"].click();
        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("Unmatch.txt"))), QByteArray("\"Local=1\"\r\n"));

        h.c[u"Command5"].click();
        h.c[u"Check1"].setValue(2);
        h.c[u"cmdCompare"].click();
        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("Unmatch.txt"))), QByteArray("\"Local=1\"\r\n"));
    }

    void invalidDatabaseBlocksTheScan()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        h.c[u"Label12"].setText(QStringLiteral("Incorrect"));
        h.c[u"report"].setHeight(2415);

        scanRemote(h, "Tweak=1\r\n");

        QCOMPARE(h.messages.texts(), QStringList{QStringLiteral(
                                         "Database is invalid! Scanning will be disabled until you obtain a valid Car "
                                         "Descriptor Database")});
        QVERIFY(!h.c[u"Command1"].isEnabled() && !h.c[u"cmdCompare"].isEnabled() && !h.c[u"Command5"].isEnabled());
        QVERIFY(h.c[u"Label13"].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2775);
        QVERIFY(!QFile::exists(h.folder.file(QStringLiteral("Unmatch.txt"))));
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("0"));
    }

    void logGrowsAcrossRunsAndEmptiesOnReset()
    {
        MainWindowHarness h;
        QString error;
        QVERIFY(FileSystem::writeAll(h.folder.file(QStringLiteral("Unmatch.txt")), "\"Earlier=1\"\r\n", &error));
        QVERIFY(h.load());
        scanRemote(h, "A=1\r\n");
        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("Unmatch.txt"))), QByteArray("\"Earlier=1\"\r\n\"A=1\"\r\n"));

        h.c[u"Command1"].click();
        QCOMPARE(h.c[u"report"].text(), QStringLiteral("\"Earlier=1\"\r\n\"A=1\"\r\n"));
        QCOMPARE(h.c[u"report"].height(), 2415);

        h.c[u"Command5"].click();
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("0"));
        QCOMPARE(h.form->unm, qint16(0));
        QCOMPARE(h.c[u"report"].text(), QString());
        QCOMPARE(QFileInfo(h.folder.file(QStringLiteral("Unmatch.txt"))).size(), 0);
        QVERIFY(h.c[u"cmdCompare"].isEnabled());
        QVERIFY(!h.c[u"Command1"].isEnabled());
        QVERIFY(h.c[u"Command5"].isEnabled());
        for (const char16_t* name : {u"Command8", u"Option1", u"Option2"})
            QVERIFY(!h.c[name].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2415);
        QCOMPARE(h.c[u"ProgressBar1"].value(), 100.0);

        scanRemote(h, "B=1\r\nC=1\r\n");
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("2"));
        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("Unmatch.txt"))), QByteArray("\"B=1\"\r\n\"C=1\"\r\n"));
    }

    void counterReaction()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        Control& text1 = h.c[u"Text1"];
        text1.setText(QStringLiteral("0"));
        QVERIFY(h.c[u"cmdCompare"].isEnabled());
        QVERIFY(!h.c[u"Command8"].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2775);

        text1.setText(QStringLiteral("1"));
        QVERIFY(!h.c[u"cmdCompare"].isEnabled());
        for (const char16_t* name : {u"Command8", u"Option1", u"Option2"})
            QVERIFY(h.c[name].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2415);

        h.c[u"report"].setHeight(2000);
        h.c[u"Option1"].setVisible(false);
        text1.setText(QStringLiteral("5"));
        QVERIFY(h.c[u"Option1"].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2415);
    }

    void logViewBeforeAnyScanCreatesAnEmptyLog()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        h.c[u"report"].setText(QStringLiteral("old"));
        h.c[u"Command1"].click();
        QCOMPARE(h.c[u"report"].text(), QString());
        QVERIFY(QFile::exists(h.folder.file(QStringLiteral("Unmatch.txt"))));
        QCOMPARE(QFileInfo(h.folder.file(QStringLiteral("Unmatch.txt"))).size(), 0);
        QVERIFY(h.c[u"Command1"].isEnabled() && h.c[u"cmdCompare"].isEnabled());
    }

    void logViewShowsWindows1252()
    {
        MainWindowHarness h;
        QString error;
        QVERIFY(FileSystem::writeAll(h.folder.file(QStringLiteral("Unmatch.txt")), "\"\x80uro \xe9\"\r\n", &error));
        QVERIFY(h.load());
        h.c[u"Command1"].click();
        QCOMPARE(h.c[u"report"].text(), QStringLiteral("\"\u20ACuro \u00E9\"\r\n"));
    }

    // A log the user may only read is still shown.
    void logViewOfAReadOnlyLog()
    {
        if (runsAsRoot())
            QSKIP(RootIgnoresPermissions);
        MainWindowHarness h;
        const QString log = h.folder.file(QStringLiteral("Unmatch.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(log, "\"Torque=512.5\"\r\n", &error));
        QVERIFY(QFile::setPermissions(log, QFileDevice::ReadOwner));
        QVERIFY(h.load());
        h.c[u"Command1"].click();
        QCOMPARE(h.c[u"report"].text(), QStringLiteral("\"Torque=512.5\"\r\n"));
        QCOMPARE(h.messages.shown.size(), 0);
    }

    // Failures name the file or index and leave the window usable; what was
    // logged before the failure stays.
    void failures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("named");
        QTest::newRow("descriptor missing") << "missing" << "BrackwellDescriptor.txt";
        QTest::newRow("descriptor is a folder") << "folder" << "BrackwellDescriptor.txt";
        QTest::newRow("log not writable") << "log" << "Unmatch.txt";
        QTest::newRow("index missing") << "index" << "Car9";
        // Planted files must not freeze the window, nor lead it elsewhere.
        QTest::newRow("descriptor is a FIFO") << "fifo" << "not an ordinary file";
        QTest::newRow("descriptor is a link") << "link" << "symbolic link";
        QTest::newRow("log is a FIFO") << "log fifo" << "Unmatch.txt: is not an ordinary file";
    }

    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, named);
        MainWindowHarness h;
        QVERIFY(h.load());
        const QString remote = h.folder.path() + h.c[u"Label5"].text();
        QString error;
        if (fault == u"folder")
            QVERIFY(QDir().mkpath(remote));
        else if (fault == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(remote).constData(), 0600), 0);
        else if (fault == u"link")
            QVERIFY(QFile::link(h.folder.file(QStringLiteral("Brackwell.dat")), remote));
        else if (fault != u"missing")
            QVERIFY(FileSystem::writeAll(remote, "A=1\r\nB=1\r\n", &error));
        if (fault == u"log")
            QVERIFY(QDir().mkpath(h.folder.file(QStringLiteral("Unmatch.txt"))));
        if (fault == u"log fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(h.folder.file(QStringLiteral("Unmatch.txt"))).constData(), 0600), 0);
        if (fault == u"index")
            h.c[u"Label4"].setText(QStringLiteral("Car9"));

        h.c[u"cmdCompare"].click();
        QCOMPARE(h.messages.shown.size(), 1);
        QVERIFY2(h.messages.shown[0].text.contains(named), qPrintable(h.messages.shown[0].text));
        QVERIFY(h.c[u"Command1"].isEnabled());
        QVERIFY(h.c[u"Command5"].isEnabled());
        QVERIFY(h.c[u"cmdCompare"].isEnabled());
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("0"));
        QCOMPARE(h.c[u"ProgressBar1"].value(), 1.0);
    }

    void countStopsAt32767()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        QByteArray descriptor;
        for (int i = 0; i < 32769; ++i)
            descriptor += "T=" + QByteArray::number(i) + "\r\n";
        scanRemote(h, descriptor);
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("32767"));
        QCOMPARE(h.form->unm, qint16(32767));
        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("Unmatch.txt"))).count("\r\n"), 32769);
        QCOMPARE(h.messages.texts().last(), TweaksFound);
    }
};

QTEST_GUILESS_MAIN(TestScan)
#include "test_scan.moc"
