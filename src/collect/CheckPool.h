#pragma once

#include "ArrivalCheck.h"

#include "RoundRobinQueue.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct CheckSetup;
class ReferenceStore;

// The threads that keep and check arriving files, one reference store each,
// so that the event loop only moves bytes: a file of any content costs it
// nothing but the hand-over. Work is taken player by player in turn, so that
// one player's stream of files never holds back another's verdict.
class CheckPool : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(CheckedArrival)>;
    using EvidenceDone = std::function<void(QByteArray)>;

    CheckPool(std::vector<std::unique_ptr<ReferenceStore>> stores, std::shared_ptr<const CheckSetup> setup,
              QObject* parent = nullptr);
    // Checks what was handed over, then ends the threads.
    ~CheckPool() override;

    // What files handed over from now on are checked against.
    void setSetup(std::shared_ptr<const CheckSetup> setup);
    std::shared_ptr<const CheckSetup> setup() const;

    // Keeps and checks arrival on a thread of the pool; done then runs on
    // the pool's thread, unless receiver is gone by then.
    void check(Arrival arrival, QObject* receiver, Done done);
    // Files handed over whose records are not written yet.
    int checking() const { return *m_checking; }
    // The evidence of a verdict, or of a file kept earlier, checked again.
    void evidence(std::shared_ptr<const Verdict> verdict, QObject* receiver, EvidenceDone done);
    void evidence(const QString& path, const QByteArray& player, QObject* receiver, EvidenceDone done);

private:
    // What a thread does with its store; gives back what then runs on the
    // pool's thread.
    using Task = std::function<std::function<void()>(ReferenceStore&, const CheckSetup&)>;
    struct Job {
        Task task;
        std::shared_ptr<const CheckSetup> setup;
        QPointer<QObject> receiver;
    };
    void post(const QByteArray& player, Task task, QObject* receiver);
    void work(ReferenceStore& store);

    std::vector<std::unique_ptr<ReferenceStore>> m_stores;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    RoundRobinQueue<Job> m_jobs; // by player
    std::shared_ptr<const CheckSetup> m_setup;
    bool m_ending = false;
    std::shared_ptr<std::atomic<int>> m_checking = std::make_shared<std::atomic<int>>(0);
    std::vector<std::thread> m_threads;
};
