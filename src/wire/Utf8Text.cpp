#include "Utf8Text.h"

namespace wire {

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::optional<char32_t> nextUtf8(std::string_view text, std::size_t* at)
{
    const auto lead = static_cast<unsigned char>(text[(*at)++]);
    if (lead < 0x80)
        return lead;
    const int more = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
    if (more < 0)
        return std::nullopt;
    char32_t c = lead & (0x3F >> more);
    for (int i = 0; i < more; ++i, ++*at) {
        if (*at >= text.size() || (static_cast<unsigned char>(text[*at]) & 0xC0) != 0x80)
            return std::nullopt;
        c = c << 6 | (static_cast<unsigned char>(text[*at]) & 0x3F);
    }
    constexpr char32_t Least[] = {0, 0x80, 0x800, 0x10000};
    if (c < Least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    return c;
}

} // namespace wire
