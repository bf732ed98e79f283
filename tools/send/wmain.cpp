// kestrix-send.exe: a league's player sends descriptors to its collector,
// by dropping files or the game's Cars folder on the program, or from a
// prompt as on Linux. Its settings are kestrix-send.ini beside it.

#include "DroppedFiles.h"
#include "FileSender.h"
#include "LocalFiles.h"
#include "PlayerConsole.h"
#include "SendCommand.h"
#include "WindowsText.h"

#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

namespace {

// A double-click opens the program with nothing to send.
const char* const DropHelp =
    "kestrix-send.exe sends your car descriptors to your league's collector.\n"
    "\n"
    "Close this window, then drag a descriptor (such as Grelmdescriptor.txt), several,\n"
    "or the game's whole Cars folder onto kestrix-send.exe. Every descriptor found\n"
    "is sent, and this window says what the league made of each.\n"
    "\n"
    "Your league's settings go in kestrix-send.ini beside kestrix-send.exe.\n"
    "From a command prompt, kestrix-send.exe --help says more.\n";

int run(const std::vector<std::string>& arguments)
{
    if (arguments.empty()) {
        std::fputs(DropHelp, stdout);
        return 2;
    }
    const std::string settings = LocalFiles::programFolder() + "\\kestrix-send.ini";
    // A host is never a file beside the player: a first argument that is
    // one was dropped, with the rest.
    if (!arguments.empty() && LocalFiles::kindOf(arguments.front()) != LocalFiles::Kind::Missing) {
        const SendCommand command = SendCommand::dropped(arguments, settings);
        return command.done ? *command.done : sendDropped(command);
    }
    const bool hasSettings = LocalFiles::kindOf(settings) == LocalFiles::Kind::File;
    const SendCommand command = SendCommand::parse(arguments, hasSettings ? std::optional(settings) : std::nullopt);
    return command.done ? *command.done : sendFile(command.target, command.files.front(), command.announcedAs);
}

} // namespace

int wmain(int argc, wchar_t* argv[])
{
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(WindowsText::utf8Of(argv[i]));
    const int status = run(arguments);
    PlayerConsole::holdIfOwn();
    return status;
}
