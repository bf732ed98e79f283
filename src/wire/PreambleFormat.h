#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A player's transfer proves who sends it without the token crossing the
// network. The sender opens with "PLAYER|<name>|"; the collector answers
// "CHALLENGE|<32 hex digits>|\n", fresh for each connection; the sender then
// writes "PROOF|<64 hex digits>|", the FILEINFO header and the file. The
// proof is an HMAC-SHA256 keyed by the SHA-256 of the token over
// "<challenge>|<name>|<FILEINFO header>", so it binds the announced size and
// name, and a captured exchange proves nothing to a later challenge. The
// collector ends with "STORED|<status>|\n" and at most five "NOTE|<text>|\n"
// lines, or with "REFUSED|<code>|<words>|\n". A receiver window that gets
// "PLAYER|" refuses it as data before a FILEINFO header, and writes nothing.
// Described in docs/player-preamble.md.
namespace wire::preamble {

inline constexpr std::string_view PlayerMarker = "PLAYER|";
inline constexpr std::string_view ChallengeMarker = "CHALLENGE|";
inline constexpr std::string_view ProofMarker = "PROOF|";
inline constexpr std::string_view StoredMarker = "STORED|";
inline constexpr std::string_view RefusedMarker = "REFUSED|";
inline constexpr std::string_view NoteMarker = "NOTE|";
inline constexpr std::size_t MostNotes = 5;
inline constexpr std::size_t ChallengeBytes = 16;
inline constexpr std::size_t ProofDigits = 64;
inline constexpr std::size_t NameLength = 64;

// A player's name: 1 to 64 ASCII letters, digits, "-", "_" or ".", beginning
// with a letter or a digit.
bool isValidName(std::string_view name);

// A token is its bytes less one trailing newline (LF or CR LF).
std::string_view tokenOf(std::string_view bytes);
// The roster keeps the token's SHA-256, in hex; it keys the proof.
std::string tokenSha256Hex(std::string_view token);

std::string playerLine(std::string_view name);
std::string challengeLine(std::string_view challengeHex);
// "CHALLENGE|<32 hex digits>|" without its LF: anything else is no
// collector's challenge.
bool isChallenge(std::string_view line);
std::string proofLine(std::string_view proofHex);
std::string storedLine(std::string_view status);
// words lose any "|" or line end, which would end the line early.
std::string refusedLine(std::string_view code, std::string_view words);

// The proof, in hex, of the token whose SHA-256 is keyHex.
std::string proofHex(std::string_view keyHex, std::string_view challengeHex, std::string_view name,
                     std::string_view fileInfoHeader);
// Whether proofHex is that proof, compared in constant time.
bool proofHolds(std::string_view proofHex, std::string_view keyHex, std::string_view challengeHex,
                std::string_view name, std::string_view fileInfoHeader);

} // namespace wire::preamble
