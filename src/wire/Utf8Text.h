#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wire {

void appendUtf8(std::string& out, char32_t character);

// The next character of UTF-8 text at *at, moving past it; none for a
// malformed, overlong or cut sequence or a surrogate, past which *at has
// moved at least one byte.
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t* at);

} // namespace wire
