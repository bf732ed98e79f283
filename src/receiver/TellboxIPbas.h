#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class HostResolver;
class QObject;
class Launcher;
class MessageBoxes;

// This machine's own IPv4 address and the shell's web link.
namespace TellboxIPbas {

// The last address of the host's list when External is true, the one before
// the last otherwise; empty when there is none. Where the resolver knows only
// loopback addresses (usual on Linux), the interfaces' addresses stand in for
// them, so a sender elsewhere can reach the one shown. A failed lookup is
// shown as a message and gives an empty text. The name lookup is not waited
// for: done receives the address once it is known, unless context is gone.
void GetHostAddress(bool External, HostResolver& resolver, MessageBoxes& messages, QObject* context,
                    std::function<void(const QString& address)> done);

// Address bytes as dotted decimal: 10, 0, 0, 7 → "10.0.0.7".
QString addressText(const QByteArray& address);

bool OpenWebPage(const QString& address, Launcher& launcher);

} // namespace TellboxIPbas
