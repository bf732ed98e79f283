#pragma once

#include <optional>
#include <string>

// A player's token, from where the player keeps it, never from the
// command line that every user's ps shows.
namespace PlayerToken {

// From tokenFile when given, else from KESTRIX_TOKEN, else the settings
// file's; the error names where it came from and why it is not usable.
std::optional<std::string> read(const std::optional<std::string>& tokenFile,
                                const std::optional<std::string>& fromSettings, std::string* error);

} // namespace PlayerToken
