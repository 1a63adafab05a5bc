// SPDX-License-Identifier: GPL-3.0-or-later
// The first stage of a run: scan the input tree, build the output tree, then fix the complete
// list of images to process, in walk order, before the first image is written.
#pragma once

#include "app/failure_reason.h"
#include "app/image_formats.h"
#include "sys/files.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

// Where the output folder lies relative to the input folder. Links are followed, so two
// spellings of one folder are the same folder.
enum class OutputPlace { Apart, SameFolder, InsideInput };
OutputPlace output_place(const std::string& input_folder, const std::string& output_folder);

// The folder a walk of input_folder leaves out: the output folder when it lies inside the
// input tree (what the run writes is never taken as input), else none.
std::optional<FileIdentity> folder_left_out(const std::string& input_folder, const std::string& output_folder);

struct PlannedImage {
    std::string source_path;
    std::string output_path;
    std::string relative_path; // the source path below the input folder, e.g. "sub/x.jpg"
    // An entry the run cannot handle at all fails with this reason without being opened: an
    // image whose source path, output path, or the path of the temporary its output is first
    // written to, this host cannot name (PathTooLong); an image whose output is the same file
    // as another image's (SameOutput, see refuse_shared_outputs); or a folder of the tree that
    // cannot be listed (FolderUnreadable, or PathTooLong; its relative path then ends with '/').
    FailureReason refused = FailureReason::None;
};

// What a plan reads and writes: the kinds of source files and the format of every output.
struct PlanFormats {
    InputKinds inputs;
    OutputFormat output = OutputFormat::Same;
};

struct RunPlan {
    std::vector<PlannedImage> images; // in walk order
    std::int64_t folder_count = 0;    // sub-folders walked (the input folder itself not counted)
    // The folders the run writes into: the output root, then the mirror of every sub-folder.
    std::vector<std::string> output_folders;
};

// Scans input_root for image files of the input kinds, mirrors its sub-folders under
// output_root (creating them, parents first) and lists its images with their output paths in
// the output format (a second image of one output file refused, see refuse_shared_outputs),
// and the folders it cannot list where they stand in the walk. An output folder inside the
// input tree is left out of the scan with everything in it, so nothing the run writes is taken
// as input and its folders are not mirrored into themselves.
RunPlan plan_run(const std::string& input_root, const std::string& output_root, const PlanFormats& formats = {});

// Refuses (SameOutput) every image whose output is the same file as another image's output:
// the same name in the same folder, however the folders are spelt (a link in the output tree,
// "a/../b"), so that no output silently replaces another's, x.jpg and x.png both written as
// x.webp among them. The image that writes over its own source (a run into the input folder)
// keeps the file, since any other would replace a source before it is read; otherwise the first
// in walk order does. Images refused already take no part.
void refuse_shared_outputs(std::vector<PlannedImage>& images);

// path below root (separators collapsed as in the paths of a plan); path itself when it does
// not start with root.
std::string relative_to(const std::string& path, const std::string& root);

} // namespace pictavo
