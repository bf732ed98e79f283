#pragma once

#include <optional>
#include <string>

// The settings a league hands its players, as an .ini file:
//
//   [kestrix-send]
//   host = league.example.org
//   port = 5000
//   player = alice
//   token = f9e3e6b79cd984428584634d6049ee2f
//
// Any section name is taken; ";" and "#" start a comment line; spaces
// around a key and its value do not count, nor double quotes around a value.
// Saved by Notepad, it may be UTF-8 with a byte order mark or UTF-16 with
// one. A value still the example's placeholder is a mistake to say.
struct SenderSettings {
    std::optional<std::string> host;
    std::optional<std::string> port;
    std::optional<std::string> player;
    std::optional<std::string> token;

    // The settings in path; none, with the reason ("PATH:LINE: ..."), when it
    // cannot be read or holds a line that is not a known key's or a
    // placeholder.
    static std::optional<SenderSettings> read(const std::string& path, std::string* error);
    static std::optional<SenderSettings> parse(const std::string& bytes, std::string* error);
};
