#pragma once

#include <array>
#include <memory>
#include <string_view>

namespace wire {

using Sha256Digest = std::array<unsigned char, 32>;

// SHA-256 over bytes given in any number of pieces, computed by the
// platform's kept library: libsodium, or Windows' CNG in kestrix-send.exe.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(std::string_view bytes);
    // The digest of everything added; the object is spent afterwards.
    Sha256Digest finish();

    static Sha256Digest of(std::string_view bytes);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace wire
