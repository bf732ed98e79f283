#include "LeagueMetrics.h"

#include "Refusal.h"

#include <QDateTime>

namespace {

// A label's value, escaped as the format asks.
QByteArray labelValue(const QString& value)
{
    QByteArray out;
    for (const char c : value.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? QByteArray("\\n") : QByteArray(1, c);
    }
    return out;
}

QByteArray head(const char* name, const char* help, const char* type)
{
    return QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

QByteArray family(const char* name, const char* help, const char* label, const std::map<QString, qint64>& values)
{
    QByteArray out = head(name, help, "counter");
    for (const auto& [value, count] : values)
        out += QByteArray(name) + '{' + label + "=\"" + labelValue(value) + "\"} " + QByteArray::number(count) + '\n';
    return out;
}

} // namespace

LeagueMetrics::LeagueMetrics(std::function<int()> connectionsOpen, QString version)
    : m_connectionsOpen(std::move(connectionsOpen))
    , m_version(std::move(version))
    , m_reloadedAtMs(QDateTime::currentMSecsSinceEpoch())
{
    // Every series there can be is there from the start, at 0, so that a
    // rate over it has a beginning.
    for (const char* result : {"stored", "refused", "ended-early", "failed"})
        m_transfers[QLatin1String(result)] = 0;
    for (const char* status : {"genuine", "formatting", "allowed", "damaged", "tweaked", "error", "unchecked"})
        m_verdicts[QLatin1String(status)] = 0;
    for (const RefusalCode code : allRefusalCodes())
        m_refusals[QString::fromLatin1(refusalCodeName(code))] = 0;
    for (const char* result : {"sent", "retried", "limited", "failed", "dropped"})
        m_notifications[QLatin1String(result)] = 0;
}

void LeagueMetrics::count(const QJsonObject& event)
{
    const QString kind = event.value(QLatin1String("event")).toString();
    const qint64 received = event.value(QLatin1String("received")).toInteger();
    if (kind == QLatin1String("stored")) {
        ++m_transfers[QStringLiteral("stored")];
        m_bytes += event.value(QLatin1String("size")).toInteger();
    } else if (kind == QLatin1String("refused")) {
        ++m_transfers[QStringLiteral("refused")];
        ++m_refusals[event.value(QLatin1String("code")).toString()];
        m_bytes += received;
        m_recordsHeldBack += event.contains(QLatin1String("record_held_back")) ? 1 : 0;
    } else if (kind == QLatin1String("ended early")) {
        ++m_transfers[QStringLiteral("ended-early")];
        m_bytes += received;
    } else if (kind == QLatin1String("failed")
               && (event.contains(QLatin1String("name")) || event.contains(QLatin1String("code")))) {
        // A file that could not be kept, its sender told so; other failures end no transfer.
        ++m_transfers[QStringLiteral("failed")];
        if (event.contains(QLatin1String("code")))
            ++m_refusals[event.value(QLatin1String("code")).toString()];
    } else if (kind == QLatin1String("reloaded") || kind == QLatin1String("reload failed")) {
        m_reloadSucceeded = kind == QLatin1String("reloaded");
        m_reloadedAtMs = QDateTime::currentMSecsSinceEpoch();
    } else if (kind == QLatin1String("notification")) {
        m_notifications[event.value(QLatin1String("result")).toString()] += event.value(QLatin1String("count")).toInteger(1);
    } else if (kind == QLatin1String("verdict")) {
        ++m_verdicts[event.value(QLatin1String("status")).toString()];
        const double seconds = event.value(QLatin1String("check_ms")).toDouble() / 1000;
        for (std::size_t i = 0; i < CheckBuckets.size(); ++i)
            m_checkBuckets[i] += seconds <= CheckBuckets[i] ? 1 : 0;
        ++m_checks;
        m_checkSeconds += seconds;
    }
}

QByteArray LeagueMetrics::exposition() const
{
    QByteArray out = head("kestrix_build_info", "The collector's version.", "gauge");
    out += "kestrix_build_info{version=\"" + labelValue(m_version) + "\"} 1\n";
    out += head("kestrix_reload_success", "1 when the last load of the roster and the rules succeeded, else 0.", "gauge");
    out += "kestrix_reload_success " + QByteArray(m_reloadSucceeded ? "1" : "0") + '\n';
    out += head("kestrix_reload_timestamp_seconds", "When the roster and the rules were last loaded, or failed to.", "gauge");
    out += "kestrix_reload_timestamp_seconds " + QByteArray::number(double(m_reloadedAtMs) / 1000, 'f', 3) + '\n';
    out += family("kestrix_transfers_total", "Transfers that ended, by how.", "result", m_transfers);
    out += head("kestrix_received_bytes_total", "Bytes of descriptors received, whole or not.", "counter");
    out += "kestrix_received_bytes_total " + QByteArray::number(m_bytes) + '\n';
    out += head("kestrix_connections_open", "Connections served or waiting their turn.", "gauge");
    out += "kestrix_connections_open " + QByteArray::number(m_connectionsOpen()) + '\n';
    out += family("kestrix_verdicts_total", "Verdicts on the descriptors kept, by status.", "status", m_verdicts);
    out += family("kestrix_refusals_total", "Transfers refused, by code.", "code", m_refusals);
    out += head("kestrix_refusal_records_held_back_total",
                "Refusals of claimed, unproven players not recorded: one a minute per address and name is.", "counter");
    out += "kestrix_refusal_records_held_back_total " + QByteArray::number(m_recordsHeldBack) + '\n';
    out += family("kestrix_notifications_total", "Notifications, by what became of a try or a message.", "result",
                  m_notifications);
    out += head("kestrix_check_duration_seconds", "Time to keep and check a descriptor.", "histogram");
    for (std::size_t i = 0; i < CheckBuckets.size(); ++i)
        out += "kestrix_check_duration_seconds_bucket{le=\"" + QByteArray::number(CheckBuckets[i]) + "\"} "
            + QByteArray::number(m_checkBuckets[i]) + '\n';
    out += "kestrix_check_duration_seconds_bucket{le=\"+Inf\"} " + QByteArray::number(m_checks) + '\n';
    out += "kestrix_check_duration_seconds_sum " + QByteArray::number(m_checkSeconds, 'g', 12) + '\n';
    out += "kestrix_check_duration_seconds_count " + QByteArray::number(m_checks) + '\n';
    return out;
}
