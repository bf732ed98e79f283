#include "Ed25519.h"

#include "SodiumReady.h"

namespace wire::ed25519 {

namespace {

const unsigned char* bytesOf(std::string_view text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// The seed's key pair, in libsodium's form: the secret key is the seed followed by the public key.
bool keyPair(std::string_view seed, unsigned char* publicKey, unsigned char* secretKey)
{
    sodiumReady();
    return seed.size() == SeedBytes && crypto_sign_seed_keypair(publicKey, secretKey, bytesOf(seed)) == 0;
}

} // namespace

std::string newSeed()
{
    sodiumReady();
    std::string seed(SeedBytes, '\0');
    randombytes_buf(seed.data(), seed.size());
    return seed;
}

std::optional<std::string> publicKeyOf(std::string_view seed)
{
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    const bool made = keyPair(seed, publicKey, secretKey);
    sodium_memzero(secretKey, sizeof secretKey);
    if (!made)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(publicKey), sizeof publicKey);
}

std::optional<std::string> sign(std::string_view message, std::string_view seed)
{
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    std::optional<std::string> signature;
    if (keyPair(seed, publicKey, secretKey)) {
        signature.emplace(SignatureBytes, '\0');
        crypto_sign_detached(reinterpret_cast<unsigned char*>(signature->data()), nullptr, bytesOf(message),
                             message.size(), secretKey);
    }
    sodium_memzero(secretKey, sizeof secretKey);
    return signature;
}

bool holds(std::string_view message, std::string_view signature, std::string_view publicKey)
{
    sodiumReady();
    return signature.size() == SignatureBytes && publicKey.size() == PublicKeyBytes
        && crypto_sign_verify_detached(bytesOf(signature), bytesOf(message), message.size(), bytesOf(publicKey)) == 0;
}

} // namespace wire::ed25519
