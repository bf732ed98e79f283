#include "PlayerToken.h"

#include "LocalFiles.h"
#include "PreambleFormat.h"

#include <cerrno>
#include <memory>

namespace PlayerToken {

namespace {

// Tokens are short; a longer file is the wrong file.
constexpr std::size_t LongestToken = 4096;

std::optional<std::string> readFile(const std::string& path, std::string* error)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(LocalFiles::openForReading(path), &std::fclose);
    if (!file) {
        *error = path + ": cannot read the token: " + LocalFiles::errorText(errno);
        return std::nullopt;
    }
    std::string bytes(LongestToken + 2, '\0'); // room for a CR LF
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    if (std::ferror(file.get())) {
        *error = path + ": cannot read the token: " + LocalFiles::errorText(errno);
        return std::nullopt;
    }
    return bytes;
}

} // namespace

std::optional<std::string> read(const std::optional<std::string>& tokenFile,
                                const std::optional<std::string>& fromSettings, std::string* error)
{
    std::optional<std::string> bytes;
    std::string from;
    if (tokenFile) {
        from = *tokenFile;
        bytes = readFile(*tokenFile, error);
        if (!bytes)
            return std::nullopt;
    } else if ((bytes = LocalFiles::environment("KESTRIX_TOKEN"))) {
        from = "KESTRIX_TOKEN";
    } else if (fromSettings) {
        from = "the settings file";
        bytes = fromSettings;
    } else {
        *error = "--player needs the player's token, from --token-file FILE, the environment variable KESTRIX_TOKEN "
                 "or the token line of the settings file";
        return std::nullopt;
    }
    const std::string_view token = wire::preamble::tokenOf(*bytes);
    if (token.empty()) {
        *error = from + ": the token is empty";
        return std::nullopt;
    }
    if (token.size() > LongestToken) {
        *error = from + ": longer than any token (" + std::to_string(LongestToken) + " bytes at most)";
        return std::nullopt;
    }
    return std::string(token);
}

} // namespace PlayerToken
