// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of pictavo-cli: what it accepts, its defaults and its help text.
#pragma once

#include "app/batch_run.h"
#include "app/settings.h"
#include "app/shard.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

struct CliOptions {
    std::string input_folder;
    std::string output_folder;
    int mode = RESIZE_NORMAL;
    int size = 1000;                 // the longer side of "Normal Resize"
    int fill_width = 1000;
    int fill_height = 667;
    int uniform_width = 1000;
    int uniform_height = 667;
    int quality = 6;
    bool exif = false;
    bool dates = false;
    bool keep_orientation = false;
    bool tinify = false;
    bool key_given = false;
    std::string key;
    std::string service_url = DEFAULT_SHRINK_ENDPOINT;
    bool yes = false;
    bool quiet = false;
    int jobs = 0;                    // workers; 0: one per usable processor
    bool skip_existing = false;
    bool update = false;             // --update: like --skip-existing, redoing outputs older than their source
    std::string report_path;         // --report FILE; empty for none. May hold {shard} and {count}
    std::optional<Shard> shard;      // --shard K/N
    bool shard_auto = false;         // --shard auto: from the scheduler's environment
    std::optional<std::uint32_t> shard_count; // --shard-count N, with --shard auto
    std::string files_from;          // --files-from FILE, "-" for standard input; empty: walk the tree
    bool null_separated = false;     // --null: the list's entries end with NUL, not a line break
    CompressionSettings compression; // --optimize, --png-palette, --only-smaller, --max-size
    std::string max_size_text;       // --max-size as given, for the report
    OutputFormat format = OutputFormat::Same; // --format
    InputKinds inputs;               // --inputs
    bool lossless = false;           // --lossless
    std::string progress;            // --progress bar|lines|none; empty: by where standard error goes
};

// The environment variable that may hold the service key instead of --key.
constexpr const char* KEY_VARIABLE = "PICTAVO_TINIFY_KEY";

enum class CliAction { Run, Help, Version, UsageError };

struct CliParse {
    CliAction action = CliAction::UsageError;
    CliOptions options;
    std::string error; // for UsageError: one line saying what is wrong
};

// Reads the arguments after the program name. Sizes and the quality outside their ranges,
// malformed numbers, unknown options and a wrong number of folders are usage errors.
CliParse parse_cli_arguments(const std::vector<std::string>& arguments);

std::string cli_help_text();

} // namespace pictavo
