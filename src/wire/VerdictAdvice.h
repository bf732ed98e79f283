#pragma once

#include <string_view>

namespace wire {

// What a player can do about a verdict's status, in a few words without a
// capital or a full stop ("send the file again"); none for a status that
// needs nothing. kestrix-send prints it, the league page shows it.
const char* verdictAdvice(std::string_view status);

} // namespace wire
