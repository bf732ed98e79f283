#include "CheckRun.h"

#include "DescriptorCheck.h"
#include "ReferenceFolder.h"
#include "ReferenceStore.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace {

Verdict check(const FoundDescriptor& found, const ReferenceFolder& reference, ReferenceStore& store)
{
    if (!found.error.isEmpty() || !found.car) {
        Verdict verdict;
        verdict.path = found.path;
        verdict.error = found.error;
        return verdict;
    }
    const QByteArray* genuine = reference.genuine(*found.car);
    if (!genuine) {
        Verdict verdict;
        verdict.path = found.path;
        verdict.car = found.car;
        verdict.error = reference.genuineError(*found.car);
        return verdict;
    }
    return checkDescriptor(found.path, *found.car, store, *genuine);
}

} // namespace

void runChecks(const std::vector<FoundDescriptor>& found, const ReferenceFolder& reference,
               std::vector<std::unique_ptr<ReferenceStore>>& stores, const std::function<void(Verdict&)>& afterCheck,
               const std::function<void(const Verdict&, std::size_t done)>& report)
{
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable madeOne;
    // Verdicts made and not yet reported, by their place in found.
    std::map<std::size_t, Verdict> made;

    std::vector<std::thread> threads;
    for (std::unique_ptr<ReferenceStore>& store : stores) {
        threads.emplace_back([&, storeOfThread = store.get()] {
            for (std::size_t index = next++; index < found.size(); index = next++) {
                Verdict verdict = check(found[index], reference, *storeOfThread);
                afterCheck(verdict);
                const std::lock_guard lock(mutex);
                made.emplace(index, std::move(verdict));
                madeOne.notify_one();
            }
        });
    }
    for (std::size_t index = 0; index < found.size(); ++index) {
        std::unique_lock lock(mutex);
        madeOne.wait(lock, [&] { return made.count(index) > 0; });
        Verdict verdict = std::move(made.at(index));
        made.erase(index);
        lock.unlock();
        report(verdict, index + 1);
    }
    for (std::thread& thread : threads)
        thread.join();
}
