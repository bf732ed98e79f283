#include "PeerAddress.h"

namespace PeerAddress {

QString nameOf(const QHostAddress& peer)
{
    bool mapped = false;
    const quint32 ipv4 = peer.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(ipv4).toString();
    QHostAddress plain = peer;
    plain.setScopeId(QString());
    return plain.toString();
}

QString limitedAs(const QHostAddress& peer)
{
    bool mapped = false;
    peer.toIPv4Address(&mapped);
    if (mapped || peer.protocol() != QAbstractSocket::IPv6Protocol)
        return nameOf(peer);
    Q_IPV6ADDR bytes = peer.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

} // namespace PeerAddress
