#include "VerdictJson.h"

#include "Cp1252.h"
#include "ShownText.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonValue textOf(const std::optional<QByteArray>& bytes)
{
    return bytes ? QJsonValue(fromCp1252(*bytes)) : QJsonValue();
}

QJsonValue numberOf(const std::optional<qint64>& number)
{
    return number ? QJsonValue(*number) : QJsonValue();
}

QJsonObject differenceJson(const Difference& difference)
{
    QJsonObject object{
        {QStringLiteral("class"), Difference::className(difference.kind)},
        {QStringLiteral("section"), textOf(difference.section)},
        {QStringLiteral("key"), textOf(difference.key)},
        {QStringLiteral("genuine"), textOf(difference.genuine)},
        {QStringLiteral("value"), textOf(difference.value)},
        {QStringLiteral("line"), numberOf(difference.line)},
        {QStringLiteral("genuine_line"), numberOf(difference.genuineLine)},
    };
    if (difference.toSection)
        object.insert(QStringLiteral("to_section"), textOf(difference.toSection));
    if (difference.firstLine)
        object.insert(QStringLiteral("first_line"), *difference.firstLine);
    if (difference.byDamage)
        object.insert(QStringLiteral("by_damage"), true);
    if (difference.allowed)
        object.insert(QStringLiteral("allowed"), true);
    if (difference.rule > 0)
        object.insert(QStringLiteral("rule"), difference.rule);
    if (!difference.reason.isEmpty())
        object.insert(QStringLiteral("reason"), difference.reason);
    return object;
}

} // namespace

QJsonObject verdictJson(const Verdict& verdict)
{
    QJsonArray tweaks;
    for (const Tweak& tweak : verdict.tweaks) {
        tweaks.append(QJsonObject{
            {QStringLiteral("line"), tweak.line},
            {QStringLiteral("text"), fromCp1252(tweak.text)},
            {QStringLiteral("genuine"), textOf(tweak.genuine)},
        });
    }
    QJsonArray missing;
    for (const MissingLine& line : verdict.missing)
        missing.append(QJsonObject{{QStringLiteral("line"), line.line}, {QStringLiteral("text"), fromCp1252(line.text)}});
    QJsonArray differences;
    for (const Difference& difference : verdict.differences)
        differences.append(differenceJson(difference));
    const QString kind = verdict.kind();
    QJsonObject object{
        {QStringLiteral("path"), ShownText::jsonName(verdict.path)},
        {QStringLiteral("player"), ShownText::jsonName(verdict.player)},
        {QStringLiteral("car"), verdict.car ? QJsonValue(verdict.car->listEntry) : QJsonValue()},
        {QStringLiteral("status"), verdict.statusText()},
        {QStringLiteral("kind"), kind.isEmpty() ? QJsonValue() : QJsonValue(kind)},
        {QStringLiteral("lines"), verdict.lines},
        {QStringLiteral("tweaks"), tweaks},
        {QStringLiteral("missing"), missing},
        {QStringLiteral("differences"), differences},
    };
    if (verdict.status != Verdict::Status::Error) {
        object.insert(QStringLiteral("version"), verdict.version);
        object.insert(QStringLiteral("version_sha256"), QString::fromLatin1(verdict.versionSha256));
    }
    // Two names that differ only in bytes that are not UTF-8 read the same as
    // text: scripts tell them apart by these.
    if (!ShownText::isUtf8(verdict.path))
        object.insert(QStringLiteral("path_base64"), QString::fromLatin1(verdict.path.toBase64()));
    if (!ShownText::isUtf8(verdict.player))
        object.insert(QStringLiteral("player_base64"), QString::fromLatin1(verdict.player.toBase64()));
    if (verdict.status == Verdict::Status::Error)
        object.insert(QStringLiteral("error"), verdict.error);
    return object;
}

QByteArray jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
