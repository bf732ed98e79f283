#include "EventLog.h"

#include "VerdictJson.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

EventLog::EventLog(bool json, int fd, QObject* parent)
    : QObject(parent)
    , m_json(json)
    , m_fd(fd)
    , m_ready(fd, QSocketNotifier::Write)
{
    m_ready.setEnabled(false);
    connect(&m_ready, &QSocketNotifier::activated, this, &EventLog::flush);
    m_flags = ::fcntl(m_fd, F_GETFL);
    if (m_flags >= 0)
        ::fcntl(m_fd, F_SETFL, m_flags | O_NONBLOCK);
}

EventLog::~EventLog()
{
    flushBeforeTheEnd();
    if (m_flags >= 0)
        ::fcntl(m_fd, F_SETFL, m_flags);
}

QString EventLog::timeNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

void EventLog::write(const QString& who, const QString& text, QJsonObject fields)
{
    emit written(fields);
    if (m_gone)
        return;
    QByteArray line;
    if (m_json) {
        fields.insert(QStringLiteral("time"), timeNow());
        if (m_dropped > 0)
            fields.insert(QStringLiteral("dropped"), m_dropped);
        line = jsonLine(fields);
    } else {
        const QString dropped =
            m_dropped > 0 ? QStringLiteral(" (%1 events before this one were dropped)").arg(m_dropped) : QString();
        line = (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + u' '
                + (who.isEmpty() ? QString() : who + u' ') + text + dropped + u'\n')
                   .toLocal8Bit();
    }
    if (m_pending.size() + line.size() > BufferLimit && !m_stopping) {
        ++m_dropped;
        return;
    }
    m_dropped = 0;
    m_pending += line;
    flush();
}

// Waits for the reader, never for longer than FinalWaitMs in all.
void EventLog::flushBeforeTheEnd()
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        flush();
        const qint64 left = FinalWaitMs - waited.elapsed();
        if (m_pending.isEmpty() || m_gone || left <= 0)
            break;
        pollfd writable{m_fd, POLLOUT, 0};
        ::poll(&writable, 1, int(left));
    }
    if (!m_pending.isEmpty() && !m_gone)
        std::fprintf(stderr, "kestrix-collect: the last %lld bytes of events were not taken by stdout within %d s\n",
                     static_cast<long long>(m_pending.size()), FinalWaitMs / 1000);
}

void EventLog::flush()
{
    while (!m_pending.isEmpty() && !m_gone) {
        const ssize_t written = ::write(m_fd, m_pending.constData(), size_t(m_pending.size()));
        if (written > 0) {
            m_pending.remove(0, written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_ready.setEnabled(true);
            return;
        } else {
            m_gone = true;
            m_pending.clear();
            std::fprintf(stderr, "kestrix-collect: events are no longer written: stdout: %s\n",
                         written < 0 ? std::strerror(errno) : "nothing is taken");
        }
    }
    m_ready.setEnabled(false);
}
