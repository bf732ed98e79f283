#include "CheckRun.h"

#include "DescriptorCheck.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"
#include "ShownText.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

// How far the walk may run ahead of the report, for each thread, and how
// many verdicts the reporting thread lets gather before it is woken: one
// wake-up for each verdict would cost more than most checks.
constexpr std::size_t AheadPerThread = 64;
constexpr std::size_t BatchPerThread = 32;
constexpr std::chrono::milliseconds StopCheckEvery{50};

Verdict check(const FoundDescriptor& found, const ReferenceFolder& reference, ReferenceStore& store, qint64 largest,
              const LeagueRules* rules)
{
    Verdict verdict;
    verdict.path = found.path;
    verdict.player = found.player;
    verdict.car = found.car;
    verdict.error = found.error;
    if (!found.error.isEmpty() || !found.car)
        return verdict;
    const GenuineDescriptor* genuine = reference.genuine(*found.car);
    if (!genuine) {
        // Its file could not be read, or the car appeared only after the
        // reference data was checked.
        verdict.error = reference.genuineError(*found.car);
        if (verdict.error.isEmpty())
            verdict.error = QStringLiteral("%1: the reference data of %2 was not read")
                                .arg(ShownText::name(found.path), found.car->listEntry);
        return verdict;
    }
    verdict = checkDescriptor(found.path, reference.versions(*found.car), reference.allGenuine(), store, largest, rules);
    verdict.player = found.player;
    return verdict;
}

} // namespace

bool runChecks(DescriptorFinder& finder, const ReferenceFolder& reference,
               std::vector<std::unique_ptr<ReferenceStore>>& stores, qint64 largest, const LeagueRules* rules,
               const std::function<void(Verdict&)>& afterCheck,
               const std::function<void(const Verdict&, std::size_t done)>& report,
               const std::function<bool()>& stopped)
{
    if (stores.size() == 1) {
        // One thread: this one, with nothing to hand over.
        FoundDescriptor found;
        for (std::size_t done = 1; !stopped() && finder.next(&found); ++done) {
            Verdict verdict = check(found, reference, *stores.front(), largest, rules);
            afterCheck(verdict);
            report(verdict, done);
        }
        return !stopped();
    }

    std::mutex mutex;
    std::condition_variable workWaiting;
    std::condition_variable verdictMade;
    std::deque<std::pair<std::size_t, FoundDescriptor>> pending;
    std::map<std::size_t, Verdict> made; // made and not yet reported, by their place in the walk
    bool walked = false;
    bool stop = false;
    std::size_t issued = 0;
    std::size_t reported = 0;
    const std::size_t ahead = AheadPerThread * stores.size();
    const std::size_t batch = BatchPerThread * stores.size();
    // Whether the reporting thread has a batch to take, the next in order first.
    const auto batchReady = [&] {
        return made.count(reported) > 0 && made.size() >= std::min(batch, issued - reported);
    };

    std::vector<std::thread> threads;
    for (std::unique_ptr<ReferenceStore>& store : stores) {
        threads.emplace_back([&, storeOfThread = store.get()] {
            std::unique_lock lock(mutex);
            for (;;) {
                workWaiting.wait(lock, [&] { return walked || !pending.empty(); });
                if (pending.empty())
                    return;
                auto [index, found] = std::move(pending.front());
                pending.pop_front();
                lock.unlock();
                Verdict verdict = check(found, reference, *storeOfThread, largest, rules);
                afterCheck(verdict);
                lock.lock();
                made.emplace(index, std::move(verdict));
                if (batchReady())
                    verdictMade.notify_one();
            }
        });
    }

    std::unique_lock lock(mutex);
    while (!walked || reported < issued) {
        if (!stop && (stop = stopped())) {
            // What no thread took yet is the last issued: it goes unchecked.
            issued -= pending.size();
            pending.clear();
            walked = true;
        }
        if (!walked && issued - reported < ahead) {
            // Walked without the lock, handed over all at once.
            const std::size_t wanted = ahead - (issued - reported);
            lock.unlock();
            std::vector<FoundDescriptor> walkedOn;
            FoundDescriptor found;
            bool more = true;
            while (walkedOn.size() < wanted && !stopped() && (more = finder.next(&found)))
                walkedOn.push_back(std::move(found));
            lock.lock();
            for (FoundDescriptor& descriptor : walkedOn)
                pending.emplace_back(issued++, std::move(descriptor));
            walked = !more;
            workWaiting.notify_all();
        }
        // Woken now and then to see whether the run is to stop.
        verdictMade.wait_for(lock, StopCheckEvery, [&] { return batchReady() || (walked && reported == issued); });
        for (auto next = made.find(reported); next != made.end(); next = made.find(reported)) {
            const Verdict verdict = std::move(next->second);
            made.erase(next);
            const std::size_t done = ++reported; // counted under the lock: the threads read it
            lock.unlock();
            report(verdict, done);
            lock.lock();
        }
    }
    workWaiting.notify_all();
    lock.unlock();
    for (std::thread& thread : threads)
        thread.join();
    return !stop;
}
