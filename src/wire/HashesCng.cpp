// SHA-256 and HMAC-SHA256 on Windows' own CNG (bcrypt.dll), so that
// kestrix-send.exe ships no cryptography of its own and no extra DLL.
#include "HmacSha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <stdexcept>
#include <string>

namespace wire {

namespace {

void check(NTSTATUS status, const char* what)
{
    if (!BCRYPT_SUCCESS(status))
        throw std::runtime_error(std::string("Windows' CNG failed to ") + what + " (status "
                                 + std::to_string(static_cast<unsigned long>(status)) + ")");
}

// One SHA-256 computation, keyed for HMAC or not.
class CngHash
{
public:
    CngHash(bool hmac, std::string_view key)
    {
        check(BCryptOpenAlgorithmProvider(&m_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                          hmac ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0),
              "open SHA-256");
        // HMAC pads its key with zeros to a block, so an empty key is the
        // same as one zero byte, which every version of CNG takes.
        static const unsigned char zero = 0;
        const auto* secret = key.empty() ? &zero : reinterpret_cast<const unsigned char*>(key.data());
        const ULONG secretSize = hmac ? (key.empty() ? 1 : static_cast<ULONG>(key.size())) : 0;
        check(BCryptCreateHash(m_algorithm, &m_hash, nullptr, 0, hmac ? const_cast<PUCHAR>(secret) : nullptr,
                               secretSize, 0),
              "begin SHA-256");
    }
    ~CngHash()
    {
        if (m_hash)
            BCryptDestroyHash(m_hash);
        if (m_algorithm)
            BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
    CngHash(const CngHash&) = delete;
    CngHash& operator=(const CngHash&) = delete;

    void add(std::string_view bytes)
    {
        // CNG takes at most 4 GiB a call.
        while (!bytes.empty()) {
            const std::string_view piece = bytes.substr(0, 1u << 30);
            check(BCryptHashData(m_hash, reinterpret_cast<PUCHAR>(const_cast<char*>(piece.data())),
                                 static_cast<ULONG>(piece.size()), 0),
                  "hash");
            bytes.remove_prefix(piece.size());
        }
    }
    Sha256Digest finish()
    {
        Sha256Digest digest;
        check(BCryptFinishHash(m_hash, digest.data(), static_cast<ULONG>(digest.size()), 0), "finish SHA-256");
        return digest;
    }

private:
    BCRYPT_ALG_HANDLE m_algorithm = nullptr;
    BCRYPT_HASH_HANDLE m_hash = nullptr;
};

} // namespace

struct Sha256::State : CngHash {
    State()
        : CngHash(false, {})
    {
    }
};

Sha256::Sha256()
    : m_state(std::make_unique<State>())
{
}

Sha256::~Sha256() = default;

void Sha256::add(std::string_view bytes)
{
    m_state->add(bytes);
}

Sha256Digest Sha256::finish()
{
    return m_state->finish();
}

Sha256Digest Sha256::of(std::string_view bytes)
{
    Sha256 hash;
    hash.add(bytes);
    return hash.finish();
}

struct HmacSha256::State : CngHash {
    explicit State(std::string_view key)
        : CngHash(true, key)
    {
    }
};

HmacSha256::HmacSha256(std::string_view key)
    : m_state(std::make_unique<State>(key))
{
}

HmacSha256::~HmacSha256() = default;

void HmacSha256::add(std::string_view bytes)
{
    m_state->add(bytes);
}

Sha256Digest HmacSha256::finish()
{
    return m_state->finish();
}

} // namespace wire
