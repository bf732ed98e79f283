#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Ed25519 signatures by libsodium, for a league's results. Keys and
// signatures are raw bytes here; their text forms belong to the callers.
namespace wire::ed25519 {

inline constexpr std::size_t SeedBytes = 32; // the secret key as kept in a file
inline constexpr std::size_t PublicKeyBytes = 32;
inline constexpr std::size_t SignatureBytes = 64;

// A fresh secret key from the system's randomness.
std::string newSeed();
// The public key of a secret key; none for a seed of the wrong size.
std::optional<std::string> publicKeyOf(std::string_view seed);
std::optional<std::string> sign(std::string_view message, std::string_view seed);
bool holds(std::string_view message, std::string_view signature, std::string_view publicKey);

} // namespace wire::ed25519
