// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run: the checks, the output tree, the walk over the input tree with the image job,
// the metadata and date copies of each image, and the closing messages.
//
// Everything the user sees goes through the front end, so the window and the command line run
// the same code.
#pragma once

#include "app/front_end.h"
#include "app/settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

constexpr const char* DEFAULT_SHRINK_ENDPOINT = "https://api.tinify.com/shrink";

enum class RunOutcome {
    Refused,  // a check failed; its message was shown and nothing was changed
    Declined, // the question about writing into the input tree was answered No
    Finished, // the walk ran and the final message was shown
};

struct RunReport {
    RunOutcome outcome = RunOutcome::Refused;
    std::int64_t processed = 0;
    std::int64_t failed = 0;
    std::vector<std::string> failed_paths; // the first ten, relative to the input folder
    bool service_failed = false;
};

// How many failed files the final message names.
constexpr std::size_t FAILED_PATHS_SHOWN = 10;

// Where the output folder lies relative to the input folder. Links are followed, so two
// spellings of one folder are the same folder.
enum class OutputPlace { Apart, SameFolder, InsideInput };
OutputPlace output_place(const std::string& input_folder, const std::string& output_folder);

// The text of the final information message.
std::string final_message(const RunReport& report);

// Runs a batch over the settings' folders with the state's last scan count.
RunReport batch_run(AppState& state, FrontEnd& front_end,
                    const std::string& shrink_endpoint = DEFAULT_SHRINK_ENDPOINT);

} // namespace pictavo
