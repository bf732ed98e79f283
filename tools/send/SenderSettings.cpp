#include "SenderSettings.h"

#include "LocalFiles.h"
#include "Utf8Text.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

// Settings are a few short lines; a longer file is the wrong file.
constexpr std::size_t LongestSettings = 64 * 1024;

// The values of the example a league hands out, before it is filled in.
constexpr std::string_view Placeholders[] = {"league.example.org", "your-name", "paste-your-token-here"};

std::string_view trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Text saved as Notepad's "Unicode" (UTF-16 with its byte order mark), as UTF-8.
std::string utf8OfUtf16(std::string_view bytes, bool littleEndian)
{
    std::string text;
    const auto unit = [&](std::size_t at) {
        const auto byte = [&](std::size_t i) { return char16_t(static_cast<unsigned char>(bytes[i])); };
        return littleEndian ? char16_t(byte(at) | byte(at + 1) << 8) : char16_t(byte(at) << 8 | byte(at + 1));
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const char16_t first = unit(at);
        if (first >= 0xD800 && first <= 0xDBFF && at + 3 < bytes.size()) {
            const char16_t second = unit(at + 2);
            if (second >= 0xDC00 && second <= 0xDFFF) {
                wire::appendUtf8(text, 0x10000 + ((char32_t(first) - 0xD800) << 10) + (char32_t(second) - 0xDC00));
                at += 2;
                continue;
            }
        }
        wire::appendUtf8(text, first >= 0xD800 && first <= 0xDFFF ? U'\uFFFD' : char32_t(first));
    }
    if (bytes.size() % 2)
        wire::appendUtf8(text, U'\uFFFD');
    return text;
}

// A line as a message may show it: its start, a backslash as "\\", and
// control characters and bytes that are not UTF-8 as "\xHH" for each byte.
std::string shown(std::string_view line)
{
    constexpr std::size_t Shown = 40;
    std::string out;
    std::size_t at = 0;
    for (std::size_t count = 0; at < line.size() && count < Shown; ++count) {
        const std::size_t start = at;
        const std::optional<char32_t> c = wire::nextUtf8(line, &at);
        if (c && *c == U'\\') {
            out += "\\\\";
        } else if (c && *c >= 0x20 && !(*c >= 0x7F && *c <= 0x9F)) {
            wire::appendUtf8(out, *c);
        } else {
            for (std::size_t i = start; i < at; ++i) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(line[i]));
                out += hex;
            }
        }
    }
    return at < line.size() ? out + "..." : out;
}

} // namespace

std::optional<SenderSettings> SenderSettings::read(const std::string& path, std::string* error)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(LocalFiles::openForReading(path), &std::fclose);
    if (!file) {
        *error = path + ": cannot read the settings: " + LocalFiles::errorText(errno);
        return std::nullopt;
    }
    std::string text(LongestSettings + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    if (std::ferror(file.get()) || text.size() > LongestSettings) {
        *error = path + ": cannot read the settings: " + (text.size() > LongestSettings ? "too long for a settings file"
                                                                                         : LocalFiles::errorText(errno));
        return std::nullopt;
    }
    std::optional<SenderSettings> settings = parse(text, error);
    if (!settings)
        *error = path + ":" + *error;
    return settings;
}

std::optional<SenderSettings> SenderSettings::parse(const std::string& bytes, std::string* error)
{
    // Notepad saves UTF-8 with a byte order mark, and "Unicode" as UTF-16.
    std::string_view whole(bytes);
    std::string decoded;
    if (whole.starts_with("\xFF\xFE") || whole.starts_with("\xFE\xFF")) {
        decoded = utf8OfUtf16(whole.substr(2), whole.front() == '\xFF');
        whole = decoded;
    } else if (whole.starts_with("\xEF\xBB\xBF")) {
        whole.remove_prefix(3);
    }
    SenderSettings settings;
    std::string_view rest = whole;
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#' || (line.front() == '[' && line.back() == ']'))
            continue;
        const std::size_t equals = line.find('=');
        const std::string_view key = trimmed(line.substr(0, equals));
        std::string_view value = trimmed(equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        std::optional<std::string>* slot = key == "host" ? &settings.host
            : key == "port"                              ? &settings.port
            : key == "player"                            ? &settings.player
            : key == "token"                             ? &settings.token
                                                         : nullptr;
        if (equals == std::string_view::npos || !slot) {
            *error = std::to_string(number) + ": \"" + shown(line) + "\" is not one of host, port, player or token = value";
            return std::nullopt;
        }
        for (const std::string_view placeholder : Placeholders) {
            if (value == placeholder) {
                *error = std::to_string(number) + ": " + std::string(key) + " is still the example's \""
                    + std::string(placeholder) + "\": put in the value your league gave you";
                return std::nullopt;
            }
        }
        if (!value.empty())
            *slot = std::string(value);
    }
    return settings;
}
