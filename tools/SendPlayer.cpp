#include "SendPlayer.h"

#include "FileInfoHeader.h"
#include "PlayerPreamble.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace SendPlayer {

namespace {

// Tokens are short; a longer file is the wrong file.
constexpr qint64 LongestToken = 4096;

} // namespace

Answer readAnswer(int fd, int timeoutMs)
{
    Answer answer;
    QElapsedTimer clock;
    clock.start();
    // A byte at a time: the answer is short, and what follows it is not ours to take.
    while (answer.line.size() < LongestAnswer) {
        pollfd watch{fd, POLLIN, 0};
        const int left = int(std::max<qint64>(0, timeoutMs - clock.elapsed()));
        const int ready = ::poll(&watch, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return {Answer::Kind::TimedOut, answer.line, QString()};
        char byte = 0;
        const ssize_t got = ready < 0 ? -1 : ::recv(fd, &byte, 1, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {Answer::Kind::Failed, answer.line, QString::fromLocal8Bit(std::strerror(errno))};
        if (got == 0)
            return {Answer::Kind::Closed, answer.line, QString()};
        if (byte == '\n') {
            answer.kind = Answer::Kind::Line;
            return answer;
        }
        answer.line.append(byte);
    }
    answer.kind = Answer::Kind::TooLong;
    return answer;
}

QString fieldShown(const QByteArray& line, int n)
{
    QString text = QString::fromUtf8(line.split('|').value(n));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = u'?';
    }
    return text;
}

QString refusalOf(const Answer& answer)
{
    if (answer.kind != Answer::Kind::Line || !answer.line.startsWith(PlayerPreamble::RefusedMarker))
        return QString();
    const QString words = fieldShown(answer.line, 2);
    return words.isEmpty() ? QStringLiteral("refused: %1").arg(fieldShown(answer.line, 1))
                           : QStringLiteral("refused: %1 (%2)").arg(fieldShown(answer.line, 1), words);
}

bool isChallenge(const QByteArray& line)
{
    const QList<QByteArray> fields = line.split('|');
    return line.startsWith(PlayerPreamble::ChallengeMarker) && fields.size() == 3 && fields.at(2).isEmpty()
        && fields.at(1).size() == 2 * PlayerPreamble::ChallengeBytes
        && std::all_of(fields.at(1).begin(), fields.at(1).end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

QString unexpected(const Answer& answer, const QString& peer, const QString& awaited, int timeoutMs)
{
    if (const QString refused = refusalOf(answer); !refused.isEmpty())
        return refused;
    switch (answer.kind) {
    case Answer::Kind::Closed:
        return QStringLiteral("%1 closed the connection without an %2").arg(peer, awaited);
    case Answer::Kind::TimedOut:
        return QStringLiteral("%1 sent no %2 within %3 s").arg(peer, awaited, QString::number(timeoutMs / 1000));
    case Answer::Kind::TooLong:
        return QStringLiteral("%1 sent a line longer than %2 bytes in place of an %3")
            .arg(peer, QString::number(LongestAnswer), awaited);
    case Answer::Kind::Failed:
        return QStringLiteral("the connection failed while waiting for an %1: %2").arg(awaited, answer.error);
    case Answer::Kind::Line:
        break;
    }
    return QStringLiteral("%1 sent \"%2\" in place of an %3").arg(peer, displayText(answer.line), awaited);
}

std::optional<QByteArray> token(const QString& tokenFile, QString* error)
{
    QByteArray bytes;
    QString from;
    if (!tokenFile.isNull()) {
        from = tokenFile;
        QFile file(tokenFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: cannot read the token: %2").arg(tokenFile, file.errorString());
            return std::nullopt;
        }
        bytes = file.read(LongestToken + 2); // room for a CR LF
        if (file.error() != QFileDevice::NoError) {
            *error = QStringLiteral("%1: cannot read the token: %2").arg(tokenFile, file.errorString());
            return std::nullopt;
        }
    } else if (qEnvironmentVariableIsSet("KESTRIX_TOKEN")) {
        from = QStringLiteral("KESTRIX_TOKEN");
        bytes = qgetenv("KESTRIX_TOKEN");
    } else {
        *error = QStringLiteral("--player needs the player's token, from --token-file FILE or the environment "
                                "variable KESTRIX_TOKEN");
        return std::nullopt;
    }
    const QByteArray token = PlayerPreamble::tokenOf(bytes);
    if (token.isEmpty()) {
        *error = QStringLiteral("%1: the token is empty").arg(from);
        return std::nullopt;
    }
    if (token.size() > LongestToken) {
        *error = QStringLiteral("%1: longer than any token (%2 bytes at most)").arg(from).arg(LongestToken);
        return std::nullopt;
    }
    return token;
}

} // namespace SendPlayer
