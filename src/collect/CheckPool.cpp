#include "CheckPool.h"

#include "ReferenceStore.h"

#include <sys/resource.h>
#include <unistd.h>

CheckPool::CheckPool(std::vector<std::unique_ptr<ReferenceStore>> stores, std::shared_ptr<const CheckSetup> setup,
                     QObject* parent)
    : QObject(parent)
    , m_stores(std::move(stores))
    , m_setup(std::move(setup))
{
    for (std::unique_ptr<ReferenceStore>& store : m_stores)
        m_threads.emplace_back([this, &store] { work(*store); });
}

CheckPool::~CheckPool()
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_ending = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void CheckPool::setSetup(std::shared_ptr<const CheckSetup> setup)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_setup = std::move(setup);
}

std::shared_ptr<const CheckSetup> CheckPool::setup() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_setup;
}

void CheckPool::check(Arrival arrival, QObject* receiver, Done done)
{
    // Shared, as a task is copied and a file is not.
    auto arriving = std::make_shared<Arrival>(std::move(arrival));
    // Counted until its record is written, or its transfer is gone.
    ++*m_checking;
    std::shared_ptr<void> counted(nullptr, [checking = m_checking](void*) { --*checking; });
    const QByteArray player = arriving->player;
    post(player, [arriving, counted = std::move(counted), done = std::move(done)](ReferenceStore& store,
                                                                          const CheckSetup& setup) mutable {
        return std::function<void()>(
            [counted = std::move(counted), done, checked = storeAndCheck(*arriving, setup, store)] { done(checked); });
    }, receiver);
}

void CheckPool::evidence(std::shared_ptr<const Verdict> verdict, QObject* receiver, EvidenceDone done)
{
    const QByteArray player = verdict->player;
    post(player, [verdict = std::move(verdict), done = std::move(done)](ReferenceStore&, const CheckSetup& setup) {
        return std::function<void()>([done, html = drawEvidence(*verdict, setup)] { done(html); });
    }, receiver);
}

void CheckPool::evidence(const QString& path, const QByteArray& player, QObject* receiver, EvidenceDone done)
{
    post(player, [path, player, done = std::move(done)](ReferenceStore& store, const CheckSetup& setup) {
        return std::function<void()>([done, html = evidenceOfKept(path, player, setup, store)] { done(html); });
    }, receiver);
}

void CheckPool::post(const QByteArray& player, Task task, QObject* receiver)
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_jobs.push(QString::fromUtf8(player), Job{std::move(task), m_setup, receiver});
    }
    m_wake.notify_one();
}

void CheckPool::work(ReferenceStore& store)
{
    // Checks yield the cores to the event loop, which serves every
    // connection: a slow check waits, a transfer never does.
    ::setpriority(PRIO_PROCESS, ::gettid(), 10);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_ending || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(*m_jobs.take());
        }
        std::function<void()> done = job.task(store, *job.setup);
        // Back on the pool's own thread, where the receiver is looked at.
        QMetaObject::invokeMethod(
            this,
            [receiver = std::move(job.receiver), done = std::move(done)] {
                if (receiver)
                    done();
            },
            Qt::QueuedConnection);
    }
}
