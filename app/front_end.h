// SPDX-License-Identifier: GPL-3.0-or-later
// What the batch run needs of the program's front end.
//
// The window and the command line each implement it, so the run code exists once. Every call
// comes from the front end's own thread: the run's workers never call it; their events are
// delivered on this thread.
#pragma once

#include "app/run_events.h"

#include <cstdint>
#include <string>

namespace pictavo {

enum class MessageIcon { None = 0, Error = 16, Information = 64 };

// How long a front end waits for the run's events at most before it looks again.
constexpr std::chrono::milliseconds RUN_EVENT_WAIT{100};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // A message with a single OK button; returns when it was acknowledged.
    virtual void message_box(const std::string& title, const std::string& text, MessageIcon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool ask_yes_no(const std::string& title, const std::string& text) = 0;
    // How many failed images the final message names with their reasons.
    virtual std::size_t failures_listed() const { return FAILED_PATHS_SHOWN; }

    // Lets the front end handle at most one pending event without waiting; whatever the user
    // did is dropped, not acted upon. Keeps a window painted.
    virtual void take_one_event() = 0;
    // Sleeps the calling thread.
    virtual void pause(int milliseconds) = 0;

    // Busy: the start button is disabled and reads "Busy....", the wait pointer shows.
    // Not busy: the idle look with the button enabled and reading "PROCESS".
    virtual void set_busy(bool busy) = 0;

    // The run's events, in the order they happened. The progress is shown when the run has
    // started and advances with each finished image; it is hidden at the end.
    virtual void run_started(const RunStarted& started) = 0;
    virtual void image_finished(const ImageFinished& finished) = 0;
    virtual void run_finished(const RunReport&) {}
    // The final message of a run that went ahead, with its report; a window may offer more
    // than OK there.
    virtual void run_outcome(const std::string& title, const std::string& text, const RunReport&)
    {
        message_box(title, text, MessageIcon::Information);
    }
    virtual void hide_progress() = 0;

    // Called while the run goes on and none of its events is waiting: returns once some may
    // have arrived, or after a short while. A window serves its own events meanwhile (painting),
    // dropping what the user did.
    virtual void wait_for_run_events(const RunEventQueue& events) { events.wait(RUN_EVENT_WAIT); }
};

} // namespace pictavo
