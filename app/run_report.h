// SPDX-License-Identifier: GPL-3.0-or-later
// What a run did: its totals, every image's result in walk order, and the final text.
#pragma once

#include "app/image_task.h"

#include <cstdint>
#include <limits>
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

// How many failed files the window's final message names.
constexpr std::size_t FAILED_PATHS_SHOWN = 10;
constexpr std::size_t EVERY_FAILED_PATH = std::numeric_limits<std::size_t>::max();

struct RunReport {
    RunOutcome outcome = RunOutcome::Refused;
    std::int64_t processed = 0;            // images the run went through, failed and skipped ones included
    std::int64_t failed = 0;               // images for which counts_as_failed holds
    std::int64_t skipped = 0;              // images whose output existed and was left alone
    std::int64_t kept = 0;                 // images whose source's bytes were kept as the output
    bool service_failed = false;           // an exchange with the compression service failed
    bool stopped = false;                  // the stop flag ended the run before its last image
    std::int64_t folder_count = 0;         // sub-folders walked
    std::vector<ImageRecord> images;       // every entry of the plan, in walk order
    int workers = 0;
    int metadata_tool_starts = 0;          // processes of the metadata tool started
    long long compression_count = -1;      // the service's highest Compression-Count; -1: none
    int temporaries_removed = 0;           // abandoned temporary files removed at the start
};

// The bytes of the sources whose outputs this run put in place (written or kept), and of those
// outputs.
struct ByteTotals {
    std::int64_t source_bytes = 0;
    std::int64_t output_bytes = 0;
    std::int64_t images = 0; // the images counted
};
ByteTotals byte_totals(const RunReport& report);
// Adds one image's bytes when its output was put in place and both sizes are known.
void add_bytes(ByteTotals& totals, const ImageResult& result);

// The image's result as reports name it: "written", "kept", "skipped", "failed" (which
// counts_as_failed decides) or "not_processed".
const char* result_name(const ImageResult& result);

// "Saved 41.2 MB of 97.9 MB (42 %)." for the totals, or the growth when the outputs are larger;
// empty when no output was put in place.
std::string savings_line(const ByteTotals& totals);

// Failed: nothing was written, or a step the user asked for (metadata, dates) did not happen
// on the written output. A failed service exchange leaves a good output and has a message of
// its own, so it does not count here.
bool counts_as_failed(const ImageResult& result);

// "PATH: REASON" for a failed image.
std::string failure_line(const ImageRecord& record);

// The text of the final information message: "N Images done." (or "Stopped: N of M images
// done." for a stopped run), how many were skipped, how many failed with the first
// failures_listed of them and their reasons, the service's count of compressions, how many
// sources were kept, and the bytes saved.
std::string final_message(const RunReport& report, std::size_t failures_listed = FAILED_PATHS_SHOWN);

} // namespace pictavo
