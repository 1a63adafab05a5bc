// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/shard_option.h"

#include <array>

namespace pictavo {
namespace {

// Slurm's count is the number of tasks in the array, which is the N of the run only when the
// array is 0..N-1: an array of the failed indices (--array=5,9) counts 2.
enum class CountMeaning { ShardCount, ArraySize };

// A scheduler's pair of variables; count is nullptr where it sets none.
struct ShardVariables {
    const char* index;
    const char* count;
    CountMeaning meaning = CountMeaning::ShardCount;
};
constexpr std::array<ShardVariables, 6> SCHEDULER_VARIABLES = {{
    {"PICTAVO_SHARD_INDEX", "PICTAVO_SHARD_COUNT"},
    {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_COUNT", CountMeaning::ArraySize},
    {"AWS_BATCH_JOB_ARRAY_INDEX", "AWS_BATCH_JOB_ARRAY_SIZE"},
    {"JOB_COMPLETION_INDEX", nullptr},
    {"CLOUD_RUN_TASK_INDEX", "CLOUD_RUN_TASK_COUNT"},
    {"BATCH_TASK_INDEX", "BATCH_TASK_COUNT"},
}};
constexpr const char* SLURM_ARRAY_MINIMUM = "SLURM_ARRAY_TASK_MIN";
constexpr const char* SLURM_ARRAY_MAXIMUM = "SLURM_ARRAY_TASK_MAX";

// Plain decimal digits that fit the shard numbers; a longer text is out of range anyway.
std::optional<std::uint64_t> digits_value(const std::string& text)
{
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::string count_problem(std::uint64_t count)
{
    if (count == 0)
        return "there must be at least one shard (N >= 1)";
    if (count > SHARD_COUNT_MAXIMUM)
        return "at most " + std::to_string(SHARD_COUNT_MAXIMUM) + " shards, not " + std::to_string(count);
    return {};
}

// The shard of a checked index and count, or why there is none.
ShardChoice shard_of(std::uint64_t index, std::uint64_t count, const std::string& context)
{
    ShardChoice choice;
    if (const std::string problem = count_problem(count); !problem.empty())
        choice.error = context + ": " + problem;
    else if (index >= count)
        choice.error = context + ": shard indices run 0.." + std::to_string(count - 1) + " for " +
                       std::to_string(count) + " shards, so " + std::to_string(index) + " is none of them";
    else
        choice.shard = Shard{static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(count)};
    return choice;
}

std::optional<std::string> value_of(const EnvironmentLookup& variable, const char* name)
{
    const char* value = name != nullptr ? variable(name) : nullptr;
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

bool slurm_array_runs_from_zero(const EnvironmentLookup& variable, std::uint64_t count)
{
    const auto minimum = value_of(variable, SLURM_ARRAY_MINIMUM);
    const auto maximum = value_of(variable, SLURM_ARRAY_MAXIMUM);
    return minimum && maximum && digits_value(*minimum) == 0u && digits_value(*maximum) == count - 1;
}

// Why the scheduler's count cannot be taken as the run's N; "" when it can.
std::string count_distrust(const EnvironmentLookup& variable, const ShardVariables& pair)
{
    if (pair.count == nullptr)
        return "this scheduler gives no count of shards";
    const auto text = value_of(variable, pair.count);
    if (!text)
        return std::string(pair.count) + " is not";
    const auto count = digits_value(*text);
    if (!count)
        return std::string(pair.count) + " is '" + *text + "', not a whole number";
    if (pair.meaning == CountMeaning::ArraySize && *count > 0 && !slurm_array_runs_from_zero(variable, *count))
        return "the array does not run 0.." + std::to_string(*count - 1) + ", so its count is not the run's";
    return {};
}

} // namespace

ShardChoice parse_shard(const std::string& text)
{
    const auto slash = text.find('/');
    const auto index = slash == std::string::npos ? std::nullopt : digits_value(text.substr(0, slash));
    const auto count = slash == std::string::npos ? std::nullopt : digits_value(text.substr(slash + 1));
    if (!index || !count) {
        ShardChoice choice;
        choice.error = "--shard takes K/N (shard K of N, counted from 0, for example 0/4) or auto, not '" + text + "'";
        return choice;
    }
    return shard_of(*index, *count, "--shard " + text);
}

std::optional<std::uint32_t> parse_shard_count(const std::string& text)
{
    const auto count = digits_value(text);
    if (!count || !count_problem(*count).empty())
        return std::nullopt;
    return static_cast<std::uint32_t>(*count);
}

ShardChoice shard_from_environment(const EnvironmentLookup& variable, std::optional<std::uint32_t> count_given)
{
    for (const ShardVariables& pair : SCHEDULER_VARIABLES) {
        const auto index_text = value_of(variable, pair.index);
        const auto count_text = value_of(variable, pair.count);
        if (!index_text && count_text)
            return {std::nullopt, {},
                    "--shard auto: " + std::string(pair.count) + " is set but " + pair.index + " is not"};
        if (!index_text)
            continue;
        const std::string index_name = pair.index;
        const auto index = digits_value(*index_text);
        if (!index)
            return {std::nullopt, {}, "--shard auto: " + index_name + " is '" + *index_text + "', not a whole number"};
        if (count_given) {
            ShardChoice choice = shard_of(*index, *count_given, "--shard auto with " + index_name);
            choice.source = index_name + " and --shard-count";
            return choice;
        }
        if (const std::string distrust = count_distrust(variable, pair); !distrust.empty())
            return {std::nullopt, {},
                    "--shard auto: " + index_name + " is set, but " + distrust
                        + "; give the run's N with --shard-count N"};
        const auto count = digits_value(*count_text);
        ShardChoice choice = shard_of(*index, *count, "--shard auto with " + index_name + " and " + pair.count);
        choice.source = index_name + " and " + pair.count;
        return choice;
    }
    std::string names;
    for (const ShardVariables& pair : SCHEDULER_VARIABLES)
        names += std::string(names.empty() ? "" : ", ") + pair.index;
    return {std::nullopt, {}, "--shard auto found no shard index in the environment (looked for " + names + ")"};
}

std::string shard_name(const Shard& shard)
{
    return "shard " + std::to_string(shard.index) + " of " + std::to_string(shard.count);
}

} // namespace pictavo
