// Drives a collection benchmark: COUNT transfers of FILE over loopback from
// CONCURRENCY senders at once, each connecting, sending and waiting for the
// receiver's answer or close. Prints one line: transfers, seconds, transfers
// per second, the p50 and p99 time from connect to the answer (or the close,
// for a receiver that gives none), and, for kestrix-collect, its peak RSS
// after 1,000 transfers and at the end. The collector answers only once the
// file is kept, checked and its verdict written, so for it that time bounds
// connect to verdict written.
//
//   collect_driver collect COLLECTOR PROGRAM_FOLDER DIR FILE COUNT CONCURRENCY [OPTIONS]
//   collect_driver raw PORT FILE COUNT CONCURRENCY        (a plain receiver: no header)
//   collect_driver attack PORT --trickle|--silent|--wrong-proof N PLAYER league|plain
//                                                         (what collect runs beside itself)
//
// OPTIONS for collect: --roster ROSTER --tokens FILE (lines "name token": each
// sender slot is one player, proving its token), --rules FILE, --jobs N,
// --max-pending N, --notify-file FILE (the collector's webhooks), --trickle N
// (N peers from eight addresses dripping a byte a second, connecting again
// when closed), --silent N (N peers, eight from each address, that never
// send), --wrong-proof N (N peers from eight addresses claiming the first
// player with a wrong proof, then a slow header), --worst K (every K-th
// transfer is a 64 KiB descriptor of one-byte lines). The line then goes on
// with the verdicts
// written, the collector's longest event-loop stall in ms, the size of
// verdicts.jsonl in bytes, the transfers answered STORED, those refused or
// unanswered, how often the collector closed an attacking peer, and, with
// --listeners N (N readers of the league page's /events), the events they
// heard and the p50 and p99 in ms from a verdict to its event, and last the
// longest time from connect to the answer, in ms.

#include "PlayerPreamble.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QDateTime>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray peakKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first();
    }
    return "?";
}

// A player of a slot: its name and its token.
struct Player {
    QByteArray name;
    QByteArray token;
};

class Driver : public QObject
{
public:
    Driver(quint16 port, QByteArray message, int count, int concurrency)
        : m_port(port)
        , m_message(std::move(message))
        , m_count(count)
        , m_concurrency(concurrency)
    {
    }

    // Each slot sends as its own player from an address of its own.
    void setPlayers(std::vector<Player> players) { m_players = std::move(players); }
    QByteArray firstPlayer() const { return m_players.empty() ? QByteArray() : m_players.front().name; }
    // Every every-th transfer sends this instead.
    void setWorst(QByteArray message, int every)
    {
        m_worst = std::move(message);
        m_worstEvery = every;
    }

    void start()
    {
        clock.start();
        for (int i = 0; i < m_concurrency; ++i)
            next(i);
    }

    std::vector<qint64> latencies; // nanoseconds from connect to the answer or the close
    int stored = 0;                // answered STORED
    int refused = 0;               // answered otherwise, or closed without an answer
    std::function<void(int done)> onDone;

private:
    void next(int slot)
    {
        if (m_started == m_count)
            return;
        const QByteArray& message = m_worstEvery > 0 && m_started % m_worstEvery == 0 ? m_worst : m_message;
        ++m_started;
        auto* socket = new QTcpSocket(this);
        const qint64 begun = clock.nsecsElapsed();
        // When the transfer ended for its sender: its answer, or the close.
        auto ended = std::make_shared<qint64>(0);
        if (!m_players.empty()) {
            socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + slot)));
            const Player& player = m_players[std::size_t(slot) % m_players.size()];
            connect(socket, &QTcpSocket::connected, this,
                    [socket, player] { socket->write(PlayerPreamble::playerLine(player.name)); });
            // The challenge answered: the proof, the header and the file at once.
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, player, &message, begun, ended] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine();
                    if (line.startsWith(PlayerPreamble::ChallengeMarker)) {
                        const QByteArray challenge = line.split('|').value(1);
                        const qsizetype headerEnd = message.indexOf('|', message.indexOf('|', 9) + 1) + 1;
                        socket->write(PlayerPreamble::proofLine(PlayerPreamble::proofHex(
                                          PlayerPreamble::tokenSha256Hex(player.token), challenge, player.name,
                                          message.first(headerEnd)))
                                      + message);
                        continue;
                    }
                    *ended = clock.nsecsElapsed() - begun;
                    if (line.startsWith(PlayerPreamble::StoredMarker)) {
                        ++stored;
                    } else if (++refused <= 5) {
                        std::fprintf(stderr, "collect_driver: %s answered %s", player.name.constData(),
                                     line.constData());
                    }
                    // Its last line: the collector closes now, and so does the sender.
                    socket->disconnectFromHost();
                    return;
                }
            });
        } else {
            connect(socket, &QTcpSocket::connected, this, [socket, &message] { socket->write(message); });
            // Only the sending side is closed, as kestrix-send does; the receiver's
            // close then ends the transfer.
            connect(socket, &QTcpSocket::bytesWritten, this, [socket] {
                if (socket->bytesToWrite() == 0)
                    ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
            });
        }
        // Once a transfer, whether it closed or never connected.
        auto over = [this, socket, begun, slot, ended, closed = std::make_shared<bool>(false)](const char* why) {
            if (*closed)
                return;
            *closed = true;
            if (*ended == 0) {
                *ended = clock.nsecsElapsed() - begun;
                if ((why || !m_players.empty()) && ++refused <= 5)
                    std::fprintf(stderr, "collect_driver: %s\n", why ? why : "closed without an answer");
            }
            latencies.push_back(*ended);
            socket->deleteLater();
            ++m_done;
            if (onDone)
                onDone(m_done);
            next(slot);
        };
        connect(socket, &QTcpSocket::disconnected, this, [over] { over(nullptr); });
        connect(socket, &QTcpSocket::errorOccurred, this, [socket, over](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                return;
            const QByteArray why = socket->errorString().toLocal8Bit();
            // A connection that never came emits no disconnected.
            if (socket->state() == QAbstractSocket::UnconnectedState)
                over(why.constData());
            else
                std::fprintf(stderr, "collect_driver: %s\n", why.constData());
        });
        socket->connectToHost(QHostAddress::LocalHost, m_port);
    }

    quint16 m_port;
    QByteArray m_message;
    int m_count;
    int m_concurrency;
    int m_started = 0;
    int m_done = 0;
    std::vector<Player> m_players;
    QByteArray m_worst;
    int m_worstEvery = 0;

public:
    QElapsedTimer clock;
};

// Peers that hold connections in their openings, and connect again
// whenever the collector closes them. Trickling: from eight addresses, a
// byte a second; without a roster each sends a whole FILEINFO header first,
// with one they drip the header itself and never end it. Silent: eight from
// each address, never a byte, connecting again a second after they are closed. Wrong proof: from eight addresses, a player's
// name, a wrong proof, then a header of about 1 KB at 300 bytes a second.
class Attackers : public QObject
{
public:
    enum class Kind { Trickle, Silent, WrongProof };

    Attackers(quint16 port, int count, Kind kind, bool league, QByteArray player)
        : m_port(port)
        , m_kind(kind)
        , m_player(std::move(player))
    {
        if (kind == Kind::Trickle)
            m_opening = league ? "FILEINFO|100000|trickle" : "FILEINFO|100000|trickle.txt|";
        else if (kind == Kind::WrongProof)
            m_opening = PlayerPreamble::playerLine(m_player);
        for (int i = 0; i < count; ++i)
            open(i);
        connect(&m_drip, &QTimer::timeout, this, [this] {
            for (QTcpSocket* socket : findChildren<QTcpSocket*>()) {
                if (m_kind == Kind::Trickle) {
                    socket->write("t");
                } else if (const qsizetype sent = socket->property("sent").toLongLong(); sent > 0) {
                    socket->write(m_slowHeader.mid(sent, 30));
                    socket->setProperty("sent", sent + 30);
                }
            }
        });
        if (kind != Kind::Silent)
            m_drip.start(kind == Kind::Trickle ? 1000 : 100);
    }

    int closed = 0; // by the collector

private:
    void open(int peer)
    {
        auto* socket = new QTcpSocket(this);
        const int address = m_kind == Kind::Silent ? 1 + peer / 8 : 1 + peer % 8;
        socket->bind(QHostAddress(QStringLiteral("127.0.%1.%2").arg(9 + int(m_kind)).arg(address)));
        connect(socket, &QTcpSocket::connected, this, [this, socket] { socket->write(m_opening); });
        if (m_kind == Kind::WrongProof) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (socket->property("sent").toLongLong() > 0 || !socket->canReadLine())
                    return;
                socket->readLine();
                socket->write(PlayerPreamble::proofLine(QByteArray(64, 'a')) + m_slowHeader.first(1));
                socket->setProperty("sent", qsizetype(1));
            });
        }
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, peer] {
            ++closed;
            socket->deleteLater();
            // The silent hold their places rather than flood the door.
            QTimer::singleShot(m_kind == Kind::Silent ? 1000 : 100, this, [this, peer] { open(peer); });
        });
        socket->connectToHost(QHostAddress::LocalHost, m_port);
    }

    quint16 m_port;
    Kind m_kind;
    QByteArray m_player;
    QByteArray m_opening;
    const QByteArray m_slowHeader = "FILEINFO|100000|" + QByteArray(1000, 'x') + ".txt|";
    QTimer m_drip;
};

// Listeners of the league page's live events, each reading as a browser
// does: how long from each verdict (the time its record carries) to its
// event here.
class Listeners : public QObject
{
public:
    Listeners(quint16 port, int count)
    {
        for (int i = 0; i < count; ++i) {
            auto* socket = new QTcpSocket(this);
            auto* pending = new QByteArray;
            connect(socket, &QObject::destroyed, this, [pending] { delete pending; });
            connect(socket, &QTcpSocket::connected, socket,
                    [socket] { socket->write("GET /events HTTP/1.1\r\nHost: league\r\n\r\n"); });
            // The first listener times every event; the others only read,
            // as a browser elsewhere would, so that timing costs the senders
            // beside them little.
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, pending, timed = i == 0] {
                if (!timed) {
                    heard += socket->readAll().count("event: verdict\n");
                    return;
                }
                *pending += socket->readAll();
                const qint64 now = QDateTime::currentMSecsSinceEpoch();
                qsizetype end;
                while ((end = pending->indexOf('\n')) >= 0) {
                    const QByteArray line = pending->left(end);
                    pending->remove(0, end + 1);
                    if (!line.startsWith("data: "))
                        continue;
                    const QString time =
                        QJsonDocument::fromJson(line.mid(6)).object().value(QStringLiteral("time")).toString();
                    delays.push_back(now - QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch());
                    ++heard;
                }
            });
            socket->connectToHost(QHostAddress::LocalHost, port);
        }
    }

    std::vector<qint64> delays; // in ms, at the first listener
    qint64 heard = 0;           // events, at every listener
};

QString optionValue(const QStringList& args, const QString& option)
{
    const qsizetype at = args.indexOf(option);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : QString();
}

} // namespace

// Attackers on PORT until stdin closes; then prints how often the collector
// closed one.
int attack(const QStringList& args)
{
    const quint16 port = quint16(args.at(2).toUInt());
    const Attackers::Kind kind = args.at(3) == u"--trickle" ? Attackers::Kind::Trickle
        : args.at(3) == u"--silent"                          ? Attackers::Kind::Silent
                                                             : Attackers::Kind::WrongProof;
    Attackers attackers(port, args.at(4).toInt(), kind, args.at(6) == u"league", args.at(5).toLatin1());
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char byte;
        if (::read(STDIN_FILENO, &byte, 1) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    QCoreApplication::exec();
    std::printf("%d\n", attackers.closed);
    return 0;
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 7 && args.at(1) == u"attack")
        return attack(args);
    const bool collect = args.size() >= 8 && args.at(1) == u"collect";
    if (!collect && !(args.size() == 6 && args.at(1) == u"raw")) {
        std::fprintf(stderr, "usage: collect_driver collect COLLECTOR PROGRAM_FOLDER DIR FILE COUNT CONCURRENCY\n"
                             "       collect_driver raw PORT FILE COUNT CONCURRENCY\n");
        return 2;
    }
    const int first = collect ? 5 : 3;
    QFile file(args.at(first));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray content = file.readAll();
    const int count = args.at(first + 1).toInt();
    const int concurrency = args.at(first + 2).toInt();

    QProcess collector;
    quint16 port = 0;
    quint16 httpPort = 0;
    QByteArray rssAt1000 = "-";
    std::unique_ptr<Driver> driver;
    if (collect) {
        // Its events go to a file, as to a service manager's journal, so that
        // reading them takes nothing from the senders here.
        const QString events = args.at(4) + QStringLiteral(".events");
        collector.setStandardOutputFile(events);
        collector.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{QStringLiteral("--json"), QStringLiteral("--port"), QStringLiteral("0"),
                              QStringLiteral("--dir"), args.at(4), QStringLiteral("--folder"), args.at(3)};
        // Under attack the collector keeps its default slots.
        if (!args.contains(QStringLiteral("--trickle")) && !args.contains(QStringLiteral("--silent"))
            && !args.contains(QStringLiteral("--wrong-proof")))
            arguments << QStringLiteral("--max-connections") << QString::number(concurrency * 2);
        if (!optionValue(args, QStringLiteral("--listeners")).isEmpty())
            arguments << QStringLiteral("--http") << QStringLiteral("0");
        for (const QString& option : {QStringLiteral("--roster"), QStringLiteral("--rules"), QStringLiteral("--jobs"),
                                      QStringLiteral("--max-pending"), QStringLiteral("--notify-file")}) {
            if (!optionValue(args, option).isEmpty())
                arguments << option << optionValue(args, option);
        }
        collector.start(args.at(2), arguments);
        if (!collector.waitForStarted())
            return 1;
        QElapsedTimer waiting;
        waiting.start();
        while (port == 0 && collector.state() == QProcess::Running && waiting.elapsed() < 10'000) {
            QFile log(events);
            if (log.open(QIODevice::ReadOnly)) {
                const QByteArray first = log.readAll().split('\n').first();
                const QJsonObject listening = QJsonDocument::fromJson(first).object();
                port = quint16(listening.value(QStringLiteral("port")).toInt());
                httpPort = quint16(listening.value(QStringLiteral("http_port")).toInt());
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        if (port == 0)
            return 1;
    } else {
        port = quint16(args.at(2).toUInt());
    }

    const QByteArray message = collect ? "FILEINFO|" + QByteArray::number(content.size()) + '|'
            + QFileInfo(file.fileName()).fileName().toLatin1() + '|' + content
                                       : content;
    driver = std::make_unique<Driver>(port, message, count, concurrency);
    if (const QString tokens = optionValue(args, QStringLiteral("--tokens")); !tokens.isEmpty()) {
        QFile list(tokens);
        if (!list.open(QIODevice::ReadOnly))
            return 1;
        std::vector<Player> players;
        for (const QByteArray& line : list.readAll().split('\n')) {
            if (const QList<QByteArray> fields = line.split(' '); fields.size() == 2)
                players.push_back({fields[0], fields[1]});
        }
        driver->setPlayers(std::move(players));
    }
    if (const int every = optionValue(args, QStringLiteral("--worst")).toInt(); every > 0) {
        const QByteArray lines = QByteArray(64 * 1024 / 2, 'x').replace("x", "x\r");
        driver->setWorst("FILEINFO|" + QByteArray::number(lines.size()) + "|BrackwellDescriptor.txt|" + lines, every);
    }
    std::unique_ptr<Listeners> listeners;
    if (const int count = optionValue(args, QStringLiteral("--listeners")).toInt(); count > 0) {
        listeners = std::make_unique<Listeners>(httpPort, count);
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // The attackers are a process of their own, so that their traffic does
    // not delay this one's senders and their times.
    QProcess attackers;
    for (const QString& option : {QStringLiteral("--trickle"), QStringLiteral("--silent"), QStringLiteral("--wrong-proof")}) {
        if (const QString count = optionValue(args, option); !count.isEmpty()) {
            attackers.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            attackers.start(app.applicationFilePath(),
                            {QStringLiteral("attack"), QString::number(port), option, count,
                             QString::fromLatin1(driver->firstPlayer()),
                             optionValue(args, QStringLiteral("--roster")).isEmpty() ? QStringLiteral("plain")
                                                                                     : QStringLiteral("league")});
            if (!attackers.waitForStarted())
                return 1;
        }
    }
    if (attackers.state() == QProcess::Running) {
        // The attackers take their places before the senders come.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    qint64 seconds = 0;
    driver->onDone = [&](int done) {
        if (collect && done == std::min(1000, count))
            rssAt1000 = peakKilobytes(collector.processId());
        if (done == count) {
            seconds = driver->clock.nsecsElapsed();
            QCoreApplication::quit();
        }
    };
    // A receiver that stops answering ends the run rather than hanging it.
    QTimer watchdog;
    std::size_t doneBefore = 0;
    QObject::connect(&watchdog, &QTimer::timeout, &app, [&] {
        if (driver->latencies.size() == doneBefore) {
            std::fprintf(stderr, "collect_driver: no transfer ended in 60 s, after %zu\n", doneBefore);
            QCoreApplication::exit(1);
        }
        doneBefore = driver->latencies.size();
    });
    watchdog.start(60'000);
    driver->start();
    if (app.exec() != 0) {
        if (collect)
            collector.kill();
        return 1;
    }

    int attackersClosed = 0;
    if (attackers.state() == QProcess::Running) {
        attackers.closeWriteChannel();
        attackers.waitForFinished();
        attackersClosed = attackers.readAllStandardOutput().trimmed().toInt();
    }
    QByteArray rssAtEnd = "-";
    qsizetype verdicts = 0;
    qsizetype logBytes = 0;
    double stallMs = -1;
    if (collect) {
        QFile log(args.at(4) + QStringLiteral("/verdicts.jsonl"));
        if (log.open(QIODevice::ReadOnly)) {
            const QByteArray records = log.readAll();
            verdicts = records.count('\n');
            logBytes = records.size();
        }
        rssAtEnd = peakKilobytes(collector.processId());
        collector.terminate();
        collector.waitForFinished();
        QFile events(args.at(4) + QStringLiteral(".events"));
        if (events.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : events.readAll().split('\n')) {
                const QJsonObject event = QJsonDocument::fromJson(line).object();
                if (event.contains(QStringLiteral("longest_stall_ms")))
                    stallMs = event.value(QStringLiteral("longest_stall_ms")).toDouble();
            }
        }
    }
    std::vector<qint64>& latencies = driver->latencies;
    std::sort(latencies.begin(), latencies.end());
    const auto milliseconds = [&](std::size_t at) { return double(latencies[at]) / 1e6; };
    const double elapsed = double(seconds) / 1e9;
    // Events still on their way arrive before they are counted.
    QElapsedTimer drain;
    drain.start();
    while (listeners && drain.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::vector<qint64> delays = listeners ? listeners->delays : std::vector<qint64>{0};
    std::sort(delays.begin(), delays.end());
    std::printf("%d %.3f %.0f %.2f %.2f %s %s %lld %.2f %lld %d %d %d %zu %lld %lld %.2f\n", count, elapsed, count / elapsed,
                milliseconds(latencies.size() / 2), milliseconds(latencies.size() * 99 / 100), rssAt1000.constData(),
                rssAtEnd.constData(), static_cast<long long>(verdicts), stallMs, static_cast<long long>(logBytes),
                driver->stored, driver->refused, attackersClosed, listeners ? std::size_t(listeners->heard) : 0,
                static_cast<long long>(delays[delays.size() / 2]), static_cast<long long>(delays[delays.size() * 99 / 100]),
                milliseconds(latencies.size() - 1));
    return 0;
}
