#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// DIR/verdicts.jsonl: one record a line, appended whole or not at all, and
// opened for each, so that a log moved away by rotation is followed by a new
// one at once. What was appended is made durable within a second, by a
// thread of its own so that the loop never waits on the disk, and at the end;
// one that must be durable before it is answered for asks to be told when it
// is, and every record appended by then shares that one sync.
// Its records are described in docs/verdict-record.md.
class VerdictLog
{
public:
    explicit VerdictLog(const QString& path);
    // Makes every record durable.
    ~VerdictLog();
    VerdictLog(const VerdictLog&) = delete;
    VerdictLog& operator=(const VerdictLog&) = delete;

    bool append(const QJsonObject& record, QString* error);
    QString path() const { return m_path; }
    // done runs on receiver's thread once every record appended so far is
    // on the disk, with an error when the sync failed; not if receiver is gone.
    void whenDurable(QObject* receiver, std::function<void(const QString& error)> done);

private:
    void syncEverySecond();
    QString sync();

    QString m_path;
    QByteArray m_encoded;
    std::atomic<bool> m_dirty{false};
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_ending = false;
    struct Waiter {
        QPointer<QObject> receiver;
        std::function<void(const QString&)> done;
    };
    std::vector<Waiter> m_waiters;
    std::thread m_syncer;
};
