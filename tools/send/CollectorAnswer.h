#pragma once

#include <string>

class Connection;

// The one-line answers a league's collector says to a sender, and how the
// sender words them.
namespace CollectorAnswer {

// The longest answer line taken; anything longer is no collector's.
inline constexpr std::size_t LongestAnswer = 512;

struct Answer {
    enum class Kind { Line, Closed, TimedOut, TooLong, Failed };
    Kind kind = Kind::Closed;
    std::string line;  // without its LF, for Line
    std::string error; // the system's reason, for Failed
};

// Reads one line, waiting at most timeoutMs in all.
Answer read(Connection& connection, int timeoutMs);

// "refused: bad-proof (the token is wrong)" for a "REFUSED|…" line; empty
// for anything else. What the peer says is made safe to show.
std::string refusalOf(const Answer& answer);

// The n-th "|"-separated field of a line (0: its marker), made safe to show.
std::string fieldShown(const std::string& line, int n);

// Why an answer is not the one awaited: the peer's refusal when it says
// one, else what it did instead. peer: "the collector", …; awaited:
// "answer to the player", …; timeoutMs: how long read waited.
std::string unexpected(const Answer& answer, const std::string& peer, const std::string& awaited, int timeoutMs);

} // namespace CollectorAnswer
