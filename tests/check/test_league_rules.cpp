#include "LeagueRules.h"

#include "CarCatalogue.h"
#include "DescriptorText.h"
#include "FileSystem.h"
#include "TestProgramFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A league's rules as a file would hold them; the line numbers below are
// this text's.
const char* const SpringLeague = R"(# Spring league 2027
[formatting]
ignore = true

[[allow]]
car = "*"
section = "Gearbox"
key = "GearRatio?"

[[allow]]
car = "Brackwell"
section = "Engine"
key = "BoostBar"
min = 0.5
max = 0.8

[[allow]]
car = "*"
section = "Tyres"
key = "Compound"
values = ["Soft", "Medium", "Hard"]

[[allow]]
car = "*"
section = "Sound"
key = "*"
optional = true

[[allow]]
car = "Grelm"
section = "Engine"
key = "Boost*"
values = ["0.9", "1.2"]

[[allow]]
car = "Grelm"
section = "Engine"
key = "BoostBar"
min = 1
max = 2

[[allow]]
car = "*"
section = "Electronics"
key = "Launch?Map"
optional = true
min = -2
max = 3
)";

const Car& carNamed(const char* name)
{
    return *CarCatalogue::carNamed(QString::fromLatin1(name));
}

bool write(const QString& path, const QByteArray& bytes)
{
    QString error;
    const bool written = FileSystem::writeAll(path, bytes, &error, FileSystem::PathRules::Exact);
    if (!written)
        qWarning("%s", qPrintable(error));
    return written;
}

QByteArray genuineOf(const char* car)
{
    QByteArray bytes;
    QString error;
    FileSystem::readAll(TestProgramFolder::dataFile(QStringLiteral("genuine/%1.dat").arg(QLatin1String(car))), &bytes,
                        &error);
    return bytes;
}

QByteArray sha256Of(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// "-" stands for no section or no key, as a file that is not sectioned text gives.
std::optional<QByteArray> field(const QByteArray& text)
{
    return text == "-" ? std::nullopt : std::optional<QByteArray>(text);
}

} // namespace

class TestLeagueRules : public QObject
{
    Q_OBJECT

private slots:
    void judgesDifferences_data();
    void judgesDifferences();
    void readsTheRules();
    void formattingSetting_data();
    void formattingSetting();
    void refusesFaults_data();
    void refusesFaults();
    void refusesAnUnreadableFile();
    void pastedDigestsVerify();
    void referenceFailures_data();
    void referenceFailures();
    void digestLinesNeedCars();
    void explainsTheRules();

private:
    QTemporaryDir m_dir;

    QString rulesFile(const QByteArray& text, const QString& name = QStringLiteral("league.toml"))
    {
        const QString path = m_dir.filePath(name);
        return write(path, text) ? path : QString();
    }
};

void TestLeagueRules::judgesDifferences_data()
{
    QTest::addColumn<QString>("car");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<int>("ruleLine");
    QTest::addColumn<QString>("reason");

    using C = Difference::Class;
    const auto row = [](const char* name, const char* car, C kind, const char* section, const char* key,
                        const QByteArray& value, bool allowed, int line, const char* reason) {
        QTest::newRow(name) << QString::fromLatin1(car) << int(kind) << QByteArray(section) << QByteArray(key) << value
                            << allowed << line << QString::fromUtf8(reason);
    };

    // Any value: "?" is exactly one character, names match in their letter case.
    row("any value", "Brackwell", C::Changed, "Gearbox", "GearRatio1", "9.999", true, 5, "");
    row("any value for every car", "OldGrist", C::Changed, "Gearbox", "GearRatio4", "x", true, 5, "");
    row("? is not two characters", "Skelder4", C::Changed, "Gearbox", "GearRatio10", "1", false, 0, "");
    row("? is not none", "Grelm", C::Changed, "Gearbox", "GearRatio", "1", false, 0, "");
    row("section letter case", "Brackwell", C::Changed, "gearbox", "GearRatio1", "1", false, 0, "");
    row("key letter case", "Brackwell", C::Changed, "Gearbox", "gearratio1", "1", false, 0, "");
    row("any value is not added", "Brackwell", C::Added, "Gearbox", "GearRatio7", "0.5", false, 5,
        "GearRatio7 was added; the league's rule lets it change, not be added");
    row("any value is not removed", "Brackwell", C::Missing, "Gearbox", "GearRatio6", "-", false, 5,
        "GearRatio6 was removed; the league's rule lets it change, not be removed");
    row("moved", "Brackwell", C::Moved, "Gearbox", "GearRatio1", "3.587", false, 5,
        "GearRatio1 was moved; no rule allows a moved key");
    row("repeated", "Brackwell", C::Duplicate, "Gearbox", "GearRatio2", "2.521", false, 5,
        "GearRatio2 is repeated; no rule allows a repeated key");
    row("line of a text without sections", "Brackwell", C::Changed, "-", "-", "GearRatio1=3", false, 0, "");
    row("key before any section", "Brackwell", C::Changed, "-", "GearRatio1", "3", false, 0, "");

    // A range, bounds included; values read as plain decimal numbers.
    row("range: at min", "Brackwell", C::Changed, "Engine", "BoostBar", "0.5", true, 10, "");
    row("range: at max", "Brackwell", C::Changed, "Engine", "BoostBar", "0.8", true, 10, "");
    row("range: leading point and plus", "Brackwell", C::Changed, "Engine", "BoostBar", "+.6", true, 10, "");
    row("range: trailing point", "Brackwell", C::Changed, "Engine", "BoostBar", "0.70", true, 10, "");
    row("range: just below", "Brackwell", C::Changed, "Engine", "BoostBar", "0.49", false, 10,
        "BoostBar=0.49 is below the league's 0.5");
    row("range: just above", "Brackwell", C::Changed, "Engine", "BoostBar", "0.8000001", false, 10,
        "BoostBar=0.8000001 is above the league's 0.8");
    row("range: negative", "Brackwell", C::Changed, "Engine", "BoostBar", "-0.6", false, 10,
        "BoostBar=-0.6 is below the league's 0.5");
    row("range: hundreds of digits", "Brackwell", C::Changed, "Engine", "BoostBar", "1" + QByteArray(400, '0'), false,
        10, qPrintable(QStringLiteral("BoostBar=1%1 is above the league's 0.8").arg(QString(400, u'0'))));
    row("range: hundreds of decimals", "Brackwell", C::Changed, "Engine", "BoostBar", "0." + QByteArray(400, '0') + '1',
        false, 10,
        qPrintable(QStringLiteral("BoostBar=0.%1 is below the league's 0.5").arg(QString(400, u'0') + u'1')));
    row("range: hundreds of digits below", "Brackwell", C::Changed, "Engine", "BoostBar", "-9" + QByteArray(400, '9'),
        false, 10, qPrintable(QStringLiteral("BoostBar=-9%1 is below the league's 0.5").arg(QString(400, u'9'))));
    row("range: words", "Brackwell", C::Changed, "Engine", "BoostBar", "fast", false, 10,
        "BoostBar=fast is not a number");
    row("range: exponent", "Brackwell", C::Changed, "Engine", "BoostBar", "6e-1", false, 10,
        "BoostBar=6e-1 is not a number");
    row("range: decimal comma", "Brackwell", C::Changed, "Engine", "BoostBar", "0,6", false, 10,
        "BoostBar=0,6 is not a number");
    row("range: two points", "Brackwell", C::Changed, "Engine", "BoostBar", "0.6.1", false, 10,
        "BoostBar=0.6.1 is not a number");
    row("range: a point alone", "Brackwell", C::Changed, "Engine", "BoostBar", ".", false, 10,
        "BoostBar=. is not a number");
    row("range: nothing", "Brackwell", C::Changed, "Engine", "BoostBar", "", false, 10, "BoostBar= is not a number");
    row("range: inf", "Brackwell", C::Changed, "Engine", "BoostBar", "inf", false, 10, "BoostBar=inf is not a number");
    row("range: not optional", "Brackwell", C::Added, "Engine", "BoostBar", "0.6", false, 10,
        "BoostBar was added; the league's rule lets it change, not be added");
    row("rule for another car", "DunMarr", C::Changed, "Engine", "BoostBar", "0.6", false, 0, "");

    // A list, compared exactly.
    row("list: member", "Puddlewick", C::Changed, "Tyres", "Compound", "Soft", true, 17, "");
    row("list: letter case", "Brackwell", C::Changed, "Tyres", "Compound", "soft", false, 17,
        "Compound=soft is not one of the league's Soft, Medium, Hard");
    row("list: stranger", "Brackwell", C::Changed, "Tyres", "Compound", "Ultra", false, 17,
        "Compound=Ultra is not one of the league's Soft, Medium, Hard");
    row("list: Windows-1252", "Brackwell", C::Changed, "Tyres", "Compound", "M\xe9""dium", false, 17,
        "Compound=Médium is not one of the league's Soft, Medium, Hard");

    // Optional: added and removed too, an added value within the range.
    row("optional: changed", "Brackwell", C::Changed, "Sound", "EngineSample", "loud.wav", true, 23, "");
    row("optional: added", "OldGrist", C::Added, "Sound", "Nitro", "1", true, 23, "");
    row("optional: removed", "Brackwell", C::Missing, "Sound", "GearWhine", "-", true, 23, "");
    row("optional: moved all the same", "Brackwell", C::Moved, "Sound", "GearWhine", "0.68", false, 23,
        "GearWhine was moved; no rule allows a moved key");
    row("optional range: added within", "Brackwell", C::Added, "Electronics", "LaunchAMap", "3", true, 42, "");
    row("optional range: added above", "Brackwell", C::Added, "Electronics", "LaunchAMap", "3.5", false, 42,
        "LaunchAMap=3.5 is above the league's 3");
    row("optional range: removed", "Brackwell", C::Missing, "Electronics", "LaunchBMap", "-", true, 42, "");
    row("optional range: changed below", "Brackwell", C::Changed, "Electronics", "LaunchAMap", "-2.5", false, 42,
        "LaunchAMap=-2.5 is below the league's -2");

    // Several rules: any that allows wins, else the first one's reason.
    row("several: a later rule allows", "Grelm", C::Changed, "Engine", "BoostBar", "1.5", true, 35, "");
    row("several: the first that allows", "Grelm", C::Changed, "Engine", "BoostBar", "1.2", true, 29, "");
    row("several: integer bounds", "Grelm", C::Changed, "Engine", "BoostBar", "2", true, 35, "");
    row("several: none allows", "Grelm", C::Changed, "Engine", "BoostBar", "3", false, 29,
        "BoostBar=3 is not one of the league's 0.9, 1.2");

    row("another car's file", "Brackwell", C::OtherCar, "Sound", "GearWhine", "DunMarr", false, 23,
        "no rule allows a difference of class other-car");
    row("formatting", "Brackwell", C::Formatting, "-", "-", "CR LF line ends", false, 0, "");
}

void TestLeagueRules::judgesDifferences()
{
    QFETCH(QString, car);
    QFETCH(int, kind);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(bool, allowed);
    QFETCH(int, ruleLine);
    QFETCH(QString, reason);

    QString error;
    const std::optional<LeagueRules> rules = LeagueRules::load(rulesFile(SpringLeague), &error);
    QVERIFY2(rules, qPrintable(error));

    Difference difference;
    difference.kind = Difference::Class(kind);
    difference.section = field(section);
    difference.key = field(key);
    if (difference.kind != Difference::Class::Missing)
        difference.value = value;
    difference.line = 12;
    const Judgement judgement = rules->judge(*CarCatalogue::carNamed(car), difference);
    QCOMPARE(judgement.reason, reason);
    QCOMPARE(judgement.allowed, allowed);
    QCOMPARE(judgement.ruleLine, qint64(ruleLine));
}

void TestLeagueRules::readsTheRules()
{
    const QByteArray text(SpringLeague);
    QString error;
    const std::optional<LeagueRules> rules = LeagueRules::load(rulesFile(text), &error);
    QVERIFY2(rules, qPrintable(error));
    // What sha256sum says of the file.
    QCOMPARE(rules->sha256(), sha256Of(text));
    QCOMPARE(rules->sha256().size(), 64);

    QCOMPARE(rules->allowRules().size(), std::size_t(7));
    const AllowRule& any = rules->allowRules()[0];
    QCOMPARE(any.car, nullptr);
    QCOMPARE(any.key, QStringLiteral("GearRatio?"));
    QVERIFY(!any.min && !any.max && any.values.isEmpty() && !any.optional);
    const AllowRule& range = rules->allowRules()[1];
    QCOMPARE(range.line, 10);
    QCOMPARE(range.car, &carNamed("Brackwell"));
    QCOMPARE(range.section, QStringLiteral("Engine"));
    QCOMPARE(range.min, 0.5);
    QCOMPARE(range.max, 0.8);
    QCOMPARE(rules->allowRules()[2].values, QStringList({QStringLiteral("Soft"), QStringLiteral("Medium"),
                                                         QStringLiteral("Hard")}));
    QVERIFY(rules->allowRules()[3].optional);
    QCOMPARE(rules->allowRules()[5].min, 1.0);
    QVERIFY(rules->references().empty());
}

void TestLeagueRules::formattingSetting_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ignore");

    QTest::newRow("no [formatting]") << QByteArray("# nothing but a comment\n") << true;
    QTest::newRow("empty [formatting]") << QByteArray("[formatting]\n") << true;
    QTest::newRow("ignored") << QByteArray("[formatting]\nignore = true\n") << true;
    QTest::newRow("counts as tweaked") << QByteArray("[formatting]\nignore = false\n") << false;
}

void TestLeagueRules::formattingSetting()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ignore);

    QString error;
    const std::optional<LeagueRules> rules = LeagueRules::load(rulesFile(text), &error);
    QVERIFY2(rules, qPrintable(error));
    QCOMPARE(rules->ignoreFormatting(), ignore);
}

void TestLeagueRules::refusesFaults_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("fault"); // after "FILE:"

    const QByteArray allow("[[allow]]\ncar = \"*\"\nsection = \"Engine\"\n");
    const QByteArray digest(64, 'a');
    const QByteArray reference("[[reference]]\nname = \"1.1\"\nfolder = \"p\"\n");
    const QByteArray pin = "sha256.Grelm = \"" + digest + "\"\n";
    const auto row = [](const char* name, const QByteArray& text, const char* fault) {
        QTest::newRow(name) << text << QString::fromUtf8(fault);
    };

    row("does not parse", "[[allow]\ncar = \"*\"\n", "1:9: Error while parsing table header: expected ']', saw '\\n'");
    row("unknown table", "[[alow]]\ncar = \"*\"\n",
        "1:3: unknown table [[alow]] (expected [formatting], [[allow]] or [[reference]])");
    row("unknown single table", "[formating]\nignore = true\n",
        "1:2: unknown table [formating] (expected [formatting], [[allow]] or [[reference]])");
    row("unknown key at the top", "ignore = true\n",
        "1:1: unknown key \"ignore\" (expected [formatting], [[allow]] or [[reference]])");
    row("unknown key in [[allow]]", allow + "kee = \"BoostBar\"\n",
        "4:1: unknown key \"kee\" in [[allow]] (expected car, section, key, min, max, values or optional)");
    row("unknown key in [formatting]", "[formatting]\nignored = true\n",
        "2:1: unknown key \"ignored\" in [formatting] (expected ignore)");
    row("unknown key in [[reference]]", reference + pin + "sha = 1\n",
        "5:1: unknown key \"sha\" in [[reference]] (expected name, folder or sha256)");
    row("formatting not a table", "formatting = true\n", "1:14: formatting must be a table: [formatting]");
    row("allow not an array of tables", "[allow]\ncar = \"*\"\n", "1:1: allow must be an array of tables: [[allow]]");
    row("reference not an array of tables", "reference = [1]\n",
        "1:13: reference must be an array of tables: [[reference]]");
    row("car not a string", "[[allow]]\ncar = 3\nsection = \"Engine\"\nkey = \"BoostBar\"\n",
        "2:7: car must be a string");
    row("section not a string", "[[allow]]\ncar = \"*\"\nsection = [\"Engine\"]\nkey = \"BoostBar\"\n",
        "3:11: section must be a string");
    row("key not a string", allow + "key = 1\n", "4:7: key must be a string");
    row("min not a number", allow + "key = \"BoostBar\"\nmin = \"0.5\"\n", "5:7: min must be a number");
    row("max not a number", allow + "key = \"BoostBar\"\nmax = true\n", "5:7: max must be a number");
    row("min not finite", allow + "key = \"BoostBar\"\nmin = nan\n", "5:7: min must be a finite number");
    row("values not an array", allow + "key = \"Compound\"\nvalues = \"Soft\"\n",
        "5:10: values must be an array of strings");
    row("values holding a number", allow + "key = \"Compound\"\nvalues = [\"Soft\", 3]\n",
        "5:19: values must be an array of strings");
    row("values empty", allow + "key = \"Compound\"\nvalues = []\n", "5:10: values lists no value");
    row("optional not a boolean", allow + "key = \"*\"\noptional = \"yes\"\n", "5:12: optional must be true or false");
    row("ignore not a boolean", "[formatting]\nignore = 1\n", "2:10: ignore must be true or false");
    row("min above max", allow + "key = \"BoostBar\"\nmin = 0.9\nmax = 0.8\n", "5:7: min 0.9 is above max 0.8");
    row("values with min", allow + "key = \"BoostBar\"\nmin = 0\nvalues = [\"1\"]\n",
        "6:10: values cannot go with min or max");
    row("values with max", allow + "key = \"BoostBar\"\nvalues = [\"1\"]\nmax = 2\n",
        "5:10: values cannot go with min or max");
    row("car in another letter case", "[[allow]]\ncar = \"brackwell\"\nsection = \"Engine\"\nkey = \"BoostBar\"\n",
        "2:7: no car is listed as \"brackwell\" (cars: Brackwell, DunMarr, Skelder4, Grelm, Puddlewick, OldGrist, or "
        "\"*\" for every car)");
    row("car as a pattern", "[[allow]]\ncar = \"Brack*\"\nsection = \"Engine\"\nkey = \"BoostBar\"\n",
        "2:7: no car is listed as \"Brack*\" (cars: Brackwell, DunMarr, Skelder4, Grelm, Puddlewick, OldGrist, or "
        "\"*\" for every car)");
    row("allow without a key", "# league\n" + allow, "2:1: [[allow]] has no key");
    row("allow without a car", "[[allow]]\nsection = \"Engine\"\nkey = \"BoostBar\"\n", "1:1: [[allow]] has no car");
    row("reference without a name", "[[reference]]\nfolder = \"p\"\n" + pin, "1:1: [[reference]] has no name");
    row("reference without a folder", "[[reference]]\nname = \"1.1\"\n" + pin, "1:1: [[reference]] has no folder");
    row("reference pinning nothing", reference,
        "1:1: [[reference]] pins no file: add a sha256.<car> = \"…\" line for each car's .dat file in its folder");
    row("reference name empty", "[[reference]]\nname = \"\"\nfolder = \"p\"\n" + pin, "2:8: name is empty");
    row("reference folder empty", "[[reference]]\nname = \"1.1\"\nfolder = \"\"\n" + pin,
        "3:10: folder is empty; \".\" is the rules file's own folder");
    row("digest of no car", reference + "sha256.Grelms = \"" + digest + "\"\n",
        "4:8: sha256.Grelms names no car (cars: Brackwell, DunMarr, Skelder4, Grelm, Puddlewick, OldGrist)");
    row("digest too short", reference + "sha256.Grelm = \"" + digest.first(63) + "\"\n",
        "4:16: sha256.Grelm must be a SHA-256 of 64 hex digits");
    row("digest not hex", reference + "sha256.Grelm = \"" + digest.first(63) + "g\"\n",
        "4:16: sha256.Grelm must be a SHA-256 of 64 hex digits");
    row("digest not a string", reference + "sha256.Grelm = 1\n",
        "4:16: sha256.Grelm must be a SHA-256 of 64 hex digits");
    row("sha256 not a table", reference + "sha256 = \"" + digest + "\"\n",
        "4:10: sha256 must be a table of digests, as sha256.Brackwell = \"…\"");
    row("two references with one name", reference + pin + reference + pin,
        "6:8: a reference named \"1.1\" is already at line 1");
    row("two references with one name holding %1",
        "[[reference]]\nname = \"v%1\"\nfolder = \"p\"\n" + pin + "[[reference]]\nname = \"v%1\"\nfolder = \"q\"\n"
            + pin,
        "6:8: a reference named \"v%1\" is already at line 1");
    row("reference named original", "[[reference]]\nname = \"Original\"\nfolder = \"p\"\n" + pin,
        "2:8: \"Original\" is the program folder's own reference data; name the version otherwise");
    // Tables are read by name, [[allow]] before [[reference]]; the fault
    // reported is still the one nearer the top.
    row("the first fault in the file", "[[reference]]\nname = \"original\"\nfolder = \"p\"\n" + pin + allow
            + "key = 1\n",
        "2:8: \"original\" is the program folder's own reference data; name the version otherwise");
}

void TestLeagueRules::refusesFaults()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, fault);

    const QString path = rulesFile(text);
    QString error;
    QVERIFY(!LeagueRules::load(path, &error));
    QCOMPARE(error, path + u':' + fault);
}

void TestLeagueRules::refusesAnUnreadableFile()
{
    const QString path = m_dir.filePath(QStringLiteral("absent.toml"));
    QString error;
    QVERIFY(!LeagueRules::load(path, &error));
    QVERIFY2(error.startsWith(path + QStringLiteral(": ")), qPrintable(error));
}

void TestLeagueRules::pastedDigestsVerify()
{
    // Files in the folder in the catalogue's order and out of it, and files
    // that are no car's.
    const QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("patch-1.1"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray grelm = genuineOf("Grelm");
    const QByteArray skelder = genuineOf("Skelder4").replace("BoostBar=1.10", "BoostBar=1.15");
    QVERIFY(write(folder + QStringLiteral("/Grelm.dat"), grelm));
    QVERIFY(write(folder + QStringLiteral("/Skelder4.dat"), skelder));
    QVERIFY(write(folder + QStringLiteral("/brackwell.dat"), genuineOf("Brackwell")));
    QVERIFY(write(folder + QStringLiteral("/Notes.dat"), "notes"));
    QVERIFY(write(folder + QStringLiteral("/DunMarr.txt"), genuineOf("DunMarr")));

    QString error;
    const QStringList lines = digestLines(folder, &error);
    QCOMPARE(lines, QStringList({QStringLiteral("sha256.Skelder4 = \"%1\"").arg(QLatin1String(sha256Of(skelder))),
                                 QStringLiteral("sha256.Grelm = \"%1\"").arg(QLatin1String(sha256Of(grelm)))}));

    const QString path = dir.filePath(QStringLiteral("league.toml"));
    QVERIFY(write(path, "[[reference]]\nname = \"1.1\"\nfolder = \"patch-1.1\"\n" + lines.join(u'\n').toUtf8() + '\n'));
    std::optional<LeagueRules> rules = LeagueRules::load(path, &error);
    QVERIFY2(rules, qPrintable(error));
    QVERIFY2(rules->loadReferences(&error), qPrintable(error));
    QCOMPARE(rules->references().size(), std::size_t(1));
    const ReferenceVersion& version = rules->references().front();
    QCOMPARE(version.name, QStringLiteral("1.1"));
    QCOMPARE(version.folder, QDir(folder).absolutePath());
    QCOMPARE(version.bytes.size(), std::size_t(2));
    QCOMPARE(version.bytes.at(&carNamed("Skelder4")), skelder);
    QCOMPARE(version.bytes.at(&carNamed("Grelm")), grelm);
    QCOMPARE(version.sha256.at(&carNamed("Grelm")), sha256Of(grelm));
}

void TestLeagueRules::referenceFailures_data()
{
    QTest::addColumn<QByteArray>("pins");
    QTest::addColumn<QString>("error"); // {folder} for the version's folder

    const QByteArray grelm = sha256Of(genuineOf("Grelm"));
    const QByteArray other = sha256Of("not Grelm's");
    const QByteArray skelder = sha256Of(genuineOf("Skelder4"));
    const QString context = QStringLiteral("reference \"1.1\" (line 1): {folder}/");

    QTest::newRow("digest differs") << "sha256.Grelm = \"" + other.toUpper() + "\"\nsha256.Skelder4 = \"" + skelder
            + "\"\n"
                                    << context + QStringLiteral("Grelm.dat: its SHA-256 is %1, but the rules pin %2")
                                                     .arg(QLatin1String(grelm), QLatin1String(other));
    QTest::newRow("file missing") << "sha256.Grelm = \"" + grelm + "\"\nsha256.Skelder4 = \"" + skelder
            + "\"\nsha256.OldGrist = \"" + grelm + "\"\n"
                                  << context + QStringLiteral("OldGrist.dat: ");
    QTest::newRow("file not pinned") << "sha256.Grelm = \"" + grelm + "\"\n"
                                     << context + QStringLiteral("Skelder4.dat: not pinned: add sha256.Skelder4 = "
                                                                 "\"…\" to the reference, or take the file away");
}

// A failing version stops the run with the file named: never a check
// quietly left out.
void TestLeagueRules::referenceFailures()
{
    QFETCH(QByteArray, pins);
    QFETCH(QString, error);

    const QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("patch-1.1"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(write(folder + QStringLiteral("/Grelm.dat"), genuineOf("Grelm")));
    QVERIFY(write(folder + QStringLiteral("/Skelder4.dat"), genuineOf("Skelder4")));
    const QString path = dir.filePath(QStringLiteral("league.toml"));
    QVERIFY(write(path, "[[reference]]\nname = \"1.1\"\nfolder = \"patch-1.1\"\n" + pins));

    QString failure;
    std::optional<LeagueRules> rules = LeagueRules::load(path, &failure);
    QVERIFY2(rules, qPrintable(failure));
    QVERIFY(!rules->loadReferences(&failure));
    error.replace(QStringLiteral("{folder}"), QDir(folder).absolutePath());
    QVERIFY2(failure.startsWith(error), qPrintable(failure));
    QVERIFY(rules->references().front().bytes.empty());
}

void TestLeagueRules::digestLinesNeedCars()
{
    const QTemporaryDir dir;
    QVERIFY(write(dir.filePath(QStringLiteral("grelm.dat")), genuineOf("Grelm")));
    QString error;
    QVERIFY(digestLines(dir.path(), &error).isEmpty());
    QCOMPARE(error, dir.path()
                 + QStringLiteral(": holds no car's .dat file (Brackwell.dat, DunMarr.dat, Skelder4.dat, Grelm.dat, "
                                  "Puddlewick.dat, OldGrist.dat)"));

    const QString absent = dir.filePath(QStringLiteral("absent"));
    QVERIFY(digestLines(absent, &error).isEmpty());
    QCOMPARE(error, absent + QStringLiteral(": no such folder"));
}

void TestLeagueRules::explainsTheRules()
{
    std::vector<GenuineDescriptor> descriptors;
    for (const Car& car : CarCatalogue::cars()) {
        const QByteArray bytes = genuineOf(qPrintable(car.listEntry));
        QVERIFY(!bytes.isEmpty());
        descriptors.push_back(GenuineDescriptor::read(car, bytes));
    }
    GenuineSet genuine;
    for (const GenuineDescriptor& descriptor : descriptors)
        genuine.push_back(&descriptor);

    const QByteArray text = R"([formatting]
ignore = false

[[allow]]
car = "*"
section = "Gearbox"
key = "GearRatio?"

[[allow]]
car = "Brackwell"
section = "Engine"
key = "BoostBar"
min = 0.5
max = 0.8

[[allow]]
car = "*"
section = "Engine"
key = "Nitrous"
optional = true

[[allow]]
car = "Grelm"
section = "Engine"
key = "BoostBar"
values = ["1"]

[[reference]]
name = "1.1"
folder = "patch-1.1"
sha256.Grelm = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789ABCDEF"
sha256.Brackwell = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"

[[allow]]
car = "*"
section = "Engine"
key = "BoostBar"
max = 1.2
)";
    QString error;
    const QString path = rulesFile(text, QStringLiteral("explained.toml"));
    const std::optional<LeagueRules> rules = LeagueRules::load(path, &error);
    QVERIFY2(rules, qPrintable(error));
    const QStringList expected{
        QStringLiteral("rules %1 (sha256 %2)").arg(path, QLatin1String(sha256Of(text))),
        QStringLiteral("formatting: a file that differs only in formatting counts as tweaked"),
        QStringLiteral("rule at line 4: * [Gearbox] GearRatio?: any value"),
        QStringLiteral("  matches 33 keys: Brackwell 6, DunMarr 5, Skelder4 7, Grelm 6, Puddlewick 5, OldGrist 4"),
        QStringLiteral("rule at line 9: Brackwell [Engine] BoostBar: 0.5 to 0.8"),
        QStringLiteral("  matches Brackwell [Engine] BoostBar"),
        QStringLiteral("rule at line 16: * [Engine] Nitrous: any value; may also be added or removed"),
        QStringLiteral("warning: rule at line 16 matches no key in any genuine descriptor; it can only allow the key "
                       "to be added"),
        QStringLiteral("rule at line 22: Grelm [Engine] BoostBar: one of 1"),
        QStringLiteral("warning: rule at line 22 matches no key in any genuine descriptor"),
        QStringLiteral("rule at line 34: * [Engine] BoostBar: at most 1.2"),
        QStringLiteral("  matches Brackwell [Engine] BoostBar"),
        QStringLiteral("  matches DunMarr [Engine] BoostBar"),
        QStringLiteral("  matches Skelder4 [Engine] BoostBar"),
        QStringLiteral("warning: rule at line 34: the genuine DunMarr [Engine] BoostBar of version \"original\" already "
                       "lies outside it: BoostBar=1.35 is above the league's 1.2"),
        QStringLiteral("reference \"1.1\" at line 28: Brackwell, Grelm in %1")
            .arg(QDir(m_dir.filePath(QStringLiteral("patch-1.1"))).absolutePath()),
    };
    QCOMPARE(rules->explain(genuine), expected);
}

QTEST_GUILESS_MAIN(TestLeagueRules)
#include "test_league_rules.moc"
