#include "HmacSha256.h"

#include <algorithm>

namespace wire {

HmacSha256::HmacSha256(std::string_view key)
{
    // A key longer than a block is replaced by its digest.
    std::array<unsigned char, Sha256::BlockSize> block{};
    if (key.size() > Sha256::BlockSize) {
        const Sha256Digest digest = Sha256::of(key);
        std::copy(digest.begin(), digest.end(), block.begin());
    } else {
        std::copy(key.begin(), key.end(), block.begin());
    }
    std::array<char, Sha256::BlockSize> inner;
    std::array<char, Sha256::BlockSize> outer;
    for (std::size_t i = 0; i < block.size(); ++i) {
        inner[i] = static_cast<char>(block[i] ^ 0x36);
        outer[i] = static_cast<char>(block[i] ^ 0x5c);
    }
    m_inner.add(std::string_view(inner.data(), inner.size()));
    m_outer.add(std::string_view(outer.data(), outer.size()));
}

Sha256Digest HmacSha256::finish()
{
    const Sha256Digest inner = m_inner.finish();
    m_outer.add(std::string_view(reinterpret_cast<const char*>(inner.data()), inner.size()));
    return m_outer.finish();
}

} // namespace wire
