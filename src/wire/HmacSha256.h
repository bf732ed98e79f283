#pragma once

#include "Sha256.h"

#include <memory>
#include <string_view>

namespace wire {

// HMAC-SHA256 over a message given in any number of pieces, computed by the
// same kept library as Sha256.
class HmacSha256
{
public:
    explicit HmacSha256(std::string_view key);
    ~HmacSha256();
    HmacSha256(const HmacSha256&) = delete;
    HmacSha256& operator=(const HmacSha256&) = delete;

    void add(std::string_view bytes);
    Sha256Digest finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace wire
