#include "LastLine.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

void sayLastLine(QTcpSocket* socket, const QByteArray& line, std::chrono::milliseconds linger)
{
    socket->setParent(nullptr);
    socket->disconnect();
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->write(line);
    socket->flush();
    ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(linger, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->readAll();
}
