// SPDX-License-Identifier: GPL-3.0-or-later
// The events a run reports while it goes on, and the queue that carries them from the run's
// threads to the front end's thread.
//
// The run's threads only push; the front end's thread takes the events and acts on them, so
// every front-end call (every toolkit call of a window) happens on the front end's thread.
#pragma once

#include "app/run_report.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <variant>

namespace pictavo {

// The plan is made: the output tree exists and the images to process are fixed.
struct RunStarted {
    std::int64_t images = 0;  // images the run will process
    std::int64_t folders = 0; // sub-folders walked
    int workers = 0;
    int temporaries_removed = 0; // abandoned temporary files removed from the output folders
};

// One image has gone through all its steps. Images finish in any order when several workers
// run; index tells its place in walk order.
struct ImageFinished {
    std::size_t index = 0;     // in walk order, from 0
    std::int64_t finished = 0; // images finished so far, this one included (counted on delivery)
    std::string source_path;
    std::string relative_path;
    ImageResult result;
};

// Every worker has ended; nothing of the run runs any more.
struct RunFinished {
    RunReport report;
};

using RunEvent = std::variant<RunStarted, ImageFinished, RunFinished>;

class RunEventQueue {
public:
    void push(RunEvent event);
    // Every waiting event, oldest first.
    std::deque<RunEvent> take_all();
    // Waits until an event is waiting or the time has passed; true when one is waiting.
    bool wait(std::chrono::milliseconds time_limit) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable pushed_;
    std::deque<RunEvent> events_;
};

} // namespace pictavo
