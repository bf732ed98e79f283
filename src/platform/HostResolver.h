#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// This machine's name and IPv4 addresses, as the sockets library reports
// them. An address is its bytes in network order.
class HostResolver
{
public:
    virtual ~HostResolver() = default;

    // False with the library's error code when the name cannot be had.
    virtual bool localHostName(QString* name, int* errorCode) = 0;
    // The host's IPv4 addresses in the resolver's order; nothing when the
    // lookup has no entry for the name.
    virtual std::optional<QList<QByteArray>> ipv4Addresses(const QString& hostName) = 0;
    // The IPv4 addresses of the machine's interfaces that are up, loopback
    // excluded, in interface order.
    virtual QList<QByteArray> interfaceAddresses() = 0;
};
