#include "DescriptorText.h"
#include "HtmlReport.h"
#include "ReferenceDigest.h"
#include "SampleLeague.h"
#include "ShownText.h"
#include "SmallDisk.h"
#include "TestProgramFolder.h"
#include "TextReport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <functional>

namespace {

using Lines = QList<QByteArray>;

// A page read back as XML: elements with their attributes, and text, in order.
struct Node {
    QString name; // empty for text
    QMap<QString, QString> attributes;
    QString text;
    QList<Node> children;

    bool hasClass(const QString& cssClass) const
    {
        return attributes.value(QStringLiteral("class")).split(u' ').contains(cssClass);
    }

    // The text as it reads, with what is marked shown as [-deleted-] and {+inserted+}.
    QString shown() const
    {
        if (name.isEmpty())
            return text;
        if (name == QLatin1String("br"))
            return QStringLiteral("\n");
        QString out;
        for (const Node& child : children)
            out += child.shown();
        if (name == QLatin1String("del"))
            return QStringLiteral("[-") + out + QStringLiteral("-]");
        if (name == QLatin1String("ins"))
            return QStringLiteral("{+") + out + QStringLiteral("+}");
        return out;
    }

    void collect(const std::function<bool(const Node&)>& wanted, QList<const Node*>* found) const
    {
        for (const Node& child : children) {
            if (child.name.isEmpty())
                continue;
            if (wanted(child))
                found->append(&child);
            child.collect(wanted, found);
        }
    }

    QList<const Node*> all(const QString& element, const QString& cssClass = QString()) const
    {
        QList<const Node*> found;
        collect([&](const Node& node) { return node.name == element && (cssClass.isEmpty() || node.hasClass(cssClass)); },
                &found);
        return found;
    }

    const Node* first(const QString& element, const QString& cssClass = QString()) const
    {
        const QList<const Node*> found = all(element, cssClass);
        return found.isEmpty() ? nullptr : found.first();
    }

    const Node* byId(const QString& id) const
    {
        QList<const Node*> found;
        collect([&](const Node& node) { return node.attributes.value(QStringLiteral("id")) == id; }, &found);
        return found.isEmpty() ? nullptr : found.first();
    }

    // A table row's cells as they read.
    QStringList cells() const
    {
        QStringList texts;
        for (const Node* cell : all(QStringLiteral("td")))
            texts << cell->shown();
        return texts;
    }
};

struct Page {
    QByteArray bytes;
    Node root;
    QString error;

    static Page read(const QString& path)
    {
        Page page;
        page.root.name = QStringLiteral("#document");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            page.error = file.errorString();
            return page;
        }
        page.bytes = file.readAll();
        QXmlStreamReader xml(page.bytes);
        QList<Node*> open{&page.root};
        while (!xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::StartElement: {
                Node node;
                node.name = xml.name().toString();
                for (const QXmlStreamAttribute& attribute : xml.attributes())
                    node.attributes.insert(attribute.name().toString(), attribute.value().toString());
                open.last()->children.append(node);
                open.append(&open.last()->children.last());
                break;
            }
            case QXmlStreamReader::EndElement:
                open.removeLast();
                break;
            case QXmlStreamReader::Characters: {
                Node text;
                text.text = xml.text().toString();
                open.last()->children.append(text);
                break;
            }
            default:
                break;
            }
        }
        if (xml.hasError())
            page.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return page;
    }

    QString text() const { return root.shown(); }
};

} // namespace

class TestHtmlReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_league.isValid(), qPrintable(m_league.error())); }

    // Anyone can recompute the digest with sha256sum in the program folder;
    // the files are found in any letter case, as the window finds them.
    void digestIsWhatSha256sumPrints()
    {
        TestProgramFolder program;
        QVERIFY(program.isValid());
        QProcess sha256sum;
        sha256sum.setWorkingDirectory(program.path());
        sha256sum.start(QStringLiteral("bash"),
                        {QStringLiteral("-c"), QStringLiteral("sha256sum Sam.mdb Brackwell.dat DunMarr.dat Skelder4.dat "
                                                              "Grelm.dat Puddlewick.dat OldGrist.dat | sha256sum")});
        QVERIFY(sha256sum.waitForFinished());
        QCOMPARE(sha256sum.exitCode(), 0);
        const QByteArray expected = sha256sum.readAllStandardOutput().left(64);

        QString error;
        QCOMPARE(referenceDigest(program.path(), &error).value_or("none"), expected);
        QVERIFY(QFile::rename(program.file(QStringLiteral("Grelm.dat")), program.file(QStringLiteral("grelm.DAT"))));
        QCOMPARE(referenceDigest(program.path(), &error).value_or("none"), expected);

        QVERIFY(QFile::remove(program.file(QStringLiteral("OldGrist.dat"))));
        QVERIFY(!referenceDigest(program.path(), &error));
        QVERIFY2(error.contains(QStringLiteral("OldGrist.dat")), qPrintable(error));
    }

    void header_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("shown");
        const QDate date(2024, 5, 18);
        const QTime time(21, 4, 37);
        QTest::newRow("east of UTC") << QDateTime(date, time, QTimeZone(2 * 3600)) << "2024-05-18T21:04:37+02:00";
        QTest::newRow("west of UTC") << QDateTime(date, time, QTimeZone(-5 * 3600)) << "2024-05-18T21:04:37-05:00";
        QTest::newRow("half hours") << QDateTime(date, time, QTimeZone("Asia/Kolkata")) << "2024-05-18T21:04:37+05:30";
        QTest::newRow("UTC") << QDateTime(date, time, QTimeZone::utc()) << "2024-05-18T21:04:37Z";
    }

    // When, by what, against which reference data: by its folder's name and
    // digest, not by a path of the machine that ran the check.
    void header()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, shown);
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("report.html"));
        QString error;
        const QByteArray digest = referenceDigest(m_league.programFolder(), &error).value_or(QByteArray());
        QVERIFY2(!digest.isEmpty(), qPrintable(error));
        const Car& brackwell = SampleLeague::car("Brackwell");
        HtmlReport report(QDir(m_league.programFolder()).dirName(), digest, QStringLiteral("kestrix-check 0.9.0"), when);
        report.add(m_league.check("bob", brackwell, m_league.genuine(brackwell)), m_league.genuine(brackwell));
        QVERIFY2(report.write(path, &error), qPrintable(error));

        const Page page = Page::read(path);
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        const Node* time = page.root.first(QStringLiteral("time"));
        QVERIFY(time);
        QCOMPARE(time->shown(), shown);
        QCOMPARE(time->attributes.value(QStringLiteral("datetime")), shown);
        const QString facts = page.root.first(QStringLiteral("dl"))->shown();
        QVERIFY2(facts.contains(QStringLiteral("kestrix-check 0.9.0")), qPrintable(facts));
        QVERIFY2(facts.contains(QDir(m_league.programFolder()).dirName() + QStringLiteral(", SHA-256 ")
                                + QString::fromLatin1(digest)),
                 qPrintable(facts));
        QVERIFY(!page.bytes.contains(QFile::encodeName(m_league.programFolder())));
        QCOMPARE(page.root.first(QStringLiteral("p"), QStringLiteral("summary"))->shown(),
                 QStringLiteral("1 descriptor: 1 genuine, 0 formatting only, 0 damaged, 0 tweaked, 0 errors; "
                                "1 player, 0 with tweaks"));
    }

    void firstDifference_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("row"); // genuine number, sign, text; what; descriptor number, sign, text
        const Car& car = SampleLeague::car("Brackwell");
        const auto with = [&](const std::function<void(Lines&)>& edit) { return m_league.edited(car, edit); };
        const auto row = [](std::initializer_list<const char*> cells) {
            QStringList list;
            for (const char* cell : cells)
                list << QString::fromUtf8(cell);
            return list;
        };
        QTest::newRow("changed") << with([](Lines& l) { l[15] = "Torque=512.5"; }) << "tweaked"
                                 << row({"16", "~", "Torque=[-4-]12.5", "changed", "16", "~", "Torque={+5+}12.5"});
        QTest::newRow("added") << with([](Lines& l) { l.insert(20, "Boost=2.5"); }) << "tweaked"
                               << row({"", "", "", "added", "21", "+", "Boost=2.5"});
        QTest::newRow("missing") << with([](Lines& l) { l.removeAt(19); }) << "tweaked"
                                 << row({"20", "-", "LimiterRPM=8000", "missing", "", "", ""});
        QTest::newRow("moved") << with([](Lines& l) {
            l.insert(160, l[15]);
            l.removeAt(15);
        }) << "tweaked" << row({"16", "-", "Torque=412.5", "moved", "", "", ""});
        QTest::newRow("duplicate") << with([](Lines& l) { l.insert(21, "Inertia=0.9"); }) << "tweaked"
                                   << row({"", "", "", "duplicate", "22", "+", "Inertia=0.9"});
        QTest::newRow("a trailing space") << with([](Lines& l) { l[15] = "Torque=512.5 "; }) << "tweaked"
                                          << row({"16", "~", "Torque=[-4-]12.5", "changed", "16", "~",
                                                  "Torque={+5+}12.5{+·+}"});
        QTest::newRow("a tab") << with([](Lines& l) { l[15] = "Torque=\t512.5"; }) << "tweaked"
                               << row({"16", "~", "Torque=[-4-]12.5", "changed", "16", "~", "Torque={+→5+}12.5"});
        // Tweaked both ways: the window's reading, which loses PowerKW, is shown.
        QTest::newRow("a lone LF") << with([](Lines& l) {
            l[15] = "Torque=512.5\nPowerKW=255.9";
            l.removeAt(16);
        }) << "tweaked"
                                   << row({"16", "~", "Torque=[-4-]12.5", "changed", "16", "~",
                                           "Torque={+5+}12.5{+\\x0APowerKW=255.9+}"});
        QTest::newRow("a byte order mark")
            << "\xEF\xBB\xBF" + with([](Lines& l) { l[15] = "Torque=512.5"; }) << "tweaked"
            << row({"1", "~", "; Vortrax car descriptor - Brackwell", "formatting", "1", "~",
                    "{+BOM+}; Vortrax car descriptor - Brackwell"});
        QTest::newRow("LF line ends") << QByteArray(m_league.genuine(car)).replace("\r\n", "\n") << "formatting"
                                      << row({"1", "~", "; Vortrax car descriptor - Brackwell", "formatting", "1", "~",
                                              "; Vortrax car descriptor - Brackwell{+␊+}"});
        QTest::newRow("control bytes") << with([](Lines& l) { l[15] = QByteArrayLiteral("Torque=412.5\x00\x01"); })
                                       << "damaged"
                                       << row({"16", "~", "Torque=412.5", "damaged", "16", "~", "Torque=412.5{+\\x00\\x01+}"});
        const QByteArray genuine = m_league.genuine(car);
        QTest::newRow("cut off") << genuine.left(genuine.indexOf("Torque=") + 4) << "damaged"
                                 << row({"16", "~", "Torq[-ue=412.5-]", "damaged", "16", "~", "Torq{+no line end+}"});
    }

    // The first row that differs, as a reader sees it: which side each line
    // is on, its number, a sign and the class in words, and within the line
    // what differs, white space and line ends included.
    void firstDifference()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(QString, status);
        QFETCH(QStringList, row);
        const Page page = pageOf({m_league.check("bob", SampleLeague::car("Brackwell"), descriptor)});
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        const QList<const Node*> files = page.root.all(QStringLiteral("section"), QStringLiteral("file"));
        QCOMPARE(files.size(), 1);
        QVERIFY(files[0]->first(QStringLiteral("span"), status));
        QList<const Node*> rows = files[0]->all(QStringLiteral("tr"), QStringLiteral("c"))
            + files[0]->all(QStringLiteral("tr"), QStringLiteral("l")) + files[0]->all(QStringLiteral("tr"), QStringLiteral("r"));
        QVERIFY(!rows.isEmpty());
        // The first in the table's order.
        const QList<const Node*> inOrder = files[0]->all(QStringLiteral("tr"));
        const Node* first = *std::min_element(rows.begin(), rows.end(), [&](const Node* a, const Node* b) {
            return inOrder.indexOf(a) < inOrder.indexOf(b);
        });
        QCOMPARE(first->cells(), row);
        if (status != QLatin1String("tweaked")) {
            // One line of words and a few examples, not the whole file.
            QVERIFY(files[0]->first(QStringLiteral("p"), QStringLiteral("words")));
            QVERIFY(rows.size() <= 3);
            QVERIFY(!files[0]->first(QStringLiteral("details")));
        }
    }

    // Three lines of context about each change, the rest folded, closed,
    // with each side's numbers.
    void unchangedLinesFold()
    {
        const Car& car = SampleLeague::car("Brackwell");
        const Page page = pageOf({m_league.check("bob", car, m_league.edited(car, [](Lines& l) {
            l[15] = "Torque=512.5";
            l.insert(99, "Boost=2.5");
        }))});
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        QStringList genuineNumbers;
        QStringList descriptorNumbers;
        QStringList folds;
        QStringList foldStarts;
        for (const Node* row : page.root.first(QStringLiteral("table"), QStringLiteral("d"))->all(QStringLiteral("tr"))) {
            if (row->hasClass(QStringLiteral("f"))) {
                const Node* details = row->first(QStringLiteral("details"));
                QVERIFY(!details->attributes.contains(QStringLiteral("open")));
                const Node* pre = details->first(QStringLiteral("pre"));
                folds << QStringLiteral("%1: %2 lines")
                             .arg(details->first(QStringLiteral("summary"))->shown())
                             .arg(pre->all(QStringLiteral("b")).size());
                foldStarts << pre->attributes.value(QStringLiteral("style"));
            } else if (const QStringList cells = row->cells(); cells.size() == 7) {
                genuineNumbers << cells[0];
                descriptorNumbers << cells[4];
            }
        }
        QCOMPARE(folds, QStringList({QStringLiteral("12 unchanged lines (1–12): 12 lines"),
                                     QStringLiteral("77 unchanged lines (20–96): 77 lines"),
                                     QStringLiteral("132 unchanged lines (genuine 103–234, descriptor 104–235): 132 lines")}));
        QCOMPARE(foldStarts, QStringList({QStringLiteral("counter-reset:g 0 d 0"), QStringLiteral("counter-reset:g 19 d 19"),
                                          QStringLiteral("counter-reset:g 102 d 103")}));
        QCOMPARE(genuineNumbers.join(u' '), QStringLiteral("13 14 15 16 17 18 19 97 98 99  100 101 102"));
        QCOMPARE(descriptorNumbers.join(u' '), QStringLiteral("13 14 15 16 17 18 19 97 98 99 100 101 102 103"));
    }

    // One row a player, those with tweaks first, then those with anything
    // else to look at; a link to each file that is not genuine, and genuine
    // files only counted.
    void players()
    {
        const Car& brackwell = SampleLeague::car("Brackwell");
        const Car& grelm = SampleLeague::car("Grelm");
        const Car& dunMarr = SampleLeague::car("DunMarr");
        const QByteArray tweaked = m_league.edited(brackwell, [](Lines& l) { l[15] = "Torque=512.5"; });
        const Page page = pageOf({
            m_league.check("alice", brackwell, m_league.genuine(brackwell)),
            m_league.check("zed", grelm, m_league.genuine(grelm)),
            m_league.check("zed", brackwell, tweaked),
            m_league.check("bob", dunMarr, QByteArray(m_league.genuine(dunMarr)).replace("\r\n", "\n")),
            SampleLeague::error("carl", "league/carl/Cars/Grelm/Grelmdescriptor.txt",
                                QStringLiteral("league/carl/Cars/Grelm/Grelmdescriptor.txt: Permission denied")),
            m_league.check("amy", brackwell, tweaked),
            m_league.check("", grelm, m_league.genuine(grelm)),
            m_league.check("alice", grelm, m_league.genuine(grelm)),
        });
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        QStringList rows;
        for (const Node* row : page.root.first(QStringLiteral("table"), QStringLiteral("players"))->all(QStringLiteral("tr"))) {
            if (const QStringList cells = row->cells(); !cells.isEmpty())
                rows << cells.join(u'|');
        }
        QCOMPARE(rows, QStringList({QStringLiteral("amy||||1||Brackwell tweaked"),
                                    QStringLiteral("zed|1|||1||Brackwell tweaked"),
                                    QStringLiteral("bob||1||||DunMarr formatting"),
                                    QStringLiteral("carl|||||1|Grelmdescriptor.txt error"),
                                    QStringLiteral("(none)|1|||||"), QStringLiteral("alice|2|||||")}));
        // Each link leads to that player's file.
        for (const Node* row : page.root.first(QStringLiteral("table"), QStringLiteral("players"))->all(QStringLiteral("tr"))) {
            for (const Node* link : row->all(QStringLiteral("a"))) {
                const Node* target = page.root.byId(link->attributes.value(QStringLiteral("href")).mid(1));
                QVERIFY2(target, qPrintable(link->attributes.value(QStringLiteral("href"))));
                const QString player = row->cells().first();
                QVERIFY2(target->shown().contains(QStringLiteral("player ") + player + u':')
                             || target->shown().contains(QStringLiteral("player ") + player + QStringLiteral(" · ")),
                         qPrintable(target->shown()));
                QVERIFY(target->shown().contains(QStringLiteral("league/%1/").arg(player)));
            }
        }
        QVERIFY(!page.bytes.contains("league/alice/"));
        QVERIFY(!page.bytes.contains("league//"));
        QVERIFY(page.root.first(QStringLiteral("ul"), QStringLiteral("errors"))->shown().contains(
            QStringLiteral("carl: league/carl/Cars/Grelm/Grelmdescriptor.txt: Permission denied")));
        QCOMPARE(page.root.first(QStringLiteral("p"), QStringLiteral("summary"))->shown(),
                 QStringLiteral("8 descriptors: 4 genuine, 1 formatting only, 0 damaged, 2 tweaked, 1 error; "
                                "6 players, 2 with tweaks"));
    }

    // Under a league's rules: a column for what they allowed, such files
    // beside the tweaked ones with each allowed difference said so, and the
    // caller's own summary, corrections and all.
    void allowedUnderRules()
    {
        const Car& brackwell = SampleLeague::car("Brackwell");
        const QByteArray edited = m_league.edited(brackwell, [](Lines& l) { l[15] = "Torque=512.5"; });
        Verdict allowed = m_league.check("bob", brackwell, edited);
        allowed.status = Verdict::Status::Allowed;
        for (Difference& difference : allowed.differences) {
            difference.allowed = true;
            difference.rule = 4;
        }
        const QString summary = QStringLiteral("2 descriptors: 0 genuine, 0 formatting only, 1 allowed, 0 damaged, "
                                               "1 tweaked, 0 errors; 2 players, 1 with tweaks; 1 corrected");
        const Page page = pageOf({m_league.check("amy", brackwell, edited), allowed}, QStringLiteral("Kestrix"), summary);
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        QCOMPARE(page.root.first(QStringLiteral("p"), QStringLiteral("summary"))->shown(), summary);
        const Node* players = page.root.first(QStringLiteral("table"), QStringLiteral("players"));
        QStringList heads;
        for (const Node* head : players->all(QStringLiteral("th")))
            heads << head->shown();
        QCOMPARE(heads.join(u'|'), QStringLiteral("Player|Genuine|Formatting|Allowed|Damaged|Tweaked|Errors|To look at"));
        QStringList rows;
        for (const Node* row : players->all(QStringLiteral("tr"))) {
            if (const QStringList cells = row->cells(); !cells.isEmpty())
                rows << cells.join(u'|');
        }
        QCOMPARE(rows, QStringList({QStringLiteral("amy|||||1||Brackwell tweaked"),
                                    QStringLiteral("bob|||1||||Brackwell allowed")}));
        QCOMPARE(page.root.byId(QStringLiteral("tweaked"))->shown(), QStringLiteral("Tweaked and allowed"));
        const Node* file = page.root.byId(QStringLiteral("f2"));
        QVERIFY(file->first(QStringLiteral("span"), QStringLiteral("allowed")));
        QCOMPARE(file->first(QStringLiteral("tr"), QStringLiteral("c"))->cells().at(3), QStringLiteral("changed\nallowed"));
    }

    // Whatever names and descriptors hold, the page is UTF-8 XML that
    // Python's parser takes, shows each name's escapes as text, and needs
    // nothing from outside.
    void hostileNamesAndBytes()
    {
        const QByteArray mallory = "mallory\x1b[31m\n\xe2\x80\xae\xff";
        const Car& brackwell = SampleLeague::car("Brackwell");
        Verdict tweaked = m_league.check(mallory, brackwell, m_league.edited(brackwell, [](Lines& l) {
            l[15] = QByteArrayLiteral("Torque=\x00\x1b[2J\x7f\x81\xa0" "512.5");
            l[16] = "PowerKW=<b>&amp;</b>";
        }));
        tweaked.path = "league/" + mallory + "/Brackwell\x1b]0;x\x07.txt";
        const Page page = pageOf(
            {tweaked,
             m_league.check(mallory, brackwell, QByteArray(4096, '\0')),
             SampleLeague::error(mallory, "x", QStringLiteral("league/\x1b[2J\u202e/x: No such file or directory"))},
            QStringLiteral("Kestrix\u202e\x1b"));
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));

        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])"), m_pagePath});
        QVERIFY2(python.waitForFinished(), "python3 is needed (scripts/install-deps.sh installs it)");
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());

        QVERIFY(ShownText::isUtf8(page.bytes));
        for (const char byte : page.bytes)
            QVERIFY2(byte == '\n' || static_cast<unsigned char>(byte) >= 0x20, qPrintable(QString::number(byte)));
        QVERIFY(!page.bytes.contains("\xe2\x80\xae"));
        const QRegularExpression entity(QStringLiteral("&([A-Za-z][A-Za-z0-9]*);"));
        for (const QRegularExpressionMatch& match : entity.globalMatch(QString::fromUtf8(page.bytes)))
            QVERIFY2(QStringList({QStringLiteral("amp"), QStringLiteral("lt"), QStringLiteral("gt"), QStringLiteral("quot"),
                                  QStringLiteral("apos")})
                         .contains(match.captured(1)),
                     qPrintable(match.captured()));
        for (const char* outside : {"<script", " src=", "url(", "@import", "<link", "<img", "<iframe"})
            QVERIFY2(!page.bytes.contains(outside), outside);

        const Node* players = page.root.first(QStringLiteral("table"), QStringLiteral("players"));
        QCOMPARE(players->all(QStringLiteral("td")).first()->shown(), ShownText::name(mallory));
        QCOMPARE(ShownText::name(mallory), QStringLiteral("mallory\\x1B[31m\\n\\u202E\\xFF"));
        // A zero-width no-break space (a byte order mark) is shown, never dropped.
        QCOMPARE(ShownText::name("bob\xEF\xBB\xBF" "bob"), QStringLiteral("bob\\uFEFFbob"));
        const QString text = page.text();
        QVERIFY(text.contains(ShownText::name(tweaked.path)));
        QVERIFY(text.contains(QStringLiteral("Kestrix\\u202E\\x1B")));
        QVERIFY(text.contains(QStringLiteral("league/\\x1B[2J\\u202E/x: No such file")));
        QVERIFY2(text.contains(QStringLiteral("Torque={+\\x00\\x1B[2J\\x7F\\x81\\xA05+}12.5")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("PowerKW={+<b>&amp;</b>+}")));
    }

    // Published pages of large leagues stay small: the unchanged lines of a
    // tweaked file are folded once for both sides.
    void tenThousandDescriptorsUnderTwoMegabytes()
    {
        QTemporaryDir out;
        QString error;
        HtmlReport report(QStringLiteral("Kestrix"), QByteArray(64, 'a'), QStringLiteral("kestrix-check 0.9.0"),
                          QDateTime::currentDateTime());
        for (int i = 0; i < 10'000; ++i) {
            const Car& car = CarCatalogue::cars()[std::size_t(i % CarCatalogue::CarCount)];
            QByteArray bytes = m_league.genuine(car);
            if (i % 100 == 7) {
                const qsizetype torque = bytes.indexOf("\r\nTorque=") + 2;
                bytes.replace(torque, bytes.indexOf('\r', torque) - torque, "Torque=999.9");
            }
            report.add(m_league.check("p" + QByteArray::number(i).rightJustified(5, '0'), car, bytes), m_league.genuine(car));
        }
        const QString path = out.filePath(QStringLiteral("report.html"));
        QVERIFY2(report.write(path, &error), qPrintable(error));
        const qint64 size = QFileInfo(path).size();
        qInfo("10,000 descriptors, 100 tweaked: %lld bytes", size);
        QVERIFY2(size < 2'000'000, qPrintable(QString::number(size)));
        const Page page = Page::read(path);
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        QCOMPARE(page.root.all(QStringLiteral("section"), QStringLiteral("file")).size(), 100);
    }

    void oneFileStaysSmall_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        // Each holds one of the car's sections, so that it is judged line by line.
        QByteArray lines = "[Engine]\n";
        while (lines.size() < LargestDescriptor - 2)
            lines += "x\n";
        QByteArray keys = "[Engine]\r\n";
        for (int i = 0; keys.size() < LargestDescriptor - 20; ++i)
            keys += "Key" + QByteArray::number(i) + "=1\r\n";
        QTest::newRow("32,000 lines") << lines;
        QTest::newRow("6,000 keys added") << keys;
        QTest::newRow("one line of 64 KB") << QByteArray(LargestDescriptor, 'q');
    }

    // Whatever one player sends, its part of the page stays small: at most
    // 300 rows that differ, and lines and words cut short.
    void oneFileStaysSmall()
    {
        QFETCH(QByteArray, descriptor);
        const Car& car = SampleLeague::car("Brackwell");
        const Page page = pageOf({m_league.check("x", car, descriptor)});
        QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
        QVERIFY2(page.bytes.size() < 150'000, qPrintable(QString::number(page.bytes.size())));
        // One line in common at most: each of both files' other lines is a row that differs.
        const qint64 common = descriptor.startsWith("[Engine]\r\n") ? 2 : 0;
        const qint64 rows = qint64(DescriptorText(descriptor).lines().size() + DescriptorText(m_league.genuine(car)).lines().size()) - common;
        const Node* note = page.root.first(QStringLiteral("p"), QStringLiteral("cut"));
        QCOMPARE(note ? note->shown() : QString(),
                 rows > 300 ? QStringLiteral("%1 more rows that differ are not shown.").arg(rows - 300) : QString());
    }

    void writeFailure_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("a folder that is not there") << "missing";
        QTest::newRow("a folder in its place") << "folder";
        QTest::newRow("a full disk") << "full";
    }

    // A page that cannot be written whole is an error naming the file.
    void writeFailure()
    {
        QFETCH(QString, where);
        QTemporaryDir out;
        SmallDisk disk;
        QString path = out.filePath(QStringLiteral("missing/report.html"));
        if (where == QLatin1String("folder")) {
            path = out.filePath(QStringLiteral("report.html"));
            QVERIFY(QDir(out.path()).mkdir(QStringLiteral("report.html")));
        } else if (where == QLatin1String("full")) {
            if (!disk.isMounted())
                QSKIP(SmallDisk::NeedsRoot);
            QVERIFY(disk.fill());
            path = disk.file(QStringLiteral("report.html"));
        }
        const Car& car = SampleLeague::car("Brackwell");
        HtmlReport report(QStringLiteral("Kestrix"), QByteArray(64, 'a'), QStringLiteral("kestrix-check 0.9.0"),
                          QDateTime::currentDateTime());
        report.add(m_league.check("bob", car, m_league.edited(car, [](Lines& l) { l[15] = "Torque=512.5"; })),
                   m_league.genuine(car));
        QString error;
        QVERIFY(!report.write(path, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)) || error.contains(path), qPrintable(error));
    }

private:
    Page pageOf(const std::vector<Verdict>& verdicts, const QString& referenceName = QStringLiteral("Kestrix"),
                const QString& summary = QString())
    {
        HtmlReport report(referenceName, QByteArray(64, 'a'), QStringLiteral("kestrix-check 0.9.0"),
                          QDateTime(QDate(2024, 5, 18), QTime(21, 4, 37), QTimeZone(2 * 3600)));
        if (!summary.isEmpty())
            report.setSummary(summary);
        for (const Verdict& verdict : verdicts)
            report.add(verdict, verdict.car ? m_league.genuine(*verdict.car) : QByteArray());
        m_pagePath = m_out.filePath(QStringLiteral("report.html"));
        QString error;
        if (!report.write(m_pagePath, &error))
            return Page{{}, {}, error};
        return Page::read(m_pagePath);
    }

    SampleLeague m_league;
    QTemporaryDir m_out;
    QString m_pagePath;
};

QTEST_GUILESS_MAIN(TestHtmlReport)
#include "test_html_report.moc"
