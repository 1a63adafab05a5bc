// SPDX-License-Identifier: GPL-3.0-or-later
// Walking an input folder tree, counting its images, and mirroring it under the output folder.
//
// A walk visits the tree depth first: each sub-folder is recorded in the run state's source
// folder list (so the list is in pre-order, every folder before its sub-folders) and walked at
// once, before the next entry of its parent. Hidden folders are skipped with everything below
// them. A folder link that leads back to a folder on the current walk path is not followed,
// so a looping tree still ends. Sub-folder paths are parent + "/" + name; since a root ends
// with '/', the root's direct sub-folders carry a doubled separator ("/in//a", "/in//a/b").
#pragma once

#include "app/image_formats.h"
#include "app/settings.h"
#include "sys/files.h"

#include <functional>
#include <optional>
#include <string>

namespace pictavo {

// Called for each image file met by a walk, with the folder path as the walk formed it.
using ImageFileCallback = std::function<void(const std::string& folder, const std::string& name)>;
// Called for each folder of a walk that cannot be listed, with its path as the walk formed it.
using FolderCallback = std::function<void(const std::string& folder)>;

// The extension part of a path or name in lower case (ASCII letters only).
std::string lower_case_extension(const std::string& path);

// Whether a file name is one the program processes by default: its extension part, lower-cased,
// is jpg, jpeg or png.
bool is_image_file_name(const std::string& name);

// Walks the tree below folder. Every sub-folder walked goes into run.source_folders at slot
// run.folder_count, which then grows by one; every image file goes to on_image_file. Each level
// lists its folder under directory number run.folder_count as it is on entry. A folder that
// cannot be listed contributes nothing but a call of on_unreadable_folder. The caller sets
// run.folder_count beforehand. A sub-folder that is left_out (an output folder inside the
// input tree) is passed over with everything in it. Image files are those of the input kinds.
void walk_folder_tree(RunState& run, const std::string& folder, const ImageFileCallback& on_image_file,
                      const std::optional<FileIdentity>& left_out = std::nullopt,
                      const FolderCallback& on_unreadable_folder = {}, const InputKinds& kinds = {});

// A walk that only counts: adds the images below folder to run.image_count and records the
// sub-folders, passing over left_out as the run will. The caller sets both counts to 0 first.
void folder_scan(RunState& run, const std::string& folder, const std::optional<FileIdentity>& left_out = std::nullopt,
                 const InputKinds& kinds = {});

// "Found N images in M folders" after a scan (the input folder itself is one of the M).
std::string scan_summary(const RunState& run);

// Rescans input_root (both counts restart at 0), then fills run.output_folders with each
// sub-folder's mirror under output_root and creates those folders in list order, parents
// first. Folders that exist already or cannot be created are passed over. No file is touched.
// The rescan hands every image file it meets to on_image_file, every folder it cannot list to
// on_unreadable_folder, and leaves left_out out.
void output_tree(RunState& run, const std::string& input_root, const std::string& output_root,
                 const ImageFileCallback& on_image_file = {},
                 const std::optional<FileIdentity>& left_out = std::nullopt,
                 const FolderCallback& on_unreadable_folder = {}, const InputKinds& kinds = {});

// path with its leading from replaced by to; path unchanged when it does not start with from.
// Only the start is replaced, so a deeper folder that happens to share the root's text stays.
std::string replace_leading_root(const std::string& path, const std::string& from, const std::string& to);

// path with every run of consecutive separators reduced to one.
std::string collapse_separators(const std::string& path);

// The source and output paths of image file name in a walked folder: folder + "/" + name, the
// output made by replacing the leading input root by the output root, both collapsed.
// With roots "/in/" and "/out/", folder "/in//a" and name "x.jpg" give "/in/a/x.jpg" and
// "/out/a/x.jpg".
struct ImagePaths {
    std::string source;
    std::string output;
};
ImagePaths image_paths(const std::string& folder, const std::string& name, const std::string& input_root,
                       const std::string& output_root);

} // namespace pictavo
