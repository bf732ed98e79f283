#include "HmacSha256.h"
#include "SodiumReady.h"

namespace wire {

struct Sha256::State {
    crypto_hash_sha256_state hash;
};

Sha256::Sha256()
    : m_state(std::make_unique<State>())
{
    sodiumReady();
    crypto_hash_sha256_init(&m_state->hash);
}

Sha256::~Sha256() = default;

void Sha256::add(std::string_view bytes)
{
    crypto_hash_sha256_update(&m_state->hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

Sha256Digest Sha256::finish()
{
    Sha256Digest digest;
    crypto_hash_sha256_final(&m_state->hash, digest.data());
    return digest;
}

Sha256Digest Sha256::of(std::string_view bytes)
{
    Sha256 hash;
    hash.add(bytes);
    return hash.finish();
}

struct HmacSha256::State {
    crypto_auth_hmacsha256_state code;
};

HmacSha256::HmacSha256(std::string_view key)
    : m_state(std::make_unique<State>())
{
    sodiumReady();
    // A key longer than a block is replaced by its digest, as HMAC says.
    crypto_auth_hmacsha256_init(&m_state->code, reinterpret_cast<const unsigned char*>(key.data()), key.size());
}

HmacSha256::~HmacSha256() = default;

void HmacSha256::add(std::string_view bytes)
{
    crypto_auth_hmacsha256_update(&m_state->code, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

Sha256Digest HmacSha256::finish()
{
    Sha256Digest digest;
    crypto_auth_hmacsha256_final(&m_state->code, digest.data());
    return digest;
}

} // namespace wire
