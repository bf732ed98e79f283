#include "DescriptorCheck.h"
#include "DescriptorScan.h"
#include "FileSystem.h"
#include "LeagueRules.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"
#include "TextReport.h"
#include "TestProgramFolder.h"
#include "UnmatchLog.h"
#include "VerdictJson.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>

namespace {

QByteArray genuineOf(const QString& car)
{
    QByteArray bytes;
    QString error;
    FileSystem::readAll(TestProgramFolder::dataFile(QStringLiteral("genuine/") + car + QStringLiteral(".dat")), &bytes,
                        &error);
    return bytes;
}

// The genuine Brackwell descriptor with its CR LF lines edited by edit.
QByteArray brackwellWith(const std::function<void(QList<QByteArray>&)>& edit)
{
    QByteArray genuine = genuineOf(QStringLiteral("Brackwell"));
    genuine.replace("\r\n", "\n");
    QList<QByteArray> lines = genuine.split('\n');
    lines.removeLast(); // after the last terminator
    edit(lines);
    return lines.join("\r\n") + "\r\n";
}

// The genuine Brackwell descriptor with bytes replaced.
QByteArray brackwellReplacing(const QByteArray& from, const QByteArray& to)
{
    return genuineOf(QStringLiteral("Brackwell")).replace(from, to);
}

QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromLatin1(text);
    return list;
}

// Tweaks as "line:text:genuine" ("-" for an added line) and missing lines as
// "line:text", so that a table row reads at a glance.
QStringList tweaksOf(const Verdict& verdict)
{
    QStringList tweaks;
    for (const Tweak& tweak : verdict.tweaks)
        tweaks << QStringLiteral("%1:%2:%3").arg(tweak.line).arg(QString::fromLatin1(tweak.text),
                                                                   tweak.genuine ? QString::fromLatin1(*tweak.genuine)
                                                                                 : QStringLiteral("-"));
    return tweaks;
}

QStringList missingOf(const Verdict& verdict)
{
    QStringList missing;
    for (const MissingLine& line : verdict.missing)
        missing << QStringLiteral("%1:%2").arg(line.line).arg(QString::fromLatin1(line.text));
    return missing;
}

} // namespace

class TestCheckDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_program.isValid());
        QString error;
        m_store = ReferenceFolder(m_program.path()).openStore({}, &error);
        QVERIFY2(m_store, qPrintable(error));
    }

    void verdicts_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("tweaks");
        QTest::addColumn<QStringList>("missing");
        using L = QList<QByteArray>;
        QTest::newRow("genuine") << genuineOf(QStringLiteral("Brackwell")) << "genuine" << QStringList() << QStringList();
        QTest::newRow("replaced") << brackwellWith([](L& l) { l[15] = "Torque=512.5"; }) << "tweaked"
                                  << strings({"16:Torque=512.5:Torque=412.5"}) << QStringList();
        QTest::newRow("added") << brackwellWith([](L& l) { l.insert(20, "Boost=2.5"); }) << "tweaked"
                               << strings({"21:Boost=2.5:-"}) << QStringList();
        QTest::newRow("deleted: a lost line the lookup cannot see")
            << brackwellWith([](L& l) { l.removeAt(19); }) << "tweaked" << QStringList()
            << strings({"20:LimiterRPM=8000"});
        QTest::newRow("one tweak in the place of two lines")
            << brackwellWith([](L& l) {
                   l[18] = "RedlineRPM=9900";
                   l.removeAt(19);
               })
            << "tweaked" << strings({"19:RedlineRPM=9900:RedlineRPM=7800"}) << strings({"20:LimiterRPM=8000"});
        QTest::newRow("a tweak duplicated")
            << brackwellWith([](L& l) {
                   l[15] = "Torque=512.5";
                   l.insert(16, "Torque=512.5");
               })
            << "tweaked" << strings({"16:Torque=512.5:Torque=412.5", "17:Torque=512.5:-"}) << QStringList();
        QTest::newRow("a genuine line twice") << brackwellWith([](L& l) { l.insert(16, l[15]); }) << "tweaked"
                                              << QStringList() << QStringList();
        QTest::newRow("lines reordered") << brackwellWith([](L& l) { l.swapItemsAt(15, 18); }) << "formatting"
                                         << QStringList() << QStringList();
        QTest::newRow("a line deleted beside a changed one: paired by key")
            << brackwellWith([](L& l) {
                   l.removeAt(18);
                   l[18] = "LimiterRPM=9500";
               })
            << "tweaked" << strings({"19:LimiterRPM=9500:LimiterRPM=8000"}) << strings({"19:RedlineRPM=7800"});
        QTest::newRow("a line added before a changed one: paired by key")
            << brackwellWith([](L& l) {
                   l[15] = "Torque=512.5";
                   l.insert(15, "NitrousShot=50");
               })
            << "tweaked" << strings({"16:NitrousShot=50:-", "17:Torque=512.5:Torque=412.5"}) << QStringList();
        QTest::newRow("last line without terminator")
            << brackwellWith([](L& l) { l.last() = "Tweak=1"; }).chopped(2) << "tweaked"
            << strings({"234:Tweak=1:; End of Brackwell descriptor"}) << QStringList();
        QTest::newRow("bytes 0x80-0xFF") << brackwellWith([](L& l) { l[15] = "Torque=\x80\xe9\xff"; }) << "tweaked"
                                         << QStringList{QString::fromLatin1("16:Torque=\x80\xe9\xff:Torque=412.5")}
                                         << QStringList();
    }

    // Each verdict, and its tweaks exactly as the window's scan logs them.
    void verdicts()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(QString, status);
        QFETCH(QStringList, tweaks);
        QFETCH(QStringList, missing);
        const QString path = m_program.file(QStringLiteral("BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(path, descriptor, &error));
        const Car& brackwell = CarCatalogue::cars()[0];
        const GenuineDescriptor genuine = GenuineDescriptor::of(brackwell, genuineOf(QStringLiteral("Brackwell")), *m_store);

        const Verdict verdict = checkDescriptor(
            QFile::encodeName(path), {&genuine}, {}, *m_store);
        QVERIFY2(verdict.error.isEmpty(), qPrintable(verdict.error));
        QCOMPARE(verdict.statusText(), status);
        QCOMPARE(tweaksOf(verdict), tweaks);
        QCOMPARE(missingOf(verdict), missing);

        const QString log = m_program.file(QStringLiteral("Unmatch.txt"));
        QFile::remove(log);
        UnmatchLog unmatch(log);
        const DescriptorScan scan{path, brackwell.indexName};
        QVERIFY(scan.run(*m_store, [&unmatch](QByteArrayView line, qint64, QString* reason) {
                        return unmatch.append(line, reason);
                    }).completed);
        QByteArray records;
        for (const Tweak& tweak : verdict.tweaks)
            records += '"' + tweak.text + "\"\r\n";
        QByteArray logged;
        FileSystem::readAll(log, &logged, &error);
        QCOMPARE(logged, records);
    }

    void differences_data()
    {
        QTest::addColumn<QString>("car");
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("differences");
        using L = QList<QByteArray>;
        const QByteArray genuine = genuineOf(QStringLiteral("Brackwell"));
        const QString brackwell = QStringLiteral("Brackwell");
        QByteArray lfOnly = genuine;
        lfOnly.replace("\r\n", "\n");
        QByteArray crOnly = genuine;
        crOnly.replace("\r\n", "\r");
        QByteArray trailing = genuine;
        trailing.replace("Torque=412.5\r\n", "Torque=412.5  \r\n").replace("Layout=V8\r\n", "Layout=V8 \r\n");

        QTest::newRow("CR only: the window's lines") << brackwell << crOnly << "genuine" << QStringList();
        QTest::newRow("no last line end") << brackwell << genuine.chopped(2) << "genuine" << QStringList();
        QTest::newRow("changed") << brackwell << brackwellWith([](L& l) { l[15] = "Torque=512.5"; }) << "tweaked"
                                 << strings({"changed [Engine] Torque: 412.5 -> 512.5 (line 16)"});
        QTest::newRow("a value compares exactly") << brackwell << brackwellWith([](L& l) { l[15] = "Torque=412.50"; })
                                                  << "tweaked"
                                                  << strings({"changed [Engine] Torque: 412.5 -> 412.50 (line 16)"});
        QTest::newRow("added") << brackwell << brackwellWith([](L& l) { l.insert(39, "NitrousShot=50"); }) << "tweaked"
                               << strings({"added [Engine] NitrousShot=50 (line 40)"});
        QTest::newRow("missing") << brackwell << brackwellWith([](L& l) { l.removeAt(18); }) << "tweaked"
                                 << strings({"missing [Engine] RedlineRPM=7800 (genuine line 19)"});
        QTest::newRow("moved to another section")
            << brackwell << brackwellWith([](L& l) { l.insert(158, l.takeAt(19)); }) << "tweaked"
            << strings({"moved [Engine] LimiterRPM=8000 to [Brakes] (line 159)"});
        QTest::newRow("moved and changed: missing there, added here")
            << brackwell << brackwellWith([](L& l) {
                   l.insert(158, "LimiterRPM=9000");
                   l.removeAt(19);
               })
            << "tweaked"
            << strings({"missing [Engine] LimiterRPM=8000 (genuine line 20)", "added [Brakes] LimiterRPM=9000 (line 158)"});
        QTest::newRow("duplicate") << brackwell << brackwellWith([](L& l) { l.insert(39, "Torque=512.5"); }) << "tweaked"
                                   << strings({"duplicate [Engine] Torque (lines 16, 40)"});
        QTest::newRow("a key in another letter case before the genuine one: a duplicate of it")
            << brackwell << brackwellReplacing("Torque=412.5", "TORQUE=999\r\nTorque=412.5") << "tweaked"
            << strings({"duplicate [Engine] Torque (lines 16, 17)"});
        QTest::newRow("LF only") << brackwell << lfOnly << "formatting" << strings({"formatting: line ends are LF only"});
        QTest::newRow("byte order mark and trailing spaces")
            << brackwell << QByteArray("\xEF\xBB\xBF" + trailing) << "formatting"
            << strings({"formatting: it starts with a byte order mark; 2 lines have trailing white space (lines 13, 16)"});
        QTest::newRow("white space around key and value, a tab")
            << brackwell << brackwellWith([](L& l) { l[15] = " Torque =\t412.5"; }) << "formatting"
            << strings({"formatting: 1 line has white space before or around their text (line 16); 1 line holds tabs (line 16)"});
        QTest::newRow("comments and blank lines")
            << brackwell << brackwellWith([](L& l) {
                   l[0] = "; my car";
                   l.insert(5, "");
               })
            << "formatting"
            << strings({"formatting: comments differ; 15 blank lines where the genuine file has 14"});
        QTest::newRow("empty") << brackwell << QByteArray() << "damaged" << strings({"damaged: the file is empty"});
        QTest::newRow("binary: not a descriptor") << brackwell << QByteArray("\x00\x01\x02PK\x03\x04\xff\xfe", 10) << "damaged"
                                << strings({"damaged: not a descriptor"});
        QTest::newRow("cut off") << brackwell << genuine.left(genuine.indexOf("FrontGrip=1.084") + 8) << "damaged"
                                 << strings({"damaged: cut off after line 123 of 234"});
        QTest::newRow("cut off after a change: the change still counts")
            << brackwell
            << brackwellWith([](L& l) { l[15] = "Torque=512.5"; }).left(genuine.indexOf("FrontGrip=1.084") + 8)
            << "tweaked"
            << strings({"changed [Engine] Torque: 412.5 -> 512.5 (line 16)", "damaged: cut off after line 123 of 234"});
        QTest::newRow("cut off inside a value: named with the value it reads as")
            << brackwell << genuine.left(genuine.indexOf("Torque=412.5") + 9) << "damaged"
            << strings({"changed [Engine] Torque: 412.5 -> 41 (line 16), cut off",
                        "damaged: cut off after line 15 of 234"});
        const qsizetype notes = genuine.indexOf("\r\n\r\n; ----");
        QTest::newRow("the notes deleted, no last line end: the last line is whole")
            << brackwell << genuine.left(notes) << "formatting"
            << strings({"formatting: comments differ; 12 blank lines where the genuine file has 14"});
        QTest::newRow("cut off in a comment that stands twice: after the one it follows")
            << brackwell << genuine.left(genuine.lastIndexOf("; ----") + 4) << "damaged"
            << strings({"damaged: cut off after line 231 of 234"});
        QTest::newRow("a whole comment that stands twice, no last line end")
            << brackwell << genuine.left(genuine.lastIndexOf("; ----") + 6) << "formatting" << strings({"..."});
        QTest::newRow("a key cut off after the start of its value")
            << brackwell << genuine.left(genuine.indexOf("BackfireChance=0.042") + 16) << "damaged"
            << strings({"changed [Sound] BackfireChance: 0.042 -> 0 (line 221), cut off",
                        "damaged: cut off after line 220 of 234"});
        QTest::newRow("a key whose last value is not the start of the genuine one")
            << brackwell << QByteArray(genuine.left(genuine.indexOf("BackfireChance=0.042")) + "BackfireChance=1")
            << "tweaked"
            << strings({"changed [Sound] BackfireChance: 0.042 -> 1 (line 221)", "..."});
        QTest::newRow("an unfinished last line no genuine line begins with is no cut")
            << brackwell << QByteArray(genuine.left(genuine.indexOf("Torque=412.5")) + "Torque=9") << "tweaked"
            << strings({"changed [Engine] Torque: 412.5 -> 9 (line 16)", "missing [Engine] PowerKW=255.9 (genuine line 17)",
                        "..."});
        QTest::newRow("another car's descriptor")
            << QStringLiteral("Puddlewick") << genuineOf(QStringLiteral("Skelder4")) << "tweaked"
            << strings({"other car: this is Skelder4's genuine descriptor"});
        QTest::newRow("not sectioned text, and no genuine key: not a descriptor")
            << brackwell << QByteArray("hello\r\nworld\r\n") << "damaged" << strings({"damaged: not a descriptor"});
        QTest::newRow("random bytes: not a descriptor")
            << brackwell << QByteArray("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x01\x02=\x03", 20) << "damaged"
            << strings({"damaged: not a descriptor"});
        QTest::newRow("sections in another letter case are still a descriptor")
            << brackwell << brackwellWith([](L& l) { l[11] = "[ENGINE]"; }).toLower() << "tweaked" << strings({"..."});
        QTest::newRow("keys without their sections are still a descriptor")
            << brackwell << QByteArray("Torque=999\r\n") << "tweaked" << strings({"..."});

        // Mixed line ends: the worse of the two readings stands.
        QTest::newRow("a lone LF joins two lines")
            << brackwell << brackwellReplacing("FuelPerRev=0.000570\r\n", "FuelPerRev=0.000570\n") << "tweaked"
            << strings({"changed [Engine] FuelPerRev: 0.000570 -> 0.000570?Supercharger=Roots (line 46)",
                        "missing [Engine] Supercharger=Roots (genuine line 47)", "..."});
        QTest::newRow("a lone LF before a section hides it")
            << brackwell << brackwellReplacing("BoostBar=0.62\r\n\r\n[Gearbox]", "BoostBar=0.62\r\n\n[Gearbox]")
            << "tweaked" << strings({"..."});
        QTest::newRow("a lone LF inside a comment: formatting either way")
            << brackwell << brackwellReplacing("Layout: V8\r\n", "Layout: V8\n") << "formatting"
            << strings({"formatting: line ends are mixed (233 CR LF, 1 LF)"});
        QTest::newRow("lone LFs and lone CRs") << brackwell << brackwellReplacing("\r\n", "\r").replace("V8\r", "V8\n")
                                              << "tweaked" << strings({"..."});

        QTest::newRow("a repeated section, empty")
            << brackwell << brackwellWith([](L& l) { l.append("[Engine]"); }) << "tweaked"
            << strings({"duplicate section [Engine] (lines 12, 235)"});
        // A game that reads section names as the Windows INI reader does
        // (up to the first ']', in any letter case) lets these replace
        // [Engine].
        QTest::newRow("a repeated section in another letter case")
            << brackwell << brackwellWith([](L& l) { l.append("[ENGINE]"); }) << "tweaked"
            << strings({"duplicate section [ENGINE] (lines 12, 235)"});
        QTest::newRow("a repeated section with a ']' after its name")
            << brackwell << brackwellWith([](L& l) { l.append("[engine]]"); }) << "tweaked"
            << strings({"duplicate section [engine]] (lines 12, 235)"});
        QTest::newRow("an empty section that is not the car's")
            << brackwell << brackwellWith([](L& l) { l.append("[Foo]"); }) << "tweaked"
            << strings({"added section [Foo] (line 235)"});
        QTest::newRow("a repeated section with a key")
            << brackwell << brackwellWith([](L& l) { l.append({"[Engine]", "Torque=412.5"}); }) << "tweaked"
            << strings({"duplicate section [Engine] (lines 12, 235)", "duplicate [Engine] Torque (lines 16, 236)"});

        QTest::newRow("DEL after a changed value")
            << brackwell << brackwellWith([](L& l) { l[15] = "Torque=999\x7F"; }) << "tweaked"
            << strings({"changed [Engine] Torque: 412.5 -> 999 (line 16)",
                        "damaged: 1 line holds NUL or other control bytes that no editor writes (line 16)"});
        for (const char control : {'\0', '\x0C', '\x1A'}) {
            QTest::addRow("control byte %d after a changed value", int(control))
                << brackwell << brackwellWith([control](L& l) { l[15] = QByteArray("Torque=999") + control; })
                << "tweaked" << strings({"changed [Engine] Torque: 412.5 -> 999 (line 16)", "..."});
        }
        QTest::newRow("a section header up to its first ']' before a control byte")
            << brackwell << brackwellReplacing("RedlineRPM=7800", "[Damage];\x7F\r\nRedlineRPM=7800") << "tweaked"
            << strings({"moved [Engine] RedlineRPM=7800 to [Damage] (line 20)", "..."});
        QTest::newRow("a control byte after the genuine value: damaged")
            << brackwell << brackwellWith([](L& l) { l[15] = QByteArray("Torque=412.5\0\0", 14); }) << "damaged"
            << strings({"damaged: 1 line holds NUL or other control bytes that no editor writes (line 16)"});
        QByteArray sectionGone = brackwellWith([](L& l) { l.erase(l.begin() + 156, l.begin() + 165); });
        sectionGone.insert(sectionGone.indexOf("[Chassis]"), QByteArray("\0\0\0\0\r\n", 6));
        QTest::newRow("a section replaced by a NUL line: its keys lost to the damage")
            << brackwell << sectionGone << "damaged"
            << strings({"missing [Brakes] MaxBrakeTorque=2402 (genuine line 158), lost to the damage", "..."});
        QTest::newRow("the same, and a value changed elsewhere")
            << brackwell << QByteArray(sectionGone).replace("Torque=412.5", "Torque=512.5") << "tweaked"
            << strings({"changed [Engine] Torque: 412.5 -> 512.5 (line 16)", "..."});

        // A middle too long for the fine diff is one stretch: damage at its
        // end explains nothing lost at its start.
        const QByteArray farDamage = QByteArray("\r\n").repeated(2100) + QByteArray("\0", 1);
        QTest::newRow("a key deleted, damage 2,100 lines after it: missing")
            << brackwell << brackwellWith([](L& l) { l.removeAt(15); }) + farDamage << "tweaked"
            << strings({"missing [Engine] Torque=412.5 (genuine line 16)", "..."});
        QTest::newRow("a section deleted, damage 2,100 lines after it: missing")
            << brackwell
            << brackwellWith([](L& l) {
                   l.erase(l.begin() + 196, l.begin() + 204);
                   l.insert(196, 2100, QByteArray());
               }) + "\x1A\x1A"
            << "tweaked" << strings({"missing [Damage] EngineDamageRPM=8400 (genuine line 198)", "..."});
        QTest::newRow("a key moved, damage 2,100 lines after it: moved")
            << brackwell << brackwellWith([](L& l) { l.move(15, 196); }) + farDamage << "tweaked"
            << strings({"moved [Engine] Torque=412.5 to [Damage] (line 197)", "..."});
        QTest::newRow("a DOS end-of-file mark") << brackwell << genuine + '\x1A' << "formatting"
                                                << strings({"formatting: it ends with a DOS end-of-file mark"});
        // The window reads both marks as bytes of a line.
        QTest::newRow("a DOS end-of-file mark glued to the last value: damaged")
            << brackwell << genuine.left(notes) + '\x1A' << "damaged"
            << strings({"damaged: 1 line holds NUL or other control bytes that no editor writes (line 221)", "..."});
        QTest::newRow("a DOS end-of-file mark glued to a changed last value")
            << brackwell << QByteArray(genuine.left(genuine.indexOf("BackfireChance=0.042")) + "BackfireChance=1\x1A")
            << "tweaked" << strings({"changed [Sound] BackfireChance: 0.042 -> 1 (line 221)", "..."});
        QTest::newRow("a byte order mark before a section header hides it")
            << brackwell << "\xEF\xBB\xBF" + genuine.mid(genuine.indexOf("[Engine]")) << "tweaked"
            << strings({"added \xEF\xBB\xBF[Engine] (line 1)", "..."});
        QTest::newRow("a byte order mark before a key renames it")
            << brackwell << "\xEF\xBB\xBF" + genuine.mid(genuine.indexOf("CarName=")) << "tweaked" << strings({"..."});
        QTest::newRow("a Ctrl-Z before the end is damage")
            << brackwell << brackwellWith([](L& l) { l[3] = "\x1A"; }) << "damaged" << strings({"..."});
        QTest::newRow("a blank line moved") << brackwell << brackwellWith([](L& l) { l.move(3, 6); }) << "formatting"
                                            << strings({"formatting: blank lines or comments are elsewhere"});
        QTest::newRow("white space on a blank line and in a section's brackets")
            << brackwell << brackwellWith([](L& l) {
                   l[3] = " ";
                   l[11] = "[ Engine ]";
               })
            << "formatting"
            << strings({"formatting: 1 line has trailing white space (line 4); 1 line has white space before or around "
                        "their text (line 12)"});
    }

    // Each class of difference, and the status it gives, read by section
    // and key; editor noise is never a tweak.
    void differences()
    {
        QFETCH(QString, car);
        QFETCH(QByteArray, descriptor);
        QFETCH(QString, status);
        QFETCH(QStringList, differences);
        const Car* checked = CarCatalogue::carNamed(car);
        QVERIFY(checked);
        const GenuineDescriptor genuine = GenuineDescriptor::of(*checked, genuineOf(car), *m_store);
        std::vector<GenuineDescriptor> all;
        for (const Car& each : CarCatalogue::cars())
            all.push_back(GenuineDescriptor::of(each, genuineOf(each.listEntry), *m_store));
        GenuineSet cars;
        for (const GenuineDescriptor& each : all)
            cars.push_back(&each);

        const Verdict verdict = checkDescriptorBytes("p", descriptor, {&genuine}, cars, *m_store);
        QStringList texts;
        for (const Difference& difference : verdict.differences)
            texts << differenceText(difference);
        QVERIFY2(verdict.statusText() == status, qPrintable(verdict.statusText() + u'\n' + texts.join(u'\n')));
        if (differences.endsWith(QStringLiteral("..."))) {
            differences.removeLast();
            texts = texts.mid(0, differences.size());
        }
        QCOMPARE(texts.join(u'|'), differences.join(u'|'));
    }

    void underRules_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<QByteArray>("patched"); // the genuine bytes of version "1.1"; none when empty
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("differences");
        const QByteArray gearRatios = "[[allow]]\ncar = \"*\"\nsection = \"Gearbox\"\nkey = \"GearRatio?\"\n";
        const QByteArray genuine = genuineOf(QStringLiteral("Brackwell"));
        const QString original = QStringLiteral("original");

        // [Gearbox] first, its last line joined to [Engine] by a lone LF:
        // the window's reading loses [Engine], the loose one only has the
        // allowed change.
        const qsizetype engine = genuine.indexOf("[Engine]");
        const qsizetype gearbox = genuine.indexOf("[Gearbox]");
        const qsizetype suspension = genuine.indexOf("[Suspension]");
        const QByteArray engineHidden = QByteArray(genuine.left(engine) + genuine.mid(gearbox, suspension - gearbox).trimmed()
                                                   + "\n" + genuine.mid(engine, gearbox - engine) + "\r\n"
                                                   + genuine.mid(suspension))
                                            .replace("GearRatio1=3.587", "GearRatio1=3.9");
        QTest::newRow("a section the window's reading loses is not allowed by the loose reading's change")
            << gearRatios << QByteArray() << engineHidden << "tweaked" << original
            << strings({"allowed changed [Gearbox] GearRatio1: 3.587 -> 3.9 (rule at line 1)",
                        "changed [Gearbox] UpshiftRPM5: 7450 -> 7450?[Engine] (line 31)",
                        "moved [Engine] Layout=V8 to [Gearbox] (line 32)", "..."});
        QTest::newRow("the same without rules: the window's reading names what it loses")
            << QByteArray() << QByteArray() << engineHidden << "tweaked" << original
            << strings({"changed [Gearbox] GearRatio1: 3.587 -> 3.9 (line 16)",
                        "changed [Gearbox] UpshiftRPM5: 7450 -> 7450?[Engine] (line 31)", "..."});
        QByteArray lfWithFinalCrLf = QByteArray(genuine).replace("\r\n", "\n").replace("GearRatio1=3.587", "GearRatio1=3.9");
        lfWithFinalCrLf.chop(1);
        QTest::newRow("LF line ends but a last CR LF, and an allowed change: one line to the window")
            << gearRatios << QByteArray() << lfWithFinalCrLf + "\r\n" << "damaged" << original
            << strings({"damaged: not a descriptor"});
        QTest::newRow("an allowed change in a file of one kind of line ends")
            << gearRatios << QByteArray() << brackwellReplacing("GearRatio1=3.587", "GearRatio1=3.9") << "allowed"
            << original << strings({"allowed changed [Gearbox] GearRatio1: 3.587 -> 3.9 (rule at line 1)"});

        QTest::newRow("a key in another letter case is no key an optional rule adds")
            << QByteArray("[[allow]]\ncar = \"*\"\nsection = \"Gearbox\"\nkey = \"Gear*\"\noptional = true\n")
            << QByteArray() << brackwellReplacing("Gears=6", "GearS=9\r\nGears=6") << "tweaked" << original
            << strings({"duplicate [Gearbox] Gears (lines 51, 52); Gears is repeated; no rule allows a repeated key (rule at line 1)"});

        // A patch that raised BoostBar and the gear ratios; a file of it with
        // the old gear ratios has only allowed changes from it, and a
        // changed BoostBar from the original.
        QByteArray patched = brackwellReplacing("BoostBar=0.62", "BoostBar=0.70");
        const char* const oldRatios[] = {"GearRatio1=3.587", "GearRatio2=2.521", "GearRatio3=1.819",
                                         "GearRatio4=1.358", "GearRatio5=0.953", "GearRatio6=0.680"};
        const char* const newRatios[] = {"GearRatio1=3.6", "GearRatio2=2.6", "GearRatio3=1.9",
                                         "GearRatio4=1.4", "GearRatio5=1.0", "GearRatio6=0.7"};
        for (std::size_t i = 0; i < std::size(oldRatios); ++i)
            patched.replace(oldRatios[i], newRatios[i]);
        const QByteArray patchedOldGears = brackwellReplacing("BoostBar=0.62", "BoostBar=0.70");
        QTest::newRow("judged against the version the rules allow it under")
            << gearRatios << patched << patchedOldGears << "allowed" << QStringLiteral("1.1")
            << strings({"allowed changed [Gearbox] GearRatio1: 3.6 -> 3.587 (rule at line 1)", "..."});
        QTest::newRow("without rules, against the version it differs from least")
            << QByteArray() << patched << patchedOldGears << "tweaked" << original
            << strings({"changed [Engine] BoostBar: 0.62 -> 0.70 (line 48)"});
    }

    // The rules judge each reading against each version: the version the
    // file fares best against, and the worse reading, stand.
    void underRules()
    {
        QFETCH(QByteArray, rules);
        QFETCH(QByteArray, patched);
        QFETCH(QByteArray, descriptor);
        QFETCH(QString, status);
        QFETCH(QString, version);
        QFETCH(QStringList, differences);
        const Car& brackwell = CarCatalogue::cars()[0];
        const GenuineDescriptor genuine = GenuineDescriptor::of(brackwell, genuineOf(QStringLiteral("Brackwell")), *m_store);
        std::optional<GenuineDescriptor> patch;
        GenuineVersions versions{&genuine};
        if (!patched.isEmpty()) {
            patch = GenuineDescriptor::of(brackwell, patched, *m_store, QStringLiteral("1.1"));
            versions.push_back(&*patch);
        }
        QString error;
        std::optional<LeagueRules> league;
        if (!rules.isEmpty()) {
            league = LeagueRules::parse(rules, QStringLiteral("league.toml"), &error);
            QVERIFY2(league, qPrintable(error));
        }

        const Verdict verdict = checkDescriptorBytes("p", descriptor, versions, {}, *m_store, league ? &*league : nullptr);
        QStringList texts;
        for (const Difference& difference : verdict.differences)
            texts << differenceText(difference);
        QVERIFY2(verdict.statusText() == status, qPrintable(verdict.statusText() + u'\n' + texts.join(u'\n')));
        QCOMPARE(verdict.version, version);
        if (differences.endsWith(QStringLiteral("..."))) {
            differences.removeLast();
            texts = texts.mid(0, differences.size());
        }
        QCOMPARE(texts.join(u'|'), differences.join(u'|'));
    }

    void percentSignsAreText_data()
    {
        QTest::addColumn<QByteArray>("text");
        for (const char* text : {"%1", "%L1", "%%", "%", "%1A%2B%3C%9", "50%"})
            QTest::newRow(text) << QByteArray(text);
    }

    // A descriptor's texts are never a format: "%1" in a section, key, value
    // or rule's reason shows as it is, whatever class names it.
    void percentSignsAreText()
    {
        QFETCH(QByteArray, text);
        const QString shown = QString::fromLatin1(text);
        Difference difference;
        difference.section = text;
        difference.key = text;
        difference.genuine = text;
        difference.value = text;
        difference.toSection = text;
        difference.line = 7;
        difference.genuineLine = 8;
        difference.firstLine = 3;
        const QString twice = shown + u'=' + shown;
        const std::pair<Difference::Class, QString> expected[] = {
            {Difference::Class::Changed, QStringLiteral("changed [@T] @T: @T -> @T (line 7)")},
            {Difference::Class::Added, QStringLiteral("added [@T] @K (line 7)")},
            {Difference::Class::Missing, QStringLiteral("missing [@T] @K (genuine line 8)")},
            {Difference::Class::Moved, QStringLiteral("moved [@T] @K to [@T] (line 7)")},
            {Difference::Class::Duplicate, QStringLiteral("duplicate [@T] @T (lines 3, 7)")},
            {Difference::Class::Damaged, QStringLiteral("damaged: @T")},
        };
        for (const auto& [kind, words] : expected) {
            difference.kind = kind;
            QString wanted = words;
            wanted.replace(QStringLiteral("@K"), twice).replace(QStringLiteral("@T"), shown);
            QCOMPARE(differenceText(difference), wanted);
        }
        difference.kind = Difference::Class::Changed;
        difference.reason = shown;
        difference.rule = 4;
        QCOMPARE(differenceText(difference),
                 QStringLiteral("changed [@T] @T: @T -> @T (line 7); @T (rule at line 4)").replace(QStringLiteral("@T"), shown));
        Verdict verdict;
        verdict.path = "players/" + text + "/BrackwellDescriptor.txt";
        verdict.car = &CarCatalogue::cars()[0];
        verdict.status = Verdict::Status::Damaged;
        QVERIFY(verdictText(verdict, text).startsWith(QStringLiteral("players/@T/BrackwellDescriptor.txt: damaged (Brackwell)")
                                                          .replace(QStringLiteral("@T"), shown)));
        QVERIFY(verdictText(verdict, text).endsWith(QStringLiteral("kept as @T\n").replace(QStringLiteral("@T"), shown)));
    }

    // Bytes that differ in a way no class explains (here white space moved
    // from one line to another) fail safe: class other, tweaked.
    void unexplainedIsOther()
    {
        const GenuineDescriptor genuine =
            GenuineDescriptor::of(CarCatalogue::cars()[0], "[Engine]\r\nTorque=1 \r\nPower=2\r\n", *m_store);
        const Verdict verdict = checkDescriptorBytes("p", "[Engine]\r\nTorque=1\r\nPower=2 \r\n", {&genuine}, {}, *m_store);
        QCOMPARE(verdict.statusText(), QStringLiteral("tweaked"));
        QCOMPARE(verdict.kind(), QStringLiteral("other"));
        QCOMPARE(verdict.differenceCounts(), QStringLiteral("1 other"));
        QCOMPARE(verdictJson(verdict).value(QStringLiteral("differences")).toArray().at(0).toObject().value(
                     QStringLiteral("class")),
                 QStringLiteral("other"));
    }

    // A lone LF ends no line, as in the window: such a file is one long line,
    // a tweak in the place of the first genuine line, the rest lost.
    void loneLineFeedsMakeOneLine()
    {
        const QString path = m_program.file(QStringLiteral("BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(path, "CarName=Brackwell\nCarClass=GT\n", &error));
        const GenuineDescriptor genuine =
            GenuineDescriptor::of(CarCatalogue::cars()[0], genuineOf(QStringLiteral("Brackwell")), *m_store);
        const Verdict verdict = checkDescriptor(QFile::encodeName(path), {&genuine}, {}, *m_store);
        QCOMPARE(verdict.lines, 1);
        QCOMPARE(tweaksOf(verdict),
                 QStringList{QStringLiteral("1:CarName=Brackwell\nCarClass=GT\n:; Vortrax car descriptor - Brackwell")});
        QCOMPARE(verdict.missing.size(), std::size_t(233));
    }

    // Machines read the bytes as Windows-1252, an added line's genuine as null.
    void jsonOfAVerdict()
    {
        Verdict verdict;
        verdict.path = "p/Jos\xe9/BrackwellDescriptor.txt";
        verdict.car = &CarCatalogue::cars()[0];
        verdict.status = Verdict::Status::Tweaked;
        verdict.lines = 2;
        verdict.tweaks = {{1, "Torque=\x80", QByteArray("Torque=412.5")}, {2, "Boost=1", std::nullopt}};
        verdict.missing = {{20, "LimiterRPM=8000"}};
        const QJsonObject json = verdictJson(verdict);
        QCOMPARE(json.value(QStringLiteral("status")).toString(), QStringLiteral("tweaked"));
        QCOMPARE(json.value(QStringLiteral("car")).toString(), QStringLiteral("Brackwell"));
        const QJsonArray tweaks = json.value(QStringLiteral("tweaks")).toArray();
        QCOMPARE(tweaks.at(0).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("Torque=\u20ac"));
        QVERIFY(tweaks.at(1).toObject().value(QStringLiteral("genuine")).isNull());
        QCOMPARE(json.value(QStringLiteral("missing")).toArray().at(0).toObject().value(QStringLiteral("line")).toInt(), 20);
        QVERIFY(!json.contains(QStringLiteral("error")));
        // A name that is not UTF-8: U+FFFD for the bad byte, and the exact bytes beside it.
        QCOMPARE(json.value(QStringLiteral("path")).toString(), QStringLiteral("p/Jos\ufffd/BrackwellDescriptor.txt"));
        QCOMPARE(QByteArray::fromBase64(json.value(QStringLiteral("path_base64")).toString().toLatin1()), verdict.path);
        QVERIFY(jsonLine(json).endsWith("}\n") && jsonLine(json).count('\n') == 1);
    }

private:
    TestProgramFolder m_program;
    std::unique_ptr<ReferenceStore> m_store;
};

QTEST_GUILESS_MAIN(TestCheckDescriptor)
#include "test_check_descriptor.moc"
