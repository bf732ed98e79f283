#pragma once

#include "PreambleFormat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The player preamble (wire/PreambleFormat.h) for Qt's byte arrays and
// strings, and the collector's fresh challenges.
namespace PlayerPreamble {

namespace Wire = wire::preamble;

constexpr QByteArrayView marker(std::string_view text)
{
    return QByteArrayView(text.data(), qsizetype(text.size()));
}

inline constexpr QByteArrayView PlayerMarker = marker(Wire::PlayerMarker);
inline constexpr QByteArrayView ChallengeMarker = marker(Wire::ChallengeMarker);
inline constexpr QByteArrayView ProofMarker = marker(Wire::ProofMarker);
inline constexpr QByteArrayView StoredMarker = marker(Wire::StoredMarker);
inline constexpr QByteArrayView RefusedMarker = marker(Wire::RefusedMarker);
inline constexpr qsizetype ChallengeBytes = qsizetype(Wire::ChallengeBytes);
inline constexpr qsizetype NameLength = qsizetype(Wire::NameLength);

bool isValidName(QByteArrayView name);

QByteArray tokenOf(QByteArrayView bytes);
QByteArray tokenSha256Hex(QByteArrayView token);

QByteArray playerLine(QByteArrayView name);
QByteArray challengeLine(QByteArrayView challengeHex);
QByteArray proofLine(QByteArrayView proofHex);
QByteArray storedLine(QByteArrayView status);
QByteArray refusedLine(QByteArrayView code, const QString& words);

// A fresh challenge: 128 random bits from the system's source, in hex.
QByteArray newChallengeHex();
QByteArray proofHex(QByteArrayView keyHex, QByteArrayView challengeHex, QByteArrayView name,
                    QByteArrayView fileInfoHeader);
bool proofHolds(QByteArrayView proofHex, QByteArrayView keyHex, QByteArrayView challengeHex, QByteArrayView name,
                QByteArrayView fileInfoHeader);

} // namespace PlayerPreamble
