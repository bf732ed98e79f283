#include "KeptName.h"

namespace wire {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "yyyyMMdd-HHmmss-zzz-": the hyphens' places in the stamp and after it.
constexpr std::size_t StampLength = 20;

bool isStampHyphen(std::size_t i)
{
    return i == 8 || i == 15 || i == 19;
}

// The "N-" at the start of rest that numbers a later copy: 2 to LastCopy,
// no leading zero; 0 for none.
int copyOf(std::string_view rest, std::size_t* length)
{
    int copy = 0;
    std::size_t digits = 0;
    while (digits < rest.size() && digits < 4 && isDigit(rest[digits]))
        copy = copy * 10 + (rest[digits++] - '0');
    if (digits == 0 || digits == rest.size() || rest[digits] != '-' || rest[0] == '0' || copy < 2 || copy > LastCopy)
        return 0;
    *length = digits + 1;
    return copy;
}

} // namespace

std::string keptName(std::int64_t arrival, int copy, std::string_view received)
{
    std::string name(StampLength, '-');
    for (std::size_t i = StampLength; i-- > 0;) {
        if (isStampHyphen(i))
            continue;
        name[i] = char('0' + arrival % 10);
        arrival /= 10;
    }
    if (copy > 1)
        name += std::to_string(copy) + '-';
    name += received;
    return name;
}

std::optional<KeptName> readKeptName(std::string_view name)
{
    if (name.size() <= StampLength)
        return std::nullopt;
    KeptName kept;
    for (std::size_t i = 0; i < StampLength; ++i) {
        const bool hyphen = isStampHyphen(i);
        if (hyphen != (name[i] == '-') || (!hyphen && !isDigit(name[i])))
            return std::nullopt;
        if (!hyphen)
            kept.arrival = kept.arrival * 10 + (name[i] - '0');
    }
    kept.received = name.substr(StampLength);
    std::size_t length = 0;
    if (const int copy = copyOf(kept.received, &length)) {
        kept.copy = copy;
        kept.received.remove_prefix(length);
    }
    return kept;
}

bool beginsWithNumber(std::string_view received)
{
    std::size_t digits = 0;
    while (digits < received.size() && isDigit(received[digits]))
        ++digits;
    return digits > 0 && digits < received.size() && received[digits] == '-';
}

} // namespace wire
