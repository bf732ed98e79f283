// kestrix-send: sends one file to a listening Kestrix receiver.
//
//   kestrix-send HOST PORT FILE [--name NAME]
//
// The header "FILEINFO|<size>|<name>|" goes first and alone: a pause lets the
// receiver read it on its own before the file's bytes follow. Then the
// sender closes its side and waits for the receiver to close in turn, which
// it does only once it has read everything. Exit status 0 means every byte
// was sent and taken; 1 a failure; 2 a wrong command line.

#include "Cp1252.h"
#include "FileInfoHeader.h"
#include "Usage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qint64 BlockSize = 1 << 20;
constexpr int HeaderPauseMs = 100;
constexpr int ConfirmTimeoutMs = 60'000;

int fail(const QString& message)
{
    std::fprintf(stderr, "\nkestrix-send: %s\n", qPrintable(message));
    return 1;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// A connected TCP socket, or -1 with the reason.
int connectTo(const QString& host, const QString& port, QString* error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(qPrintable(host), qPrintable(port), &hints, &found);
    if (lookup != 0) {
        *error = QString::fromLocal8Bit(::gai_strerror(lookup));
        return -1;
    }
    int fd = -1;
    for (addrinfo* address = found; address && fd < 0; address = address->ai_next) {
        fd = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (fd < 0) {
            *error = QStringLiteral("no socket could be made: %1").arg(systemError(errno));
            continue;
        }
        if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
            *error = systemError(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

bool sendAll(int fd, const char* data, qint64 size, QString* error)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            *error = systemError(errno);
            return false;
        }
        data += sent;
        size -= sent;
    }
    return true;
}

// The receiver never sends a byte, so anything readable is its close.
bool receiverClosed(int fd)
{
    pollfd watch{fd, POLLIN | POLLRDHUP, 0};
    return ::poll(&watch, 1, 0) > 0;
}

void showProgress(qint64 sent, qint64 size)
{
    std::fprintf(stderr, "\rkestrix-send: %lld of %lld bytes sent (%lld %%)", static_cast<long long>(sent),
                 static_cast<long long>(size), static_cast<long long>(size ? sent * 100 / size : 100));
}

const QString UsageText = QStringLiteral(
    "usage: kestrix-send HOST PORT FILE [--name NAME]\n"
    "\n"
    "Sends FILE to a Kestrix receiver listening on HOST and PORT, announced as\n"
    "NAME (default: the file's own name). To be scanned as a remote copy, a\n"
    "descriptor must arrive under its car's name, such as BrackwellDescriptor.txt.\n"
    "Exit status: 0 when every byte was sent and taken, 1 on a failure, 2 on a\n"
    "wrong command line.\n");

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (Usage::asked(args))
        return Usage::show(UsageText, true);
    QString name;
    if (const qsizetype at = args.indexOf(QStringLiteral("--name")); at >= 0) {
        if (at + 1 >= args.size()) {
            std::fprintf(stderr, "kestrix-send: --name needs a name\n");
            return 2;
        }
        name = args.at(at + 1);
        args.remove(at, 2);
    }
    if (args.size() != 3)
        return Usage::show(UsageText, false);
    const QString host = args.at(0);
    const QString port = args.at(1);
    const QString path = args.at(2);
    if (name.isNull())
        name = QFileInfo(path).fileName();

    bool encodable = false;
    const QByteArray nameBytes = toCp1252(name, &encodable);
    if (!encodable || nameBytes.isEmpty() || nameBytes.contains('|'))
        return fail(QStringLiteral("the name \"%1\" cannot be announced: it must be non-empty 8-bit text without \"|\"")
                        .arg(name));

    QFile file(path);
    if (QFileInfo(path).isDir())
        return fail(QStringLiteral("%1: cannot read it: it is a folder").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("%1: cannot read it: %2").arg(path, file.errorString()));
    const qint64 size = file.size();
    if (size == 0)
        return fail(QStringLiteral("%1: the file is empty; the protocol cannot announce 0 bytes").arg(path));
    QByteArray block = file.peek(8);
    if (isFileInfoHeader(block))
        return fail(QStringLiteral("%1: the file begins with \"FILEINFO\", which the receiver would take for a header")
                        .arg(path));

    QString error;
    const int fd = connectTo(host, port, &error);
    if (fd < 0)
        return fail(QStringLiteral("cannot connect to %1 port %2: %3").arg(host, port, error));

    const QByteArray header = fileInfoHeader(size, nameBytes);
    if (!sendAll(fd, header.constData(), header.size(), &error))
        return fail(QStringLiteral("sending the header failed: %1").arg(error));
    QThread::msleep(HeaderPauseMs);
    if (receiverClosed(fd))
        return fail(QStringLiteral("the receiver closed the connection after the header: it refused the file "
                                   "(its window says why)"));

    qint64 sent = 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    showProgress(0, size);
    while (sent < size) {
        block = file.read(std::min(BlockSize, size - sent));
        if (block.isEmpty())
            return fail(QStringLiteral("%1: reading stopped after %2 of %3 bytes: %4")
                            .arg(path, QString::number(sent), QString::number(size),
                                 file.error() != QFileDevice::NoError ? file.errorString()
                                                                      : QStringLiteral("the file became shorter")));
        if (!sendAll(fd, block.constData(), block.size(), &error))
            return fail(QStringLiteral("the connection failed after %1 of %2 bytes: %3").arg(sent).arg(size).arg(error));
        sent += block.size();
        if (sinceProgress.elapsed() >= 250) {
            showProgress(sent, size);
            sinceProgress.restart();
        }
    }
    showProgress(sent, size);
    if (receiverClosed(fd))
        return fail(QStringLiteral("the receiver closed the connection before the file was complete"));

    // The receiver closes only after reading our close, so its close confirms
    // it took every byte; a reset means bytes were left unread.
    ::shutdown(fd, SHUT_WR);
    pollfd watch{fd, POLLIN, 0};
    if (::poll(&watch, 1, ConfirmTimeoutMs) <= 0)
        return fail(QStringLiteral("the receiver did not close the connection within %1 s").arg(ConfirmTimeoutMs / 1000));
    char extra = 0;
    const ssize_t tail = ::recv(fd, &extra, 1, 0);
    if (tail != 0)
        return fail(tail < 0 ? QStringLiteral("the receiver dropped the connection: %1").arg(systemError(errno))
                             : QStringLiteral("the receiver sent data, which it never should"));
    ::close(fd);
    std::fprintf(stderr, "\nkestrix-send: sent %s (%lld bytes) to %s port %s\n", qPrintable(name),
                 static_cast<long long>(size), qPrintable(host), qPrintable(port));
    return 0;
}
