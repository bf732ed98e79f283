#include "VerdictLog.h"

#include "FileSystem.h"
#include "VerdictChain.h"
#include "VerdictJson.h"
#include "VerdictLogFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>

#include <sys/stat.h>
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
    return endLastLine(error);
}

// A crash can cut the last record short of its line end: the next record
// starts a line of its own, chained to the cut one, so that no record is
// joined onto it.
bool VerdictLog::endLastLine(QString* error)
{
    QFile log(m_path);
    if (!log.exists() || log.size() == 0)
        return true;
    char last = '\n';
    if (!log.open(QIODevice::ReadOnly) || !log.seek(log.size() - 1) || !log.getChar(&last)) {
        *error = QStringLiteral("the verdict log %1 cannot be read: %2").arg(m_path, log.errorString());
        return false;
    }
    return last == '\n' || FileSystem::appendEncoded(m_encoded, "\n", error);
}

bool VerdictLog::append(const QJsonObject& record, QString* error, QByteArray* lineHash)
{
    QJsonObject chained = record;
    chained.insert(QStringLiteral("prev"), QString::fromLatin1(m_head));
    const QByteArray line = jsonLine(chained);
    int opened = -1;
    if (!FileSystem::appendEncoded(m_encoded, line, error, &opened))
        return false;
    keepForSync(opened);
    m_head = VerdictChain::lineHash(QByteArrayView(line).chopped(1));
    if (lineHash)
        *lineHash = m_head;
    if (onAppended)
        onAppended(chained, m_head);
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

// One descriptor a file: a log moved away by rotation before its sync is
// still synced, not the new one in its place.
void VerdictLog::keepForSync(int opened)
{
    struct stat written {};
    ::fstat(opened, &written);
    const std::lock_guard<std::mutex> hold(m_lock);
    if (!m_unsynced.empty()) {
        struct stat last {};
        if (::fstat(m_unsynced.back(), &last) == 0 && last.st_ino == written.st_ino && last.st_dev == written.st_dev) {
            ::close(opened);
            return;
        }
    }
    m_unsynced.push_back(opened);
}

QString VerdictLog::sync()
{
    std::vector<int> unsynced;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        unsynced.swap(m_unsynced);
    }
    QString error;
    for (const int fd : unsynced) {
        if (::fdatasync(fd) != 0 && error.isEmpty())
            error = FileSystem::failure(m_path, FileSystem::systemReason(errno));
        ::close(fd);
    }
    return error;
}
