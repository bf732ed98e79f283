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
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_jobs.push_back(Job{std::move(arrival), m_setup, receiver, std::move(done)});
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
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        CheckedArrival checked = storeAndCheck(job.arrival, *job.setup, store);
        // Back on the pool's own thread, where the receiver is looked at.
        QMetaObject::invokeMethod(
            this,
            [receiver = std::move(job.receiver), done = std::move(job.done), checked = std::move(checked)]() mutable {
                if (receiver)
                    done(std::move(checked));
            },
            Qt::QueuedConnection);
    }
}
