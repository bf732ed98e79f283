#pragma once

#include "HostResolver.h"

// Stands in for the system's resolver with fixed answers.
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

    std::optional<QList<QByteArray>> ipv4Addresses(const QString& name) override
    {
        lookedUp << name;
        return addresses;
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
};
