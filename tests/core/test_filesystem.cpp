#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestFileSystem : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
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
        QCOMPARE(FileSystem::resolve(m_dir.path() + given), m_dir.path() + expected);
    }

    void driveRootKeepsOneSeparator()
    {
        QCOMPARE(FileSystem::resolve(QStringLiteral("/\\tmp")), QStringLiteral("/tmp"));
        QCOMPARE(FileSystem::resolve(QStringLiteral("/")), QStringLiteral("/"));
    }

    void ordinaryFilesOnly()
    {
        QVERIFY(FileSystem::isOrdinaryFile(m_dir.path() + QStringLiteral("\\CARS\\dunmarr\\DUNMARRDESCRIPTOR.TXT")));
        QVERIFY(!FileSystem::isOrdinaryFile(m_dir.path() + QStringLiteral("/Sample.txt")));
        QVERIFY(!FileSystem::isOrdinaryFile(m_dir.path() + QStringLiteral("/Missing.txt")));
    }

    void readOnlyFileCountsAsPresent()
    {
        const QString path = m_dir.path() + QStringLiteral("/Exact.txt");
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        QVERIFY(FileSystem::isOrdinaryFile(path));
    }

    void lengthAndDateText()
    {
        const QString path = m_dir.path() + QStringLiteral("/Dated.dat");
        QString error;
        QVERIFY(FileSystem::writeAll(path, QByteArray(4675, 'a'), &error));
        const QDateTime genuine = FileSystem::fromDateTimeText(QStringLiteral("18/08/2002 12:11:20"));
        QVERIFY(genuine.isValid());
        QVERIFY(FileSystem::setModified(path, genuine, &error));
        QCOMPARE(FileSystem::length(path), std::optional<qint64>(4675));
        QCOMPARE(FileSystem::dateTimeText(*FileSystem::modified(path)), QStringLiteral("18/08/2002 12:11:20"));
        QVERIFY(!FileSystem::length(m_dir.path() + QStringLiteral("/Missing.dat")));
    }

    void writeReplacesWholeAndAppendAdds()
    {
        const QString path = m_dir.path() + QStringLiteral("/log.txt");
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
        QVERIFY(!FileSystem::readAll(m_dir.path() + QStringLiteral("/Missing.txt"), &bytes, &error));
        QVERIFY2(error.contains(QStringLiteral("Missing.txt")), qPrintable(error));
        QVERIFY(!FileSystem::readAll(m_dir.path() + QStringLiteral("/Sample.txt"), &bytes, &error));
        QVERIFY2(error.contains(QStringLiteral("folder")), qPrintable(error));
        QVERIFY(!FileSystem::writeAll(m_dir.path() + QStringLiteral("/No/Such/Folder/x.txt"), "x", &error));
        QVERIFY2(error.contains(QStringLiteral("x.txt")), qPrintable(error));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestFileSystem)
#include "test_filesystem.moc"
