#pragma once

#include "Sha256.h"

#include <string_view>

namespace wire {

// HMAC-SHA256 over a message given in any number of pieces.
class HmacSha256
{
public:
    explicit HmacSha256(std::string_view key);
    void add(std::string_view bytes) { m_inner.add(bytes); }
    Sha256Digest finish();

private:
    Sha256 m_inner;
    Sha256 m_outer;
};

} // namespace wire
