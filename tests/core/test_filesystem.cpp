#include "CarCatalogue.h"
#include "FileSystem.h"
#include "LocalZone.h"
#include "Privileges.h"
#include "SmallDisk.h"
#include "TemporaryFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFileSystem : public QObject
{
    Q_OBJECT

private slots:
    // Every case starts in a folder of its own, whatever the one before did to its files.
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QTemporaryDir& m_dir = *m_folder;
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Cars/DunMarr")));
        QString error;
        QVERIFY(FileSystem::writeAll(m_dir.path() + QStringLiteral("/Cars/DunMarr/DunMarrDescriptor.txt"), "x", &error));
        for (const char* name : {"/Exact.txt", "/exact.txt"}) {
            QFile file(m_dir.path() + QString::fromLatin1(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Sample.txt")));
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("backslashes") << "\\Cars\\DunMarr\\DunMarrDescriptor.txt" << "/Cars/DunMarr/DunMarrDescriptor.txt";
        QTest::newRow("other case") << "/cars/dunmarr/DunmarrDescriptor.TXT" << "/Cars/DunMarr/DunMarrDescriptor.txt";
        QTest::newRow("doubled separators") << "//Cars\\\\DunMarr/\\DunMarrDescriptor.txt"
                                            << "/Cars/DunMarr/DunMarrDescriptor.txt";
        QTest::newRow("exact match wins") << "/exact.txt" << "/exact.txt";
        QTest::newRow("exact match wins upper") << "/Exact.txt" << "/Exact.txt";
        QTest::newRow("new file keeps spelling") << "\\Cars\\NewFile.TXT" << "/Cars/NewFile.TXT";
        QTest::newRow("missing folder keeps spelling") << "/CARS/Nowhere/A.txt" << "/Cars/Nowhere/A.txt";
    }

    void resolve()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        QCOMPARE(FileSystem::resolve(m_folder->path() + given), m_folder->path() + expected);
    }

    void driveRootKeepsOneSeparator()
    {
        QCOMPARE(FileSystem::resolve(QStringLiteral("/\\tmp")), QStringLiteral("/tmp"));
        QCOMPARE(FileSystem::resolve(QStringLiteral("/")), QStringLiteral("/"));
    }

    void ordinaryFilesOnly()
    {
        QVERIFY(FileSystem::isOrdinaryFile(m_folder->path() + QStringLiteral("\\CARS\\dunmarr\\DUNMARRDESCRIPTOR.TXT")));
        QVERIFY(!FileSystem::isOrdinaryFile(m_folder->path() + QStringLiteral("/Sample.txt")));
        QVERIFY(!FileSystem::isOrdinaryFile(m_folder->path() + QStringLiteral("/Missing.txt")));
    }

    void readOnlyFileCountsAsPresent()
    {
        const QString path = m_folder->path() + QStringLiteral("/Exact.txt");
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        QVERIFY(FileSystem::isOrdinaryFile(path));
    }

    void lengthAndDateText()
    {
        const QString path = m_folder->path() + QStringLiteral("/Dated.dat");
        QString error;
        QVERIFY(FileSystem::writeAll(path, QByteArray(4675, 'a'), &error));
        const QDateTime genuine = FileSystem::fromDateTimeText(QStringLiteral("18/08/2002 12:11:20"));
        QVERIFY(genuine.isValid());
        QVERIFY(FileSystem::setModified(path, genuine, &error));
        QCOMPARE(FileSystem::length(path), std::optional<qint64>(4675));
        QCOMPARE(FileSystem::dateTimeText(*FileSystem::modified(path)), QStringLiteral("18/08/2002 12:11:20"));
        QVERIFY(!FileSystem::length(m_folder->path() + QStringLiteral("/Missing.dat")));
    }

    void referenceDateInAnyZone_data() { addReferenceZoneRows(); }

    void referenceDateInAnyZone()
    {
        QFETCH(QByteArray, stampedIn);
        QFETCH(QByteArray, readIn);
        QFETCH(bool, matches);
        if (!LocalZone::isKnown(stampedIn) || !LocalZone::isKnown(readIn))
            QSKIP("this system has no data for the zones");
        const QString path = dir().filePath(QStringLiteral("Dated.dat"));
        QString error;
        QVERIFY(FileSystem::writeAll(path, "x", &error));
        // Summer and winter dates both, since the zones shift by the season.
        QStringList dates{CarCatalogue::DatabaseTime};
        for (const Car& car : CarCatalogue::cars())
            dates << car.referenceTime;
        for (const QString& date : dates) {
            {
                LocalZone zone(stampedIn);
                QVERIFY(FileSystem::setModified(path, FileSystem::fromDateTimeText(date), &error));
            }
            LocalZone zone(readIn);
            const QDateTime modified = *FileSystem::modified(path);
            QVERIFY2(FileSystem::dateMatches(modified, date) == matches,
                     qPrintable(date + QStringLiteral(" read as ") + FileSystem::dateTimeText(modified)));
        }
    }

    void writeReplacesWholeAndAppendAdds()
    {
        const QString path = m_folder->path() + QStringLiteral("/log.txt");
        QString error;
        QVERIFY(FileSystem::writeAll(path, "a long first content", &error));
        QVERIFY(FileSystem::writeAll(path, "short", &error));
        QVERIFY(FileSystem::append(path, QByteArrayView("\r\n\0\xff", 4), &error));
        QByteArray bytes;
        QVERIFY(FileSystem::readAll(path, &bytes, &error));
        QCOMPARE(bytes, QByteArray("short\r\n\0\xff", 9));
    }

    void failuresNameTheFile()
    {
        QString error;
        QByteArray bytes;
        QVERIFY(!FileSystem::readAll(m_folder->path() + QStringLiteral("/Missing.txt"), &bytes, &error));
        QVERIFY2(error.contains(QStringLiteral("Missing.txt")), qPrintable(error));
        QVERIFY(!FileSystem::readAll(m_folder->path() + QStringLiteral("/Sample.txt"), &bytes, &error));
        QVERIFY2(error.contains(QStringLiteral("folder")), qPrintable(error));
        QVERIFY(!FileSystem::writeAll(m_folder->path() + QStringLiteral("/No/Such/Folder/x.txt"), "x", &error));
        QVERIFY2(error.contains(QStringLiteral("x.txt")), qPrintable(error));
    }

    // Opening never waits on a FIFO and never follows a link put in a file's place.
    void refusesWhatIsNoOrdinaryFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo" << "not an ordinary file";
        QTest::newRow("symbolic link") << "link" << "symbolic link";
        QTest::newRow("folder") << "folder" << "folder";
    }

    void refusesWhatIsNoOrdinaryFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = dir().filePath(QStringLiteral("Brackwell.dat"));
        const QString target = dir().filePath(QStringLiteral("elsewhere.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(target, "keep", &error));
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == u"link")
            QVERIFY(QFile::link(target, path));
        else
            QVERIFY(QDir(dir().path()).mkdir(QStringLiteral("Brackwell.dat")));

        QByteArray bytes;
        QVERIFY(!FileSystem::readAll(path, &bytes, &error));
        QVERIFY2(error.contains(QStringLiteral("Brackwell.dat")) && error.contains(reason), qPrintable(error));
        error.clear();
        QVERIFY(!FileSystem::append(path, "x", &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QFile file;
        QVERIFY(!FileSystem::openOrdinary(path, QIODevice::ReadWrite, &file, &error));
        QCOMPARE(contentOf(target), QByteArray("keep"));
    }

    // A replacement is written beside the file and renamed over it; when it
    // cannot be written whole, the file keeps its old content.
    void failedWriteLeavesTheFile()
    {
        SmallDisk disk;
        if (!disk.isMounted())
            QSKIP(SmallDisk::NeedsRoot);
        const QString path = disk.file(QStringLiteral("BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(path, "tweaked", &error));
        QVERIFY(disk.fill());
        QVERIFY(!FileSystem::writeAll(path, QByteArray(8192, 'g'), &error));
        QVERIFY2(error.contains(QStringLiteral("BrackwellDescriptor.txt")), qPrintable(error));
        QCOMPARE(contentOf(path), QByteArray("tweaked"));
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary file left
    }

    void writeIntoAReadOnlyFolderLeavesTheFile()
    {
        if (runsAsRoot())
            QSKIP(RootIgnoresPermissions);
        QVERIFY(QDir(dir().path()).mkdir(QStringLiteral("locked")));
        const QString path = dir().filePath(QStringLiteral("locked/a.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(path, "old", &error));
        QVERIFY(QFile::setPermissions(dir().filePath(QStringLiteral("locked")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QVERIFY(!FileSystem::writeAll(path, "new", &error));
        QVERIFY2(error.contains(QStringLiteral("a.txt")), qPrintable(error));
        QCOMPARE(contentOf(path), QByteArray("old"));
        QFile::setPermissions(dir().filePath(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                           | QFileDevice::ExeOwner);
    }

    void temporaryFileTakesItsNameOnlyWhenMoved()
    {
        const QString target = dir().filePath(QStringLiteral("Sam.mdb"));
        QString error;
        QVERIFY(FileSystem::writeAll(target, "good", &error));
        {
            TemporaryFile file;
            QVERIFY(file.create(dir().path(), QStringLiteral("Sam.mdb"), &error));
            QVERIFY(file.write("half", &error));
        } // dropped unmoved: gone, the good file stays
        QCOMPARE(contentOf(target), QByteArray("good"));
        QCOMPARE(QDir(dir().path()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden).size(), 0);

        TemporaryFile file;
        QVERIFY(file.create(dir().path(), QStringLiteral("Sam.mdb"), &error));
        QVERIFY(file.write("new", &error));
        QVERIFY(!file.moveTo(target, TemporaryFile::Existing::Keep, &error));
        QCOMPARE(contentOf(target), QByteArray("good"));
        QVERIFY(file.moveTo(target, TemporaryFile::Existing::Replace, &error));
        QCOMPARE(contentOf(target), QByteArray("new"));
    }

    // Made in an open folder, the file is named and dropped there, even
    // once the folder's path leads somewhere else through a link.
    void temporaryFileStaysInItsFolder()
    {
        const QByteArray mine = QFile::encodeName(dir().filePath(QStringLiteral("mine")));
        const QByteArray elsewhere = QFile::encodeName(dir().filePath(QStringLiteral("elsewhere")));
        QVERIFY(::mkdir(mine.constData(), 0700) == 0 && ::mkdir(elsewhere.constData(), 0700) == 0);
        const int folder = ::open(mine.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(folder >= 0);
        QString error;
        TemporaryFile kept;
        TemporaryFile dropped;
        QVERIFY(kept.createIn(folder, "Grelmdescriptor.txt", 0600, &error));
        QVERIFY(dropped.createIn(folder, "Grelmdescriptor.txt", 0600, &error));
        ::close(folder);
        QVERIFY(kept.write("genuine", &error) && kept.sync(&error));
        QVERIFY(::rename(mine.constData(), (mine + ".moved").constData()) == 0);
        QVERIFY(::symlink(elsewhere.constData(), mine.constData()) == 0);

        QVERIFY2(kept.rename("Grelmdescriptor.txt", TemporaryFile::Existing::Keep, &error), qPrintable(error));
        dropped.discard();
        QCOMPARE(contentOf(QFile::decodeName(mine + ".moved/Grelmdescriptor.txt")), QByteArray("genuine"));
        QCOMPARE(QDir(QFile::decodeName(mine + ".moved")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("Grelmdescriptor.txt")});
        QCOMPARE(QDir(QFile::decodeName(elsewhere)).entryList(QDir::Files | QDir::Hidden), QStringList());
        // A name taken stays with Keep, and says so.
        TemporaryFile again;
        const int moved = ::open((mine + ".moved").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(again.createIn(moved, "Grelmdescriptor.txt", 0600, &error));
        ::close(moved);
        const bool refused = !again.rename("Grelmdescriptor.txt", TemporaryFile::Existing::Keep, &error);
        const int failure = errno;
        QVERIFY(refused);
        QCOMPARE(failure, EEXIST);
    }

    // A record that does not fit leaves no half of itself for the next
    // record to run on from.
    void appendThatDoesNotFitLeavesNoHalfRecord()
    {
        SmallDisk disk;
        if (!disk.isMounted())
            QSKIP(SmallDisk::NeedsRoot);
        const QString log = disk.file(QStringLiteral("verdicts.jsonl"));
        QString error;
        QVERIFY(FileSystem::append(log, "{\"first\":1}\n", &error));
        QVERIFY(disk.fill());
        QVERIFY(!FileSystem::append(log, QByteArray(100000, 'x') + '\n', &error));
        QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
        QCOMPARE(contentOf(log), QByteArray("{\"first\":1}\n"));
    }

    void fullDiskGivesTheSystemsReason()
    {
        SmallDisk disk;
        if (!disk.isMounted())
            QSKIP(SmallDisk::NeedsRoot);
        QVERIFY(disk.fill());
        TemporaryFile file;
        QString error;
        QVERIFY(file.create(disk.path(), QStringLiteral("x.bin"), &error));
        QVERIFY(!file.write(QByteArray(100000, 'x'), &error));
        QVERIFY2(error.contains(QStringLiteral("x.bin")) && error.contains(QStringLiteral("No space left on device")),
                 qPrintable(error));
    }

private:
    QDir dir() const { return QDir(m_folder->path()); }

    std::unique_ptr<QTemporaryDir> m_folder;
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "test_filesystem.moc"
