#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wire {

using Sha256Digest = std::array<unsigned char, 32>;

// SHA-256 over bytes given in any number of pieces.
class Sha256
{
public:
    void add(std::string_view bytes);
    // The digest of everything added; the object is spent afterwards.
    Sha256Digest finish();

    static Sha256Digest of(std::string_view bytes);

    static constexpr std::size_t BlockSize = 64;

private:
    void compress(const unsigned char* block);

    std::array<std::uint32_t, 8> m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<unsigned char, BlockSize> m_block{};
    std::size_t m_filled = 0;
    std::uint64_t m_length = 0;
};

} // namespace wire
