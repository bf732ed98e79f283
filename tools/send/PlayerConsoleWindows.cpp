#include "PlayerConsole.h"

#include <cstdio>
#include <windows.h>

namespace PlayerConsole {

void holdIfOwn()
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1)
        return;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode))
        return;
    std::fputs("\nPress any key to close this window.\n", stdout);
    std::fflush(stdout);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
            return;
    }
}

} // namespace PlayerConsole
