// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_front_end.h"

#include "sys/stop_signals.h"

#include <chrono>
#include <cstring>
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

void CliFrontEnd::run_started(const RunStarted& started)
{
    maximum_ = started.images;
    if (started.temporaries_removed > 0)
        note("removed " + std::to_string(started.temporaries_removed)
             + (started.temporaries_removed == 1 ? " temporary file" : " temporary files")
             + " that an interrupted run left in the output folders");
}

void CliFrontEnd::image_finished(const ImageFinished& finished)
{
    if (!quiet_)
        std::fprintf(streams_.err, "[%lld/%lld] %s\n", static_cast<long long>(finished.finished),
                     static_cast<long long>(maximum_), finished.source_path.c_str());
    if (finished.result.failure.reason != FailureReason::None)
        std::fprintf(streams_.err, "pictavo-cli: %s\n",
                     failure_line({finished.relative_path, finished.result}).c_str());
}

void CliFrontEnd::note(const std::string& line)
{
    if (!quiet_)
        std::fprintf(streams_.err, "%s\n", line.c_str());
}

} // namespace pictavo
