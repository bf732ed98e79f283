#include "VerdictJson.h"

#include "Cp1252.h"

#include <QJsonArray>
#include <QJsonDocument>

QJsonObject verdictJson(const Verdict& verdict)
{
    QJsonArray tweaks;
    for (const Tweak& tweak : verdict.tweaks) {
        tweaks.append(QJsonObject{
            {QStringLiteral("line"), tweak.line},
            {QStringLiteral("text"), fromCp1252(tweak.text)},
            {QStringLiteral("genuine"), tweak.genuine ? QJsonValue(fromCp1252(*tweak.genuine)) : QJsonValue()},
        });
    }
    QJsonArray missing;
    for (const MissingLine& line : verdict.missing)
        missing.append(QJsonObject{{QStringLiteral("line"), line.line}, {QStringLiteral("text"), fromCp1252(line.text)}});
    QJsonObject object{
        {QStringLiteral("path"), verdict.path},
        {QStringLiteral("car"), verdict.car ? QJsonValue(verdict.car->listEntry) : QJsonValue()},
        {QStringLiteral("status"), verdict.statusText()},
        {QStringLiteral("lines"), verdict.lines},
        {QStringLiteral("tweaks"), tweaks},
        {QStringLiteral("missing"), missing},
    };
    if (verdict.status == Verdict::Status::Error)
        object.insert(QStringLiteral("error"), verdict.error);
    return object;
}

QByteArray jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
