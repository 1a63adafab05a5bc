// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_list.h"

#include "app/folder_scan.h"
#include "app/image_formats.h"
#include "sys/files.h"

#include <unordered_set>

namespace pictavo {
namespace {

// The folders of a relative path from the top down: "a/b/x.jpg" gives "a" and "a/b".
std::vector<std::string_view> folders_of(std::string_view relative_path)
{
    std::vector<std::string_view> folders;
    for (auto slash = relative_path.find('/'); slash != std::string_view::npos;
         slash = relative_path.find('/', slash + 1))
        folders.push_back(relative_path.substr(0, slash));
    return folders;
}

// The image's paths, or why it is refused; whether its file exists is not looked at yet.
PlannedImage listed_image(ListedPath listed, const std::string& input_root, const std::string& output_root,
                          OutputFormat format)
{
    PlannedImage image;
    image.refused = listed.refused;
    image.source_path = listed.relative_path; // as listed, for the progress line of a refused entry
    if (image.refused == FailureReason::None) {
        image.source_path = collapse_separators(input_root + "/" + listed.relative_path);
        image.output_path = output_path_in_format(collapse_separators(output_root + "/" + listed.relative_path), format);
        if (!path_fits_host(image.source_path) || !path_fits_host(image.output_path))
            image.refused = FailureReason::PathTooLong;
    }
    image.relative_path = std::move(listed.relative_path);
    return image;
}

} // namespace

std::vector<std::string> split_file_list(std::string_view text, ListSeparator separator)
{
    const char end = separator == ListSeparator::Nul ? '\0' : '\n';
    std::vector<std::string> entries;
    while (!text.empty()) {
        const auto found = text.find(end);
        std::string_view entry = text.substr(0, found);
        text.remove_prefix(found == std::string_view::npos ? text.size() : found + 1);
        if (separator == ListSeparator::Line && entry.ends_with('\r'))
            entry.remove_suffix(1);
        if (!entry.empty())
            entries.emplace_back(entry);
    }
    return entries;
}

ListedPath listed_path(std::string_view entry, const InputKinds& kinds)
{
    ListedPath listed{std::string(entry), FailureReason::None};
    // A NUL inside a line would cut the path short where the host reads it.
    if (entry.find('\0') != std::string_view::npos) {
        listed.refused = FailureReason::ListedMissing;
        return listed;
    }
    if (entry.starts_with('/')) {
        listed.refused = FailureReason::ListedOutside;
        return listed;
    }
    std::vector<std::string_view> elements;
    for (std::string_view rest = entry; !rest.empty();) {
        const auto slash = rest.find('/');
        const std::string_view element = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        if (element == "..") {
            listed.refused = FailureReason::ListedOutside;
            return listed;
        }
        if (!element.empty() && element != ".")
            elements.push_back(element);
    }
    if (elements.empty() || entry.ends_with('/') || !is_input_kind(std::string(elements.back()), kinds)) {
        listed.refused = FailureReason::ListedNotAnImage;
        return listed;
    }
    std::string relative;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i + 1 < elements.size() && elements[i].starts_with('.')) {
            listed.refused = FailureReason::ListedHidden;
            return listed;
        }
        if (i > 0)
            relative += '/';
        relative += elements[i];
    }
    listed.relative_path = std::move(relative);
    return listed;
}

RunPlan plan_listed_run(const std::vector<std::string>& entries, const std::string& input_root,
                        const std::string& output_root, const std::optional<Shard>& shard, const PlanFormats& formats)
{
    RunPlan plan;
    plan.output_folders.push_back(output_root);
    std::unordered_set<std::string> listed_before;
    std::unordered_set<std::string_view> folders_made;
    // Outputs in the source's format have names as distinct as their sources'. In another format
    // two sources may meet at one, so every listed image takes part in deciding which is refused,
    // the shard's or not.
    const bool names_may_meet = formats.output != OutputFormat::Same;
    std::vector<PlannedImage> images;
    std::vector<bool> owned;
    for (const std::string& entry : entries) {
        ListedPath listed = listed_path(entry, formats.inputs);
        const bool own = !shard || shard->owns(listed.relative_path);
        if ((!own && !names_may_meet) || !listed_before.insert(listed.relative_path).second)
            continue;
        images.push_back(listed_image(std::move(listed), input_root, output_root, formats.output));
        owned.push_back(own);
    }
    refuse_shared_outputs(images);
    for (std::size_t index = 0; index < images.size(); ++index) {
        if (!owned[index])
            continue;
        PlannedImage& image = images[index];
        if (image.refused == FailureReason::None && !file_identity(image.source_path))
            image.refused = FailureReason::ListedMissing;
        if (image.refused == FailureReason::None) {
            // The views point into the set's own copy of the path, which lives as long as the set.
            const std::string& kept = *listed_before.find(image.relative_path);
            for (const std::string_view folder : folders_of(kept)) {
                if (!folders_made.insert(folder).second)
                    continue;
                plan.output_folders.push_back(collapse_separators(output_root + "/" + std::string(folder)));
                folder_create(plan.output_folders.back());
            }
        }
        plan.images.push_back(std::move(image));
    }
    // Once the folders are made, a link among them shows: two of this shard's images may now
    // name one file by two paths.
    refuse_shared_outputs(plan.images);
    plan.folder_count = static_cast<std::int64_t>(folders_made.size());
    return plan;
}

} // namespace pictavo
