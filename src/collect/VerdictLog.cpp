#include "VerdictLog.h"

#include "FileSystem.h"
#include "VerdictJson.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <unistd.h>

VerdictLog::VerdictLog(const QString& path)
    : m_path(path)
    , m_encoded(QFile::encodeName(path))
    , m_syncer([this] { syncEverySecond(); })
{
}

VerdictLog::~VerdictLog()
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_ending = true;
    }
    m_wake.notify_all();
    m_syncer.join();
    sync();
}

bool VerdictLog::append(const QJsonObject& record, QString* error)
{
    if (!FileSystem::appendEncoded(m_encoded, jsonLine(record), error))
        return false;
    m_dirty = true;
    return true;
}

void VerdictLog::whenDurable(QObject* receiver, std::function<void(const QString& error)> done)
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_waiters.push_back({receiver, std::move(done)});
    }
    m_wake.notify_all();
}

void VerdictLog::syncEverySecond()
{
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_ending) {
        m_wake.wait_for(hold, std::chrono::seconds(1), [this] { return m_ending || !m_waiters.empty(); });
        // Whoever waits now appended before this sync begins.
        std::vector<Waiter> waiters = std::move(m_waiters);
        m_waiters.clear();
        hold.unlock();
        const QString error = sync();
        for (Waiter& waiter : waiters)
            // Back on the loop's thread, where the receiver is looked at.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [receiver = std::move(waiter.receiver), done = std::move(waiter.done), error] {
                    if (receiver)
                        done(error);
                },
                Qt::QueuedConnection);
        hold.lock();
    }
}

QString VerdictLog::sync()
{
    if (!m_dirty.exchange(false))
        return QString();
    const int fd = ::open(m_encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || ::fdatasync(fd) != 0) {
        const QString error = FileSystem::failure(m_path, FileSystem::systemReason(errno));
        if (fd >= 0)
            ::close(fd);
        return error;
    }
    ::close(fd);
    return QString();
}
