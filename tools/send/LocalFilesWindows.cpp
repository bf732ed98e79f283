#include "LocalFiles.h"

#include "WindowsText.h"

#include <algorithm>
#include <cstring>
#include <windows.h>

namespace LocalFiles {

Kind kindOf(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(WindowsText::wideOf(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Kind::Missing;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? Kind::Folder : Kind::File;
}

std::FILE* openForReading(const std::string& path)
{
    return _wfopen(WindowsText::wideOf(path).c_str(), L"rb");
}

std::optional<std::int64_t> sizeOf(std::FILE* file)
{
    const std::int64_t at = _ftelli64(file);
    if (at < 0 || _fseeki64(file, 0, SEEK_END) != 0)
        return std::nullopt;
    const std::int64_t size = _ftelli64(file);
    if (_fseeki64(file, at, SEEK_SET) != 0 || size < 0)
        return std::nullopt;
    return size;
}

std::string fileNameOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::optional<std::string> environment(const char* name)
{
    const std::wstring wideName = WindowsText::wideOf(name);
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (length == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>(std::string());
    std::wstring value(length, L'\0');
    value.resize(GetEnvironmentVariableW(wideName.c_str(), value.data(), length));
    return WindowsText::utf8Of(value);
}

std::string errorText(int code)
{
    return std::strerror(code);
}

std::string programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    return WindowsText::utf8Of(separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator));
}

std::vector<std::string> filesBelow(const std::string& folder)
{
    std::vector<std::string> folders;
    std::vector<std::string> files;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(WindowsText::wideOf(folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        // A link to a folder is not walked: it may lead back up.
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT && entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::string path = folder + "\\" + WindowsText::utf8Of(name);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.push_back(path);
        else
            files.push_back(path);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const std::string& below : folders) {
        const std::vector<std::string> inside = filesBelow(below);
        files.insert(files.end(), inside.begin(), inside.end());
    }
    return files;
}

} // namespace LocalFiles
