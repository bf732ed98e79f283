#include "Ed25519.h"
#include "HexText.h"
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
};

QTEST_GUILESS_MAIN(TestWire)
#include "test_wire.moc"
