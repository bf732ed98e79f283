#pragma once

#include <optional>
#include <string>
#include <string_view>

// Windows-1252, the game's 8-bit text, without depending on the platform's
// codec set.
namespace wire {

// Every byte maps to a character; the five bytes Windows-1252 leaves
// undefined map to the C1 control of the same value.
char16_t unicodeOfCp1252(unsigned char byte);
// The byte of a character; none for a character Windows-1252 lacks, which
// never turns into "?" or anything else that could match.
std::optional<char> cp1252Of(char32_t character);

std::string utf8FromCp1252(std::string_view bytes);
// None when the text is no UTF-8 or holds a character Windows-1252 lacks.
std::optional<std::string> cp1252FromUtf8(std::string_view utf8);

} // namespace wire
