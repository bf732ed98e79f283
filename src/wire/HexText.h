#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace wire {

// Lower-case hex, two digits a byte.
std::string toHex(std::span<const unsigned char> bytes);
// The bytes of hex digits in either case; none for an odd count or a non-digit.
std::optional<std::string> fromHex(std::string_view hex);
// Exactly length lower-case hex digits.
bool isLowerHex(std::string_view text, std::size_t length);

} // namespace wire
