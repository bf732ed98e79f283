#include "SendCommand.h"

#include "LocalFiles.h"
#include "PlayerToken.h"
#include "PreambleFormat.h"
#include "SenderSettings.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* const UsageText =
    "usage: kestrix-send HOST PORT FILE [--name NAME] [--player NAME [--token-file FILE]] [--config FILE]\n"
    "       kestrix-send --config FILE FILE\n"
    "\n"
    "Sends FILE to a Kestrix receiver listening on HOST and PORT, announced as\n"
    "NAME (default: the file's own name). To be scanned as a remote copy, a\n"
    "descriptor must arrive under its car's name, such as BrackwellDescriptor.txt.\n"
    "\n"
    "--player NAME sends to a league's kestrix-collect as that player, proving the\n"
    "player's token without sending it. The token comes from --token-file FILE\n"
    "(less one trailing newline), else the environment variable KESTRIX_TOKEN,\n"
    "else the settings file; never from the command line, which every user's ps\n"
    "shows. The collector answers with its verdict, printed as \"sent and checked:\n"
    "tweaked\" with what it noted (the first differences, the player's page) and\n"
    "what to do below it, or with a refusal, printed as \"refused: bad-proof (the\n"
    "token is wrong)\".\n"
    "\n"
    "--config FILE reads the league's settings, as the league hands them out:\n"
    "lines \"host = ...\", \"port = ...\", \"player = ...\" and \"token = ...\"\n"
    "(UTF-8 or UTF-16, a value in double quotes or not); a value still the\n"
    "example's placeholder is refused.\n"
    "The command line, --token-file and KESTRIX_TOKEN come before them. With\n"
    "HOST and PORT in FILE, the command line may name FILE to send alone.\n"
    "\n"
    "kestrix-send.exe on Windows reads kestrix-send.ini beside it the same way.\n"
    "When its first argument is an existing file or folder, as when files are\n"
    "dropped on it, it sends every file given and every descriptor in every\n"
    "folder given, with all settings from kestrix-send.ini.\n"
    "\n"
    "  --help     shows this help\n"
    "  --version  shows the version\n"
    "\n"
    "Exit status: 0 when every byte was sent and taken (for a player: kept and\n"
    "checked, whatever the verdict), 1 on a failure or a refusal, 2 on a wrong\n"
    "command line or settings file.\n";

SendCommand finished(int status)
{
    SendCommand command;
    command.done = status;
    return command;
}

SendCommand wrong(const std::string& message)
{
    std::fprintf(stderr, "kestrix-send: %s\n", message.c_str());
    return finished(2);
}

// The value after option, taken out of arguments; false after saying so
// when the value is missing.
bool takeOption(std::vector<std::string>& arguments, const std::string& option, std::optional<std::string>* value)
{
    const auto at = std::find(arguments.begin(), arguments.end(), option);
    if (at == arguments.end())
        return true;
    if (at + 1 == arguments.end()) {
        wrong(option + " needs a value");
        return false;
    }
    *value = *(at + 1);
    arguments.erase(at, at + 2);
    return true;
}

// The player and token, from the command line or else the settings;
// a status when they are not usable.
std::optional<int> choosePlayer(SendCommand* command, const std::optional<std::string>& player,
                                const std::optional<std::string>& tokenFile, const SenderSettings& settings)
{
    const std::optional<std::string> name = player ? player : settings.player;
    if (!name) {
        if (tokenFile)
            return wrong("--token-file is for a player: add --player NAME").done;
        return std::nullopt;
    }
    if (!wire::preamble::isValidName(*name))
        return wrong("\"" + *name + "\" is no player's name: 1 to 64 letters, digits, \"-\", \"_\" or \".\" (ASCII), "
                     "beginning with a letter or a digit")
            .done;
    std::string why;
    const std::optional<std::string> token = PlayerToken::read(tokenFile, settings.token, &why);
    if (!token)
        return wrong(why).done;
    command->target.player = name;
    command->target.token = *token;
    return std::nullopt;
}

} // namespace

SendCommand SendCommand::parse(std::vector<std::string> arguments, const std::optional<std::string>& settingsBeside)
{
    const auto has = [&](const char* option) {
        return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
    };
    if (has("--help") || has("-h")) {
        std::fputs(UsageText, stdout);
        return finished(0);
    }
    if (has("--version")) {
        std::printf("kestrix-send %s\n", KESTRIX_VERSION);
        return finished(0);
    }
    for (const std::string& argument : arguments) {
        if (argument == "--token" || argument.starts_with("--token="))
            return wrong("a token is never taken from the command line, where every user's ps shows it: use "
                         "--token-file FILE or the environment variable KESTRIX_TOKEN");
    }
    std::optional<std::string> name, player, tokenFile, config;
    if (!takeOption(arguments, "--name", &name) || !takeOption(arguments, "--player", &player)
        || !takeOption(arguments, "--token-file", &tokenFile) || !takeOption(arguments, "--config", &config))
        return finished(2);

    SenderSettings settings;
    if (const std::optional<std::string> file = config ? config : settingsBeside) {
        std::string error;
        std::optional<SenderSettings> read = SenderSettings::read(*file, &error);
        if (!read)
            return wrong(error);
        settings = *read;
    }
    SendCommand command;
    if (const std::optional<int> status = choosePlayer(&command, player, tokenFile, settings))
        return finished(*status);
    command.announcedAs = name;
    if (arguments.size() == 3) {
        command.target.host = arguments[0];
        command.target.port = arguments[1];
        command.files = {arguments[2]};
    } else if (arguments.size() == 1 && settings.host && settings.port) {
        command.target.host = *settings.host;
        command.target.port = *settings.port;
        command.files = {arguments[0]};
    } else {
        std::fputs(UsageText, stderr);
        return finished(2);
    }
    return command;
}

#ifdef _WIN32
SendCommand SendCommand::dropped(std::vector<std::string> paths, const std::string& settingsFile)
{
    std::string error;
    const std::optional<SenderSettings> settings = SenderSettings::read(settingsFile, &error);
    if (!settings)
        return wrong(error + "\nPut the kestrix-send.ini your league gave you beside kestrix-send.exe.");
    if (!settings->host || !settings->port)
        return wrong(settingsFile + ": the league's host and port are missing (host = ..., port = ...)");
    SendCommand command;
    if (const std::optional<int> status = choosePlayer(&command, std::nullopt, std::nullopt, *settings))
        return finished(*status);
    command.target.host = *settings->host;
    command.target.port = *settings->port;
    command.files = std::move(paths);
    return command;
}
#endif
