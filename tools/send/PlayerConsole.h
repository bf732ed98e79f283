#pragma once

// A window Windows opened for the program alone, as for files dropped on
// it, closes as the program ends: it is held open until a key is pressed,
// so that the player can read what happened. A prompt's, a script's or a
// test's console, or no console input at all, is never held.
namespace PlayerConsole {

void holdIfOwn();

} // namespace PlayerConsole
