#pragma once

#include "HostResolver.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>

// Stands in for the system's resolver with fixed answers, given after
// answerDelayMs on the event loop, as a real lookup answers.
class StaticHostResolver final : public HostResolver
{
public:
    bool localHostName(QString* name, int* errorCode) override
    {
        if (nameErrorCode) {
            *errorCode = *nameErrorCode;
            return false;
        }
        *name = hostName;
        return true;
    }

    void lookUpIpv4(const QString& name, QObject* context, Answer answer) override
    {
        lookedUp << name;
        QTimer::singleShot(answerDelayMs, context, [answer, found = addresses] { answer(found); });
    }

    QList<QByteArray> interfaceAddresses() override { return interfaces; }

    static QByteArray address(quint8 a, quint8 b, quint8 c, quint8 d)
    {
        return QByteArray{reinterpret_cast<const char*>(std::array<quint8, 4>{a, b, c, d}.data()), 4};
    }

    QString hostName = QStringLiteral("racer");
    std::optional<int> nameErrorCode;
    std::optional<QList<QByteArray>> addresses = QList<QByteArray>{address(10, 0, 0, 7)};
    QList<QByteArray> interfaces;
    QStringList lookedUp;
    int answerDelayMs = 0;
};
