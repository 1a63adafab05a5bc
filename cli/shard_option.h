// SPDX-License-Identifier: GPL-3.0-or-later
// The shard of a run as the command line gives it: "K/N", or "auto" for the index (and count)
// that the scheduler running this task put in its environment.
#pragma once

#include "app/shard.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace pictavo {

// What a K/N or the environment gave: the shard, or one line saying what is wrong.
struct ShardChoice {
    std::optional<Shard> shard;
    std::string source; // for auto: the variables (and options) it was taken from
    std::string error;
};

// "K/N" in plain decimal digits, 0 <= K < N <= SHARD_COUNT_MAXIMUM.
ShardChoice parse_shard(const std::string& text);

// A count given on its own (--shard-count N), 1..SHARD_COUNT_MAXIMUM; nothing when malformed.
std::optional<std::uint32_t> parse_shard_count(const std::string& text);

// Reads a variable of the environment; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The shard from the first scheduler whose index variable is set, in this order: our own
// PICTAVO_SHARD_INDEX/_COUNT, Slurm's SLURM_ARRAY_TASK_ID/_COUNT (the count trusted only
// for an array that runs 0..COUNT-1), AWS Batch's AWS_BATCH_JOB_ARRAY_INDEX/_SIZE,
// Kubernetes' JOB_COMPLETION_INDEX (no count), Cloud Run's CLOUD_RUN_TASK_INDEX/_COUNT and
// Google Cloud Batch's BATCH_TASK_INDEX/_COUNT. count_given (--shard-count) replaces the
// count; without a count that can be trusted it is needed.
ShardChoice shard_from_environment(const EnvironmentLookup& variable, std::optional<std::uint32_t> count_given);

// "shard K of N"
std::string shard_name(const Shard& shard);

} // namespace pictavo
