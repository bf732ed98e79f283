#include "SystemHostResolver.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QtEndian>

#include <cerrno>
#include <unistd.h>

namespace {

QByteArray bytesOf(const QHostAddress& address)
{
    const quint32 network = qToBigEndian(address.toIPv4Address());
    return QByteArray(reinterpret_cast<const char*>(&network), sizeof network);
}

} // namespace

bool SystemHostResolver::localHostName(QString* name, int* errorCode)
{
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) {
        *errorCode = errno;
        return false;
    }
    *name = QString::fromLocal8Bit(buffer);
    return true;
}

void SystemHostResolver::lookUpIpv4(const QString& hostName, QObject* context, Answer answer)
{
    QHostInfo::lookupHost(hostName, context, [answer = std::move(answer)](const QHostInfo& info) {
        QList<QByteArray> result;
        for (const QHostAddress& address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                result << bytesOf(address);
        }
        answer(result.isEmpty() ? std::nullopt : std::optional(result));
    });
}

QList<QByteArray> SystemHostResolver::interfaceAddresses()
{
    QList<QByteArray> result;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                result << bytesOf(address);
        }
    }
    return result;
}
