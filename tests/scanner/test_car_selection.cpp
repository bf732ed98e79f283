#include "CarCatalogue.h"
#include "FileSystem.h"
#include "MainWindowHarness.h"

#include <QDir>
#include <QFile>

namespace {

const QString InvalidDat = QStringLiteral(
    "System DAT file(s) are invalid! Scanning will be disabled until you obtain a valid DAT file-set");

bool scanningEnabled(const ControlSurface& c)
{
    return c[u"Command1"].isEnabled() && c[u"cmdCompare"].isEnabled() && c[u"Command5"].isEnabled();
}

bool scanningDisabled(const ControlSurface& c)
{
    return !c[u"Command1"].isEnabled() && !c[u"cmdCompare"].isEnabled() && !c[u"Command5"].isEnabled();
}

} // namespace

class TestCarSelection : public QObject
{
    Q_OBJECT

private slots:
    void everyGenuineCarReadsCorrect()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        h.c[u"dirList"].setText(QStringLiteral("/games/Vortrax/Cars"));
        for (const Car& car : CarCatalogue::cars()) {
            h.c[u"CarList"].select(car.listEntry);
            QCOMPARE(h.c[u"Label4"].text(), car.indexName);
            QCOMPARE(h.c[u"Label5"].text(), car.receivedName);
            QCOMPARE(h.c[u"Label6"].text(), QStringLiteral("/games/Vortrax/Cars") + car.descriptorPath);
            QCOMPARE(h.c[u"Label19"].text(), car.referenceSize);
            QCOMPARE(h.c[u"Label14"].text(), car.referenceTime);
            QCOMPARE(h.c[u"Label15"].text(), QStringLiteral("Correct"));
            QByteArray genuine;
            QString error;
            QVERIFY(FileSystem::readAll(TestProgramFolder::dataFile(QStringLiteral("genuine/") + car.listEntry
                                                                     + QStringLiteral(".dat")),
                                        &genuine, &error));
            QCOMPARE(*h.form->fixfile(), genuine);
        }
        QCOMPARE(h.messages.shown.size(), 0);
        QVERIFY(scanningEnabled(h.c));
    }

    void catalogueNamesAsTheGameSpellsThem()
    {
        const auto& cars = CarCatalogue::cars();
        QCOMPARE(cars[1].receivedName, QStringLiteral("/DunmarrDescriptor.txt"));
        QCOMPARE(cars[1].descriptorPath, QStringLiteral("\\DunMarr\\DunMarrDescriptor.txt"));
        QCOMPARE(cars[3].descriptorPath, QStringLiteral("\\Grelm\\Grelmdescriptor.txt"));
        QCOMPARE(cars[5].receivedName, QStringLiteral("/OldGristdescriptor.txt"));
    }

    // One byte more, one second later, or another car's genuine file.
    void invalidReferenceFileDisablesScanningForTheRun_data()
    {
        QTest::addColumn<QString>("car");
        QTest::addColumn<QString>("change");
        QTest::newRow("one byte longer") << "DunMarr" << "longer";
        QTest::newRow("one second later") << "Skelder4" << "later";
        QTest::newRow("another car's file") << "Grelm" << "other";
        QTest::newRow("missing") << "OldGrist" << "missing";
        QTest::newRow("a folder") << "Puddlewick" << "folder";
    }

    void invalidReferenceFileDisablesScanningForTheRun()
    {
        QFETCH(QString, car);
        QFETCH(QString, change);
        MainWindowHarness h;
        QVERIFY(h.load());
        const QString dat = h.folder.file(car + QStringLiteral(".dat"));
        const Car* entry = nullptr;
        for (const Car& each : CarCatalogue::cars())
            entry = each.listEntry == car ? &each : entry;
        QString error;
        if (change == u"longer") {
            QVERIFY(FileSystem::append(dat, "x", &error));
            QVERIFY(FileSystem::setModified(dat, FileSystem::fromDateTimeText(entry->referenceTime), &error));
        } else if (change == u"later") {
            QVERIFY(FileSystem::setModified(dat, FileSystem::fromDateTimeText(entry->referenceTime).addSecs(1), &error));
        } else if (change == u"other") {
            // Brackwell's genuine file, stamped as Brackwell's, under Grelm's name.
            QVERIFY(QFile::remove(dat));
            QVERIFY(QFile::copy(h.folder.file(QStringLiteral("Brackwell.dat")), dat));
            QVERIFY(FileSystem::setModified(dat, FileSystem::fromDateTimeText(CarCatalogue::cars()[0].referenceTime), &error));
        } else {
            QVERIFY(QFile::remove(dat));
            if (change == u"folder")
                QVERIFY(QDir(h.folder.path()).mkdir(car + QStringLiteral(".dat")));
        }

        bool disabledOnlyAfterTheMessage = false;
        h.messages.onShow = [&](const RecordingMessageBoxes::Shown& box) {
            if (box.text == InvalidDat)
                disabledOnlyAfterTheMessage = scanningEnabled(h.c) && h.c[u"Label15"].text() == u"Incorrect";
        };
        h.c[u"CarList"].select(car);
        QCOMPARE(h.c[u"Label15"].text(), QStringLiteral("Incorrect"));
        QCOMPARE(h.messages.texts().last(), InvalidDat);
        QVERIFY(disabledOnlyAfterTheMessage);
        QVERIFY(scanningDisabled(h.c));
        if (change == u"missing" || change == u"folder") {
            QCOMPARE(h.messages.shown.size(), 2);
            QVERIFY2(h.messages.shown[0].text.contains(car + QStringLiteral(".dat")), qPrintable(h.messages.shown[0].text));
            QVERIFY(!h.form->fixfile());
        } else {
            QCOMPARE(h.messages.shown.size(), 1);
        }

        // A later genuine car reads "Correct" but enables nothing; a wrong one warns again.
        h.c[u"CarList"].select(QStringLiteral("Brackwell"));
        QCOMPARE(h.c[u"Label15"].text(), QStringLiteral("Correct"));
        QVERIFY(scanningDisabled(h.c));
        const qsizetype shown = h.messages.shown.size();
        h.c[u"CarList"].select(car);
        QCOMPARE(h.messages.texts().last(), InvalidDat);
        QVERIFY(h.messages.shown.size() > shown);
    }

    void folderChangeRewritesOnlyTheLocalPath()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        h.c[u"CarList"].select(QStringLiteral("Grelm"));
        const QString checked = h.c[u"Label14"].text();
        QString error;
        QVERIFY(FileSystem::append(h.folder.file(QStringLiteral("Grelm.dat")), "x", &error));

        h.c[u"dirList"].setText(QStringLiteral("/"));
        QCOMPARE(h.c[u"Label6"].text(), QStringLiteral("/\\Grelm\\Grelmdescriptor.txt"));
        QCOMPARE(h.c[u"Label14"].text(), checked);
        QCOMPARE(h.c[u"Label15"].text(), QStringLiteral("Correct"));
        QCOMPARE(h.c[u"Label4"].text(), QStringLiteral("Car4"));
        QCOMPARE(h.messages.shown.size(), 0);
    }

    void driveChange()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        QTemporaryDir drive;
        const QString missing = drive.path() + QStringLiteral("/no-medium");
        h.c[u"drvList"].setItems({QStringLiteral("/"), drive.path(), missing});
        h.c[u"drvList"].setText(drive.path());
        QCOMPARE(h.c[u"dirList"].text(), drive.path());

        h.c[u"drvList"].setText(QStringLiteral("/"));
        QCOMPARE(h.c[u"dirList"].text(), QStringLiteral("/"));
        QCOMPARE(h.c[u"Label6"].text(), QStringLiteral("/\\Brackwell\\BrackwellDescriptor.txt"));

        h.c[u"drvList"].setText(drive.path());
        const QString cars = drive.path() + QStringLiteral("/Cars");
        QVERIFY(QDir().mkpath(cars));
        h.c[u"dirList"].setText(cars);
        h.c[u"drvList"].setText(missing);
        QCOMPARE(h.c[u"drvList"].text(), drive.path());
        QCOMPARE(h.c[u"dirList"].text(), cars);
        QCOMPARE(h.c[u"Label6"].text(), cars + QStringLiteral("\\Brackwell\\BrackwellDescriptor.txt"));
        QCOMPARE(h.messages.shown.size(), 0);
    }

    void setupPanelAndResultsView()
    {
        MainWindowHarness h;
        QVERIFY(h.load());
        const QStringList panel{QStringLiteral("drvList"), QStringLiteral("dirList"), QStringLiteral("Command4")};
        const QStringList row{QStringLiteral("Command8"), QStringLiteral("Option1"), QStringLiteral("Option2")};
        for (const QString& name : panel + row)
            QVERIFY(!h.c[name].isVisible());
        QVERIFY(h.c[u"report"].isVisible());
        QCOMPARE(h.c[u"Frame3"].text(), QStringLiteral("Results"));

        for (const QString& name : row)
            h.c[name].setVisible(true);
        h.c[u"report"].setHeight(2415);

        h.c[u"Command3"].click();
        for (const QString& name : panel)
            QVERIFY(h.c[name].isVisible());
        for (const QString& name : row)
            QVERIFY(!h.c[name].isVisible());
        QVERIFY(!h.c[u"report"].isVisible());
        QCOMPARE(h.c[u"Frame3"].text(), QStringLiteral("Setup"));

        h.c[u"Command4"].click();
        for (const QString& name : panel + row)
            QVERIFY(!h.c[name].isVisible());
        QVERIFY(h.c[u"report"].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2775);
        QCOMPARE(h.c[u"Frame3"].text(), QStringLiteral("Results"));
    }
};

QTEST_GUILESS_MAIN(TestCarSelection)
#include "test_car_selection.moc"
