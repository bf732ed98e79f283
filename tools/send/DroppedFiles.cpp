#include "DroppedFiles.h"

#include "DescriptorFileName.h"
#include "LocalFiles.h"

#include <cstdio>

int sendDropped(const SendCommand& command)
{
    std::vector<std::string> files;
    int failed = 0;
    for (const std::string& path : command.files) {
        if (LocalFiles::kindOf(path) != LocalFiles::Kind::Folder) {
            files.push_back(path);
            continue;
        }
        std::size_t found = 0;
        for (const std::string& below : LocalFiles::filesBelow(path)) {
            if (wire::descriptorNameOf(LocalFiles::fileNameOf(below)).car >= 0) {
                files.push_back(below);
                ++found;
            }
        }
        if (found == 0) {
            std::printf("%s: no descriptor in this folder\n", path.c_str());
            ++failed;
        }
    }
    int sent = 0;
    for (const std::string& file : files) {
        std::printf("\n%s\n", file.c_str());
        std::fflush(stdout);
        const int status = sendFile(command.target, file, std::nullopt);
        std::fflush(stderr);
        if (status == 0)
            ++sent;
        else
            ++failed;
    }
    std::printf("\n%d of %d file%s sent to %s port %s.\n", sent, sent + failed, sent + failed == 1 ? "" : "s",
                command.target.host.c_str(), command.target.port.c_str());
    return failed == 0 ? 0 : 1;
}
