#pragma once

#include "HostResolver.h"

// The operating system's host name, name lookup and interface list. The
// lookup runs on Qt's resolver threads; the program never waits for it.
class SystemHostResolver final : public HostResolver
{
public:
    bool localHostName(QString* name, int* errorCode) override;
    void lookUpIpv4(const QString& hostName, QObject* context, Answer answer) override;
    QList<QByteArray> interfaceAddresses() override;
};
