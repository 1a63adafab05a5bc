// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_selection.h"

#include "app/file_list.h"
#include "app/folder_scan.h"
#include "sys/file_dates.h"
#include "sys/files.h"
#include "sys/temporary_files.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace pictavo {
namespace {

// A folder as a key: separators collapsed, no closing '/'.
std::string folder_key(const std::string& folder)
{
    std::string key = collapse_separators(folder);
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

// The output file names of the plan's images, by folder.
std::unordered_map<std::string, std::vector<std::string>> outputs_by_folder(const RunPlan& plan)
{
    std::unordered_map<std::string, std::vector<std::string>> outputs;
    for (const PlannedImage& image : plan.images) {
        const auto slash = image.output_path.find_last_of('/');
        if (image.refused != FailureReason::None || slash == std::string::npos)
            continue;
        outputs[folder_key(image.output_path.substr(0, slash + 1))].push_back(image.output_path.substr(slash + 1));
    }
    return outputs;
}

} // namespace

RunPlan plan_selected_run(const std::string& input_root, const std::string& output_root, const RunOptions& options,
                          const PlanFormats& formats)
{
    if (options.listed_images)
        return plan_listed_run(*options.listed_images, input_root, output_root, options.shard, formats);
    RunPlan plan = plan_run(input_root, output_root, formats);
    if (options.shard)
        std::erase_if(plan.images,
                      [&shard = *options.shard](const PlannedImage& image) { return !shard.owns(image.relative_path); });
    return plan;
}

std::int64_t existing_output_to_leave(const RunOptions& options, const std::string& source_path,
                                      const std::string& output_path)
{
    if (!options.skip_existing && !options.update)
        return -1;
    const std::int64_t existing = file_size(output_path);
    if (existing < 0 || options.skip_existing)
        return existing;
    const auto source_modified = file_modified_seconds(source_path);
    const auto output_modified = file_modified_seconds(output_path);
    if (!source_modified || !output_modified || *source_modified > *output_modified)
        return -1;
    return existing;
}

int remove_abandoned_temporaries(const RunPlan& plan, const RunOptions& options)
{
    int removed = 0;
    if (!options.shard && !options.listed_images) {
        for (const std::string& folder : plan.output_folders)
            removed += std::max(sweep_temporary_files(folder), 0);
        return removed;
    }
    const auto outputs = outputs_by_folder(plan);
    for (const std::string& folder : plan.output_folders) {
        const auto own = outputs.find(folder_key(folder));
        if (own == outputs.end())
            continue;
        const auto belongs_to_own_image = [&targets = own->second](std::string_view temporary) {
            const std::string name(temporary);
            return std::any_of(targets.begin(), targets.end(),
                               [&name](const std::string& target) { return temporary_belongs_to(name, target); });
        };
        removed += std::max(sweep_temporary_files(folder, belongs_to_own_image), 0);
    }
    return removed;
}

} // namespace pictavo
