// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_main.h"

#include "app/batch_run.h"
#include "app/folder_scan.h"
#include "cli/cli_options.h"
#include "app/run_report_json.h"
#include "cli/cli_selection.h"
#include "cli/merge_reports.h"
#include "image/plugins.h"
#include "pictavo_version.h"
#include "sys/atomic_file.h"
#include "sys/directory.h"
#include "sys/files.h"
#include "sys/stop_signals.h"
#include "web/http.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace pictavo {

namespace {

int usage_error(const CliStreams& streams, const std::string& message)
{
    std::fprintf(streams.err, "pictavo-cli: %s\nTry 'pictavo-cli --help' for more information.\n",
                 message.c_str());
    return EXIT_USAGE;
}

// The options into the settings, as the window's controls would have set them. An empty text
// means they fit; otherwise what is missing.
std::string apply_options(const CliOptions& options, AppState& state)
{
    JobSettings& job = state.job;
    job.input_folder = folder_argument(options.input_folder);
    job.output_folder = folder_argument(options.output_folder);
    job.resize_mode = options.mode;
    job.normal_size_text = std::to_string(options.size);
    job.fill_width_text = std::to_string(options.fill_width);
    job.fill_height_text = std::to_string(options.fill_height);
    job.uniform_width_text = std::to_string(options.uniform_width);
    job.uniform_height_text = std::to_string(options.uniform_height);
    job.quality_text = std::to_string(options.quality);
    job.jpeg_quality = options.quality;
    job.date_copy = options.dates ? 1 : 0;
    job.keep_orientation = options.keep_orientation;
    job.compression = options.compression;
    job.output_format = options.format;
    job.inputs = options.inputs;
    job.lossless = options.lossless;
    if (options.exif) {
        if (job.exiftool_found != 1)
            return "--exif needs exiftool, which is neither on PATH nor beside pictavo-cli "
                   "(Debian package libimage-exiftool-perl)";
        job.metadata_copy = 1;
    }
    if (options.tinify) {
        const char* from_environment = std::getenv(KEY_VARIABLE);
        if (options.key_given) {
            job.api_key = options.key;
        } else if (from_environment != nullptr && *from_environment != '\0') {
            if (utf16_length(from_environment) != API_KEY_LENGTH)
                return std::string(KEY_VARIABLE) + " must hold exactly 32 characters";
            job.api_key = from_environment;
        }
        if (job.api_key.empty())
            return std::string("--tinify needs the service key: set ") + KEY_VARIABLE
                   + ", put the key on the first line of ~/.config/pictavo/" + KEY_FILE_NAME + " or pass --key KEY";
        job.tinify_upload = 1;
    }
    return {};
}

// The report must be writable where it is asked for, which is known before the run starts.
std::string report_problem(const std::string& path)
{
    if (path.empty())
        return {};
    const std::filesystem::path report(path);
    std::error_code unknown;
    if (std::filesystem::is_directory(report, unknown))
        return "--report " + path + " is a folder";
    const std::filesystem::path folder = report.has_parent_path() ? report.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, unknown))
        return "--report " + path + ": the folder " + folder.string() + " does not exist";
    return {};
}

int exit_status(const RunReport& report)
{
    if (const int signal = stop_signal_received(); signal != 0)
        return 128 + signal;
    if (report.outcome != RunOutcome::Finished)
        return EXIT_USAGE;
    return report.failed > 0 || report.service_failed ? EXIT_SOME_FAILED : EXIT_ALL_DONE;
}

// False when the report could not be written (the reason has been printed).
bool write_report(const CliOptions& options, const JobSettings& job, const RunOptions& run_options,
                  const RunReport& report, const CliStreams& streams)
{
    if (options.report_path.empty() || report.outcome != RunOutcome::Finished)
        return true;
    const int error = write_whole_file(options.report_path, run_report_json(job, run_options, report));
    if (error == 0)
        return true;
    std::fprintf(streams.err, "pictavo-cli: the report %s could not be written: %s\n", options.report_path.c_str(),
                 std::strerror(error));
    return false;
}

} // namespace

std::string folder_argument(const std::string& text)
{
    if (text.empty())
        return {};
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(text.c_str(), nullptr), &std::free);
    std::string folder = resolved ? std::string(resolved.get()) : text;
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

int cli_main(const std::vector<std::string>& arguments, const CliStreams& streams)
{
    if (!arguments.empty() && arguments.front() == MERGE_REPORTS_COMMAND)
        return merge_reports_main({arguments.begin() + 1, arguments.end()}, streams);
    const CliParse parsed = parse_cli_arguments(arguments);
    switch (parsed.action) {
    case CliAction::Help:
        std::fputs(cli_help_text().c_str(), streams.out);
        return EXIT_ALL_DONE;
    case CliAction::Version:
        std::fputs("pictavo-cli " PICTAVO_VERSION "\n"
                   "Copyright (C) " PICTAVO_COPYRIGHT "\n"
                   "Licence " PICTAVO_LICENSE ": GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl-3.0.html>\n"
                   "This is free software: you are free to change and redistribute it.\n"
                   "There is NO WARRANTY, to the extent permitted by law.\n",
                   streams.out);
        return EXIT_ALL_DONE;
    case CliAction::UsageError:
        return usage_error(streams, parsed.error);
    case CliAction::Run:
        break;
    }
    CliOptions options = parsed.options;
    if (!network_start()) {
        std::fprintf(streams.err, "pictavo-cli: Can't initialize networking...\n");
        return EXIT_USAGE;
    }
    register_image_codecs();

    AppState state;
    state.start_up();
    if (const std::string missing = apply_options(options, state); !missing.empty())
        return usage_error(streams, missing);
    const CliSelection selection = select_images(
        options, [](const char* name) -> const char* { return std::getenv(name); }, streams.in);
    if (!selection.error.empty())
        return usage_error(streams, selection.error);
    options.shard = selection.shard;
    options.report_path = selection.report_path;
    if (const std::string problem = report_problem(options.report_path); !problem.empty())
        return usage_error(streams, problem);

    CliFrontEnd front_end(streams, options.quiet, options.yes, StopSignals::StopTheRun,
                          progress_style_for(streams.err, options.quiet, options.progress));
    if (!selection.shard_source.empty())
        front_end.note("--shard auto: " + shard_name(*selection.shard) + ", from " + selection.shard_source);
    // A folder that cannot be listed has no count to tell; the run's checks say why.
    const std::string& input = state.job.input_folder;
    if (selection.listed_images || (file_size(input) == FILE_SIZE_FOLDER && dir_open_error(input) == 0))
        front_end.note(scan_line(state.job, options, selection, state.run));
    RunOptions run_options;
    run_options.shrink_endpoint = options.service_url;
    run_options.workers = options.jobs;
    run_options.skip_existing = options.skip_existing;
    run_options.update = options.update;
    run_options.shard = selection.shard;
    run_options.listed_images = selection.listed_images;
    run_options.stop = &stop_signal_flag();
    const RunReport report = batch_run(state, front_end, run_options);
    if (report.outcome == RunOutcome::Declined && !front_end.refused())
        std::fprintf(streams.err, "pictavo-cli: nothing was changed\n");
    const int status = exit_status(report);
    if (!write_report(options, state.job, run_options, report, streams) && status == EXIT_ALL_DONE)
        return EXIT_SOME_FAILED;
    return status;
}

} // namespace pictavo
