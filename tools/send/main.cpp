// kestrix-send: sends one file to a listening Kestrix receiver, or to a
// league's collector as one of its players (docs/player-preamble.md).
// Exit status 0 means every byte was sent and taken; 1 a failure; 2 a
// wrong command line.

#include "FileSender.h"
#include "SendCommand.h"

#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    const SendCommand command = SendCommand::parse(std::vector<std::string>(argv + 1, argv + argc), std::nullopt);
    if (command.done)
        return *command.done;
    return sendFile(command.target, command.files.front(), command.announcedAs);
}
