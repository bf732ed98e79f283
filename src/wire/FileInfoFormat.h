#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The "FILEINFO" transfer protocol on one TCP connection: a header chunk
// "FILEINFO|<size>|<name>|", then the file's bytes, then the sender's close.
// Described in docs/player-preamble.md, which a league's player sends before it.
namespace wire {

inline constexpr std::string_view FileInfoMarker = "FILEINFO";

// The fieldPos-th "|"-delimited field of text, 1-based. A field that no "|"
// follows comes out empty; a search that finds no "|" starts again at the
// beginning, so "A|B" gives "A" for field 3.
std::string headerField(std::string_view text, std::int32_t fieldPos);

// A chunk is a header when its first eight bytes are "FILEINFO", upper case.
bool isFileInfoHeader(std::string_view chunk);

struct AnnouncedFile {
    std::int64_t size = 0; // above 0
    std::string name;      // 8-bit text as sent, not yet checked as a file name
};

// What a header chunk announces; anything after the name's "|" is ignored.
// Without a usable size, error says why, in UTF-8.
std::optional<AnnouncedFile> parseFileInfoHeader(std::string_view chunk, std::string* error);

// The header a sender writes before the file's bytes.
std::string fileInfoHeader(std::int64_t size, std::string_view name);

// 8-bit protocol text made safe to show, in UTF-8: its start only, and
// control characters become "?".
std::string shownText(std::string_view bytes);

} // namespace wire
