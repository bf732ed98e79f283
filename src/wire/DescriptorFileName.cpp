#include "DescriptorFileName.h"

#include "KeptName.h"

namespace wire {

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The names are ASCII, so a byte comparison in any letter case is the
// whole comparison, whatever the bytes around them are.
bool sameInAnyCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

int carOfPlainName(std::string_view fileName)
{
    for (int i = 0; i < CarCount; ++i) {
        if (sameInAnyCase(fileName, DescriptorFiles[i].inGame) || sameInAnyCase(fileName, DescriptorFiles[i].received))
            return i;
    }
    return -1;
}

DescriptorName descriptorNameOf(std::string_view fileName)
{
    if (const std::optional<KeptName> kept = readKeptName(fileName)) {
        if (const int car = carOfPlainName(kept->received); car >= 0)
            return {car, kept->arrival, kept->copy};
    }
    const std::size_t slash = fileName.rfind('\\');
    return {carOfPlainName(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1)), 0, 0};
}

} // namespace wire
