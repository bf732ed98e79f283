#include "ResultVerification.h"

#include "Ed25519.h"
#include "FileSystem.h"
#include "VerdictLogWalk.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <set>

namespace {

constexpr qint64 LargestResult = 64 * 1024 * 1024;

std::optional<QByteArray> base64Of(const QByteArray& text, qsizetype size)
{
    const auto decoded = QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    return decoded.decoded;
}

std::string bytes(const QByteArray& array)
{
    return array.toStdString();
}

} // namespace

int verifyResultCommand(const QString& resultPath, const QString& publicKey, const QString& logDir, QString* out,
                        QString* err)
{
    QByteArray result;
    if (!FileSystem::readAll(resultPath, &result, err, LargestResult, FileSystem::PathRules::Exact))
        return 2;
    QByteArray keyText = publicKey.toLatin1();
    if (QFileInfo(publicKey).isFile() && !FileSystem::readAll(publicKey, &keyText, err, 4096, FileSystem::PathRules::Exact))
        return 2;
    const std::optional<QByteArray> key = base64Of(keyText, qsizetype(wire::ed25519::PublicKeyBytes));
    if (!key) {
        *err = QStringLiteral("%1: no Ed25519 public key (the base64 of 32 bytes)").arg(publicKey);
        return 2;
    }
    const QString signaturePath = resultPath + QStringLiteral(".sig");
    QByteArray signatureText;
    if (!QFileInfo::exists(signaturePath)) {
        *out = QStringLiteral("%1 is unsigned: there is no %2\n").arg(resultPath, signaturePath);
        return 1;
    }
    if (!FileSystem::readAll(signaturePath, &signatureText, err, 4096, FileSystem::PathRules::Exact))
        return 2;
    const std::optional<QByteArray> signature = base64Of(signatureText, qsizetype(wire::ed25519::SignatureBytes));
    if (!signature || !wire::ed25519::holds(bytes(result), bytes(*signature), bytes(*key))) {
        *out = QStringLiteral("the signature in %1 does not hold for %2 and this public key\n").arg(signaturePath, resultPath);
        return 1;
    }
    if (logDir.isEmpty()) {
        *out = QStringLiteral("the signature holds for %1\n").arg(resultPath);
        return 0;
    }

    const QJsonObject document = QJsonDocument::fromJson(result).object();
    const QByteArray logHead = document.value(QLatin1String("log_head")).toString().toLatin1();
    std::set<QByteArray> chained;
    bool headSeen = false;
    const VerdictLogWalk walk = VerdictLogWalk::of(logDir, [&](const QByteArray& hash) {
        if (headSeen)
            return;
        chained.insert(hash);
        headSeen = hash == logHead;
    });
    if (!walk.error.isEmpty()) {
        *err = walk.error;
        return 2;
    }
    if (!headSeen) {
        *out = walk.chain.brokenAt() > 0
            ? QStringLiteral("the chain breaks at line %1 (%2 line %3), before the result's log_head\n")
                  .arg(walk.chain.brokenAt())
                  .arg(QDir::toNativeSeparators(walk.brokenFile))
                  .arg(walk.brokenFileLine)
            : QStringLiteral("the result's log_head %1 is no line of the chain in %2\n")
                  .arg(QString::fromLatin1(logHead), QDir::toNativeSeparators(logDir));
        return 1;
    }
    qint64 cited = 0;
    for (const QJsonValue& entrant : document.value(QLatin1String("entrants")).toArray()) {
        for (const QJsonValue& car : entrant.toObject().value(QLatin1String("cars")).toArray()) {
            const QJsonValue hash = car.toObject().value(QLatin1String("record_sha256"));
            if (hash.isNull())
                continue;
            ++cited;
            if (!chained.count(hash.toString().toLatin1())) {
                *out = QStringLiteral("the record of %1's %2 (%3) is no line of the chain up to log_head\n")
                           .arg(entrant.toObject().value(QLatin1String("player")).toString(),
                                car.toObject().value(QLatin1String("car")).toString(), hash.toString());
                return 1;
            }
        }
    }
    *out = QStringLiteral("the signature holds for %1, and its %2 records are lines of the chain up to its log_head\n")
               .arg(resultPath)
               .arg(cited);
    return 0;
}
