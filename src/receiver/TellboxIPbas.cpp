#include "TellboxIPbas.h"

#include "HostResolver.h"
#include "Launcher.h"
#include "MessageBoxes.h"

#include <algorithm>

namespace TellboxIPbas {

namespace {

bool isLoopback(const QByteArray& address)
{
    return !address.isEmpty() && quint8(address.at(0)) == 127;
}

} // namespace

QString addressText(const QByteArray& address)
{
    QStringList parts;
    for (const char byte : address)
        parts << QString::number(quint8(byte));
    return parts.join(u'.');
}

void GetHostAddress(bool External, HostResolver& resolver, MessageBoxes& messages, QObject* context,
                    std::function<void(const QString& address)> done)
{
    QString name;
    int errorCode = 0;
    if (!resolver.localHostName(&name, &errorCode)) {
        // The number keeps a sign position: a blank before a code that is not negative.
        const QString code = errorCode < 0 ? QString::number(errorCode) : u' ' + QString::number(errorCode);
        messages.show(QStringLiteral("Windows Socket Error ") + code);
        done(QString());
        return;
    }
    while (name.startsWith(u' '))
        name.remove(0, 1);
    while (name.endsWith(u' '))
        name.chop(1);

    resolver.lookUpIpv4(name, context, [External, &resolver, &messages, done = std::move(done)](
                                           const std::optional<QList<QByteArray>>& found) {
        if (!found || found->isEmpty()) {
            messages.show(QStringLiteral("Winsock.dll error."));
            done(QString());
            return;
        }
        QList<QByteArray> addresses = *found;
        if (std::all_of(addresses.cbegin(), addresses.cend(), isLoopback)) {
            const QList<QByteArray> reachable = resolver.interfaceAddresses();
            if (!reachable.isEmpty())
                addresses = reachable;
        }

        QString previous;
        QString current;
        for (const QByteArray& address : addresses) {
            previous = current;
            current = addressText(address);
        }
        done(External ? current : previous);
    });
}

bool OpenWebPage(const QString& address, Launcher& launcher)
{
    return launcher.open(address);
}

} // namespace TellboxIPbas
