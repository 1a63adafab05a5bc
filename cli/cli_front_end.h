// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as the run's front end: progress and the scan line to standard error, the
// run's final texts to standard output, questions on the terminal.
#pragma once

#include "app/front_end.h"
#include "cli/progress_line.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace pictavo {

struct CliStreams {
    std::FILE* in = stdin;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool in_is_terminal = false;
};

// Whether the front end takes over SIGINT and SIGTERM once the run starts (the program does;
// tests of the front end do not).
enum class StopSignals { Default, StopTheRun };

// How a run's progress shows on standard error: one line redrawn in place (for a terminal), a
// line per image (for logs and scripts), or nothing but failures.
enum class ProgressStyle { Bar, Lines, None };

class CliFrontEnd : public FrontEnd {
public:
    CliFrontEnd(const CliStreams& streams, bool quiet, bool assume_yes,
                StopSignals signals = StopSignals::Default, ProgressStyle progress = ProgressStyle::Lines)
        : streams_(streams), quiet_(quiet), assume_yes_(assume_yes), signals_(signals),
          style_(quiet && progress == ProgressStyle::Lines ? ProgressStyle::None : progress)
    {
    }

    // Messages shown before the run started (the folder checks) are errors of the command
    // and go to standard error, every line after the first as a line of its own; those after
    // it are the run's outcome and go to standard output.
    void message_box(const std::string& title, const std::string& text, MessageIcon icon) override;
    // --yes answers Yes. Otherwise the question is asked on a terminal; without one it is
    // refused (No), and refused() tells the caller why.
    bool ask_yes_no(const std::string& title, const std::string& text) override;
    // Standard output gets every failed image, not the window's first ten.
    std::size_t failures_listed() const override { return EVERY_FAILED_PATH; }
    void take_one_event() override {}
    void pause(int milliseconds) override;
    // Busy: the run starts, and with StopSignals::StopTheRun a stop signal now stops it.
    void set_busy(bool busy) override;
    // Lines: "[K/N] SOURCE" for each image as it finishes. Bar: the progress line redrawn in
    // place as images finish and when the terminal's width changes. For an image that failed
    // (or whose service exchange failed) "pictavo-cli: PATH: REASON" on a line of its own in
    // every style, quiet or not; a bar is drawn again below it.
    void run_started(const RunStarted& started) override;
    void image_finished(const ImageFinished& finished) override;
    void hide_progress() override;
    void wait_for_run_events(const RunEventQueue& events) override;

    // Prints a line to standard error unless quiet.
    void note(const std::string& line);

    bool refused() const { return refused_; }

private:
    CliStreams streams_;
    bool quiet_;
    bool assume_yes_;
    void draw_bar();
    void clear_bar();

    StopSignals signals_;
    ProgressStyle style_;
    bool run_started_ = false;
    bool refused_ = false;
    std::int64_t maximum_ = 0;
    RunProgress progress_;
    std::chrono::steady_clock::time_point started_at_;
    std::chrono::steady_clock::time_point drawn_at_;
    bool bar_shown_ = false;
};

// The style for standard error: the option's when one was given, else a bar on a terminal and
// lines elsewhere; none when quiet.
ProgressStyle progress_style_for(std::FILE* err, bool quiet, const std::string& option);

} // namespace pictavo
