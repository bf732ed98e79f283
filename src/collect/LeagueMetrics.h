#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <functional>
#include <map>

// The collector's figures for Prometheus, counted from its events: transfers
// by how they ended, bytes received, verdicts by status, refusals by code,
// how long checks took, and notifications by result; and the connections
// open, asked for when shown.
// Its version, and whether the last load of the roster and the rules (the
// start, or a reload) succeeded and when, so that an alert can fire on a
// failed SIGHUP.
class LeagueMetrics
{
public:
    LeagueMetrics(std::function<int()> connectionsOpen, QString version);

    void count(const QJsonObject& event);
    // The text exposition format, version 0.0.4.
    QByteArray exposition() const;

    static constexpr std::array<double, 10> CheckBuckets{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 1, 5};

private:
    std::function<int()> m_connectionsOpen;
    QString m_version;
    bool m_reloadSucceeded = true;
    qint64 m_reloadedAtMs = 0;
    std::map<QString, qint64> m_transfers;
    std::map<QString, qint64> m_verdicts;
    std::map<QString, qint64> m_refusals;
    std::map<QString, qint64> m_notifications;
    qint64 m_bytes = 0;
    qint64 m_recordsHeldBack = 0;
    std::array<qint64, CheckBuckets.size()> m_checkBuckets{};
    qint64 m_checks = 0;
    double m_checkSeconds = 0;
};
