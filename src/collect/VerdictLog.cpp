#include "VerdictLog.h"

#include "FileSystem.h"
#include "VerdictChain.h"
#include "VerdictJson.h"
#include "VerdictLogFiles.h"

#include <QFile>
#include <QFileInfo>

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

bool VerdictLog::openChain(QString* error)
{
    QString why;
    const std::optional<QByteArray> last = VerdictLogFiles::lastLine(QFileInfo(m_path).absolutePath(), &why);
    if (!last) {
        *error = QStringLiteral("the chain of the verdict log cannot go on: %1").arg(why);
        return false;
    }
    m_head = last->isEmpty() ? VerdictChain::Start : VerdictChain::lineHash(*last);
    return true;
}

bool VerdictLog::append(const QJsonObject& record, QString* error, QByteArray* lineHash)
{
    QJsonObject chained = record;
    chained.insert(QStringLiteral("prev"), QString::fromLatin1(m_head));
    const QByteArray line = jsonLine(chained);
    if (!FileSystem::appendEncoded(m_encoded, line, error))
        return false;
    m_head = VerdictChain::lineHash(QByteArrayView(line).chopped(1));
    if (lineHash)
        *lineHash = m_head;
    m_dirty = true;
    if (onAppended)
        onAppended(chained, m_head);
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
