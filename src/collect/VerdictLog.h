#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// DIR/verdicts.jsonl: one record a line, appended whole or not at all, and
// opened for each, so that a log moved away by rotation is followed by a new
// one at once. What was appended is made durable within a second (in the
// file it went to, moved away or not), by a
// thread of its own so that the loop never waits on the disk, and at the end;
// one that must be durable before it is answered for asks to be told when it
// is, and every record appended by then shares that one sync.
// Its records are described in docs/verdict-record.md; each record's "prev"
// chains it to the line before, across rotations and restarts.
class VerdictLog
{
public:
    explicit VerdictLog(const QString& path);
    // Makes every record durable.
    ~VerdictLog();
    VerdictLog(const VerdictLog&) = delete;
    VerdictLog& operator=(const VerdictLog&) = delete;

    // Finds where the chain goes on from: the last line of the newest log.
    bool openChain(QString* error);
    // With "prev" added; lineHash, when given, has the hash of the line written.
    bool append(const QJsonObject& record, QString* error, QByteArray* lineHash = nullptr);
    QString path() const { return m_path; }
    // done runs on receiver's thread once every record appended so far is
    // on the disk, with an error when the sync failed; not if receiver is gone.
    void whenDurable(QObject* receiver, std::function<void(const QString& error)> done);

    // The hash of the last line written: where the chain stands.
    QByteArray head() const { return m_head; }

    // Told of every record written, with "prev", and the hash of its line.
    std::function<void(const QJsonObject& record, const QByteArray& lineHash)> onAppended;

private:
    bool endLastLine(QString* error);
    void keepForSync(int opened);
    void syncEverySecond();
    QString sync();

    QString m_path;
    QByteArray m_encoded;
    QByteArray m_head;
    std::mutex m_lock;
    // The logs appended to since the last sync, one descriptor each.
    std::vector<int> m_unsynced;
    std::condition_variable m_wake;
    bool m_ending = false;
    struct Waiter {
        QPointer<QObject> receiver;
        std::function<void(const QString&)> done;
    };
    std::vector<Waiter> m_waiters;
    std::thread m_syncer;
};
