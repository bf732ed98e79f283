#include "FileInfoFormat.h"

#include "Windows1252.h"

#include <algorithm>
#include <limits>

namespace wire {

namespace {

constexpr char Separator = '|';

// 1-based position of the first separator at or after start; 0 when none.
std::size_t search(std::string_view text, std::int64_t start)
{
    if (start < 1 || start > std::int64_t(text.size()))
        return 0;
    const std::size_t found = text.find(Separator, std::size_t(start - 1));
    return found == std::string_view::npos ? 0 : found + 1;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// The value of decimal digits; none past the largest size.
std::optional<std::uint64_t> valueOf(std::string_view digits)
{
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (value > (std::numeric_limits<std::uint64_t>::max() - 9) / 10)
            return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    return value;
}

} // namespace

std::string headerField(std::string_view text, std::int32_t fieldPos)
{
    // The searches run through the separators' positions, then find none and
    // start over, so after n searches the found position is the
    // (n mod (separators + 1))-th separator, or 0 for the lap's last search.
    const std::int64_t searches = std::int64_t(fieldPos) - 1;
    std::size_t found = 0;
    if (searches > 0) {
        const auto separators = std::int64_t(std::count(text.begin(), text.end(), Separator));
        const std::int64_t lap = (searches - 1) % (separators + 1);
        if (lap < separators) {
            for (std::int64_t i = 0; i <= lap; ++i)
                found = search(text, std::int64_t(found) + 1);
        }
    }
    const std::int64_t fieldStart = std::int64_t(found) + 1;
    const std::int64_t fieldEnd = std::int64_t(search(text, fieldStart));
    if (fieldEnd >= fieldStart)
        return std::string(text.substr(std::size_t(fieldStart - 1), std::size_t(fieldEnd - fieldStart)));
    return std::string();
}

bool isFileInfoHeader(std::string_view chunk)
{
    return chunk.starts_with(FileInfoMarker);
}

std::optional<AnnouncedFile> parseFileInfoHeader(std::string_view chunk, std::string* error)
{
    const std::string sizeField = headerField(chunk, 2);
    const std::string_view digits = trimmed(sizeField);
    if (digits.empty()) {
        *error = "the header gives no size";
        return std::nullopt;
    }
    constexpr auto Largest = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    if (!std::all_of(digits.begin(), digits.end(), isDigit)) {
        const std::string_view magnitude = digits.substr(1);
        const bool negative = digits.front() == '-' && !magnitude.empty()
            && std::all_of(magnitude.begin(), magnitude.end(), isDigit) && valueOf(magnitude).value_or(0) > 0
            && *valueOf(magnitude) <= Largest + 1;
        *error = negative ? "the size " + shownText(sizeField) + " is negative"
                          : "the size \"" + shownText(sizeField) + "\" is not a whole number of bytes";
        return std::nullopt;
    }
    const std::optional<std::uint64_t> size = valueOf(digits);
    if (!size || *size > Largest) {
        *error = "the size " + shownText(sizeField) + " is too large";
        return std::nullopt;
    }
    if (*size == 0) {
        *error = "the size is 0 bytes";
        return std::nullopt;
    }
    return AnnouncedFile{std::int64_t(*size), headerField(chunk, 3)};
}

std::string fileInfoHeader(std::int64_t size, std::string_view name)
{
    return std::string(FileInfoMarker) + Separator + std::to_string(size) + Separator + std::string(name) + Separator;
}

std::string shownText(std::string_view bytes)
{
    // A field may be as long as a whole chunk; a message needs its start only.
    constexpr std::size_t Shown = 80;
    std::string start(bytes.substr(0, Shown));
    for (char& byte : start) {
        const char16_t c = unicodeOfCp1252(static_cast<unsigned char>(byte));
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            byte = '?';
    }
    std::string text = utf8FromCp1252(start);
    if (bytes.size() > Shown)
        text += "...";
    return text;
}

} // namespace wire
