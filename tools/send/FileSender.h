#pragma once

#include <optional>
#include <string>

// Where a file goes and as whom.
struct SendTarget {
    std::string host;
    std::string port;
    std::optional<std::string> player; // a league's player, whose token is below
    std::string token;
};

// Sends one file with the FILEINFO protocol, a player's proof first when
// the target names one. The header goes first and alone: a pause lets the
// receiver read it on its own before the file's bytes follow. A plain
// sender then closes its side and waits for the receiver to close in turn,
// which it does only once it has read everything; a player waits for the
// collector's verdict. Progress and failures go to stderr, the verdict to
// stdout. Returns the exit status: 0 when every byte was sent and taken,
// 1 on a failure or a refusal.
int sendFile(const SendTarget& target, const std::string& path, const std::optional<std::string>& announcedAs);
