#pragma once

#include <sodium.h>

#include <cstdio>
#include <cstdlib>

namespace wire {

// libsodium is made ready once, before its first use; it fails only where
// the system gives it no randomness, and nothing it signs can be trusted then.
inline void sodiumReady()
{
    static const bool ready = [] {
        if (sodium_init() >= 0)
            return true;
        std::fputs("libsodium could not be initialised: the system gives it no randomness\n", stderr);
        std::abort();
    }();
    (void)ready;
}

} // namespace wire
