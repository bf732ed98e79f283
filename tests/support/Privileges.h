#pragma once

#include <unistd.h>

// Root passes every permission check, so a case about a permission proves
// nothing when run as root: it skips with this reason instead.
inline bool runsAsRoot()
{
    return ::geteuid() == 0;
}
inline constexpr const char* RootIgnoresPermissions = "root ignores file permissions; run as an ordinary user";
