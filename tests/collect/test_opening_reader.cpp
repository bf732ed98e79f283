#include "OpeningReader.h"
#include "PlayerPreamble.h"

#include <QTest>

#include <chrono>

using namespace std::chrono_literals;

namespace {

const QByteArray Challenge = "00112233445566778899aabbccddeeff";
const QByteArray Header = "FILEINFO|5|Grelmdescriptor.txt|";

QByteArray keyOf(const QByteArray& token)
{
    return PlayerPreamble::tokenSha256Hex(token);
}

// A roster of alice, whose token is "alices-token", when there is one.
OpeningReader reader(bool roster)
{
    return OpeningReader({roster,
                          [](const QByteArray& name) {
                              return name == "alice" ? std::optional(keyOf("alices-token")) : std::nullopt;
                          },
                          Challenge, 5s});
}

QByteArray proven(const QByteArray& token)
{
    return "PLAYER|alice|"
        + PlayerPreamble::proofLine(PlayerPreamble::proofHex(keyOf(token), Challenge, "alice", Header)) + Header;
}

// What a reader did, in short: "say", "whole", "refuse bad-proof", "quiet".
QStringList steps(const OpeningReader::Actions& actions, QByteArray* afterHeader)
{
    QStringList done;
    for (const OpeningReader::Action& action : actions) {
        switch (action.step) {
        case OpeningReader::Step::Say:
            done << (action.bytes == "CHALLENGE|" + Challenge + "|\n" ? QStringLiteral("say") : QStringLiteral("say?"));
            break;
        case OpeningReader::Step::Whole:
            *afterHeader = action.bytes;
            done << QStringLiteral("whole");
            break;
        case OpeningReader::Step::Refuse:
            done << QStringLiteral("refuse ") + QString::fromLatin1(refusalCodeName(action.code));
            break;
        case OpeningReader::Step::Quiet:
            done << QStringLiteral("quiet");
            break;
        }
    }
    return done;
}

} // namespace

// The opening of a transfer, read from bytes in any pieces and the time.
class TestOpeningReader : public QObject
{
    Q_OBJECT

private slots:
    // Each stream reads the same whole, split in two at every byte, and a
    // byte at a time; once whole, what followed the header is the file's,
    // whether it came with the header or after it.
    void streams_data()
    {
        QTest::addColumn<bool>("roster");
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("expected");
        const QStringList whole{QStringLiteral("whole")};
        QTest::newRow("plain header") << false << Header + "abcde" << whole;
        QTest::newRow("plain header, nothing after") << false << Header << whole;
        QTest::newRow("proven player") << true << proven("alices-token") + "abcde"
                                       << QStringList{QStringLiteral("say"), QStringLiteral("whole")};
        QTest::newRow("wrong token") << true << proven("not-alices") + "abcde"
                                     << QStringList{QStringLiteral("say"), QStringLiteral("refuse bad-proof")};
        QTest::newRow("proof missing") << true << "PLAYER|alice|" + Header
                                       << QStringList{QStringLiteral("say"), QStringLiteral("refuse bad-proof")};
        QTest::newRow("proof too long") << true << "PLAYER|alice|PROOF|" + QByteArray(80, 'a')
                                        << QStringList{QStringLiteral("say"), QStringLiteral("refuse bad-proof")};
        QTest::newRow("plain header to a league") << true << Header << QStringList{QStringLiteral("refuse no-player")};
        QTest::newRow("player without a roster") << false << proven("alices-token")
                                                 << QStringList{QStringLiteral("refuse no-roster")};
        QTest::newRow("unknown player") << true << QByteArray("PLAYER|mallory|PROOF|")
                                        << QStringList{QStringLiteral("refuse unknown-player")};
        QTest::newRow("invalid name") << true << QByteArray("PLAYER|../x|")
                                      << QStringList{QStringLiteral("refuse unknown-player")};
        QTest::newRow("name too long") << true << "PLAYER|" + QByteArray(70, 'a')
                                       << QStringList{QStringLiteral("refuse unknown-player")};
        QTest::newRow("neither player nor header") << true << QByteArray("PLAYEX|alice|")
                                                   << QStringList{QStringLiteral("refuse bad-header")};
        QTest::newRow("HTTP") << false << QByteArray("GET / HTTP/1.1\r\n")
                              << QStringList{QStringLiteral("refuse bad-header")};
        QTest::newRow("header too long") << false << "FILEINFO|" + QByteArray(5000, '9')
                                         << QStringList{QStringLiteral("refuse bad-header")};
    }

    void streams()
    {
        QFETCH(bool, roster);
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, expected);
        const QByteArray file = stream.endsWith("abcde") ? QByteArray("abcde") : QByteArray();
        QList<QList<QByteArray>> splits{{stream}};
        for (qsizetype at = 1; at < stream.size() && stream.size() < 1000; ++at)
            splits.append({stream.first(at), stream.sliced(at)});
        QList<QByteArray> bytes;
        for (const char byte : stream)
            bytes.append(QByteArray(1, byte));
        splits.append(bytes);
        for (const QList<QByteArray>& pieces : splits) {
            OpeningReader opening = reader(roster);
            QStringList done;
            QByteArray afterHeader;
            for (const QByteArray& piece : pieces) {
                if (opening.isDone())
                    afterHeader += piece; // no longer the opening's: the file's
                else
                    done += steps(opening.take(piece), &afterHeader);
            }
            QCOMPARE(done, expected);
            QVERIFY(opening.isDone() || expected.isEmpty());
            if (expected.last() == u"whole") {
                QCOMPARE(afterHeader, file);
                QCOMPARE(opening.header(), Header);
                QCOMPARE(opening.isProven(), roster);
            }
        }
    }

    // The opening's time runs from the accept: before it ends nothing
    // happens; once it has, an opening not yet whole is refused, saying how
    // much came. A whole one is past its reach.
    void ticks_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("words"); // empty: no refusal
        QTest::newRow("silent") << QByteArray() << QStringLiteral("nothing had arrived");
        QTest::newRow("half a header") << QByteArray("FILEINFO|5") << QStringLiteral("only 10 bytes had arrived");
        QTest::newRow("a claim, no proof") << QByteArray("PLAYER|alice|") << QStringLiteral("only 13 bytes had arrived");
        QTest::newRow("whole") << Header << QString();
    }

    void ticks()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, words);
        OpeningReader opening = reader(!stream.startsWith("FILEINFO"));
        QByteArray unused;
        steps(opening.take(stream), &unused);
        QVERIFY(opening.tick(0ms).empty());
        QVERIFY(opening.tick(4999ms).empty());
        const OpeningReader::Actions late = opening.tick(5000ms);
        if (words.isEmpty()) {
            QVERIFY(late.empty());
            return;
        }
        QCOMPARE(steps(late, &unused), QStringList{QStringLiteral("refuse timed-out")});
        QVERIFY2(late.front().words.endsWith(words), qPrintable(late.front().words));
        QVERIFY(late.front().words.contains(QStringLiteral("within 5 s of the connection")));
        QVERIFY(opening.isDone());
        QVERIFY(opening.tick(6000ms).empty());
        QVERIFY(opening.take(Header).empty());
    }

    // A peer that closes having sent nothing goes quietly; one that closes
    // mid-opening is told its header was not whole; after the opening, its
    // close is not the opening's.
    void closes()
    {
        QByteArray unused;
        OpeningReader silent = reader(true);
        QCOMPARE(steps(silent.closed(), &unused), QStringList{QStringLiteral("quiet")});
        OpeningReader half = reader(true);
        steps(half.take("PLAYER|alice|PRO"), &unused);
        QCOMPARE(half.claimedPlayer(), QByteArray("alice"));
        QVERIFY(!half.isProven());
        QCOMPARE(steps(half.closed(), &unused), QStringList{QStringLiteral("refuse bad-header")});
        OpeningReader whole = reader(false);
        steps(whole.take(Header), &unused);
        QVERIFY(whole.closed().empty());
    }
};

QTEST_GUILESS_MAIN(TestOpeningReader)
#include "test_opening_reader.moc"
