// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_plan.h"

#include "app/folder_scan.h"
#include "sys/files.h"
#include "sys/temporary_files.h"

#include <filesystem>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace pictavo {

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

std::optional<FileIdentity> folder_left_out(const std::string& input_folder, const std::string& output_folder)
{
    if (output_place(input_folder, output_folder) != OutputPlace::InsideInput)
        return std::nullopt;
    return file_identity(output_folder);
}

namespace {

// The output is written as a temporary beside it first, whose name is longer than its own.
std::string temporary_beside(const std::string& output)
{
    const auto slash = output.find_last_of('/');
    return output.substr(0, slash + 1) + temporary_name_pattern(output.substr(slash + 1));
}

PlannedImage planned_image(const std::string& folder, const std::string& name, const std::string& input_root,
                           const std::string& output_root, OutputFormat format)
{
    ImagePaths paths = image_paths(folder, name, input_root, output_root);
    paths.output = output_path_in_format(paths.output, format);
    const bool nameable = path_fits_host(paths.source) && path_fits_host(paths.output)
                          && path_fits_host(temporary_beside(paths.output));
    std::string relative = relative_to(paths.source, input_root);
    return {std::move(paths.source), std::move(paths.output), std::move(relative),
            nameable ? FailureReason::None : FailureReason::PathTooLong};
}

PlannedImage planned_folder(const std::string& folder, const std::string& input_root, const std::string& output_root)
{
    const std::string source = collapse_separators(folder + "/");
    const std::string output = collapse_separators(replace_leading_root(folder + "/", input_root, output_root));
    const FailureReason reason =
        path_fits_host(collapse_separators(folder)) ? FailureReason::FolderUnreadable : FailureReason::PathTooLong;
    std::string relative = relative_to(source, input_root);
    return {source, output, relative.empty() ? "./" : std::move(relative), reason};
}

// Which file an output path names: its folder's identity and its name, or, for a folder that
// does not exist, the path itself.
std::string output_file_key(const std::string& output_path,
                            std::unordered_map<std::string, std::optional<FileIdentity>>& folder_identities)
{
    const auto slash = output_path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : output_path.substr(0, slash + 1);
    auto found = folder_identities.find(folder);
    if (found == folder_identities.end())
        found = folder_identities.emplace(folder, file_identity(folder)).first;
    if (!found->second)
        return "path " + output_path;
    return std::to_string(found->second->device) + ":" + std::to_string(found->second->inode) + " "
           + output_path.substr(slash + 1);
}

} // namespace

void refuse_shared_outputs(std::vector<PlannedImage>& images)
{
    std::unordered_map<std::string, std::optional<FileIdentity>> folder_identities;
    std::unordered_set<std::string> taken;
    const auto claims = [&](const PlannedImage& image) {
        return taken.insert(output_file_key(image.output_path, folder_identities)).second;
    };
    for (const PlannedImage& image : images)
        if (image.refused == FailureReason::None && image.output_path == image.source_path)
            claims(image);
    for (PlannedImage& image : images)
        if (image.refused == FailureReason::None && image.output_path != image.source_path && !claims(image))
            image.refused = FailureReason::SameOutput;
}

RunPlan plan_run(const std::string& input_root, const std::string& output_root, const PlanFormats& formats)
{
    const std::optional<FileIdentity> left_out = folder_left_out(input_root, output_root);

    struct Found {
        std::string folder;
        std::string name; // empty for a folder that cannot be listed
    };
    std::vector<Found> found;
    RunState walk;
    output_tree(
        walk, input_root, output_root,
        [&found](const std::string& folder, const std::string& name) { found.push_back({folder, name}); },
        left_out, [&found](const std::string& folder) { found.push_back({folder, {}}); }, formats.inputs);

    RunPlan plan;
    plan.folder_count = walk.folder_count;
    plan.images.reserve(found.size());
    for (const Found& entry : found)
        plan.images.push_back(entry.name.empty() ? planned_folder(entry.folder, input_root, output_root)
                                                 : planned_image(entry.folder, entry.name, input_root, output_root,
                                                                 formats.output));
    refuse_shared_outputs(plan.images);
    plan.output_folders.reserve(static_cast<std::size_t>(walk.folder_count) + 1);
    plan.output_folders.push_back(output_root);
    for (std::int64_t i = 0; i < walk.folder_count; ++i)
        plan.output_folders.push_back(walk.output_folders[static_cast<std::size_t>(i)]);
    return plan;
}

std::string relative_to(const std::string& path, const std::string& root)
{
    const std::string clean_root = collapse_separators(root);
    if (!clean_root.empty() && path.compare(0, clean_root.size(), clean_root) == 0)
        return path.substr(clean_root.size());
    return path;
}

} // namespace pictavo
