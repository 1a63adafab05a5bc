// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_front_end.h"

#include "sys/stop_signals.h"
#include "sys/terminal.h"

#include <chrono>
#include <cstring>
#include <unistd.h>
#include <string>
#include <thread>

namespace pictavo {

void CliFrontEnd::message_box(const std::string& title, const std::string& text, MessageIcon)
{
    if (run_started_) {
        std::fprintf(streams_.out, "%s\n", text.c_str());
        std::fflush(streams_.out);
        return;
    }
    const auto first_end = text.find('\n');
    std::fprintf(streams_.err, "pictavo-cli: %s: %s\n", title.c_str(), text.substr(0, first_end).c_str());
    for (auto start = first_end; start != std::string::npos;) {
        const auto end = text.find('\n', start + 1);
        const std::string line = text.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        std::fprintf(streams_.err, "pictavo-cli: %s\n", line.c_str());
        start = end;
    }
}

bool CliFrontEnd::ask_yes_no(const std::string& title, const std::string& text)
{
    if (assume_yes_)
        return true;
    if (!streams_.in_is_terminal) {
        refused_ = true;
        std::fprintf(streams_.err, "pictavo-cli: %s\n%s\nRun again with --yes to go ahead.\n",
                     title.c_str(), text.c_str());
        return false;
    }
    std::fprintf(streams_.err, "%s\n%s [y/N] ", title.c_str(), text.c_str());
    std::fflush(streams_.err);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, streams_.in))
        return false;
    answer[std::strcspn(answer, "\r\n")] = '\0';
    return std::strcmp(answer, "y") == 0 || std::strcmp(answer, "Y") == 0 ||
           std::strcmp(answer, "yes") == 0 || std::strcmp(answer, "Yes") == 0 ||
           std::strcmp(answer, "YES") == 0;
}

void CliFrontEnd::pause(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void CliFrontEnd::set_busy(bool busy)
{
    if (!busy)
        return;
    run_started_ = true;
    if (signals_ == StopSignals::StopTheRun)
        catch_stop_signals();
}

namespace {

// Redrawing more often than this shows nothing a reader could follow.
constexpr std::chrono::milliseconds BAR_REDRAW_INTERVAL{100};
constexpr std::chrono::seconds BAR_REFRESH_INTERVAL{1};
// "\r" returns to the line's start; "ESC [ K" erases from there to its end.
constexpr const char* ERASE_LINE = "\r\x1b[K";

} // namespace

ProgressStyle progress_style_for(std::FILE* err, bool quiet, const std::string& option)
{
    if (option == "bar")
        return ProgressStyle::Bar;
    if (option == "lines")
        return ProgressStyle::Lines;
    if (option == "none" || quiet)
        return ProgressStyle::None;
    return terminal_columns(::fileno(err)) > 0 ? ProgressStyle::Bar : ProgressStyle::Lines;
}

void CliFrontEnd::draw_bar()
{
    const int columns = terminal_columns(::fileno(streams_.err));
    // The last column stays free: a line that fills the width wraps on some terminals.
    const int width = (columns > 0 ? columns : 80) - 1;
    progress_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_at_).count();
    std::fprintf(streams_.err, "%s%s", ERASE_LINE, progress_line_text(progress_, width).c_str());
    std::fflush(streams_.err);
    bar_shown_ = true;
    drawn_at_ = std::chrono::steady_clock::now();
}

void CliFrontEnd::clear_bar()
{
    if (!bar_shown_)
        return;
    std::fputs(ERASE_LINE, streams_.err);
    std::fflush(streams_.err);
    bar_shown_ = false;
}

void CliFrontEnd::hide_progress()
{
    if (style_ == ProgressStyle::Bar)
        clear_bar();
}

void CliFrontEnd::wait_for_run_events(const RunEventQueue& events)
{
    events.wait(style_ == ProgressStyle::Bar ? BAR_REDRAW_INTERVAL : RUN_EVENT_WAIT);
    // A new width at once; the rate and the time left now and then while a slow image goes on.
    if (style_ == ProgressStyle::Bar
        && (terminal_resized() || (bar_shown_ && std::chrono::steady_clock::now() - drawn_at_ >= BAR_REFRESH_INTERVAL)))
        draw_bar();
}

void CliFrontEnd::run_started(const RunStarted& started)
{
    maximum_ = started.images;
    progress_.total = started.images;
    started_at_ = std::chrono::steady_clock::now();
    if (style_ == ProgressStyle::Bar)
        watch_terminal_size();
    if (started.temporaries_removed > 0)
        note("removed " + std::to_string(started.temporaries_removed)
             + (started.temporaries_removed == 1 ? " temporary file" : " temporary files")
             + " that an interrupted run left in the output folders");
}

void CliFrontEnd::image_finished(const ImageFinished& finished)
{
    const ImageResult& result = finished.result;
    if (style_ == ProgressStyle::Lines)
        std::fprintf(streams_.err, "[%lld/%lld] %s\n", static_cast<long long>(finished.finished),
                     static_cast<long long>(maximum_), finished.source_path.c_str());
    const bool failed = result.failure.reason != FailureReason::None;
    if (failed) {
        clear_bar();
        std::fprintf(streams_.err, "pictavo-cli: %s\n", failure_line({finished.relative_path, result}).c_str());
    }
    if (style_ != ProgressStyle::Bar)
        return;
    progress_.done = finished.finished;
    progress_.file = finished.relative_path;
    if (has_output(result) && result.source_bytes >= 0 && result.output_bytes >= 0) {
        progress_.saved_bytes += result.source_bytes - result.output_bytes;
        ++progress_.counted_images;
    }
    if (failed || !bar_shown_ || finished.finished == maximum_
        || std::chrono::steady_clock::now() - drawn_at_ >= BAR_REDRAW_INTERVAL)
        draw_bar();
}

void CliFrontEnd::note(const std::string& line)
{
    if (!quiet_)
        std::fprintf(streams_.err, "%s\n", line.c_str());
}

} // namespace pictavo
