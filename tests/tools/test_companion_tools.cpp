#include "FileSystem.h"
#include "ReferenceBuilder.h"
#include "TestProgramFolder.h"
#include "ToolRun.h"

#include <QDir>
#include <QTest>

namespace {

QString tool(const QString& name)
{
    return QStringLiteral(KESTRIX_TOOLS_DIR "/") + name;
}

QByteArray contentOf(const QString& path)
{
    QByteArray bytes;
    QString error;
    return FileSystem::readAll(path, &bytes, &error) ? bytes : QByteArray("<missing>");
}

} // namespace

class TestCompanionTools : public QObject
{
    Q_OBJECT

private slots:
    void helpAndWrongOptions_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"kestrix-send", "kestrix-refbuild", "kestrix-stage"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    // Usage asked for goes to stdout with status 0, and only once; after a
    // wrong command line it goes to stderr with status 2.
    void helpAndWrongOptions()
    {
        QFETCH(QString, name);
        const ToolRun help = ToolRun::of(tool(name), {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.startsWith("usage: " + name.toLatin1()), help.out.constData());
        QCOMPARE(help.out.count("usage:"), 1);
        QCOMPARE(help.errors, QString());

        const ToolRun wrong = ToolRun::of(tool(name), {QStringLiteral("only-one-argument")});
        QCOMPARE(wrong.exitCode, 2);
        QCOMPARE(wrong.out, QByteArray());
        QVERIFY2(wrong.errors.startsWith(QStringLiteral("usage: ")), qPrintable(wrong.errors));
    }

    // A build that fails leaves the database that was there, and no
    // temporary file beside it.
    void failedBuildKeepsTheDatabase_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("misspelt");
        QTest::addColumn<QString>("reason");
        QTest::newRow("misspelt descriptor") << QStringList() << "Grelm.dta" << "Grelm.dta";
        QTest::newRow("padding too small") << QStringList{QStringLiteral("--pad"), QStringLiteral("4096")} << ""
                                           << "does not fit";
        QTest::newRow("padding not in pages") << QStringList{QStringLiteral("--pad"), QStringLiteral("202753")} << ""
                                              << "pages";
    }

    void failedBuildKeepsTheDatabase()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, misspelt);
        QFETCH(QString, reason);
        TestProgramFolder folder;
        QVERIFY(folder.isValid());
        const QString database = folder.file(QStringLiteral("Sam.mdb"));
        const QByteArray before = contentOf(database);
        QStringList arguments = options;
        arguments << database;
        for (const char* car : {"Brackwell", "DunMarr", "Skelder4", "Grelm", "Puddlewick", "OldGrist"}) {
            const QString name = QString::fromLatin1(car) + QStringLiteral(".dat");
            arguments << folder.file(name == u"Grelm.dat" && !misspelt.isEmpty() ? misspelt : name);
        }
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-refbuild")), arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(reason), qPrintable(run.errors));
        QVERIFY(contentOf(database) == before);
        QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden), QStringList());
    }

    // A token is never taken from the command line, and a player needs one.
    void sendersTokenRules_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("says");
        QTest::newRow("--token") << QStringList{QStringLiteral("--player"), QStringLiteral("alice"), QStringLiteral("--token"),
                                                QStringLiteral("x")}
                                 << "never taken from the command line";
        QTest::newRow("--token=") << QStringList{QStringLiteral("--token=x")} << "never taken from the command line";
        QTest::newRow("no token") << QStringList{QStringLiteral("--player"), QStringLiteral("alice")} << "KESTRIX_TOKEN";
        QTest::newRow("unreadable token file")
            << QStringList{QStringLiteral("--player"), QStringLiteral("alice"), QStringLiteral("--token-file"),
                           QStringLiteral("/nonexistent/alice.token")}
            << "/nonexistent/alice.token: cannot read the token";
        QTest::newRow("no player's name") << QStringList{QStringLiteral("--player"), QStringLiteral("../alice")}
                                          << "is no player's name";
        QTest::newRow("token file without player") << QStringList{QStringLiteral("--token-file"), QStringLiteral("t")}
                                                   << "add --player NAME";
    }

    void sendersTokenRules()
    {
        QFETCH(QStringList, extra);
        QFETCH(QString, says);
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-send")),
                                        QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("1"), QStringLiteral("f")} + extra);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(says), qPrintable(run.errors));
    }

    // A key of a car the catalogue does not have is refused, not written out of bounds.
    void keysOfUnknownCarsAreRefused()
    {
        QTemporaryDir dir;
        ReferenceBuilder builder;
        QString error;
        QVERIFY2(builder.create(dir.filePath(QStringLiteral("Sam.mdb")), &error), qPrintable(error));
        for (const int car : {0, 7, -1}) {
            QVERIFY(!builder.addKey(car, "Torque=412.5", &error));
            QVERIFY2(error.contains(QStringLiteral("no car")), qPrintable(error));
        }
        QVERIFY(builder.addKey(1, "Torque=412.5", &error));
    }

    void buildReplacesTheDatabaseWhenItSucceeds()
    {
        TestProgramFolder folder;
        QVERIFY(folder.isValid());
        const QString database = folder.file(QStringLiteral("Sam.mdb"));
        QString error;
        QVERIFY(FileSystem::writeAll(database, "an older database", &error));
        QStringList arguments{QStringLiteral("--pad"), QStringLiteral("202752"), database};
        for (const char* car : {"Brackwell", "DunMarr", "Skelder4", "Grelm", "Puddlewick", "OldGrist"})
            arguments << folder.file(QString::fromLatin1(car) + QStringLiteral(".dat"));
        const ToolRun run = ToolRun::of(tool(QStringLiteral("kestrix-refbuild")), arguments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        QCOMPARE(FileSystem::length(database), std::optional<qint64>(202752));
        QVERIFY(contentOf(database).startsWith("SQLite format 3"));
    }
};

QTEST_GUILESS_MAIN(TestCompanionTools)
#include "test_companion_tools.moc"
