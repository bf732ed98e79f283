#pragma once

// The real kestrix-collect on a staged program folder, its events read as
// they come, and senders of the FILEINFO protocol from loopback addresses of
// their own: what the collector's tests share.

#include "FileSystem.h"
#include "PlayerPreamble.h"
#include "TestProgramFolder.h"
#include "ToolRun.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace CollectorTest {

inline QByteArray bytesOf(const QString& path)
{
    QByteArray bytes;
    QString error;
    return FileSystem::readAll(path, &bytes, &error) ? bytes : QByteArray("<unreadable>");
}

inline QByteArray sample(const QString& name)
{
    return bytesOf(TestProgramFolder::dataFile(name));
}

// Every file below folder, relative to it, hidden ones too.
inline QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A sender of the FILEINFO protocol, from a loopback address of its own.
struct Sender {
    explicit Sender(quint16 port, const QString& from = QStringLiteral("127.0.0.1"))
    {
        socket.bind(QHostAddress(from));
        socket.connectToHost(QHostAddress::LocalHost, port);
        // The system completes the connection even while it waits in the backlog.
        socket.waitForConnected(5000);
    }
    void send(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    bool closedByPeer() const { return socket.state() == QAbstractSocket::UnconnectedState; }

    QTcpSocket socket;
};

// One line the collector says, read off a raw connection.
inline QByteArray lineFrom(QTcpSocket& socket)
{
    [[maybe_unused]] const bool said =
        QTest::qWaitFor([&] { return socket.canReadLine() || socket.state() != QAbstractSocket::ConnectedState; }, 10'000);
    return socket.readLine();
}

struct Player {
    QByteArray name;
    QByteArray token;
};

// A player made as an admin makes one: a fresh token, and its roster entry.
inline Player newPlayer(const QByteArray& name, QByteArray* roster)
{
    const ToolRun made = ToolRun::of(QStringLiteral(KESTRIX_COLLECT), {QStringLiteral("--new-token"), QString::fromLatin1(name)});
    const QList<QByteArray> lines = made.out.split('\n');
    *roster += made.out.sliced(lines.first().size() + 1);
    return {name, lines.first()};
}

// Opens a transfer as player on a raw connection: its name, and once
// challenged its proof for header, then header and data.
inline void prove(Sender& sender, const Player& player, const QByteArray& header, const QByteArray& data)
{
    sender.send(PlayerPreamble::playerLine(player.name));
    const QByteArray challenge = lineFrom(sender.socket);
    sender.send(PlayerPreamble::proofLine(PlayerPreamble::proofHex(PlayerPreamble::tokenSha256Hex(player.token),
                                                                   challenge.split('|').value(1), player.name, header))
                + header + data);
}

inline QByteArray message(const QString& name, const QByteArray& content)
{
    return "FILEINFO|" + QByteArray::number(content.size()) + '|' + name.toLatin1() + '|' + content;
}

// The real collector on a staged program folder, its events read as they come.
struct Collector {
    // dir: where files go, when it is to outlive this collector.
    explicit Collector(const QStringList& extra = {}, const QString& keepIn = QString())
        : ownDir(keepIn)
    {
        QStringList arguments{QStringLiteral("--json"), QStringLiteral("--port"), QStringLiteral("0"),
                              QStringLiteral("--dir"), dir(), QStringLiteral("--folder"), program.path()};
        process.start(QStringLiteral(KESTRIX_COLLECT), arguments + extra);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            while (process.canReadLine()) {
                const QJsonObject event = QJsonDocument::fromJson(process.readLine()).object();
                if (event.value(QStringLiteral("event")).toString() == u"listening")
                    port = quint16(event.value(QStringLiteral("port")).toInt());
                events << event;
            }
        });
    }
    ~Collector()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    bool started() { return QTest::qWaitFor([this] { return port != 0; }, 10'000); }
    QString dir() const { return ownDir.isEmpty() ? work.filePath(QStringLiteral("collected")) : ownDir; }
    int count(const QString& event) const
    {
        return int(std::count_if(events.cbegin(), events.cend(),
                                 [&](const QJsonObject& e) { return e.value(QStringLiteral("event")).toString() == event; }));
    }
    int refusals(const QString& code) const
    {
        return int(std::count_if(events.cbegin(), events.cend(), [&](const QJsonObject& e) {
            return e.value(QStringLiteral("event")).toString() == u"refused" && e.value(QStringLiteral("code")).toString() == code;
        }));
    }
    QList<QJsonObject> verdicts() const
    {
        // Whole lines only: a record may be half written as it is read.
        QList<QByteArray> lines = bytesOf(dir() + QStringLiteral("/verdicts.jsonl")).split('\n');
        lines.removeLast();
        QList<QJsonObject> records;
        for (const QByteArray& line : lines)
            records << QJsonDocument::fromJson(line).object();
        return records;
    }
    // Ends it as a service manager does, and says how it ended.
    int terminate(int withinMs = 10'000)
    {
        process.terminate();
        if (!process.waitForFinished(withinMs) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    QString ownDir;
    TestProgramFolder program;
    QTemporaryDir work;
    QProcess process;
    QList<QJsonObject> events;
    quint16 port = 0;
};

} // namespace CollectorTest
