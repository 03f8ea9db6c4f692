// The probe's waits: slices counted against the action in force, and work that may block run on a thread of its own.
#pragma once

#include "online/Waiting.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace twinspotter {

/// Counts a slice of the probe's wait against the action in force and services its observer. Throws WaitCancelled
/// when the user ends the wait and an error once the action's budget is used up.
void afterSlice(std::chrono::steady_clock::duration waited);

/// Runs \p work on a thread of its own and waits for it in slices, so that the window is serviced while a slow
/// resolver or echo takes its time; a wait that ends first leaves the thread to finish by itself. After \p limit, if
/// one is given, the wait ends with \p late, whatever the work still does. An error of the work is thrown here.
template <class Result>
Result runServiced(std::function<Result()> work,
                   std::chrono::steady_clock::duration limit = std::chrono::steady_clock::duration::max(),
                   Result late = Result{})
{
    const auto start = std::chrono::steady_clock::now();
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        Result result{};
        std::exception_ptr error;
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)] {
        // Nothing may leave a detached thread: it would end the program. The work's error goes to the waiter. A
        // thread left behind may finish while the program ends, when the runtime's locks already fail; then nobody
        // waits for it any more.
        Result result{};
        std::exception_ptr error;
        try {
            result = work();
        } catch (...) {
            error = std::current_exception();
        }
        try {
            const std::lock_guard lock(shared->mutex);
            shared->result = std::move(result);
            shared->error = error;
            shared->finished = true;
            shared->done.notify_all();
        } catch (...) {
        }
    }).detach();
    for (;;) {
        const auto before = std::chrono::steady_clock::now();
        {
            std::unique_lock lock(shared->mutex);
            if (shared->done.wait_for(lock, kWaitSlice, [&shared] { return shared->finished; })) {
                if (shared->error)
                    std::rethrow_exception(shared->error);
                return shared->result;
            }
        }
        afterSlice(std::chrono::steady_clock::now() - before);
        if (std::chrono::steady_clock::now() - start >= limit)
            return late;
    }
}

} // namespace twinspotter
