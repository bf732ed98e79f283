#include "JetConversion.h"
#include "JetReferenceStore.h"
#include "OpenReferenceStore.h"
#include "MainWindowHarness.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <unistd.h>

// The Access/Jet fixtures of tests/data/jet (see its README): two Jet 4 files
// with the table Codes, and Jet 3 and Access-written files whose own tables
// stand in where no Codes table can be written.
namespace {

QString fixture(const QString& name)
{
    return QStringLiteral(KESTRIX_SOURCE_DIR "/tests/data/jet/") + name;
}

QByteArray fixtureBytes(const QString& name)
{
    QFile file(fixture(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Lookup {
    const char* name;
    const char* index;
    QByteArray line;
    bool found;
};

// Every row of Codes, under its own index and under a wrong one. Windows-1252
// lines are given as the bytes a descriptor holds.
const QList<Lookup>& codesCases()
{
    static const QByteArray max255 = QByteArray(254, 'M') + 'Z';
    static const QList<Lookup> lookups = {
        {"ascii Car1", "Car1", "AAA111", true},
        {"ascii Car2", "Car2", "BBB222", true},
        {"ascii Car3", "Car3", "CCC333", true},
        {"ascii Car4", "Car4", "DDD444", true},
        {"ascii Car5", "Car5", "EEE555", true},
        {"ascii Car6", "Car6", "FFF666", true},
        {"ascii under Car2", "Car2", "AAA111", false},
        {"ascii under Car6", "Car6", "EEE555", false},
        {"lower case", "Car1", "aaa111", true},
        {"lower case Car2", "Car2", "bbb222", true},
        {"mixed case", "Car1", "Aaa111", false},
        {"lower case under Car3", "Car3", "bbb222", false},
        {"trailing blank", "Car1", "AAA111 ", true},
        {"two trailing blanks", "Car1", "AAA111  ", false},
        {"leading blank", "Car1", " AAA111", false},
        {"trailing blank under Car2", "Car2", "BBB222 ", false},
        {"cp1252 accents", "Car1", "Se\xF1or-\xE9", true},
        {"cp1252 accents as UTF-8", "Car1", "Se\xC3\xB1or-\xC3\xA9", false},
        {"cp1252 euro", "Car2", "\x80uro", true},
        {"cp1252 euro under Car1", "Car1", "\x80uro", false},
        {"cp1252 sharp s", "Car3", "Stra\xDF" "e", true},
        {"cp1252 sharp s as ss", "Car3", "Strasse", false},
        {"cyrillic as UTF-8", "Car1", "\xD0\x9C\xD0\xB8\xD1\x80", false},
        {"cyrillic as question marks", "Car1", "???", false},
        {"cyrillic as cp1251", "Car1", "\xCC\xE8\xF0", false},
        {"empty string is no key", "Car1", "", false},
        {"NULL is no key", "Car4", "", false},
        {"only in Car2", "Car2", "ONLY-IN-2", true},
        {"only in Car2 under Car1", "Car1", "ONLY-IN-2", false},
        {"255 characters", "Car1", max255, true},
        {"255 characters under Car2", "Car2", max255, false},
        {"one character short", "Car1", max255.left(254), false},
        {"one character more", "Car1", max255 + 'Z', false},
        {"deleted row", "Car1", "DELETED-KEY", false},
        {"label is no key", "Car1", "ascii", false},
    };
    return lookups;
}

const QStringList CodesFiles = {QStringLiteral("codes_jet4_v2000.mdb"), QStringLiteral("codes_jet4_v2003.mdb")};

} // namespace

class TestJetStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void codesLookups_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("index");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("found");
        for (const QString& file : CodesFiles) {
            for (const Lookup& lookup : codesCases()) {
                QTest::addRow("%s: %s", qPrintable(file), lookup.name)
                    << file << QString::fromLatin1(lookup.index) << lookup.line << lookup.found;
            }
            // Jet names ignore letter case.
            QTest::addRow("%s: index name in lower case", qPrintable(file))
                << file << QStringLiteral("car1") << QByteArray("AAA111") << true;
        }
    }

    void codesLookups()
    {
        QFETCH(QString, file);
        QFETCH(QString, index);
        QFETCH(QByteArray, line);
        QFETCH(bool, found);
        QString error;
        auto store = openReferenceStore(fixture(file), &error);
        QVERIFY2(store, qPrintable(error));
        QVERIFY2(store->setIndex(index, &error), qPrintable(error));
        QVERIFY2(store->seek(line, &error), qPrintable(error));
        QCOMPARE(!store->noMatch(), found);
    }

    // Jet 3 text is matched by its stored bytes (Windows-1252 here), not as
    // UTF-8; Access's own Jet 4 file names its indexes apart from its columns.
    void otherTablesThroughTheirOwnIndexes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("index");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("found");
        const QString v1997 = QStringLiteral("testV1997.mdb");
        const QString codes = QStringLiteral("testIndexCodesV1997.mdb");
        const QString users = QStringLiteral("fixedTextTestV2000.mdb");
        QTest::newRow("jet3 key") << v1997 << "Table1" << "B" << QByteArray("hijklmnop") << true;
        QTest::newRow("jet3 short key") << v1997 << "Table1" << "B" << QByteArray("b") << true;
        QTest::newRow("jet3 other column") << v1997 << "Table1" << "B" << QByteArray("abcdefg") << false;
        QTest::newRow("jet3 other case") << v1997 << "Table1" << "B" << QByteArray("HIJKLMNOP") << false;
        QTest::newRow("jet3 plain") << codes << "Table1" << "DataIndex" << QByteArray("AA") << true;
        QTest::newRow("jet3 control byte") << codes << "Table1" << "DataIndex" << QByteArray("AA\x01" "AA") << true;
        QTest::newRow("jet3 0xD4") << codes << "Table1" << "DataIndex" << QByteArray("AA\xD4" "AA") << true;
        QTest::newRow("jet3 0xD4 as UTF-8") << codes << "Table1" << "DataIndex" << QByteArray("AA\xC3\x94" "AA") << false;
        // Bytes Windows-1252 leaves undefined are kept as stored, never turned into "?".
        QTest::newRow("jet3 undefined 0x81") << codes << "Table1" << "DataIndex" << QByteArray("AA\x81" "AA") << true;
        QTest::newRow("jet3 stored question mark") << codes << "Table1" << "DataIndex" << QByteArray("AA?AA") << true;
        QTest::newRow("column named apart") << users << "users" << "Users2_1_idx" << QByteArray("admin") << true;
        QTest::newRow("column named apart, other column") << users << "users" << "Users2_1_idx" << QByteArray("Admin User") << false;
        QTest::newRow("column named apart, its own index") << users << "users" << "Users2_4_idx" << QByteArray("Admin User") << true;
    }

    void otherTablesThroughTheirOwnIndexes()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QString, index);
        QFETCH(QByteArray, line);
        QFETCH(bool, found);
        QString error;
        auto store = JetReferenceStore::open(fixture(file), table, &error);
        QVERIFY2(store, qPrintable(error));
        QVERIFY2(store->setIndex(index, &error), qPrintable(error));
        QVERIFY2(store->seek(line, &error), qPrintable(error));
        QCOMPARE(!store->noMatch(), found);
    }

    // Table14 holds "a" + byte + "a" for every byte value.
    void jet3HighBytesMatchAsThemselves()
    {
        QString error;
        auto store = JetReferenceStore::open(fixture(QStringLiteral("testIndexCodesV1997.mdb")), QStringLiteral("Table14"), &error);
        QVERIFY2(store, qPrintable(error));
        QVERIFY2(store->setIndex(QStringLiteral("DataIndex"), &error), qPrintable(error));
        for (int byte = 0x80; byte <= 0xFF; ++byte) {
            const QByteArray line = QByteArray("a") + char(byte) + 'a';
            QVERIFY(store->seek(line, &error));
            QVERIFY2(!store->noMatch(), qPrintable(QString::number(byte, 16)));
            const QByteArray utf8 = QByteArray("a") + QString(QChar(byte)).toUtf8() + 'a';
            QVERIFY(store->seek(utf8, &error));
            QVERIFY2(store->noMatch(), qPrintable(QString::number(byte, 16)));
        }
        QVERIFY(store->seek("a?a", &error));
        QVERIFY(!store->noMatch());
    }

    void unusableIndexes_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "Car7" << "table \"Codes\" has no index \"Car7\"";
        QTest::newRow("two key columns") << "LabelCode1" << "index \"LabelCode1\" must have exactly one key column";
        QTest::newRow("number column") << "PrimaryKey" << "index \"PrimaryKey\" is not on a text column";
    }

    void unusableIndexes()
    {
        QFETCH(QString, index);
        QFETCH(QString, reason);
        QString error;
        auto store = openReferenceStore(fixture(CodesFiles[0]), &error);
        QVERIFY2(store, qPrintable(error));
        QVERIFY(!store->setIndex(index, &error));
        QVERIFY2(error.contains(reason) && error.contains(CodesFiles[0]), qPrintable(error));
        // The store stays usable.
        QVERIFY2(store->setIndex(QStringLiteral("Car1"), &error), qPrintable(error));
    }

    void unusableFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        const QByteArray codes = fixtureBytes(CodesFiles[0]);
        QVERIFY(codes.size() == 36 * 4096);
        QByteArray garbage = codes.left(0x15);
        QRandomGenerator random(5);
        while (garbage.size() < codes.size())
            garbage.append(char(random.bounded(256)));
        QByteArray zeroedDataPage = codes;
        zeroedDataPage.replace(35 * 4096, 4096, QByteArray(4096, '\0'));

        QTest::newRow("cut inside a page") << codes.left(100000) << "truncated or damaged";
        QTest::newRow("signature only") << codes.left(0x15) << "truncated or damaged";
        QTest::newRow("first page only") << codes.left(4096) << "too short";
        QTest::newRow("last page cut off") << codes.left(35 * 4096) << "only 0 of its 9 rows can be read";
        QTest::newRow("cut after the catalog") << codes.left(16 * 4096) << "definition of table \"Codes\" could not be read";
        QTest::newRow("garbage after the signature") << garbage << "list of tables could not be read";
        QTest::newRow("data page zeroed") << zeroedDataPage << "only 0 of its 9 rows can be read";
        QTest::newRow("no table Codes") << fixtureBytes(QStringLiteral("testV1997.mdb")) << "no table \"Codes\"";
    }

    void unusableFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(QStringLiteral("Sam.mdb"));
        QVERIFY(writeFile(path, content));
        QString error;
        QVERIFY(!openReferenceStore(path, &error));
        QVERIFY2(error.startsWith(path) && error.contains(reason), qPrintable(error));
    }

    void missingOrForeignFile()
    {
        QString error;
        const QString missing = m_dir.filePath(QStringLiteral("missing.mdb"));
        QVERIFY(!JetReferenceStore::open(missing, QStringLiteral("Codes"), &error));
        QVERIFY2(error.startsWith(missing), qPrintable(error));

        const QString text = m_dir.filePath(QStringLiteral("text.mdb"));
        QVERIFY(writeFile(text, "Standard Jet DB, or so it says"));
        QVERIFY(!JetReferenceStore::open(text, QStringLiteral("Codes"), &error));
        QVERIFY2(error == text + QStringLiteral(": not an Access/Jet database"), qPrintable(error));
    }

    // libmdb's complaints about a damaged file may go to stderr, but never to
    // stdout, where the tools write what scripts read.
    void libmdbKeepsStdoutClean()
    {
        const QString damaged = m_dir.filePath(QStringLiteral("damaged.mdb"));
        QVERIFY(writeFile(damaged, fixtureBytes(CodesFiles[0]).left(16 * 4096)));
        const QString captured = m_dir.filePath(QStringLiteral("captured.txt"));
        std::FILE* capture = std::fopen(QFile::encodeName(captured).constData(), "w");
        QVERIFY(capture);
        std::fflush(stdout);
        const int savedOut = ::dup(STDOUT_FILENO);
        ::dup2(fileno(capture), STDOUT_FILENO);

        QString error;
        const bool opened = bool(openReferenceStore(damaged, &error));

        std::fflush(stdout);
        ::dup2(savedOut, STDOUT_FILENO);
        ::close(savedOut);
        std::fclose(capture);

        QVERIFY(!opened);
        QVERIFY2(error.startsWith(QDir::toNativeSeparators(damaged)), qPrintable(error));
        QFile file(captured);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray());
    }

    // The converted SQLite file answers every lookup as the Jet file does.
    void conversionRoundTrip_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString& file : CodesFiles)
            QTest::newRow(qPrintable(file)) << file;
    }

    void conversionRoundTrip()
    {
        QFETCH(QString, file);
        const QString converted = m_dir.filePath(QStringLiteral("converted.mdb"));
        QString error;
        QVERIFY2(convertJetReference(JetDatabasePath{fixture(file)}, SqliteDatabasePath{converted}, &error), qPrintable(error));
        QFile sqlite(converted);
        QVERIFY(sqlite.open(QIODevice::ReadOnly));
        QVERIFY(sqlite.read(16).startsWith("SQLite format 3"));

        auto jet = openReferenceStore(fixture(file), &error);
        auto store = openReferenceStore(converted, &error);
        QVERIFY2(jet && store, qPrintable(error));
        for (const Lookup& lookup : codesCases()) {
            const QString index = QString::fromLatin1(lookup.index);
            QVERIFY2(store->setIndex(index, &error) && store->seek(lookup.line, &error), qPrintable(error));
            QVERIFY(jet->setIndex(index, &error) && jet->seek(lookup.line, &error));
            QVERIFY2(store->noMatch() == jet->noMatch() && store->noMatch() != lookup.found, lookup.name);
        }
    }

    void conversionFailuresWriteNothing()
    {
        QString error;
        const QString out = m_dir.filePath(QStringLiteral("not-written.mdb"));
        QVERIFY(!convertJetReference(JetDatabasePath{fixture(QStringLiteral("testV1997.mdb"))}, SqliteDatabasePath{out}, &error));
        QVERIFY2(error.contains(QStringLiteral("no table \"Codes\"")), qPrintable(error));
        QVERIFY(!QFileInfo::exists(out));

        // Writing over the input would destroy it before it is read.
        const QString in = m_dir.filePath(QStringLiteral("in.mdb"));
        const QByteArray original = fixtureBytes(CodesFiles[0]);
        QVERIFY(writeFile(in, original));
        QVERIFY(!convertJetReference(JetDatabasePath{in}, SqliteDatabasePath{m_dir.filePath(QStringLiteral("./in.mdb"))}, &error));
        QVERIFY2(error.contains(QStringLiteral("cannot replace")), qPrintable(error));
        QFile kept(in);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), original);
    }

    // The load sequence on a program folder whose Sam.mdb is a Jet file.
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("database");
        QTest::addColumn<QString>("reason");
        QTest::newRow("Jet 4") << fixtureBytes(CodesFiles[0]) << QString();
        QTest::newRow("Jet 3 without Codes") << fixtureBytes(QStringLiteral("testV1997.mdb")) << "no table \"Codes\"";
        QTest::newRow("truncated") << fixtureBytes(CodesFiles[0]).left(35 * 4096) << "rows can be read";
    }

    void startUp()
    {
        QFETCH(QByteArray, database);
        QFETCH(QString, reason);
        MainWindowHarness h;
        QVERIFY(h.folder.isValid());
        QVERIFY(writeFile(h.folder.file(QStringLiteral("Sam.mdb")), database));

        const bool loaded = h.load();
        if (reason.isEmpty()) {
            QVERIFY(loaded);
            QCOMPARE(h.messages.shown.size(), 0);
            QCOMPARE(h.c[u"Label7"].text(), QString::number(database.size()));
            QVERIFY(!h.c[u"Label8"].text().isEmpty());
            QCOMPARE(h.c[u"Label12"].text(), QStringLiteral("Incorrect"));
            QVERIFY(h.form->CodesTable);
            QString error;
            QVERIFY(h.form->CodesTable->setIndex(QStringLiteral("Car1"), &error));
            QVERIFY(h.form->CodesTable->seek("AAA111", &error) && !h.form->CodesTable->noMatch());
        } else {
            QVERIFY(!loaded);
            QCOMPARE(h.messages.shown.size(), 1);
            const QString text = h.messages.shown[0].text;
            QVERIFY2(text.contains(QStringLiteral("Sam.mdb")) && text.contains(reason), qPrintable(text));
            QVERIFY(!h.form->CodesTable);
            QCOMPARE(h.c[u"Label12"].text(), QString());
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestJetStore)
#include "test_jet_store.moc"
