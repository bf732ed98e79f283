#include "DescriptorCheck.h"
#include "DescriptorScan.h"
#include "FileSystem.h"
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
        QTest::newRow("binary") << brackwell << QByteArray("\x00\x01\x02PK\x03\x04\xff\xfe", 10) << "damaged"
                                << strings({"damaged: 1 line holds NUL or other control bytes that no editor writes (line 1)"});
        QTest::newRow("cut off") << brackwell << genuine.left(genuine.indexOf("FrontGrip=1.084") + 8) << "damaged"
                                 << strings({"damaged: cut off after line 123 of 234"});
        QTest::newRow("cut off after a change: the change still counts")
            << brackwell
            << brackwellWith([](L& l) { l[15] = "Torque=512.5"; }).left(genuine.indexOf("FrontGrip=1.084") + 8)
            << "tweaked"
            << strings({"changed [Engine] Torque: 412.5 -> 512.5 (line 16)", "damaged: cut off after line 123 of 234"});
        QTest::newRow("cut off inside a value") << brackwell << genuine.left(genuine.indexOf("Torque=412.5") + 9)
                                                << "damaged" << strings({"damaged: cut off after line 15 of 234"});
        QTest::newRow("an unfinished last line no genuine line begins with is no cut")
            << brackwell << QByteArray(genuine.left(genuine.indexOf("Torque=412.5")) + "Torque=9") << "tweaked"
            << strings({"changed [Engine] Torque: 412.5 -> 9 (line 16)", "missing [Engine] PowerKW=255.9 (genuine line 17)",
                        "..."});
        QTest::newRow("another car's descriptor")
            << QStringLiteral("Puddlewick") << genuineOf(QStringLiteral("Skelder4")) << "tweaked"
            << strings({"other car: this is Skelder4's genuine descriptor"});
        QTest::newRow("not sectioned text: line by line")
            << brackwell << QByteArray("hello\r\nworld\r\n") << "tweaked"
            << QStringList();
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
        QCOMPARE(verdict.statusText(), status);
        QStringList texts;
        for (const Difference& difference : verdict.differences)
            texts << differenceText(difference);
        if (QTest::currentDataTag() == QByteArrayView("not sectioned text: line by line")) {
            // Every genuine line missing, both lines added, as lines: no section, no key.
            QCOMPARE(texts.filter(QStringLiteral("added")), strings({"added hello (line 1)", "added world (line 2)"}));
            QCOMPARE(texts.filter(QStringLiteral("missing ; End of Brackwell")).size(), 1);
            QVERIFY(std::all_of(verdict.differences.begin(), verdict.differences.end(),
                                [](const Difference& d) { return !d.section && !d.key; }));
            return;
        }
        if (differences.endsWith(QStringLiteral("..."))) {
            differences.removeLast();
            texts = texts.mid(0, differences.size());
        }
        QCOMPARE(texts.join(u'|'), differences.join(u'|'));
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
