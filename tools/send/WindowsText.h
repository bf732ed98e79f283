#pragma once

#include <string>
#include <string_view>

// Windows speaks UTF-16; the sender keeps text in UTF-8 and converts at
// the system's edge.
namespace WindowsText {

std::wstring wideOf(std::string_view utf8);
std::string utf8Of(std::wstring_view wide);

} // namespace WindowsText
