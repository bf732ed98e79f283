#include "PlayerPreamble.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <algorithm>

namespace PlayerPreamble {

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
}

bool isHex(QByteArrayView text, qsizetype length)
{
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

} // namespace

bool isValidName(QByteArrayView name)
{
    if (name.isEmpty() || name.size() > NameLength || name.front() == '-' || name.front() == '_' || name.front() == '.')
        return false;
    return std::all_of(name.begin(), name.end(), isNameCharacter);
}

QByteArray tokenOf(QByteArrayView bytes)
{
    if (bytes.endsWith("\r\n"))
        return bytes.chopped(2).toByteArray();
    if (bytes.endsWith('\n'))
        return bytes.chopped(1).toByteArray();
    return bytes.toByteArray();
}

QByteArray tokenSha256Hex(QByteArrayView token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256).toHex();
}

QByteArray playerLine(QByteArrayView name)
{
    return PlayerMarker.toByteArray() + name.toByteArray() + '|';
}

QByteArray challengeLine(QByteArrayView challengeHex)
{
    return ChallengeMarker.toByteArray() + challengeHex.toByteArray() + "|\n";
}

QByteArray proofLine(QByteArrayView proofHex)
{
    return ProofMarker.toByteArray() + proofHex.toByteArray() + '|';
}

QByteArray storedLine(QByteArrayView status)
{
    return StoredMarker.toByteArray() + status.toByteArray() + "|\n";
}

QByteArray refusedLine(QByteArrayView code, const QString& words)
{
    QByteArray plain = words.toUtf8();
    plain.replace('|', '/').replace('\n', ' ').replace('\r', ' ');
    return RefusedMarker.toByteArray() + code.toByteArray() + '|' + plain + "|\n";
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
    const QByteArray key = QByteArray::fromHex(keyHex.toByteArray());
    QMessageAuthenticationCode code(QCryptographicHash::Sha256, key);
    code.addData(challengeHex.data(), challengeHex.size());
    code.addData("|", 1);
    code.addData(name.data(), name.size());
    code.addData("|", 1);
    code.addData(fileInfoHeader.data(), fileInfoHeader.size());
    return code.result().toHex();
}

bool proofHolds(QByteArrayView proof, QByteArrayView keyHex, QByteArrayView challengeHex, QByteArrayView name,
                QByteArrayView fileInfoHeader)
{
    if (!isHex(proof, 64))
        return false;
    const QByteArray expected = proofHex(keyHex, challengeHex, name, fileInfoHeader);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i] ^ proof[i]);
    return difference == 0;
}

} // namespace PlayerPreamble
