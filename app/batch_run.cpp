// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_run.h"

#include "sys/directory.h"
#include "sys/files.h"
#include "sys/stop_signals.h"

#include <cstring>
#include <exception>
#include <filesystem>
#include <thread>
#include <utility>
#include <variant>

namespace pictavo {

namespace {

constexpr const char* CHECK_TITLE = "PTV ERROR";
constexpr const char* FOLDERS_MISSING_TEXT = "Please Select PTV Input and Output Folders.....";
constexpr const char* NO_IMAGES_TEXT = "PTV Input Folder is empty.....";
constexpr const char* QUESTION_TITLE = "PTV Warning";
constexpr const char* SAME_FOLDER_TEXT =
    "The output folder is the input folder: every image in it will be replaced by its processed "
    "version.\nProcess anyway?";
constexpr const char* INSIDE_INPUT_TEXT =
    "The output folder lies inside the input folder: files there will be replaced by the processed "
    "images (the output folder itself is not taken as input).\nProcess anyway?";
constexpr const char* SERVICE_TITLE = "PTV Error";
constexpr const char* SERVICE_FAILED_TEXT = " Error Using Tinify API.";
constexpr const char* FINAL_TITLE = "PTV Information";
// The pause before the idle look returns, so that the last progress step is seen.
constexpr int CLOSING_PAUSE_MILLISECONDS = 25;

// What keeps the run from using a folder, as a sentence naming it; "" when nothing does.
std::string folder_problem(const std::string& role, const std::string& folder)
{
    if (folder.empty())
        return "No " + role + " folder is chosen.";
    const std::string named = "The " + role + " folder " + folder;
    // Without its closing '/', so that a file of that name counts as existing.
    std::string bare = folder;
    while (bare.size() > 1 && bare.back() == '/')
        bare.pop_back();
    std::error_code unknown;
    if (!std::filesystem::exists(std::filesystem::symlink_status(bare, unknown)))
        return named + " does not exist.";
    if (file_size(folder) != FILE_SIZE_FOLDER)
        return named + " is not a folder.";
    if (const int error = dir_open_error(folder); error != 0)
        return named + " cannot be read (" + std::strerror(error) + ").";
    return {};
}

// The checks before anything changes; false when one failed and its message was shown. The
// defined text comes first; the lines after it say which folder is the matter and why.
bool checks_pass(const JobSettings& job, std::int64_t scanned_images, FrontEnd& front_end)
{
    std::string text = FOLDERS_MISSING_TEXT;
    for (const std::string& problem :
         {folder_problem("input", job.input_folder), folder_problem("output", job.output_folder)})
        if (!problem.empty())
            text += "\n" + problem;
    if (text != FOLDERS_MISSING_TEXT) {
        front_end.message_box(CHECK_TITLE, text, MessageIcon::Error);
        return false;
    }
    if (scanned_images == 0) {
        front_end.message_box(CHECK_TITLE,
                              std::string(NO_IMAGES_TEXT) + "\nNo .jpg, .jpeg or .png file was found in " + job.input_folder
                                  + " or its sub-folders.",
                              MessageIcon::Error);
        return false;
    }
    return true;
}

// Writing into the input tree replaces sources or files beside them, so it is confirmed.
bool overwriting_confirmed(const JobSettings& job, FrontEnd& front_end)
{
    switch (output_place(job.input_folder, job.output_folder)) {
    case OutputPlace::SameFolder:
        return front_end.ask_yes_no(QUESTION_TITLE, SAME_FOLDER_TEXT);
    case OutputPlace::InsideInput:
        return front_end.ask_yes_no(QUESTION_TITLE, INSIDE_INPUT_TEXT);
    case OutputPlace::Apart:
        break;
    }
    return true;
}

// Starts the engine on a thread of its own and delivers its events here until it has ended.
// The engine works on its own copies of the settings and options, so nothing the front end owns
// is read by another thread.
RunReport run_and_report(const JobSettings job, const RunOptions options, FrontEnd& front_end)
{
    RunEventQueue events;
    std::thread engine;
    try {
        engine = std::thread([&] {
            // A stop signal is for the front end's thread, which turns it into the stop flag.
            block_stop_signals_in_this_thread();
            execute_run(job, options, events);
        });
    } catch (const std::exception&) { // no thread to be had: the run goes on here, unseen
        execute_run(job, options, events);
    }
    RunReport report;
    std::int64_t finished = 0;
    bool ended = false;
    while (!ended) {
        for (RunEvent& event : events.take_all()) {
            if (const auto* started = std::get_if<RunStarted>(&event)) {
                front_end.run_started(*started);
            } else if (auto* image = std::get_if<ImageFinished>(&event)) {
                image->finished = ++finished;
                front_end.image_finished(*image);
            } else {
                report = std::move(std::get<RunFinished>(event).report);
                ended = true;
            }
        }
        if (!ended)
            front_end.wait_for_run_events(events);
    }
    if (engine.joinable())
        engine.join();
    front_end.run_finished(report);
    return report;
}

} // namespace

RunReport batch_run(const JobSettings& job, std::int64_t scanned_images, FrontEnd& front_end,
                    const RunOptions& options)
{
    RunReport report;
    if (!checks_pass(job, scanned_images, front_end))
        return report;
    if (!overwriting_confirmed(job, front_end)) {
        report.outcome = RunOutcome::Declined;
        return report;
    }
    front_end.set_busy(true);
    front_end.take_one_event();
    report = run_and_report(job, options, front_end);
    if (report.service_failed)
        front_end.message_box(SERVICE_TITLE, SERVICE_FAILED_TEXT, MessageIcon::Error);
    front_end.take_one_event();
    front_end.pause(CLOSING_PAUSE_MILLISECONDS);
    front_end.hide_progress();
    front_end.set_busy(false);
    front_end.run_outcome(FINAL_TITLE, final_message(report, front_end.failures_listed()), report);
    return report;
}

RunReport batch_run(AppState& state, FrontEnd& front_end, const RunOptions& options)
{
    state.take_target_pair();
    RunReport report = batch_run(state.job, state.run.image_count, front_end, options);
    if (report.outcome == RunOutcome::Finished) {
        state.run.image_count = static_cast<std::int64_t>(report.images.size());
        state.run.folder_count = report.folder_count;
    }
    return report;
}

} // namespace pictavo
