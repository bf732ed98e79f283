#include "HexText.h"
#include "HmacSha256.h"
#include "KeptName.h"
#include "PreambleFormat.h"
#include "Windows1252.h"

#include <QTest>

#include <string>

namespace {

QByteArray hexOf(const wire::Sha256Digest& digest)
{
    return QByteArray::fromStdString(wire::toHex(digest));
}

} // namespace

// The plain wire library that the Qt programs and the Windows sender share.
class TestWire : public QObject
{
    Q_OBJECT

private slots:
    // The published SHA-256 examples, and a message in uneven pieces that
    // crosses the block boundaries.
    void sha256()
    {
        QCOMPARE(hexOf(wire::Sha256::of("abc")),
                 QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        QCOMPARE(hexOf(wire::Sha256::of("")),
                 QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
        QCOMPARE(hexOf(wire::Sha256::of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
                 QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"));
        wire::Sha256 million;
        const std::string piece(997, 'a');
        std::size_t left = 1'000'000;
        while (left > 0) {
            const std::size_t now = std::min(left, piece.size());
            million.add(std::string_view(piece).substr(0, now));
            left -= now;
        }
        QCOMPARE(hexOf(million.finish()),
                 QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"));
    }

    void hmacSha256_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("mac");
        const QByteArray longKey(131, '\xaa');
        QTest::newRow("case 1") << QByteArray(20, '\x0b') << QByteArray("Hi There")
                                << QByteArray("b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
        QTest::newRow("case 2") << QByteArray("Jefe") << QByteArray("what do ya want for nothing?")
                                << QByteArray("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
        QTest::newRow("case 3") << QByteArray(20, '\xaa') << QByteArray(50, '\xdd')
                                << QByteArray("773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe");
        QTest::newRow("case 4") << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819")
                                << QByteArray(50, '\xcd')
                                << QByteArray("82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b");
        QTest::newRow("case 6: key longer than a block")
            << longKey << QByteArray("Test Using Larger Than Block-Size Key - Hash Key First")
            << QByteArray("60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
        QTest::newRow("case 7") << longKey
                                << QByteArray("This is a test using a larger than block-size key and a larger than "
                                              "block-size data. The key needs to be hashed before being used by the "
                                              "HMAC algorithm.")
                                << QByteArray("9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2");
    }

    void hmacSha256()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, mac);
        wire::HmacSha256 code(key.toStdString());
        code.add(message.toStdString());
        QCOMPARE(hexOf(code.finish()), mac);
    }

    // The worked example players' senders are checked against.
    void workedProof()
    {
        namespace P = wire::preamble;
        const std::string key = P::tokenSha256Hex(P::tokenOf("f9e3e6b79cd984428584634d6049ee2f\r\n"));
        QCOMPARE(QByteArray::fromStdString(key), QByteArray("717cd060a2987b10019e39d9fe91a4eb01b033792c8ef73ca9fe0df956e5e137"));
        const std::string proof = P::proofHex(key, "5b0c3e8a1f2d4c6b9a7e0d1c2b3a4f9e", "alice",
                                              "FILEINFO|4675|BrackwellDescriptor.txt|");
        QCOMPARE(QByteArray::fromStdString(proof),
                 QByteArray("4375ae12bd6634f760db0cc098c7b6567a1db1ea520d5aa3c7225f21715a2e34"));
        QVERIFY(P::proofHolds(proof, key, "5b0c3e8a1f2d4c6b9a7e0d1c2b3a4f9e", "alice",
                              "FILEINFO|4675|BrackwellDescriptor.txt|"));
        std::string upper = proof;
        upper[0] = 'X';
        QVERIFY(!P::proofHolds(upper, key, "5b0c3e8a1f2d4c6b9a7e0d1c2b3a4f9e", "alice",
                               "FILEINFO|4675|BrackwellDescriptor.txt|"));
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
        const std::optional<wire::KeptName> read = wire::readKeptName(name.toStdString());
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
