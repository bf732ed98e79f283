#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QObject;

// This machine's name and IPv4 addresses, as the sockets library reports
// them. An address is its bytes in network order.
class HostResolver
{
public:
    // The host's IPv4 addresses in the resolver's order; nothing when the
    // lookup has no entry for the name.
    using Answer = std::function<void(const std::optional<QList<QByteArray>>& addresses)>;

    virtual ~HostResolver() = default;

    // False with the library's error code when the name cannot be had.
    virtual bool localHostName(QString* name, int* errorCode) = 0;
    // Looks the name up without waiting for the answer, which comes later on
    // the event loop, and never once context is gone.
    virtual void lookUpIpv4(const QString& hostName, QObject* context, Answer answer) = 0;
    // The IPv4 addresses of the machine's interfaces that are up, loopback
    // excluded, in interface order.
    virtual QList<QByteArray> interfaceAddresses() = 0;
};
