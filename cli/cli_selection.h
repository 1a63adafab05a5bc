// SPDX-License-Identifier: GPL-3.0-or-later
// What the options say about the images a run takes: its shard (from K/N or the scheduler's
// environment), the list of images instead of a walk, and the report's name for the shard.
#pragma once

#include "app/settings.h"
#include "cli/cli_options.h"
#include "cli/shard_option.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

struct CliSelection {
    std::optional<Shard> shard;
    std::string shard_source; // for --shard auto: where the shard came from
    std::shared_ptr<const std::vector<std::string>> listed_images;
    std::string report_path; // --report with {shard} and {count} replaced
    std::string error;       // a usage error, one line
};

// Resolves the shard, reads the list (from standard_input for "-") and names the report.
CliSelection select_images(const CliOptions& options, const EnvironmentLookup& variable, std::FILE* standard_input);

// path with every {shard} and {count} replaced by the shard's index and count (0 and 1 for a
// run of the whole tree), so that the shards of one run each write their own report.
std::string report_path_for(const std::string& path, const std::optional<Shard>& shard);

// The line before the run: the walk's "Found N images in M folders", counting the shard's
// images only and naming the shard, or what the list holds. For a walk, run gets the whole
// tree's counts, which the run's checks need.
std::string scan_line(const JobSettings& job, const CliOptions& options, const CliSelection& selection, RunState& run);

} // namespace pictavo
