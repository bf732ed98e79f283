#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A player's transfer proves who sends it without the token crossing the
// network. The sender opens with "PLAYER|<name>|"; the collector answers
// "CHALLENGE|<32 hex digits>|\n", fresh for each connection; the sender then
// writes "PROOF|<64 hex digits>|", the FILEINFO header and the file. The
// proof is an HMAC-SHA256 keyed by the SHA-256 of the token over
// "<challenge>|<name>|<FILEINFO header>", so it binds the announced size and
// name, and a captured exchange proves nothing to a later challenge. The
// collector ends with one line: "STORED|<status>|\n" or
// "REFUSED|<code>|<words>|\n". A receiver window that gets "PLAYER|" refuses
// it as data before a FILEINFO header, and writes nothing.
namespace PlayerPreamble {

inline constexpr QByteArrayView PlayerMarker("PLAYER|");
inline constexpr QByteArrayView ChallengeMarker("CHALLENGE|");
inline constexpr QByteArrayView ProofMarker("PROOF|");
inline constexpr QByteArrayView StoredMarker("STORED|");
inline constexpr QByteArrayView RefusedMarker("REFUSED|");
inline constexpr qsizetype ChallengeBytes = 16;
inline constexpr qsizetype NameLength = 64;

// A player's name: 1 to 64 ASCII letters, digits, "-", "_" or ".", beginning
// with a letter or a digit.
bool isValidName(QByteArrayView name);

// A token is its bytes less one trailing newline (LF or CR LF).
QByteArray tokenOf(QByteArrayView bytes);
// The roster keeps the token's SHA-256, in hex; it keys the proof.
QByteArray tokenSha256Hex(QByteArrayView token);

QByteArray playerLine(QByteArrayView name);
QByteArray challengeLine(QByteArrayView challengeHex);
QByteArray proofLine(QByteArrayView proofHex);
QByteArray storedLine(QByteArrayView status);
// words lose any "|" or line end, which would end the line early.
QByteArray refusedLine(QByteArrayView code, const QString& words);

// A fresh challenge: 128 random bits from the system's source, in hex.
QByteArray newChallengeHex();
// The proof, in hex, of the token whose SHA-256 is keyHex.
QByteArray proofHex(QByteArrayView keyHex, QByteArrayView challengeHex, QByteArrayView name,
                    QByteArrayView fileInfoHeader);
// Whether proofHex is that proof, compared in constant time.
bool proofHolds(QByteArrayView proofHex, QByteArrayView keyHex, QByteArrayView challengeHex, QByteArrayView name,
                QByteArrayView fileInfoHeader);

} // namespace PlayerPreamble
