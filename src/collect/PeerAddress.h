#pragma once

#include <QHostAddress>
#include <QString>

// How the collector names a peer's address, and what it counts as one
// address when it limits the connections of each: an IPv4 address, or an
// IPv6 /64, which one host is commonly given whole.
namespace PeerAddress {

// "192.0.2.7", "2001:db8::1": an IPv4-mapped address as IPv4, without a scope.
QString nameOf(const QHostAddress& peer);
// "192.0.2.7", "2001:db8:0:1::/64".
QString limitedAs(const QHostAddress& peer);

} // namespace PeerAddress
