#include "LocalFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace LocalFiles {

Kind kindOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return Kind::Missing;
    return S_ISDIR(status.st_mode) ? Kind::Folder : Kind::File;
}

std::FILE* openForReading(const std::string& path)
{
    return std::fopen(path.c_str(), "rb");
}

std::optional<std::int64_t> sizeOf(std::FILE* file)
{
    struct stat status {};
    if (::fstat(::fileno(file), &status) != 0)
        return std::nullopt;
    return std::int64_t(status.st_size);
}

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::string errorText(int code)
{
    return std::strerror(code);
}

} // namespace LocalFiles
