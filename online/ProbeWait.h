// The probe's waits: slices counted against the action in force, and work that may block run on a thread of its own.
#pragma once

#include "online/Waiting.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace twinspotter {

/// Counts a slice of the probe's wait against the action in force and services its observer. Throws WaitCancelled
/// when the user ends the wait and an error once the action's budget is used up.
void afterSlice(std::chrono::steady_clock::duration waited);

/// Runs \p work on a thread of its own and waits for it in slices, so that the window is serviced while a slow
/// resolver or echo takes its time; a wait that ends first leaves the thread to finish by itself.
template <class Result> Result runServiced(std::function<Result()> work)
{
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        Result result{};
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)] {
        Result result = work();
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    for (;;) {
        const auto before = std::chrono::steady_clock::now();
        {
            std::unique_lock lock(shared->mutex);
            if (shared->done.wait_for(lock, kWaitSlice, [&shared] { return shared->finished; }))
                return shared->result;
        }
        afterSlice(std::chrono::steady_clock::now() - before);
    }
}

} // namespace twinspotter
