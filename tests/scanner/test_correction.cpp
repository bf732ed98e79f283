#include "Privileges.h"
#include "ScanFixtures.h"
#include "SmallDisk.h"

#include <QFile>

class TestCorrection : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_h = std::make_unique<MainWindowHarness>();
        // A game folder of its own for every case, whatever the one before did to it.
        m_game = std::make_unique<QTemporaryDir>();
        QVERIFY(m_h->load());
        QVERIFY(QDir(m_game->path()).mkpath(QStringLiteral("Brackwell")));
        QVERIFY(QDir(m_game->path()).mkpath(QStringLiteral("DunMarr")));
        m_local = m_game->path() + QStringLiteral("/Brackwell/BrackwellDescriptor.txt");
        QString error;
        QVERIFY(FileSystem::writeAll(m_local, "Local tweak=1\r\n", &error));
        m_h->c[u"dirList"].setText(m_game->path());
        scanRemote(*m_h, "Remote tweak=1\r\n");
        QCOMPARE(m_h->c[u"Text1"].text(), QStringLiteral("1"));
        m_h->messages.shown.clear();
    }

    void noOptionChosen()
    {
        MainWindowHarness& h = *m_h;
        h.c[u"Command8"].click();
        QCOMPARE(h.messages.texts(),
                 QStringList{QStringLiteral("You must select Local or Remote option before correcting a Car Descriptor.")});
        for (const char16_t* name : {u"Command8", u"Option1", u"Option2"})
            QVERIFY(h.c[name].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2415);
        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("BrackwellDescriptor.txt"))), QByteArray("Remote tweak=1\r\n"));
        QCOMPARE(fileBytes(m_local), QByteArray("Local tweak=1\r\n"));
    }

    void remoteOrLocal_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::newRow("remote") << true;
        QTest::newRow("local") << false;
    }

    void remoteOrLocal()
    {
        QFETCH(bool, remote);
        MainWindowHarness& h = *m_h;
        h.c[remote ? u"Option2" : u"Option1"].setValue(1);
        h.c[u"Command8"].click();

        const QByteArray genuine = genuineDescriptor(QStringLiteral("Brackwell"));
        const QString received = h.folder.file(QStringLiteral("BrackwellDescriptor.txt"));
        QCOMPARE(fileBytes(received), remote ? genuine : QByteArray("Remote tweak=1\r\n"));
        QCOMPARE(fileBytes(m_local), remote ? QByteArray("Local tweak=1\r\n") : genuine);
        QCOMPARE(h.messages.shown.size(), 0);
        for (const char16_t* name : {u"Command8", u"Option1", u"Option2"})
            QVERIFY(!h.c[name].isVisible());
        QCOMPARE(h.c[u"report"].height(), 2775);
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("1"));
        QVERIFY(!h.c[u"cmdCompare"].isEnabled());

        // A reset and a new scan of the corrected copy find nothing.
        h.c[u"Command5"].click();
        h.c[u"Check1"].setValue(remote ? 0 : 1);
        h.c[u"cmdCompare"].click();
        QCOMPARE(h.c[u"Text1"].text(), QStringLiteral("0"));
        QCOMPARE(h.messages.texts().last(), ScanTexts::NoTweaks);
    }

    // DunMarr's received copy is named "Dunmarr…", the correction writes
    // "DunMarr…": one file either way, never a second one beside it.
    void remoteCorrectionReachesTheReceivedFileWhateverItsCase()
    {
        MainWindowHarness& h = *m_h;
        h.c[u"CarList"].select(QStringLiteral("DunMarr"));
        QString error;
        QVERIFY(FileSystem::writeAll(h.folder.path() + h.c[u"Label5"].text(), "Tweak=1\r\n", &error));
        h.c[u"Option2"].setValue(1);
        h.c[u"Command8"].click();

        QCOMPARE(fileBytes(h.folder.file(QStringLiteral("DunmarrDescriptor.txt"))), genuineDescriptor(QStringLiteral("DunMarr")));
        QVERIFY(!QFile::exists(h.folder.file(QStringLiteral("DunMarrDescriptor.txt"))));
    }

    void anotherCarSelectedWritesThatCarsText()
    {
        MainWindowHarness& h = *m_h;
        h.c[u"CarList"].select(QStringLiteral("DunMarr"));
        QVERIFY(h.c[u"Command8"].isVisible());
        h.c[u"Option1"].setValue(1);
        h.c[u"Command8"].click();
        QCOMPARE(fileBytes(m_game->path() + QStringLiteral("/DunMarr/DunMarrDescriptor.txt")),
                 genuineDescriptor(QStringLiteral("DunMarr")));
        QCOMPARE(fileBytes(m_local), QByteArray("Local tweak=1\r\n"));
    }

    void failuresKeepTheRow_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("named");
        QTest::newRow("target's folder missing") << "target" << "BrackwellDescriptor.txt";
        QTest::newRow("target read-only") << "read-only" << "BrackwellDescriptor.txt";
        QTest::newRow("reference file not loaded") << "dat" << "Grelm";
    }

    void failuresKeepTheRow()
    {
        QFETCH(QString, fault);
        QFETCH(QString, named);
        MainWindowHarness& h = *m_h;
        if (fault == u"target") {
            h.c[u"dirList"].setText(m_game->path() + QStringLiteral("/NoSuchFolder"));
        } else if (fault == u"read-only") {
            if (runsAsRoot())
                QSKIP(RootIgnoresPermissions);
            QVERIFY(QFile::setPermissions(m_local, QFileDevice::ReadOwner));
        } else {
            QVERIFY(QFile::remove(h.folder.file(QStringLiteral("Grelm.dat"))));
            h.c[u"CarList"].select(QStringLiteral("Grelm"));
            h.messages.shown.clear();
        }
        h.c[u"Option1"].setValue(1);
        h.c[u"Command8"].click();
        QCOMPARE(h.messages.shown.size(), 1);
        QVERIFY2(h.messages.shown[0].text.contains(named), qPrintable(h.messages.shown[0].text));
        for (const char16_t* name : {u"Command8", u"Option1", u"Option2"})
            QVERIFY(h.c[name].isVisible());
        QVERIFY(!QFile::exists(m_game->path() + QStringLiteral("/Grelm/Grelmdescriptor.txt")));
        QCOMPARE(fileBytes(m_local), QByteArray("Local tweak=1\r\n"));
    }

    // The genuine text goes to a file beside the descriptor first: a full
    // disk leaves the tweaked descriptor as it was, never an empty one.
    void fullDiskLeavesTheDescriptor()
    {
        SmallDisk disk;
        if (!disk.isMounted())
            QSKIP(SmallDisk::NeedsRoot);
        MainWindowHarness& h = *m_h;
        QVERIFY(QDir(disk.path()).mkpath(QStringLiteral("Brackwell")));
        const QString local = disk.file(QStringLiteral("Brackwell/BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(local, "Local tweak=1\r\n", &error));
        h.c[u"dirList"].setText(disk.path());
        QVERIFY(disk.fill());
        h.c[u"Option1"].setValue(1);
        h.c[u"Command8"].click();

        QCOMPARE(h.messages.shown.size(), 1);
        const QString text = h.messages.shown[0].text;
        QVERIFY2(text.contains(QStringLiteral("BrackwellDescriptor.txt")) && text.contains(QStringLiteral("No space")),
                 qPrintable(text));
        QCOMPARE(fileBytes(local), QByteArray("Local tweak=1\r\n"));
        QVERIFY(h.c[u"Command8"].isVisible());
    }

private:
    std::unique_ptr<MainWindowHarness> m_h;
    std::unique_ptr<QTemporaryDir> m_game;
    QString m_local;
};

QTEST_GUILESS_MAIN(TestCorrection)
#include "test_correction.moc"
