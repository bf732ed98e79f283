#include "OpenReferenceStore.h"
#include "SqliteDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// Reference stores built here with other column names than the builder uses:
// the index, not the column name, must select the key column.
class TestSqliteStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("Sam.mdb"));
        SqliteDatabase db;
        QString error;
        QVERIFY(db.open(m_path, SqliteDatabase::Mode::ReadWriteCreate, &error));
        QVERIFY2(db.execute(QStringLiteral("CREATE TABLE Codes (Zeta TEXT, Alpha TEXT, Nocase TEXT COLLATE NOCASE, A TEXT, B TEXT, Num NUMERIC);"
                                           "CREATE INDEX Car3 ON Codes (Zeta);"
                                           "CREATE INDEX Car1 ON Codes (Alpha);"
                                           "CREATE INDEX Car5 ON Codes (Nocase);"
                                           "CREATE INDEX Car6 ON Codes (A, B);"
                                           "CREATE INDEX Car4 ON Codes (Num);"
                                           "INSERT INTO Codes (Zeta, Alpha) VALUES ('Torque=412.5', 'Mass=1200');"
                                           "INSERT INTO Codes (Zeta) VALUES ('  padded  ');"
                                           "INSERT INTO Codes (Zeta) VALUES ('');"
                                           "INSERT INTO Codes (Zeta) VALUES (CAST(X'4E80FF22' AS TEXT));"),
                            &error),
                 qPrintable(error));
        QVERIFY(QFile(m_dir.filePath(QStringLiteral("other.db"))).open(QIODevice::WriteOnly));
    }

    void lookups_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("found");
        QTest::newRow("genuine") << "Car3" << QByteArray("Torque=412.5") << true;
        QTest::newRow("other case") << "Car3" << QByteArray("torque=412.5") << false;
        QTest::newRow("under another car") << "Car1" << QByteArray("Torque=412.5") << false;
        QTest::newRow("other car's line") << "Car1" << QByteArray("Mass=1200") << true;
        QTest::newRow("blanks kept") << "Car3" << QByteArray("  padded  ") << true;
        QTest::newRow("blanks trimmed") << "Car3" << QByteArray("padded") << false;
        QTest::newRow("empty key") << "Car3" << QByteArray() << true;
        QTest::newRow("empty under car1") << "Car1" << QByteArray() << false;
        QTest::newRow("high bytes") << "Car3" << QByteArray("N\x80\xff\"") << true;
        QTest::newRow("trailing nul") << "Car3" << QByteArray("Torque=412.5\0", 13) << false;
    }

    void lookups()
    {
        QFETCH(QString, index);
        QFETCH(QByteArray, line);
        QFETCH(bool, found);
        QString error;
        auto store = openReferenceStore(m_path, &error);
        QVERIFY2(store, qPrintable(error));
        QVERIFY2(store->setIndex(index, &error), qPrintable(error));
        QVERIFY2(store->seek(line, &error), qPrintable(error));
        QCOMPARE(!store->noMatch(), found);

        // Enough seeks make the store read the index's keys once; the answers stay the same.
        for (qint64 i = 0; i <= QFileInfo(m_path).size() / 64; ++i)
            QVERIFY(store->seek("warm-up", &error));
        QVERIFY(store->seek(line, &error));
        QCOMPARE(!store->noMatch(), found);
    }

    void unusableIndexes_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "Car2" << "no index \"Car2\"";
        QTest::newRow("other case of a name") << "car3" << "no index \"car3\"";
        QTest::newRow("two columns") << "Car6" << "exactly one key column";
        QTest::newRow("not byte for byte") << "Car5" << "byte for byte";
        QTest::newRow("numeric column") << "Car4" << "byte for byte";
    }

    void unusableIndexes()
    {
        QFETCH(QString, index);
        QFETCH(QString, reason);
        QString error;
        auto store = openReferenceStore(m_path, &error);
        QVERIFY(store);
        QVERIFY(!store->setIndex(index, &error));
        QVERIFY2(error.contains(reason) && error.contains(QStringLiteral("Sam.mdb")), qPrintable(error));
    }

    void unusableFiles()
    {
        QString error;
        QVERIFY(!openReferenceStore(m_dir.filePath(QStringLiteral("missing.mdb")), &error));
        QVERIFY2(error.contains(QStringLiteral("missing.mdb")), qPrintable(error));

        QVERIFY(!openReferenceStore(m_dir.filePath(QStringLiteral("other.db")), &error));
        QVERIFY2(error.contains(QStringLiteral("other.db")) && error.contains(QStringLiteral("not a reference database")),
                 qPrintable(error));

        const QString noCodes = m_dir.filePath(QStringLiteral("nocodes.mdb"));
        {
            SqliteDatabase db;
            QVERIFY(db.open(noCodes, SqliteDatabase::Mode::ReadWriteCreate, &error));
            QVERIFY(db.execute(QStringLiteral("CREATE TABLE Other (x);"), &error));
        }
        QVERIFY(!openReferenceStore(noCodes, &error));
        QVERIFY2(error.contains(QStringLiteral("no table \"Codes\"")), qPrintable(error));
    }

    void openingLeavesTheFileUntouched()
    {
        const QDateTime before = QFileInfo(m_path).lastModified();
        const qint64 size = QFileInfo(m_path).size();
        QString error;
        auto store = openReferenceStore(m_path, &error);
        QVERIFY(store && store->setIndex(QStringLiteral("Car3"), &error) && store->seek("x", &error));
        store.reset();
        QCOMPARE(QFileInfo(m_path).lastModified(), before);
        QCOMPARE(QFileInfo(m_path).size(), size);
    }

    // Opening again closes what was open: no handle is left behind.
    void openingTwiceKeepsOneHandle()
    {
        const auto handlesOnTheFile = [this] {
            int count = 0;
            const QString target = QFileInfo(m_path).canonicalFilePath();
            for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
                count += fd.symLinkTarget() == target ? 1 : 0;
            return count;
        };
        SqliteDatabase db;
        QString error;
        QVERIFY(db.open(m_path, SqliteDatabase::Mode::ReadOnly, &error));
        QVERIFY(db.execute(QStringLiteral("SELECT count(*) FROM Codes"), &error));
        QVERIFY(db.open(m_path, SqliteDatabase::Mode::ReadOnly, &error));
        QVERIFY(db.execute(QStringLiteral("SELECT count(*) FROM Codes"), &error));
        QCOMPARE(handlesOnTheFile(), 1);
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestSqliteStore)
#include "test_sqlite_store.moc"
