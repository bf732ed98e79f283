#include "SenderSettings.h"

#include "LocalFiles.h"

#include <cerrno>
#include <memory>

namespace {

// Settings are a few short lines; a longer file is the wrong file.
constexpr std::size_t LongestSettings = 64 * 1024;

std::string_view trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
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

std::optional<SenderSettings> SenderSettings::parse(const std::string& text, std::string* error)
{
    SenderSettings settings;
    std::string_view rest(text);
    // Notepad may have saved it with a byte order mark.
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#' || (line.front() == '[' && line.back() == ']'))
            continue;
        const std::size_t equals = line.find('=');
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string value(trimmed(equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1)));
        std::optional<std::string>* slot = key == "host" ? &settings.host
            : key == "port"                              ? &settings.port
            : key == "player"                            ? &settings.player
            : key == "token"                             ? &settings.token
                                                         : nullptr;
        if (equals == std::string_view::npos || !slot) {
            *error = std::to_string(number) + ": \"" + std::string(line.substr(0, 40))
                + "\" is not one of host, port, player or token = value";
            return std::nullopt;
        }
        if (!value.empty())
            *slot = value;
    }
    return settings;
}
