#include "DescriptorFileName.h"

namespace wire {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

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

// "yyyyMMdd-HHmmss-zzz-", as kestrix-collect writes it before a kept name.
constexpr std::size_t StampLength = 20;

// The arrival in a kept name's stamp; 0 when name does not start with one.
std::int64_t arrivalOf(std::string_view name)
{
    if (name.size() <= StampLength)
        return 0;
    std::int64_t arrival = 0;
    for (std::size_t i = 0; i < StampLength; ++i) {
        const bool dash = i == 8 || i == 15 || i == 19;
        if (dash != (name[i] == '-') || (!dash && !isDigit(name[i])))
            return 0;
        if (!dash)
            arrival = arrival * 10 + (name[i] - '0');
    }
    return arrival;
}

// The "N-" at the start of rest with which the collector numbers a second
// and later file of one millisecond: 2 to 1000, no leading zero; 0 for none.
int copyOf(std::string_view rest, std::size_t* length)
{
    int copy = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && digits < 4 && isDigit(rest[digits]))
        copy = copy * 10 + (rest[digits++] - '0');
    if (digits == 0 || digits == rest.size() || rest[digits] != '-' || rest[0] == '0' || copy < 2 || copy > 1000)
        return 0;
    *length = digits + 1;
    return copy;
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
    if (const std::int64_t arrival = arrivalOf(fileName)) {
        const std::string_view rest = fileName.substr(StampLength);
        // No descriptor's name starts with a digit, so a rest that names a
        // car is a first copy, and one after "N-" a numbered copy.
        if (const int car = carOfPlainName(rest); car >= 0)
            return {car, arrival, 1};
        std::size_t length = 0;
        if (const int copy = copyOf(rest, &length)) {
            if (const int car = carOfPlainName(rest.substr(length)); car >= 0)
                return {car, arrival, copy};
        }
    }
    const std::size_t slash = fileName.rfind('\\');
    return {carOfPlainName(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1)), 0, 0};
}

} // namespace wire
