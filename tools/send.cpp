// kestrix-send: sends one file to a listening Kestrix receiver.
//
//   kestrix-send HOST PORT FILE [--name NAME] [--player NAME [--token-file FILE]]
//
// The header "FILEINFO|<size>|<name>|" goes first and alone: a pause lets the
// receiver read it on its own before the file's bytes follow. Then the
// sender closes its side and waits for the receiver to close in turn, which
// it does only once it has read everything. Exit status 0 means every byte
// was sent and taken; 1 a failure; 2 a wrong command line. A league's
// player first proves its token to the collector (docs/player-preamble.md),
// which answers with the verdict once the file is kept and checked, or with
// a refusal; a collector may refuse a plain sender too, by a line before it
// closes.

#include "Cp1252.h"
#include "FileInfoHeader.h"
#include "PlayerPreamble.h"
#include "SendPlayer.h"
#include "Usage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
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
    "usage: kestrix-send HOST PORT FILE [--name NAME] [--player NAME [--token-file FILE]]\n"
    "\n"
    "Sends FILE to a Kestrix receiver listening on HOST and PORT, announced as\n"
    "NAME (default: the file's own name). To be scanned as a remote copy, a\n"
    "descriptor must arrive under its car's name, such as BrackwellDescriptor.txt.\n"
    "\n"
    "--player NAME sends to a league's kestrix-collect as that player, proving the\n"
    "player's token without sending it. The token comes from --token-file FILE\n"
    "(less one trailing newline) or else the environment variable KESTRIX_TOKEN,\n"
    "never from the command line, which every user's ps shows. The collector\n"
    "answers with its verdict, printed as \"sent and checked: tweaked\", or with a\n"
    "refusal, printed as \"refused: bad-proof (the token is wrong)\".\n"
    "\n"
    "Exit status: 0 when every byte was sent and taken (for a player: kept and\n"
    "checked, whatever the verdict), 1 on a failure or a refusal, 2 on a wrong\n"
    "command line.\n");

// The value after option, taken out of args; a null string when absent.
std::optional<QString> takeOption(QStringList& args, const QString& option, int* status)
{
    const qsizetype at = args.indexOf(option);
    if (at < 0)
        return QString();
    if (at + 1 >= args.size()) {
        std::fprintf(stderr, "kestrix-send: %s needs a value\n", qPrintable(option));
        *status = 2;
        return std::nullopt;
    }
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (Usage::asked(args))
        return Usage::show(UsageText, true);
    for (const QString& arg : args) {
        if (arg == u"--token" || arg.startsWith(QStringLiteral("--token="))) {
            std::fprintf(stderr, "kestrix-send: a token is never taken from the command line, where every user's ps "
                                 "shows it: use --token-file FILE or the environment variable KESTRIX_TOKEN\n");
            return 2;
        }
    }
    int status = 0;
    const std::optional<QString> announcedAs = takeOption(args, QStringLiteral("--name"), &status);
    const std::optional<QString> player = takeOption(args, QStringLiteral("--player"), &status);
    const std::optional<QString> tokenFile = takeOption(args, QStringLiteral("--token-file"), &status);
    if (!announcedAs || !player || !tokenFile)
        return status;
    QString name = *announcedAs;
    QByteArray token;
    if (!player->isNull()) {
        if (!PlayerPreamble::isValidName(player->toUtf8())) {
            std::fprintf(stderr, "kestrix-send: \"%s\" is no player's name: 1 to 64 letters, digits, \"-\", \"_\" or "
                                 "\".\" (ASCII), beginning with a letter or a digit\n", qPrintable(*player));
            return 2;
        }
        QString why;
        const std::optional<QByteArray> given = SendPlayer::token(*tokenFile, &why);
        if (!given) {
            std::fprintf(stderr, "kestrix-send: %s\n", qPrintable(why));
            return 2;
        }
        token = *given;
    } else if (!tokenFile->isNull()) {
        std::fprintf(stderr, "kestrix-send: --token-file is for a player: add --player NAME\n");
        return 2;
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

    const bool isPlayer = !player->isNull();
    const QByteArray header = fileInfoHeader(size, nameBytes);
    QByteArray opening = header;
    if (isPlayer) {
        const QByteArray playerName = player->toUtf8();
        const QByteArray playerLine = PlayerPreamble::playerLine(playerName);
        if (!sendAll(fd, playerLine.constData(), playerLine.size(), &error))
            return fail(QStringLiteral("sending the player's name failed: %1").arg(error));
        const SendPlayer::Answer challenge = SendPlayer::readAnswer(fd, ConfirmTimeoutMs);
        const QByteArray challengeHex = challenge.line.split('|').value(1);
        if (challenge.kind != SendPlayer::Answer::Kind::Line || !SendPlayer::isChallenge(challenge.line)) {
            const QString why = SendPlayer::unexpected(challenge, QStringLiteral("%1 port %2").arg(host, port),
                                                       QStringLiteral("answer to the player"), ConfirmTimeoutMs);
            // A receiver window reads the preamble as data before a header, and closes.
            return fail(challenge.kind != SendPlayer::Answer::Kind::Closed
                            ? why
                            : why + QStringLiteral(": --player is for a league's kestrix-collect, and a receiver "
                                                   "window takes no players"));
        }
        opening = PlayerPreamble::proofLine(PlayerPreamble::proofHex(PlayerPreamble::tokenSha256Hex(token), challengeHex,
                                                                     playerName, header))
            + header;
    }
    if (!sendAll(fd, opening.constData(), opening.size(), &error))
        return fail(QStringLiteral("sending the header failed: %1").arg(error));
    QThread::msleep(HeaderPauseMs);
    if (receiverClosed(fd)) {
        if (const QString refused = SendPlayer::refusalOf(SendPlayer::readAnswer(fd, 1000)); !refused.isEmpty())
            return fail(refused);
        return fail(isPlayer ? QStringLiteral("the collector closed the connection after the header without an answer")
                             : QStringLiteral("the receiver closed the connection after the header: it refused the "
                                              "file (its window says why)"));
    }

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
        if (!sendAll(fd, block.constData(), block.size(), &error)) {
            if (const QString refused = SendPlayer::refusalOf(SendPlayer::readAnswer(fd, 1000)); !refused.isEmpty())
                return fail(refused);
            return fail(QStringLiteral("the connection failed after %1 of %2 bytes: %3").arg(sent).arg(size).arg(error));
        }
        sent += block.size();
        if (sinceProgress.elapsed() >= 250) {
            showProgress(sent, size);
            sinceProgress.restart();
        }
    }
    showProgress(sent, size);
    // A collector answers a player once the file is kept and checked. Our
    // side stays open meanwhile: the collector takes a close for the end of
    // the connection, and would have no one left to answer.
    if (isPlayer) {
        const SendPlayer::Answer answer = SendPlayer::readAnswer(fd, ConfirmTimeoutMs);
        if (answer.kind != SendPlayer::Answer::Kind::Line || !answer.line.startsWith(PlayerPreamble::StoredMarker))
            return fail(SendPlayer::unexpected(answer, QStringLiteral("the collector"),
                                               QStringLiteral("answer about the file"), ConfirmTimeoutMs));
        ::close(fd);
        std::fprintf(stderr, "\n");
        std::printf("sent and checked: %s\n", qPrintable(SendPlayer::fieldShown(answer.line, 1)));
        return 0;
    }
    // The receiver closes only after reading our close, so its close confirms
    // it took every byte; a reset means bytes were left unread.
    ::shutdown(fd, SHUT_WR);
    pollfd watch{fd, POLLIN, 0};
    if (::poll(&watch, 1, ConfirmTimeoutMs) <= 0)
        return fail(QStringLiteral("the receiver did not close the connection within %1 s").arg(ConfirmTimeoutMs / 1000));
    char extra = 0;
    const ssize_t tail = ::recv(fd, &extra, 1, MSG_PEEK);
    if (tail > 0) {
        if (const QString refused = SendPlayer::refusalOf(SendPlayer::readAnswer(fd, 1000)); !refused.isEmpty())
            return fail(refused);
        return fail(QStringLiteral("the receiver sent data, which it never should"));
    }
    if (tail < 0)
        return fail(QStringLiteral("the receiver dropped the connection: %1").arg(systemError(errno)));
    ::close(fd);
    std::fprintf(stderr, "\nkestrix-send: sent %s (%lld bytes) to %s port %s\n", qPrintable(name),
                 static_cast<long long>(size), qPrintable(host), qPrintable(port));
    return 0;
}
