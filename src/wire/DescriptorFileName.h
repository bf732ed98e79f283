#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The file names that make a file a car's descriptor, wherever it lies: in
// the game's Cars folder, received by a window, kept by a collector.
namespace wire {

inline constexpr int CarCount = 6;

// Each car's descriptor file name, in the game and as received, in the cars'
// list order.
struct DescriptorFileNames {
    std::string_view inGame;
    std::string_view received;
};
inline constexpr std::array<DescriptorFileNames, CarCount> DescriptorFiles{{
    {"BrackwellDescriptor.txt", "BrackwellDescriptor.txt"},
    {"DunMarrDescriptor.txt", "DunmarrDescriptor.txt"},
    {"Skelder4Descriptor.txt", "Skelder4Descriptor.txt"},
    {"Grelmdescriptor.txt", "Grelmdescriptor.txt"},
    {"Puddlewickdescriptor.txt", "Puddlewickdescriptor.txt"},
    {"OldGristdescriptor.txt", "OldGristdescriptor.txt"},
}};

// What the name of a file found in a folder says, read from its bytes.
struct DescriptorName {
    int car = -1; // index in the list order; -1 for none
    // When kestrix-collect kept the file: its arrival as the number
    // yyyyMMddHHmmsszzz and the copy within that millisecond (1 for the
    // first); 0 and 0 for a name the collector did not make.
    std::int64_t arrival = 0;
    int copy = 0;
};

// The car whose descriptor, in the game or received, has this file name in
// any letter case ("grelmdescriptor.TXT" is Grelm's); -1 for none.
int carOfPlainName(std::string_view fileName);

// Whose descriptor a file is by the name it has on disk: a name
// carOfPlainName knows; such a name kept by kestrix-collect (KeptName.h); or such a name after the last backslash of a name
// that unzip took whole from a Windows archive ("Cars\Grelm\Grelmdescriptor.txt").
// Anything more, such as a partial or a temporary file's name, names no car.
DescriptorName descriptorNameOf(std::string_view fileName);

} // namespace wire
