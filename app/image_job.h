// SPDX-License-Identifier: GPL-3.0-or-later
// One source image file into one output file: decode, resize by the selected mode, encode in
// the source's own format, then optionally hand the output to the compression service.
#pragma once

#include "app/front_end.h"
#include "app/settings.h"

#include <cstdint>
#include <string>

namespace pictavo {

// What the image job works with besides the two paths.
struct JobContext {
    const JobSettings& settings;
    RunState& run;
    FrontEnd& front_end;
    std::string shrink_endpoint; // where the compression service takes uploads
};

enum class ImageOutcome {
    Written,     // the output file holds the processed image (or the copy)
    Failed,      // not decodable, or the save or copy failed; nothing was written
    NotAnImage,  // the name has none of the image extensions; nothing was tried
};

// The encoder for a path by its lower-cased extension: JPEG for jpg and jpeg, PNG for png,
// 0 for anything else.
std::uint32_t encoder_for(const std::string& path);

// Runs the job on two full paths. Advances the processed count and the progress whatever the
// outcome; the compression step runs only for an output that was written, and only while no
// exchange of this run has failed.
ImageOutcome image_job(JobContext& context, const std::string& source_path, const std::string& output_path);

} // namespace pictavo
