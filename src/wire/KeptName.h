#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The name under which kestrix-collect keeps a received file:
// "<yyyyMMdd-HHmmss-zzz>-<received>" for the first file of a millisecond, and
// "<yyyyMMdd-HHmmss-zzz>-<N>-<received>" (N from 2 to 1000) for a later one.
// The collector makes its names and kestrix-check reads them with this one pair.
namespace wire {

struct KeptName {
    // The arrival as the number yyyyMMddHHmmsszzz.
    std::int64_t arrival = 0;
    // The copy within that millisecond: 1 for the first.
    int copy = 1;
    std::string_view received;
};

inline constexpr int LastCopy = 1000;

std::string keptName(std::int64_t arrival, int copy, std::string_view received);

// What a kept name says; nothing for a name the collector did not make.
std::optional<KeptName> readKeptName(std::string_view name);

// Whether a received name begins with digits and a "-", as a copy's number
// does: kept behind a stamp it would read as another name's later copy, so
// the collector refuses it.
bool beginsWithNumber(std::string_view received);

} // namespace wire
