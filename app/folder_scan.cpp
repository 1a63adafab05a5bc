// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/folder_scan.h"

#include "sys/directory.h"
#include "sys/files.h"

#include <algorithm>
#include <vector>

namespace pictavo {
namespace {

struct WalkContext {
    RunState& run;
    const ImageFileCallback& on_image_file;
    const std::optional<FileIdentity>& left_out;
    const FolderCallback& on_unreadable_folder;
    const InputKinds& kinds;
    // The identities of the folders from the root down to the current one, to recognise a
    // link that leads back up.
    std::vector<FileIdentity> on_path;

    bool enters(const std::optional<FileIdentity>& identity) const
    {
        if (!identity)
            return true;
        return identity != left_out && std::find(on_path.begin(), on_path.end(), *identity) == on_path.end();
    }
};

// One level of the walk.
void walk_level(WalkContext& walk, const std::string& folder)
{
    RunState& run = walk.run;
    const std::int64_t number = run.folder_count;
    if (!dir_examine(number, folder, "*.*")) {
        if (walk.on_unreadable_folder)
            walk.on_unreadable_folder(folder);
        return;
    }
    while (dir_next(number)) {
        const std::string name = dir_entry_name(number);
        const int type = dir_entry_type(number);
        if (type == DIR_ENTRY_FOLDER && name != "." && name != ".."
            && (dir_entry_attributes(number) & DIR_ATTRIBUTE_HIDDEN) == 0) {
            const std::string sub_folder = folder + "/" + name;
            const auto identity = file_identity(sub_folder);
            if (walk.enters(identity)) {
                store_folder(run.source_folders, run.folder_count, sub_folder);
                ++run.folder_count;
                if (identity)
                    walk.on_path.push_back(*identity);
                walk_level(walk, sub_folder);
                if (identity)
                    walk.on_path.pop_back();
            }
        }
        if (type == DIR_ENTRY_FILE && is_input_kind(name, walk.kinds) && walk.on_image_file)
            walk.on_image_file(folder, name);
    }
    dir_finish(number);
}

} // namespace

std::string lower_case_extension(const std::string& path)
{
    std::string extension = extension_part(path);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

bool is_image_file_name(const std::string& name)
{
    return is_input_kind(name, InputKinds{});
}

void walk_folder_tree(RunState& run, const std::string& folder, const ImageFileCallback& on_image_file,
                      const std::optional<FileIdentity>& left_out, const FolderCallback& on_unreadable_folder,
                      const InputKinds& kinds)
{
    WalkContext walk{run, on_image_file, left_out, on_unreadable_folder, kinds, {}};
    if (const auto root = file_identity(folder))
        walk.on_path.push_back(*root);
    walk_level(walk, folder);
}

void folder_scan(RunState& run, const std::string& folder, const std::optional<FileIdentity>& left_out,
                 const InputKinds& kinds)
{
    walk_folder_tree(
        run, folder, [&run](const std::string&, const std::string&) { ++run.image_count; }, left_out, {}, kinds);
}

std::string scan_summary(const RunState& run)
{
    return "Found " + std::to_string(run.image_count) + " images in " + std::to_string(run.folder_count + 1)
           + " folders";
}

void output_tree(RunState& run, const std::string& input_root, const std::string& output_root,
                 const ImageFileCallback& on_image_file, const std::optional<FileIdentity>& left_out,
                 const FolderCallback& on_unreadable_folder, const InputKinds& kinds)
{
    run.folder_count = 0;
    run.image_count = 0;
    walk_folder_tree(
        run, input_root,
        [&](const std::string& folder, const std::string& name) {
            ++run.image_count;
            if (on_image_file)
                on_image_file(folder, name);
        },
        left_out, on_unreadable_folder, kinds);
    for (std::int64_t i = 0; i < run.folder_count; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        store_folder(run.output_folders, i, replace_leading_root(run.source_folders[slot], input_root, output_root));
        folder_create(run.output_folders[slot]);
    }
}

std::string replace_leading_root(const std::string& path, const std::string& from, const std::string& to)
{
    if (from.empty() || path.compare(0, from.size(), from) != 0)
        return path;
    return to + path.substr(from.size());
}

std::string collapse_separators(const std::string& path)
{
    std::string result;
    result.reserve(path.size());
    for (const char c : path)
        if (c != '/' || result.empty() || result.back() != '/')
            result += c;
    return result;
}

ImagePaths image_paths(const std::string& folder, const std::string& name, const std::string& input_root,
                       const std::string& output_root)
{
    const std::string joined = folder + "/" + name;
    return {collapse_separators(joined), collapse_separators(replace_leading_root(joined, input_root, output_root))};
}

} // namespace pictavo
