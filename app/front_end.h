// SPDX-License-Identifier: GPL-3.0-or-later
// What the batch run and the image job need of the program's front end.
//
// The window and the command line each implement it, so the run code exists once. Every call
// comes from the thread that runs the batch.
#pragma once

#include <cstdint>
#include <string>

namespace pictavo {

enum class MessageIcon { None = 0, Error = 16, Information = 64 };

class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // A message with a single OK button; returns when it was acknowledged.
    virtual void message_box(const std::string& title, const std::string& text, MessageIcon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool ask_yes_no(const std::string& title, const std::string& text) = 0;

    // Lets the front end handle at most one pending event without waiting; whatever the user
    // did is dropped, not acted upon. Keeps a window painted during a run.
    virtual void take_one_event() = 0;
    // Sleeps the calling thread.
    virtual void pause(int milliseconds) = 0;

    // Busy: the start button is disabled and reads "Busy....", the wait pointer shows.
    // Not busy: the idle look with the button enabled and reading "PROCESS".
    virtual void set_busy(bool busy) = 0;

    // The run's progress: a range shown at the start, a position after each image (with the
    // image's source path, for front ends that list files), hidden at the end.
    virtual void show_progress(std::int64_t minimum, std::int64_t maximum) = 0;
    virtual void set_progress(std::int64_t position, const std::string& source_path) = 0;
    virtual void hide_progress() = 0;
};

} // namespace pictavo
