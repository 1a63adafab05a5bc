// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_selection.h"

#include "app/file_list.h"
#include "app/folder_scan.h"
#include "app/run_plan.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace pictavo {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole list, or why it cannot be had.
std::string read_list(const std::string& name, std::FILE* standard_input, std::string& text)
{
    std::unique_ptr<std::FILE, FileCloser> opened;
    std::FILE* file = standard_input;
    if (name != "-") {
        opened.reset(std::fopen(name.c_str(), "rb"));
        if (!opened)
            return "--files-from " + name + ": " + std::strerror(errno);
        file = opened.get();
    }
    char buffer[65536];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file)) {
        if (text.size() + got > FILE_LIST_BYTES_MAXIMUM)
            return "--files-from " + name + " is larger than " + std::to_string(FILE_LIST_BYTES_MAXIMUM >> 20) +
                   " MiB";
        text.append(buffer, got);
    }
    if (std::ferror(file))
        return "--files-from " + name + " could not be read: " + std::strerror(errno);
    return {};
}

void replace_all(std::string& text, const std::string& placeholder, const std::string& value)
{
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

} // namespace

CliSelection select_images(const CliOptions& options, const EnvironmentLookup& variable, std::FILE* standard_input)
{
    CliSelection selection;
    selection.shard = options.shard;
    if (options.shard_auto) {
        ShardChoice choice = shard_from_environment(variable, options.shard_count);
        if (!choice.shard) {
            selection.error = choice.error;
            return selection;
        }
        selection.shard = choice.shard;
        selection.shard_source = std::move(choice.source);
    }
    if (!options.files_from.empty()) {
        std::string text;
        if (selection.error = read_list(options.files_from, standard_input, text); !selection.error.empty())
            return selection;
        auto entries = split_file_list(text, options.null_separated ? ListSeparator::Nul : ListSeparator::Line);
        if (entries.empty()) {
            selection.error = "--files-from " + options.files_from + " lists no images";
            return selection;
        }
        selection.listed_images = std::make_shared<const std::vector<std::string>>(std::move(entries));
    }
    selection.report_path = report_path_for(options.report_path, selection.shard);
    return selection;
}

std::string report_path_for(const std::string& path, const std::optional<Shard>& shard)
{
    std::string named = path;
    replace_all(named, "{shard}", std::to_string(shard ? shard->index : 0));
    replace_all(named, "{count}", std::to_string(shard ? shard->count : 1));
    return named;
}

std::string scan_line(const JobSettings& job, const CliOptions& options, const CliSelection& selection, RunState& run)
{
    const std::string shard = selection.shard ? " (" + shard_name(*selection.shard) + ")" : "";
    run.folder_count = 0;
    run.image_count = 0;
    if (selection.listed_images) {
        run.image_count = static_cast<std::int64_t>(selection.listed_images->size());
        return "Listed " + std::to_string(run.image_count) + " paths in " +
               (options.files_from == "-" ? std::string("standard input") : options.files_from) + shard;
    }
    std::int64_t owned = 0;
    const auto count = [&](const std::string& folder, const std::string& name) {
        ++run.image_count;
        if (!selection.shard || selection.shard->owns(relative_to(image_paths(folder, name, {}, {}).source,
                                                                  job.input_folder)))
            ++owned;
    };
    walk_folder_tree(run, job.input_folder, count, folder_left_out(job.input_folder, job.output_folder), {}, job.inputs);
    const std::int64_t whole_tree = run.image_count;
    run.image_count = owned;
    const std::string line = scan_summary(run) + shard;
    run.image_count = whole_tree;
    return line;
}

} // namespace pictavo
