#include "Windows1252.h"

#include "Utf8Text.h"

namespace wire {

namespace {

// 0x80 … 0x9F; the other bytes are their Latin-1 characters.
constexpr char16_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

char16_t unicodeOfCp1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? HighControls[byte - 0x80] : char16_t(byte);
}

std::optional<char> cp1252Of(char32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return char(character);
    for (int i = 0; i < 32; ++i) {
        if (HighControls[i] == character)
            return char(0x80 + i);
    }
    return std::nullopt;
}

std::string utf8FromCp1252(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes)
        appendUtf8(text, unicodeOfCp1252(static_cast<unsigned char>(byte)));
    return text;
}

std::optional<std::string> cp1252FromUtf8(std::string_view utf8)
{
    std::string bytes;
    bytes.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<char32_t> character = nextUtf8(utf8, &at);
        const std::optional<char> byte = character ? cp1252Of(*character) : std::nullopt;
        if (!byte)
            return std::nullopt;
        bytes += *byte;
    }
    return bytes;
}

} // namespace wire
