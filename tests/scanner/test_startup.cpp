#include "CarCatalogue.h"
#include "FileSystem.h"
#include "LocalZone.h"
#include "MainWindowHarness.h"
#include "SqliteDatabase.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void genuineFolderLoadsReady()
    {
        MainWindowHarness h;
        QVERIFY(h.folder.isValid());
        QVERIFY(h.load());
        QCOMPARE(h.messages.shown.size(), 0);
        QCOMPARE(h.c[u"CarList"].text(), QStringLiteral("Brackwell"));
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("0"));
        QCOMPARE(h.form->unm, qint16(0));
        QCOMPARE(h.c[u"Label7"].text(), QStringLiteral("202752"));
        QCOMPARE(h.c[u"Label8"].text(), QStringLiteral("01/09/2002 09:34:02"));
        QCOMPARE(h.c[u"Label12"].text(), QStringLiteral("Correct"));
        QCOMPARE(h.c[u"Label15"].text(), QStringLiteral("Correct"));
        QVERIFY(h.form->CodesTable);
        for (const char16_t* name : {u"cmdCompare", u"Command1", u"Command5"})
            QVERIFY(h.c[name].isEnabled());
    }

    // Steps run in order: the car's check comes before the parameter file.
    void missingParameterFileEndsAfterTheCarCheck_data()
    {
        QTest::addColumn<bool>("asFolder");
        QTest::newRow("missing") << false;
        QTest::newRow("a folder of that name") << true;
    }

    void missingParameterFileEndsAfterTheCarCheck()
    {
        QFETCH(bool, asFolder);
        MainWindowHarness h;
        QVERIFY(QFile::remove(h.folder.file(QStringLiteral("Sample.txt"))));
        if (asFolder)
            QVERIFY(QDir(h.folder.path()).mkdir(QStringLiteral("Sample.txt")));
        QString error;
        QVERIFY(FileSystem::writeAll(h.folder.file(QStringLiteral("Brackwell.dat")), "tweaked", &error));

        QVERIFY(!h.load());
        QCOMPARE(h.messages.shown.size(), 2);
        QVERIFY(h.messages.shown[0].text.startsWith(QStringLiteral("System DAT file(s) are invalid!")));
        const auto& parameter = h.messages.shown[1];
        QCOMPARE(parameter.text, QStringLiteral("Parameter file Missing\rContact Administrator"));
        QCOMPARE(parameter.icon, MessageBoxes::Icon::Critical);
        QCOMPARE(parameter.title, std::optional<QString>(QString()));
        QVERIFY(!h.form->CodesTable);
        QCOMPARE(h.c[u"Label12"].text(), QString());
    }

    void databaseStatus_data()
    {
        QTest::addColumn<qint64>("extraBytes");
        QTest::addColumn<int>("extraSeconds");
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("time");
        QTest::newRow("one byte larger") << qint64(1) << 0 << "202753" << "01/09/2002 09:34:02";
        QTest::newRow("one second later") << qint64(0) << 1 << "202752" << "01/09/2002 09:34:03";
    }

    // A database that is not the genuine file stays open and usable.
    void databaseStatus()
    {
        QFETCH(qint64, extraBytes);
        QFETCH(int, extraSeconds);
        QFETCH(QString, size);
        QFETCH(QString, time);
        MainWindowHarness h;
        const QString database = h.folder.file(QStringLiteral("Sam.mdb"));
        QString error;
        if (extraBytes)
            QVERIFY(FileSystem::append(database, QByteArray(extraBytes, '\0'), &error));
        QVERIFY(FileSystem::setModified(
            database, FileSystem::fromDateTimeText(QStringLiteral("01/09/2002 09:34:02")).addSecs(extraSeconds), &error));

        QVERIFY(h.load());
        QCOMPARE(h.c[u"Label7"].text(), size);
        QCOMPARE(h.c[u"Label8"].text(), time);
        QCOMPARE(h.c[u"Label12"].text(), QStringLiteral("Incorrect"));
        QVERIFY(h.form->CodesTable);
        QCOMPARE(h.messages.shown.size(), 0);
    }

    // The labels show the time here; the verdict takes the date in local
    // time or in UTC.
    void referenceDatesInAnyZone_data() { addReferenceZoneRows(); }

    void referenceDatesInAnyZone()
    {
        QFETCH(QByteArray, stampedIn);
        QFETCH(QByteArray, readIn);
        QFETCH(bool, matches);
        if (!LocalZone::isKnown(stampedIn) || !LocalZone::isKnown(readIn))
            QSKIP("this system has no data for the zones");
        MainWindowHarness h;
        QString error;
        {
            LocalZone zone(stampedIn);
            QVERIFY(FileSystem::setModified(h.folder.file(QStringLiteral("Sam.mdb")),
                                            FileSystem::fromDateTimeText(CarCatalogue::DatabaseTime), &error));
            for (const Car& car : CarCatalogue::cars())
                QVERIFY(FileSystem::setModified(h.folder.file(car.listEntry + QStringLiteral(".dat")),
                                                FileSystem::fromDateTimeText(car.referenceTime), &error));
        }
        LocalZone zone(readIn);
        const QString verdict = matches ? QStringLiteral("Correct") : QStringLiteral("Incorrect");

        QVERIFY(h.load());
        QCOMPARE(h.c[u"Label8"].text(), LocalZone::wallClock(CarCatalogue::DatabaseTime, stampedIn, readIn));
        QCOMPARE(h.c[u"Label12"].text(), verdict);
        for (const Car& car : CarCatalogue::cars()) {
            h.c[u"CarList"].select(car.listEntry);
            QCOMPARE(h.c[u"Label14"].text(), LocalZone::wallClock(car.referenceTime, stampedIn, readIn));
            QCOMPARE(h.c[u"Label15"].text(), verdict);
        }
        QCOMPARE(h.c[u"cmdCompare"].isEnabled(), matches);
    }

    void unusableDatabaseEndsTheProgram_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QByteArray() << "No such file";
        QTest::newRow("not a database") << QByteArray("just some text") << "not a reference database";
        QTest::newRow("no table Codes") << QByteArray("sqlite") << "no table \"Codes\"";
        QTest::newRow("a FIFO, which must not hold start-up") << QByteArray("fifo") << "not an ordinary file";
    }

    void unusableDatabaseEndsTheProgram()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        MainWindowHarness h;
        const QString database = h.folder.file(QStringLiteral("Sam.mdb"));
        QVERIFY(QFile::remove(database));
        QString error;
        if (content == "sqlite") {
            SqliteDatabase db;
            QVERIFY(db.open(database, SqliteDatabase::Mode::ReadWriteCreate, &error));
            QVERIFY(db.execute(QStringLiteral("CREATE TABLE Other (x);"), &error));
        } else if (content == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(database).constData(), 0600), 0);
        } else if (!content.isEmpty()) {
            QVERIFY(FileSystem::writeAll(database, content, &error));
        }

        QVERIFY(!h.load());
        QCOMPARE(h.messages.shown.size(), 1);
        const QString text = h.messages.shown[0].text;
        QVERIFY2(text.contains(QStringLiteral("Sam.mdb")) && text.contains(reason), qPrintable(text));
        QVERIFY(!h.form->CodesTable);
    }

    void databaseNameMatchesWithoutRegardToCase()
    {
        MainWindowHarness h;
        QVERIFY(QFile::rename(h.folder.file(QStringLiteral("Sam.mdb")), h.folder.file(QStringLiteral("SAM.MDB"))));
        QVERIFY(h.load());
        QCOMPARE(h.c[u"Label12"].text(), QStringLiteral("Correct"));
    }

    void closeHelpAndAbout()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        QSignalSpy ended(h.form.get(), &FrmCompare::endRequested);
        h.c[u"cmdClose"].click();
        QCOMPARE(ended.size(), 1);

        h.launcher.succeeds = false;
        h.c[u"Command6"].click();
        QCOMPARE(h.messages.shown.size(), 1);
        QVERIFY(h.messages.shown[0].text.contains(QStringLiteral("help.txt")));
    }

    // A control the handlers name but the window lacks stops them from being
    // made at all, rather than throwing later from inside a handler.
    void missingControlFailsWhenTheHandlersAreMade()
    {
        ControlSurface lacking;
        for (const ControlSpec& row : mainWindowLayout().controls) {
            if (row.name != u"Label6")
                lacking.add(row.name);
        }
        RecordingMessageBoxes messages;
        RecordingLauncher launcher;
        QVERIFY_THROWS_EXCEPTION(std::logic_error, FrmCompare(lacking, QStringLiteral("/opt/kestrix"), messages, launcher));
    }

    // Help opens the working folder's help.txt, else the program folder's.
    void helpFileWorkingFolderFirst_data()
    {
        QTest::addColumn<bool>("inWorkingFolder");
        QTest::newRow("in the working folder") << true;
        QTest::newRow("only beside the program") << false;
    }

    void helpFileWorkingFolderFirst()
    {
        QFETCH(bool, inWorkingFolder);
        MainWindowHarness h;
        QVERIFY(h.load());
        QTemporaryDir working;
        const QString here = working.filePath(QStringLiteral("help.txt"));
        QString error;
        if (inWorkingFolder)
            QVERIFY(FileSystem::writeAll(here, "local help\r\n", &error));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(working.path()));
        h.c[u"Command6"].click();
        QDir::setCurrent(before);
        QCOMPARE(h.launcher.opened, QStringList{inWorkingFolder ? QDir(working.path()).absoluteFilePath(QStringLiteral("help.txt"))
                                                                : h.folder.file(QStringLiteral("help.txt"))});
        QCOMPARE(h.messages.shown.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
