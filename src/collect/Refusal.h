#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Why the collector turned a connection away: one code, the same in its
// events, its verdict records, its metrics and the sender's answer, and the
// words for a person.
enum class RefusalCode {
    NoPlayer,           // a roster is in force and no player was named
    UnknownPlayer,      // the player is not on the roster
    BadProof,           // the proof does not match the player's token
    NoRoster,           // a player was named to a collector without a roster
    TooManyFromAddress, // the address has as many connections as it may
    TooManyForPlayer,   // the player has as many transfers as they may
    TooSlow,            // the transfer's average rate fell below the least
    TimedOut,           // the whole file did not arrive in time
    BadHeader,          // the opening bytes are no FILEINFO header
    TooLarge,           // the announced size is more than may be kept
    BadName,            // the announced name cannot be used
    Stopping,           // the collector stops
    CannotStore,        // the file or its record cannot be written where it would be kept
    Busy,               // the collector holds as many connections as it may; the last
};

struct Refusal {
    RefusalCode code;
    QString words;
};

// "no-player", "bad-proof", …
QByteArray refusalCodeName(RefusalCode code);
// Every code there is, in the order above.
std::vector<RefusalCode> allRefusalCodes();
