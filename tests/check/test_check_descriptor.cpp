#include "DescriptorCheck.h"
#include "DescriptorScan.h"
#include "FileSystem.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"
#include "TestProgramFolder.h"
#include "UnmatchLog.h"
#include "VerdictJson.h"

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
        QTest::newRow("a genuine line twice") << brackwellWith([](L& l) { l.insert(16, l[15]); }) << "genuine"
                                              << QStringList() << QStringList();
        QTest::newRow("lines reordered") << brackwellWith([](L& l) { l.swapItemsAt(15, 18); }) << "genuine"
                                         << QStringList() << QStringList();
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

        const Verdict verdict = checkDescriptor(
            path, GenuineDescriptor::of(brackwell, genuineOf(QStringLiteral("Brackwell")), *m_store), *m_store);
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

    // A lone LF ends no line, as in the window: such a file is one long line,
    // a tweak in the place of the first genuine line, the rest lost.
    void loneLineFeedsMakeOneLine()
    {
        const QString path = m_program.file(QStringLiteral("BrackwellDescriptor.txt"));
        QString error;
        QVERIFY(FileSystem::writeAll(path, "CarName=Brackwell\nCarClass=GT\n", &error));
        const Verdict verdict = checkDescriptor(
            path, GenuineDescriptor::of(CarCatalogue::cars()[0], genuineOf(QStringLiteral("Brackwell")), *m_store),
            *m_store);
        QCOMPARE(verdict.lines, 1);
        QCOMPARE(tweaksOf(verdict),
                 QStringList{QStringLiteral("1:CarName=Brackwell\nCarClass=GT\n:; Vortrax car descriptor - Brackwell")});
        QCOMPARE(verdict.missing.size(), std::size_t(233));
    }

    // Machines read the bytes as Windows-1252, an added line's genuine as null.
    void jsonOfAVerdict()
    {
        Verdict verdict;
        verdict.path = QStringLiteral("p/BrackwellDescriptor.txt");
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
        QVERIFY(jsonLine(json).endsWith("}\n") && jsonLine(json).count('\n') == 1);
    }

private:
    TestProgramFolder m_program;
    std::unique_ptr<ReferenceStore> m_store;
};

QTEST_GUILESS_MAIN(TestCheckDescriptor)
#include "test_check_descriptor.moc"
