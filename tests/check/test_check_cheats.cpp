#include "FileSystem.h"
#include "TestProgramFolder.h"
#include "ToolRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// kestrix-check run as a program on files a cheating player (or an honest
// one with an odd editor) would send: each verdict, its exit status, its
// differences and what --correct does with it.

namespace {

QByteArray bytesOf(const QString& path)
{
    QByteArray bytes;
    QString error;
    return FileSystem::readAll(path, &bytes, &error) ? bytes : QByteArray("<unreadable>");
}

QByteArray genuine()
{
    return bytesOf(TestProgramFolder::dataFile(QStringLiteral("genuine/Brackwell.dat")));
}

QByteArray replacing(const QByteArray& from, const QByteArray& to)
{
    return genuine().replace(from, to);
}

// A difference as "class section key line", the JSON's nulls as "-".
QString differenceOf(const QJsonObject& difference)
{
    QStringList fields;
    for (const char* name : {"class", "section", "key", "line", "first_line"}) {
        const QJsonValue value = difference.value(QLatin1String(name));
        fields << (value.isDouble() ? QString::number(value.toInteger())
                                    : value.isString() ? value.toString() : QStringLiteral("-"));
    }
    return fields.join(u' ');
}

} // namespace

class TestCheckCheats : public QObject
{
    Q_OBJECT

private slots:
    void verdicts_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("differences"); // the first ones, in order
        QTest::addColumn<bool>("corrected");

        QTest::newRow("a lone LF joins two lines")
            << replacing("FuelPerRev=0.000570\r\n", "FuelPerRev=0.000570\n") << "tweaked"
            << "values" << 1
            << QStringList{QStringLiteral("changed Engine FuelPerRev 46 -"), QStringLiteral("missing Engine Supercharger - -")}
            << true;
        QTest::newRow("a lone LF inside a comment") << replacing("Layout: V8\r\n", "Layout: V8\n") << "formatting"
                                                    << "formatting" << 0
                                                    << QStringList{QStringLiteral("formatting - - - -")} << false;
        QTest::newRow("a repeated section") << genuine() + "[Engine]\r\n" << "tweaked" << "values" << 1
                                            << QStringList{QStringLiteral("duplicate Engine - 235 12")} << true;
        QTest::newRow("a repeated section in another letter case")
            << genuine() + "[ENGINE]\r\n" << "tweaked" << "values" << 1
            << QStringList{QStringLiteral("duplicate ENGINE - 235 12")} << true;
        QTest::newRow("an empty section that is not the car's")
            << genuine() + "[Foo]\r\n" << "tweaked" << "values" << 1 << QStringList{QStringLiteral("added Foo - 235 -")}
            << true;
        QTest::newRow("a control byte after a changed value")
            << replacing("Torque=412.5", "Torque=999\x7F") << "tweaked" << "values" << 1
            << QStringList{QStringLiteral("changed Engine Torque 16 -"), QStringLiteral("damaged - - - -")} << true;
        // Damage 2,100 lines away explains nothing: the diff takes so long a
        // middle as one stretch, but a key is lost to the damage only where
        // the damage stands in its place.
        const QByteArray farDamage = QByteArray("\r\n").repeated(2100) + QByteArray("\0", 1);
        QTest::newRow("a key deleted, damage far after it")
            << replacing("Torque=412.5\r\n", "") + farDamage << "tweaked" << "values" << 1
            << QStringList{QStringLiteral("missing Engine Torque - -")} << true;
        QTest::newRow("a key moved, damage far after it")
            << replacing("Torque=412.5\r\n", "").replace("[Damage]\r\n", "[Damage]\r\nTorque=412.5\r\n") + farDamage
            << "tweaked" << "values" << 1 << QStringList{QStringLiteral("moved Engine Torque 197 -")} << true;
        QTest::newRow("not a descriptor") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << "damaged" << "damaged" << 1
                                          << QStringList{QStringLiteral("damaged - - - -")} << false;
        QTest::newRow("a DOS end-of-file mark") << genuine() + '\x1A' << "formatting" << "formatting" << 0
                                                << QStringList{QStringLiteral("formatting - - - -")} << false;
        const QByteArray notesGone = genuine().left(genuine().indexOf("\r\n\r\n; ----"));
        QTest::newRow("the notes deleted, no last line end")
            << notesGone << "formatting" << "formatting" << 0 << QStringList{QStringLiteral("formatting - - - -")} << false;
        QTest::newRow("a DOS end-of-file mark glued to the last value")
            << notesGone + '\x1A' << "damaged" << "damaged" << 1 << QStringList{QStringLiteral("damaged - - - -")}
            << false;
        QTest::newRow("a byte order mark before a section header")
            << "\xEF\xBB\xBF" + genuine().mid(genuine().indexOf("[Engine]")) << "tweaked" << "values" << 1
            << QStringList{QStringLiteral("added - - 1 -")} << true;
        QTest::newRow("a key in another letter case before the genuine one")
            << replacing("Torque=412.5", "TORQUE=999\r\nTorque=412.5") << "tweaked" << "values" << 1
            << QStringList{QStringLiteral("duplicate Engine Torque 17 16")} << true;
    }

    void verdicts()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(QString, status);
        QFETCH(QString, kind);
        QFETCH(int, exitCode);
        QFETCH(QStringList, differences);
        QFETCH(bool, corrected);
        TestProgramFolder program;
        QVERIFY(program.isValid());
        QTemporaryDir players;
        const QString path = players.filePath(QStringLiteral("ann/BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(QDir().mkpath(players.filePath(QStringLiteral("ann"))));
        QVERIFY(FileSystem::writeAll(path, descriptor, &error));

        const ToolRun run = ToolRun::of(QStringLiteral(KESTRIX_CHECK),
                                        {QStringLiteral("--folder"), program.path(), QStringLiteral("--json"),
                                         QStringLiteral("--correct"), players.path()});
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors + QString::fromUtf8(run.out)));
        const QJsonObject verdict = QJsonDocument::fromJson(run.out.split('\n').first()).object();
        QCOMPARE(verdict.value(QStringLiteral("status")).toString(), status);
        QCOMPARE(verdict.value(QStringLiteral("kind")).toString(), kind);
        QStringList found;
        for (const QJsonValue difference : verdict.value(QStringLiteral("differences")).toArray())
            found << differenceOf(difference.toObject());
        QCOMPARE(found.mid(0, differences.size()), differences);
        QCOMPARE(bytesOf(path) == genuine(), corrected);
        if (!corrected)
            QCOMPARE(bytesOf(path), descriptor);
    }

    // The descriptor's own "%1" and "%L1" are shown as they are, never
    // filled in as places in the message.
    void percentSignsShowAsTheyAre()
    {
        TestProgramFolder program;
        QVERIFY(program.isValid());
        QTemporaryDir players;
        const QString folder = players.filePath(QStringLiteral("p%1%L2"));
        QVERIFY(QDir().mkpath(folder));
        QString error;
        QVERIFY(FileSystem::writeAll(folder + QStringLiteral("/BrackwellDescriptor.txt"),
                                     replacing("Torque=412.5", "Torque=%1A%2B%3C%9"), &error));
        const ToolRun run =
            ToolRun::of(QStringLiteral(KESTRIX_CHECK), {QStringLiteral("--folder"), program.path(), players.path()});
        QCOMPARE(run.exitCode, 1);
        const QString text = QString::fromUtf8(run.out);
        QVERIFY2(text.contains(QStringLiteral("changed [Engine] Torque: 412.5 -> %1A%2B%3C%9 (line 16)")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("p%1%L2/BrackwellDescriptor.txt: tweaked")), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestCheckCheats)
#include "test_check_cheats.moc"
