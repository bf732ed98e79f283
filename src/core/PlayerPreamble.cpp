#include "PlayerPreamble.h"

#include "WireBytes.h"

#include <QRandomGenerator>

namespace PlayerPreamble {

using WireBytes::bytes;
using WireBytes::view;

bool isValidName(QByteArrayView name)
{
    return Wire::isValidName(view(name));
}

QByteArray tokenOf(QByteArrayView token)
{
    return bytes(Wire::tokenOf(view(token)));
}

QByteArray tokenSha256Hex(QByteArrayView token)
{
    return bytes(Wire::tokenSha256Hex(view(token)));
}

QByteArray playerLine(QByteArrayView name)
{
    return bytes(Wire::playerLine(view(name)));
}

QByteArray challengeLine(QByteArrayView challengeHex)
{
    return bytes(Wire::challengeLine(view(challengeHex)));
}

QByteArray proofLine(QByteArrayView proofHex)
{
    return bytes(Wire::proofLine(view(proofHex)));
}

QByteArray storedLine(QByteArrayView status)
{
    return bytes(Wire::storedLine(view(status)));
}

QByteArray refusedLine(QByteArrayView code, const QString& words)
{
    return bytes(Wire::refusedLine(view(code), words.toStdString()));
}

QByteArray newChallengeHex()
{
    quint32 words[ChallengeBytes / 4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), ChallengeBytes).toHex();
}

QByteArray proofHex(QByteArrayView keyHex, QByteArrayView challengeHex, QByteArrayView name,
                    QByteArrayView fileInfoHeader)
{
    return bytes(Wire::proofHex(view(keyHex), view(challengeHex), view(name), view(fileInfoHeader)));
}

bool proofHolds(QByteArrayView proof, QByteArrayView keyHex, QByteArrayView challengeHex, QByteArrayView name,
                QByteArrayView fileInfoHeader)
{
    return Wire::proofHolds(view(proof), view(keyHex), view(challengeHex), view(name), view(fileInfoHeader));
}

} // namespace PlayerPreamble
