#include "Ed25519.h"
#include "HexText.h"
#include "KeptName.h"
#include "PreambleFormat.h"
#include "Windows1252.h"

#include <QTest>

#include <string>

// The plain wire library that the Qt programs and the Windows sender share.
class TestWire : public QObject
{
    Q_OBJECT

private slots:
    // RFC 8032's first Ed25519 example, and a signature that holds for its
    // message and key only.
    void ed25519()
    {
        namespace E = wire::ed25519;
        const std::string seed = wire::fromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60").value();
        const std::string publicKey = E::publicKeyOf(seed).value();
        QCOMPARE(QByteArray::fromStdString(publicKey).toHex(),
                 QByteArray("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"));
        const std::string signature = E::sign("", seed).value();
        QCOMPARE(QByteArray::fromStdString(signature).toHex(),
                 QByteArray("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"));
        QVERIFY(E::holds("", signature, publicKey));
        QVERIFY(!E::holds("x", signature, publicKey));
        std::string changed = signature;
        changed[10] ^= 1;
        QVERIFY(!E::holds("", changed, publicKey));
        const std::string other = E::newSeed();
        QCOMPARE(other.size(), E::SeedBytes);
        QVERIFY(!E::holds("", signature, E::publicKeyOf(other).value()));
        QVERIFY(!E::publicKeyOf("short"));
        QVERIFY(!E::sign("", "short"));
    }

    // What a collector's challenge line is; the proof itself is checked
    // with the published vectors by wire_vectors, here and under Wine.
    void challengeLine()
    {
        namespace P = wire::preamble;
        QVERIFY(P::isChallenge("CHALLENGE|5b0c3e8a1f2d4c6b9a7e0d1c2b3a4f9e|"));
        QVERIFY(!P::isChallenge("CHALLENGE|5B0C3E8A1F2D4C6B9A7E0D1C2B3A4F9E|"));
        QVERIFY(!P::isChallenge("CHALLENGE|5b0c3e8a1f2d4c6b9a7e0d1c2b3a4f9e|x"));
    }

    // A name from a UTF-8 command line or file name becomes the game's
    // bytes; what Windows-1252 lacks, or broken UTF-8, is no name at all.
    void windows1252Names_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<bool>("encodable");
        QTest::addColumn<QByteArray>("cp1252");
        QTest::newRow("ASCII") << QByteArray("Grelmdescriptor.txt") << true << QByteArray("Grelmdescriptor.txt");
        QTest::newRow("Latin-1") << QByteArray("Gr\xc3\xa9lm \xc3\x85.txt") << true << QByteArray("Gr\xe9lm \xc5.txt");
        QTest::newRow("the 0x80 row") << QByteArray("\xe2\x82\xac\xc5\xb8\xe2\x84\xa2") << true << QByteArray("\x80\x9f\x99");
        QTest::newRow("outside Windows-1252") << QByteArray("\xce\xa9.txt") << false << QByteArray();
        QTest::newRow("beyond the basic plane") << QByteArray("\xf0\x9f\x8f\x81") << false << QByteArray();
        QTest::newRow("cut sequence") << QByteArray("a\xc3") << false << QByteArray();
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false << QByteArray();
        QTest::newRow("a surrogate") << QByteArray("\xed\xa0\x80") << false << QByteArray();
    }

    void windows1252Names()
    {
        QFETCH(QByteArray, utf8);
        QFETCH(bool, encodable);
        QFETCH(QByteArray, cp1252);
        const std::optional<std::string> bytes = wire::cp1252FromUtf8(utf8.toStdString());
        QCOMPARE(bytes.has_value(), encodable);
        if (encodable) {
            QCOMPARE(QByteArray::fromStdString(*bytes), cp1252);
            QCOMPARE(QByteArray::fromStdString(wire::utf8FromCp1252(*bytes)), utf8);
        }
    }

    // Whatever name the collector keeps reads back as it made it, a later
    // copy of a millisecond included; a received name the collector would
    // refuse is the one that could not.
    void keptNamesRoundTrip_data()
    {
        QTest::addColumn<qint64>("arrival");
        QTest::addColumn<int>("copy");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("first copy") << Q_INT64_C(20261210120000123) << 1 << QByteArray("Grelmdescriptor.txt")
                                    << QByteArray("20261210-120000-123-Grelmdescriptor.txt");
        QTest::newRow("second copy") << Q_INT64_C(20261210120000123) << 2 << QByteArray("Grelmdescriptor.txt")
                                     << QByteArray("20261210-120000-123-2-Grelmdescriptor.txt");
        QTest::newRow("last copy") << Q_INT64_C(20260101000000000) << 1000 << QByteArray("a")
                                   << QByteArray("20260101-000000-000-1000-a");
        QTest::newRow("digits, no hyphen") << Q_INT64_C(20261210120000123) << 1 << QByteArray("2024.txt")
                                           << QByteArray("20261210-120000-123-2024.txt");
        QTest::newRow("hyphen later") << Q_INT64_C(20261210120000123) << 3 << QByteArray("a-2-b")
                                      << QByteArray("20261210-120000-123-3-a-2-b");
        QTest::newRow("bytes kept") << Q_INT64_C(20261210120000123) << 1 << QByteArray("Ren\xe9" "e.txt")
                                    << QByteArray("20261210-120000-123-Ren\xe9" "e.txt");
    }

    void keptNamesRoundTrip()
    {
        QFETCH(qint64, arrival);
        QFETCH(int, copy);
        QFETCH(QByteArray, received);
        QFETCH(QByteArray, kept);
        QVERIFY(!wire::beginsWithNumber(received.toStdString()));
        const std::string made = wire::keptName(arrival, copy, received.toStdString());
        QCOMPARE(QByteArray::fromStdString(made), kept);
        const std::optional<wire::KeptName> read = wire::readKeptName(made);
        QVERIFY(read);
        QCOMPARE(qint64(read->arrival), arrival);
        QCOMPARE(read->copy, copy);
        QCOMPARE(QByteArray::fromStdString(std::string(read->received)), received);
    }

    // Names the collector did not make, or made before a received name's
    // number was refused, read as they always did.
    void keptNamesRead_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<int>("copy");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("plain") << QByteArray("Grelmdescriptor.txt") << false << 0 << QByteArray();
        QTest::newRow("stamp only") << QByteArray("20261210-120000-123-") << false << 0 << QByteArray();
        QTest::newRow("short stamp") << QByteArray("2026121-120000-123-a") << false << 0 << QByteArray();
        QTest::newRow("letter in stamp") << QByteArray("20261210-12000x-123-a") << false << 0 << QByteArray();
        QTest::newRow("number 1 is no copy") << QByteArray("20261210-120000-123-1-a") << true << 1 << QByteArray("1-a");
        QTest::newRow("leading zero") << QByteArray("20261210-120000-123-02-a") << true << 1 << QByteArray("02-a");
        QTest::newRow("beyond the last") << QByteArray("20261210-120000-123-1001-a") << true << 1 << QByteArray("1001-a");
        QTest::newRow("number alone") << QByteArray("20261210-120000-123-2-") << true << 2 << QByteArray();
    }

    void keptNamesRead()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, kept);
        QFETCH(int, copy);
        QFETCH(QByteArray, received);
        const std::string held = name.toStdString(); // what is read points into it
        const std::optional<wire::KeptName> read = wire::readKeptName(held);
        QCOMPARE(read.has_value(), kept);
        if (kept) {
            QCOMPARE(read->copy, copy);
            QCOMPARE(QByteArray::fromStdString(std::string(read->received)), received);
        }
    }

    void receivedNamesThatBeginWithANumber_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("refused");
        QTest::newRow("copy's form") << QByteArray("2-BrackwellDescriptor.txt") << true;
        QTest::newRow("many digits") << QByteArray("0001-x") << true;
        QTest::newRow("digits only") << QByteArray("2024") << false;
        QTest::newRow("hyphen after") << QByteArray("2-") << true;
        QTest::newRow("letter first") << QByteArray("a2-x") << false;
        QTest::newRow("hyphen first") << QByteArray("-2-x") << false;
    }

    void receivedNamesThatBeginWithANumber()
    {
        QFETCH(QByteArray, received);
        QFETCH(bool, refused);
        QCOMPARE(wire::beginsWithNumber(received.toStdString()), refused);
    }
};

QTEST_GUILESS_MAIN(TestWire)
#include "test_wire.moc"
