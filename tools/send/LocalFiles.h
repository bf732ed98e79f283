#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The sender's view of the machine it runs on: files by UTF-8 paths (wide
// paths on Windows), the environment, and the system's words for an error.
namespace LocalFiles {

enum class Kind { Missing, File, Folder };
Kind kindOf(const std::string& path);

// Opened for reading bytes; null with errno set.
std::FILE* openForReading(const std::string& path);
// The size of an open file; none when the system cannot tell.
std::optional<std::int64_t> sizeOf(std::FILE* file);

// The last component of a path, as the system separates them.
std::string fileNameOf(const std::string& path);

std::optional<std::string> environment(const char* name);

// The C library's words for errno.
std::string errorText(int code);

#ifdef _WIN32
// The folder of the running .exe, where its kestrix-send.ini lies.
std::string programFolder();
// Every file below folder, at any depth, in name order within a folder.
std::vector<std::string> filesBelow(const std::string& folder);
#endif

} // namespace LocalFiles
