// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_run.h"

#include "app/folder_scan.h"
#include "app/image_job.h"
#include "sys/file_dates.h"
#include "sys/files.h"
#include "sys/process_runner.h"

#include <unistd.h>

#include <filesystem>

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
    "The output folder lies inside the input folder: the images written there will be processed "
    "again as inputs, and files there will be replaced.\nProcess anyway?";
constexpr const char* SERVICE_TITLE = "PTV Error";
constexpr const char* SERVICE_FAILED_TEXT = " Error Using Tinify API.";
constexpr const char* FINAL_TITLE = "PTV Information";

bool is_existing_folder(const std::string& folder)
{
    return !folder.empty() && file_size(folder) == FILE_SIZE_FOLDER;
}

// The checks before anything changes; false when one failed and its message was shown.
bool checks_pass(const AppState& state, FrontEnd& front_end)
{
    if (!is_existing_folder(state.job.input_folder) || !is_existing_folder(state.job.output_folder)) {
        front_end.message_box(CHECK_TITLE, FOLDERS_MISSING_TEXT, MessageIcon::Error);
        return false;
    }
    if (state.run.image_count == 0) {
        front_end.message_box(CHECK_TITLE, NO_IMAGES_TEXT, MessageIcon::Error);
        return false;
    }
    return true;
}

// Writing into the input tree replaces sources or feeds outputs back in, so it is confirmed.
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

// Copies every tag the metadata tool can read from the source into the output, in place.
void copy_metadata(const JobSettings& job, const std::string& source_path, const std::string& output_path)
{
    // Anything named like the tool in the working folder counts as found, but only a program
    // is started: the runner would hand a folder or a plain file to the desktop's opener,
    // once for every image.
    if (file_size(job.exiftool_path) < 0 || ::access(job.exiftool_path.c_str(), X_OK) != 0)
        return;
    const std::vector<std::string> arguments = {"-TagsFromFile", source_path, "-all:all>all:all",
                                                "-overwrite_original", output_path};
    run_program(job.exiftool_path, arguments, current_folder(), RUN_WAIT | RUN_HIDE);
}

// All three dates are read before the first is set. A date that could not be read (0) is
// not set, so a missing birth time never stamps 1970 on the output.
void copy_dates(const std::string& source_path, const std::string& output_path)
{
    const int kinds[] = {FILE_DATE_CREATED, FILE_DATE_ACCESSED, FILE_DATE_MODIFIED};
    DateValue dates[3];
    for (int i = 0; i < 3; ++i)
        dates[i] = file_date_get(source_path, kinds[i]);
    for (int i = 0; i < 3; ++i)
        if (dates[i] > 0)
            file_date_set(output_path, kinds[i], dates[i]);
}

std::string relative_to(const std::string& path, const std::string& root)
{
    const std::string clean_root = collapse_separators(root);
    if (!clean_root.empty() && path.compare(0, clean_root.size(), clean_root) == 0)
        return path.substr(clean_root.size());
    return path;
}

class Walk {
public:
    Walk(AppState& state, FrontEnd& front_end, const std::string& shrink_endpoint, RunReport& report)
        : state_(state), context_{state.job, state.run, front_end, shrink_endpoint}, report_(report)
    {
    }

    void file(const std::string& folder, const std::string& name)
    {
        const auto [source_path, output_path] =
            image_paths(folder, name, state_.run.input_root, state_.run.output_root);

        if (image_job(context_, source_path, output_path) == ImageOutcome::Failed) {
            ++report_.failed;
            if (report_.failed_paths.size() < FAILED_PATHS_SHOWN)
                report_.failed_paths.push_back(relative_to(source_path, state_.run.input_root));
            // An output of that name left from before is not this source's result: giving it
            // the source's tags and dates would pass it off as a fresh one.
            return;
        }
        if (state_.job.metadata_copy == 1)
            copy_metadata(state_.job, source_path, output_path);
        if (state_.job.date_copy == 1)
            copy_dates(source_path, output_path);
    }

private:
    AppState& state_;
    JobContext context_;
    RunReport& report_;
};

} // namespace

OutputPlace output_place(const std::string& input_folder, const std::string& output_folder)
{
    const std::optional<FileIdentity> input = file_identity(input_folder);
    std::error_code error;
    std::filesystem::path path = std::filesystem::canonical(output_folder, error);
    if (!input || error)
        return OutputPlace::Apart;
    if (file_identity(path.string()) == input)
        return OutputPlace::SameFolder;
    while (path.has_relative_path()) {
        path = path.parent_path();
        if (file_identity(path.string()) == input)
            return OutputPlace::InsideInput;
    }
    return OutputPlace::Apart;
}

std::string final_message(const RunReport& report)
{
    std::string text = std::to_string(report.processed);
    text += " Images done.";
    if (report.failed == 0)
        return text;
    text += '\n';
    text += std::to_string(report.failed);
    text += report.failed == 1 ? " image could not be read or written" : " images could not be read or written";
    if (report.failed > static_cast<std::int64_t>(report.failed_paths.size())) {
        text += ", the first ";
        text += std::to_string(report.failed_paths.size());
    }
    text += ':';
    for (const std::string& path : report.failed_paths) {
        text += '\n';
        text += path;
    }
    return text;
}

RunReport batch_run(AppState& state, FrontEnd& front_end, const std::string& shrink_endpoint)
{
    RunReport report;
    if (!checks_pass(state, front_end))
        return report;
    if (!overwriting_confirmed(state.job, front_end)) {
        report.outcome = RunOutcome::Declined;
        return report;
    }
    JobSettings& job = state.job;
    RunState& run = state.run;

    front_end.set_busy(true);
    run.busy = 1;
    front_end.take_one_event();
    front_end.show_progress(1, run.image_count);

    run.input_root = job.input_folder;
    run.output_root = job.output_folder;
    output_tree(run, run.input_root, run.output_root);
    run.processed_count = 0;
    run.folder_count = 0;
    state.take_target_pair();
    run.tinify_error = 0;

    Walk walk(state, front_end, shrink_endpoint, report);
    walk_folder_tree(run, job.input_folder,
                     [&walk](const std::string& folder, const std::string& name) { walk.file(folder, name); });

    report.outcome = RunOutcome::Finished;
    report.processed = run.processed_count;
    report.service_failed = run.tinify_error == 1;
    if (report.service_failed)
        front_end.message_box(SERVICE_TITLE, SERVICE_FAILED_TEXT, MessageIcon::Error);

    front_end.take_one_event();
    front_end.pause(25);
    run.busy = 0;
    front_end.hide_progress();
    front_end.set_busy(false);
    front_end.message_box(FINAL_TITLE, final_message(report), MessageIcon::Information);
    return report;
}

} // namespace pictavo
