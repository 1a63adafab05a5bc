// SPDX-License-Identifier: GPL-3.0-or-later
// What a run did: its totals, every image's result in walk order, and the final text.
#pragma once

#include "app/image_task.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

enum class RunOutcome {
    Refused,  // a check failed; its message was shown and nothing was changed
    Declined, // the question about writing into the input tree was answered No
    Finished, // the images were processed (or the run was stopped) and the final message shown
};

struct ImageRecord {
    std::string relative_path; // below the input folder
    ImageResult result;
};

// How many failed files the final message names.
constexpr std::size_t FAILED_PATHS_SHOWN = 10;

struct RunReport {
    RunOutcome outcome = RunOutcome::Refused;
    std::int64_t processed = 0;            // images the run went through, failed ones included
    std::int64_t failed = 0;               // images that were not written
    std::vector<std::string> failed_paths; // the first FAILED_PATHS_SHOWN of them, in walk order
    bool service_failed = false;           // an exchange with the compression service failed
    bool stopped = false;                  // the stop flag ended the run before its last image
    std::int64_t folder_count = 0;         // sub-folders walked
    std::vector<ImageRecord> images;       // every image of the plan, in walk order
    int workers = 0;
    int metadata_tool_starts = 0;          // processes of the metadata tool started
    long long compression_count = -1;      // the service's highest Compression-Count; -1: none
};

// The text of the final information message: "N Images done." and, when images failed, how
// many and the first of their paths.
std::string final_message(const RunReport& report);

} // namespace pictavo
