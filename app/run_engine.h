// SPDX-License-Identifier: GPL-3.0-or-later
// The working part of a run: plan, then execute on a pool of workers, reporting through events.
//
// Each worker takes the next image of the plan, takes it through all its steps (the output,
// the compression service, the metadata copy, the file dates) and takes the next, so at most
// one image per worker is decoded at a time. The workers share only the plan and the settings
// (read-only), the index of the next image and the upload gate (atomic or locked); each keeps
// its own metadata tool, and each image's result is written by the one worker that ran it.
#pragma once

#include "app/metadata_tool.h"
#include "app/run_events.h"
#include "app/settings.h"
#include "app/shard.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

constexpr const char* DEFAULT_SHRINK_ENDPOINT = "https://api.tinify.com/shrink";

// Each worker may hold a decoded image and a metadata tool, so a mistyped count must not start
// thousands of them; no machine this program runs on has more cores than this.
constexpr int WORKERS_MAXIMUM = 256;

// How a run is carried out, beyond the job settings.
struct RunOptions {
    std::string shrink_endpoint = DEFAULT_SHRINK_ENDPOINT;
    int workers = 0; // 0: one per processor this process may use
    std::chrono::milliseconds metadata_time_limit = METADATA_TOOL_TIME_LIMIT;
    // Looked at before each image is started (never inside one): once true, no further image
    // starts, those in progress finish, and the report says the run was stopped.
    const std::atomic<bool>* stop = nullptr;
    // An image whose output exists (a regular file) is left alone: not written, sent, tagged or
    // dated, and counted as skipped. A stopped run resumes this way.
    bool skip_existing = false;
    // Like skip_existing, except that an output whose source was modified after it (in whole
    // seconds, as the file dates are copied) is done again.
    bool update = false;
    // The run takes only the images of this shard, and removes only their abandoned temporaries.
    std::optional<Shard> shard;
    // The images to process as paths below the input folder, instead of a walk of the tree.
    std::shared_ptr<const std::vector<std::string>> listed_images;
};

// The workers for a run of images: the requested number (or the usable processors for 0),
// no more than there are images and WORKERS_MAXIMUM, at least one.
int worker_count(int requested, std::size_t images);

// Plans and executes the run on the calling thread and the workers it starts. Once the plan is
// made, the abandoned temporary files in every folder the run writes into are removed; then it
// posts RunStarted, ImageFinished for every image as it finishes, and RunFinished with the
// report after every worker has ended. The folders must have passed the run's checks.
void execute_run(const JobSettings& job, const RunOptions& options, RunEventQueue& events);

} // namespace pictavo
