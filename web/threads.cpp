// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/threads.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace pictavo {
namespace {

// What a waiter needs of a thread. It is shared between the registry entry, the thread itself
// and any waiter, so a waiter keeps it valid even when a sweep removes the entry meanwhile.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable ended_signal;
    bool ended = false;

    bool has_ended()
    {
        std::lock_guard lock(mutex);
        return ended;
    }
};

struct ThreadEntry {
    ThreadNumber number = 0;
    std::shared_ptr<ThreadState> state;
    std::thread thread;
};

class ThreadRegistry {
public:
    ~ThreadRegistry()
    {
        // Program end: ended threads are joined; one still running is let go, since the
        // process is ending anyway and its state lives on in the thread's own reference.
        std::lock_guard lock(mutex_);
        for (auto& entry : entries_) {
            if (!entry.thread.joinable())
                continue;
            if (entry.state->has_ended())
                entry.thread.join();
            else
                entry.thread.detach();
        }
    }

    ThreadNumber start(ThreadProcedure procedure, void* parameter)
    {
        if (!procedure)
            return 0;
        ThreadEntry entry;
        try {
            entry.state = std::make_shared<ThreadState>();
            entry.thread = std::thread([procedure, parameter, state = entry.state] {
                procedure(parameter);
                std::lock_guard lock(state->mutex);
                state->ended = true;
                state->ended_signal.notify_all();
            });
        } catch (const std::exception&) {
            return 0;
        }

        std::list<ThreadEntry> swept;
        ThreadNumber number = 0;
        {
            std::lock_guard lock(mutex_);
            for (auto it = entries_.begin(); it != entries_.end();) {
                auto next = std::next(it);
                if (it->state->has_ended())
                    swept.splice(swept.end(), entries_, it);
                it = next;
            }
            entry.number = next_number_++;
            number = entry.number;
            try {
                entries_.push_back(std::move(entry));
            } catch (const std::exception&) {
                // Without an entry nobody could wait for it; it runs to its end unregistered.
                entry.thread.detach();
                number = 0;
            }
        }
        // Their procedures have returned; joining only waits for the threads' exit.
        for (auto& ended : swept)
            ended.thread.join();
        return number;
    }

    // The state of a listed thread that still runs, or none.
    std::shared_ptr<ThreadState> running(ThreadNumber number)
    {
        std::lock_guard lock(mutex_);
        for (auto& entry : entries_)
            if (entry.number == number)
                return entry.state->has_ended() ? nullptr : entry.state;
        return nullptr;
    }

    std::int64_t size()
    {
        std::lock_guard lock(mutex_);
        return static_cast<std::int64_t>(entries_.size());
    }

private:
    std::mutex mutex_;
    std::list<ThreadEntry> entries_;
    ThreadNumber next_number_ = 1;
};

ThreadRegistry& registry()
{
    static ThreadRegistry instance;
    return instance;
}

} // namespace

ThreadNumber thread_start(ThreadProcedure procedure, void* parameter)
{
    return registry().start(procedure, parameter);
}

int thread_wait(ThreadNumber number) { return thread_wait(number, -1); }

int thread_wait(ThreadNumber number, std::int64_t limit_ms)
{
    const auto state = registry().running(number);
    if (!state)
        return 1;
    std::unique_lock lock(state->mutex);
    const auto ended = [&] { return state->ended; };
    if (limit_ms < 0) {
        state->ended_signal.wait(lock, ended);
        return 1;
    }
    return state->ended_signal.wait_for(lock, std::chrono::milliseconds(limit_ms), ended) ? 1 : 0;
}

int thread_running(ThreadNumber number) { return registry().running(number) ? 1 : 0; }

std::int64_t thread_registry_size() { return registry().size(); }

} // namespace pictavo
