#pragma once

#include "HostResolver.h"

// The operating system's host name, name lookup and interface list. The
// lookup blocks until the resolver answers.
class SystemHostResolver final : public HostResolver
{
public:
    bool localHostName(QString* name, int* errorCode) override;
    std::optional<QList<QByteArray>> ipv4Addresses(const QString& hostName) override;
    QList<QByteArray> interfaceAddresses() override;
};
