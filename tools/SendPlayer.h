#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What kestrix-send needs for a league's collector beyond the FILEINFO
// protocol: the player's token, and the one-line answers the collector says.
namespace SendPlayer {

// The longest answer line taken; anything longer is no collector's.
inline constexpr qsizetype LongestAnswer = 512;

struct Answer {
    enum class Kind { Line, Closed, TimedOut, TooLong, Failed };
    Kind kind = Kind::Closed;
    QByteArray line;  // without its LF, for Line
    QString error;    // the system's reason, for Failed
};

// Reads one line from the socket fd, waiting at most timeoutMs in all.
Answer readAnswer(int fd, int timeoutMs);

// "refused: bad-proof (the token is wrong)" for a "REFUSED|…" line; empty
// for anything else. What the peer says is made safe to show.
QString refusalOf(const Answer& answer);

// The n-th "|"-separated field of a line (0: its marker), made safe to show.
QString fieldShown(const QByteArray& line, int n);

// "CHALLENGE|<32 hex digits>|": anything else is no collector's challenge.
bool isChallenge(const QByteArray& line);

// Why an answer is not the one awaited: the peer's refusal when it says
// one, else what it did instead. peer: "the collector", …; awaited:
// "answer to the player", …; timeoutMs: how long readAnswer waited.
QString unexpected(const Answer& answer, const QString& peer, const QString& awaited, int timeoutMs);

// The token from tokenFile when it is given, else from KESTRIX_TOKEN; the
// error names where it came from and why it is not usable.
std::optional<QByteArray> token(const QString& tokenFile, QString* error);

} // namespace SendPlayer
