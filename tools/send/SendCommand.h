#pragma once

#include "FileSender.h"

#include <optional>
#include <string>
#include <vector>

// kestrix-send's command line, and the settings file that fills what it
// leaves out:
//
//   kestrix-send HOST PORT FILE [--name NAME] [--player NAME [--token-file FILE]] [--config FILE]
//   kestrix-send --config FILE FILE ...
//
// Values on the command line, --token-file and KESTRIX_TOKEN come before
// the settings file's. A token is never taken from the command line, which
// every user's ps shows.
struct SendCommand {
    SendTarget target;
    std::vector<std::string> files;
    std::optional<std::string> announcedAs;

    // What to do instead of sending: the exit status once usage, the
    // version or a mistake has been said.
    std::optional<int> done;

    // arguments: without the program's name. settingsBeside: the settings
    // file read when no --config names one (none on Linux).
    static SendCommand parse(std::vector<std::string> arguments, const std::optional<std::string>& settingsBeside);

#ifdef _WIN32
    // Every argument names a file or folder to send, with all else from the
    // settings file, as when files are dropped on the program.
    static SendCommand dropped(std::vector<std::string> paths, const std::string& settingsFile);
#endif
};
