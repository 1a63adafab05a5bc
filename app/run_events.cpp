// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_events.h"

#include <utility>

namespace pictavo {

void RunEventQueue::push(RunEvent event)
{
    {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    pushed_.notify_all();
}

std::deque<RunEvent> RunEventQueue::take_all()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

bool RunEventQueue::wait(std::chrono::milliseconds time_limit) const
{
    std::unique_lock lock(mutex_);
    return pushed_.wait_for(lock, time_limit, [this] { return !events_.empty(); });
}

} // namespace pictavo
