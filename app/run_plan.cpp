// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_plan.h"

#include "app/folder_scan.h"
#include "sys/files.h"

#include <filesystem>
#include <optional>

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

RunPlan plan_run(const std::string& input_root, const std::string& output_root)
{
    std::optional<FileIdentity> left_out;
    if (output_place(input_root, output_root) == OutputPlace::InsideInput)
        left_out = file_identity(output_root);

    struct Found {
        std::string folder;
        std::string name;
    };
    std::vector<Found> found;
    RunState walk;
    output_tree(
        walk, input_root, output_root,
        [&found](const std::string& folder, const std::string& name) { found.push_back({folder, name}); },
        left_out);

    RunPlan plan;
    plan.folder_count = walk.folder_count;
    plan.images.reserve(found.size());
    for (const Found& file : found) {
        ImagePaths paths = image_paths(file.folder, file.name, input_root, output_root);
        std::string relative = relative_to(paths.source, input_root);
        plan.images.push_back({std::move(paths.source), std::move(paths.output), std::move(relative)});
    }
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
