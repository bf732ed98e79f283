#include "VerdictLog.h"

#include "FileSystem.h"
#include "VerdictJson.h"

#include <QFile>

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

void VerdictLog::syncEverySecond()
{
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_ending) {
        m_wake.wait_for(hold, std::chrono::seconds(1));
        sync();
    }
}

void VerdictLog::sync()
{
    if (!m_dirty.exchange(false))
        return;
    const int fd = ::open(m_encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::close(fd);
}
