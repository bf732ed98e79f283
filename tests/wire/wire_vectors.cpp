// The published SHA-256 and HMAC-SHA256 vectors and the worked proof of
// docs/player-preamble.md, in plain C++ on the wire library alone, so the same
// program checks libsodium here and Windows' CNG in the cross build (run
// under Wine). Prints each failure; the exit status is the number of them.

#include "HexText.h"
#include "HmacSha256.h"
#include "PreambleFormat.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

int failures = 0;

void expect(bool holds, const std::string& what)
{
    if (!holds) {
        std::printf("FAIL: %s\n", what.c_str());
        ++failures;
    }
}

void expectHex(const wire::Sha256Digest& digest, const std::string& hex, const std::string& what)
{
    const std::string got = wire::toHex(digest);
    expect(got == hex, what + ": " + got + " is not " + hex);
}

void sha256()
{
    expectHex(wire::Sha256::of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "SHA-256 abc");
    expectHex(wire::Sha256::of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", "SHA-256 empty");
    expectHex(wire::Sha256::of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", "SHA-256 448 bits");
    // A million "a" in uneven pieces that cross the block boundaries.
    wire::Sha256 million;
    const std::string piece(997, 'a');
    std::size_t left = 1'000'000;
    while (left > 0) {
        const std::size_t now = std::min(left, piece.size());
        million.add(std::string_view(piece).substr(0, now));
        left -= now;
    }
    expectHex(million.finish(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
              "SHA-256 a million a");
}

void hmacSha256()
{
    struct Case {
        const char* name;
        std::string key;
        std::string message;
        const char* mac;
    };
    const std::string longKey(131, '\xaa');
    const Case cases[] = {
        {"case 1", std::string(20, '\x0b'), "Hi There",
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"case 2", "Jefe", "what do ya want for nothing?",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {"case 3", std::string(20, '\xaa'), std::string(50, '\xdd'),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        {"case 4", wire::fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819").value(), std::string(50, '\xcd'),
         "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        {"case 6: key longer than a block", longKey, "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {"case 7", longKey,
         "This is a test using a larger than block-size key and a larger than block-size data. The key needs to be "
         "hashed before being used by the HMAC algorithm.",
         "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
        // No key at all: HMAC pads it with zeros, like a key of one zero byte.
        {"empty key", "", "", "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
    };
    for (const Case& test : cases) {
        wire::HmacSha256 code(test.key);
        code.add(test.message);
        expectHex(code.finish(), test.mac, std::string("HMAC-SHA256 ") + test.name);
    }
}

void workedProof()
{
    namespace P = wire::preamble;
    const std::string key = P::tokenSha256Hex(P::tokenOf("f9e3e6b79cd984428584634d6049ee2f\r\n"));
    expect(key == "717cd060a2987b10019e39d9fe91a4eb01b033792c8ef73ca9fe0df956e5e137", "the token's key: " + key);
    const std::string challenge = "5b0c3e8a1f2d4c6b9a7e0d1c2b3a4f9e";
    const std::string header = "FILEINFO|4675|BrackwellDescriptor.txt|";
    const std::string proof = P::proofHex(key, challenge, "alice", header);
    expect(proof == "4375ae12bd6634f760db0cc098c7b6567a1db1ea520d5aa3c7225f21715a2e34", "the worked proof: " + proof);
    expect(P::proofHolds(proof, key, challenge, "alice", header), "the worked proof holds");
    std::string upper = proof;
    upper[0] = 'X';
    expect(!P::proofHolds(upper, key, challenge, "alice", header), "a changed proof does not hold");
    expect(!P::proofHolds(proof, key, challenge, "bob", header), "the proof does not hold for another player");
}

} // namespace

int main()
{
    sha256();
    hmacSha256();
    workedProof();
    if (failures == 0)
        std::printf("the vectors and the worked proof hold\n");
    return failures;
}
