#pragma once

#include <QByteArray>

#include <chrono>

class QTcpSocket;

// Says a connection's last line and closes it without losing the line: the
// collector's side ends at once, and whatever the peer still sends is read
// and dropped for a moment, since closing on unread bytes would reset the
// connection and could discard the line before the peer reads it. Takes the
// socket over.
void sayLastLine(QTcpSocket* socket, const QByteArray& line, std::chrono::milliseconds linger);
