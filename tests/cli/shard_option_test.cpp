// SPDX-License-Identifier: GPL-3.0-or-later
// The shard on the command line and from a scheduler's environment, the options that go with
// it, and the reader that takes the shards' reports back in.
#include "cli/cli_options.h"
#include "cli/cli_selection.h"
#include "cli/json_reader.h"
#include "cli/shard_option.h"

#include <gtest/gtest.h>

#include <map>

namespace pictavo {
namespace {

using Environment = std::map<std::string, std::string>;

ShardChoice from(const Environment& environment, std::optional<std::uint32_t> count_given = std::nullopt)
{
    return shard_from_environment(
        [&environment](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        },
        count_given);
}

TEST(ShardOption, KOfNIsCheckedAndTheEnvironmentIsReadAsTheSchedulersSetIt)
{
    EXPECT_EQ(parse_shard("0/4").shard, (Shard{0, 4}));
    EXPECT_EQ(parse_shard("999999/1000000").shard, (Shard{999999, 1000000}));
    const struct {
        const char* text;
        const char* said;
    } refused[] = {
        {"4/4", "0..3"},       {"9/3", "0..2"},          {"0/0", "at least one"}, {"0/1000001", "at most 1000000"},
        {"1", "K/N"},          {"a/4", "K/N"},           {"-1/4", "K/N"},         {"1/4/2", "K/N"},
        {"/4", "K/N"},         {" 1/4", "K/N"},          {"", "K/N"},             {"0/99999999999999", "K/N"},
    };
    for (const auto& [text, said] : refused) {
        const ShardChoice choice = parse_shard(text);
        EXPECT_FALSE(choice.shard) << text;
        EXPECT_NE(choice.error.find(said), std::string::npos) << text << ": " << choice.error;
    }

    const Environment slurm = {{"SLURM_ARRAY_TASK_ID", "3"}, {"SLURM_ARRAY_TASK_COUNT", "4"},
                               {"SLURM_ARRAY_TASK_MIN", "0"}, {"SLURM_ARRAY_TASK_MAX", "3"}};
    // An array of only the failed indices: its count is not the run's N.
    const Environment slurm_rerun = {{"SLURM_ARRAY_TASK_ID", "9"}, {"SLURM_ARRAY_TASK_COUNT", "2"},
                                     {"SLURM_ARRAY_TASK_MIN", "5"}, {"SLURM_ARRAY_TASK_MAX", "9"}};
    const struct {
        Environment environment;
        std::optional<std::uint32_t> count_given;
        std::optional<Shard> shard;
        const char* said; // the source, or a piece of the error
    } cases[] = {
        {slurm, {}, Shard{3, 4}, "SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT"},
        {slurm_rerun, {}, {}, "--shard-count"},
        {slurm_rerun, 16, Shard{9, 16}, "SLURM_ARRAY_TASK_ID and --shard-count"},
        {{{"PICTAVO_SHARD_INDEX", "1"}, {"PICTAVO_SHARD_COUNT", "2"}, {"SLURM_ARRAY_TASK_ID", "0"}}, {}, Shard{1, 2},
         "PICTAVO_SHARD_INDEX"},
        {{{"JOB_COMPLETION_INDEX", "5"}}, {}, {}, "gives no count"},
        {{{"JOB_COMPLETION_INDEX", "5"}}, 8, Shard{5, 8}, "JOB_COMPLETION_INDEX and --shard-count"},
        {{{"JOB_COMPLETION_INDEX", "8"}}, 8, {}, "0..7"},
        {{{"AWS_BATCH_JOB_ARRAY_INDEX", "2"}, {"AWS_BATCH_JOB_ARRAY_SIZE", "10"}}, {}, Shard{2, 10}, "AWS_BATCH"},
        {{{"AWS_BATCH_JOB_ARRAY_INDEX", "2"}}, {}, {}, "AWS_BATCH_JOB_ARRAY_SIZE is not"},
        {{{"CLOUD_RUN_TASK_INDEX", "0"}, {"CLOUD_RUN_TASK_COUNT", "3"}}, {}, Shard{0, 3}, "CLOUD_RUN"},
        {{{"BATCH_TASK_INDEX", "6"}, {"BATCH_TASK_COUNT", "7"}}, {}, Shard{6, 7}, "BATCH_TASK_INDEX"},
        {{{"BATCH_TASK_INDEX", "7"}, {"BATCH_TASK_COUNT", "7"}}, {}, {}, "0..6"},
        {{{"PICTAVO_SHARD_COUNT", "4"}}, {}, {}, "PICTAVO_SHARD_INDEX is not"},
        {{{"PICTAVO_SHARD_INDEX", "x"}, {"PICTAVO_SHARD_COUNT", "4"}}, {}, {}, "not a whole number"},
        {{{"PICTAVO_SHARD_INDEX", "1"}, {"PICTAVO_SHARD_COUNT", "0"}}, {}, {}, "at least one"},
        {{{"PICTAVO_SHARD_INDEX", ""}, {"HOME", "/root"}}, {}, {}, "found no shard index"},
    };
    for (const auto& expected : cases) {
        const ShardChoice choice = from(expected.environment, expected.count_given);
        EXPECT_EQ(choice.shard, expected.shard) << expected.said;
        const std::string& told = expected.shard ? choice.source : choice.error;
        EXPECT_NE(told.find(expected.said), std::string::npos) << expected.said << ": " << told;
    }
}

TEST(ShardOption, OptionsThatGoTogetherAndAReportNamedForEachShard)
{
    const CliParse sharded = parse_cli_arguments({"--shard", "2/5", "--files-from", "-", "-0", "--update", "a", "b"});
    ASSERT_EQ(sharded.action, CliAction::Run) << sharded.error;
    EXPECT_EQ(sharded.options.shard, (Shard{2, 5}));
    EXPECT_EQ(sharded.options.files_from, "-");
    EXPECT_TRUE(sharded.options.null_separated && sharded.options.update);
    const CliParse automatic = parse_cli_arguments({"--shard=auto", "--shard-count", "64", "a", "b"});
    EXPECT_TRUE(automatic.options.shard_auto);
    EXPECT_EQ(automatic.options.shard_count, 64u);

    const struct {
        std::vector<std::string> arguments;
        const char* said;
    } refused[] = {
        {{"--shard", "3/3", "a", "b"}, "0..2"},
        {{"--shard-count", "4", "a", "b"}, "goes with --shard auto"},
        {{"--shard", "1/4", "--shard-count", "4", "a", "b"}, "goes with --shard auto"},
        {{"--shard", "auto", "--shard-count", "0", "a", "b"}, "1 to 1000000"},
        {{"--null", "a", "b"}, "goes with --files-from"},
        {{"--update", "--skip-existing", "a", "b"}, "cannot be used together"},
        {{"--files-from=", "a", "b"}, "needs a file"},
    };
    for (const auto& [arguments, said] : refused) {
        const CliParse parsed = parse_cli_arguments(arguments);
        EXPECT_EQ(parsed.action, CliAction::UsageError) << said;
        EXPECT_NE(parsed.error.find(said), std::string::npos) << parsed.error;
    }

    EXPECT_EQ(report_path_for("r-{shard}-of-{count}.json", Shard{7, 64}), "r-7-of-64.json");
    EXPECT_EQ(report_path_for("{shard}{shard}.json", Shard{1, 2}), "11.json");
    EXPECT_EQ(report_path_for("run-{shard}.json", std::nullopt), "run-0.json");
    EXPECT_EQ(report_path_for("plain.json", Shard{1, 2}), "plain.json");
}

TEST(JsonReader, ReadsWhatThisProgramWritesAndNothingLooser)
{
    const auto read = read_json(R"({"a": [1, -9223372036854775808, 9223372036854775807], "s": "\ud83d\ude00\u00e9\n",)"
                                R"( "t": true, "n": null})");
    ASSERT_TRUE(read);
    const JsonValue& numbers = *read->find("a");
    ASSERT_EQ(numbers.items.size(), 3u);
    EXPECT_EQ(numbers.items[1].integer, INT64_MIN);
    EXPECT_EQ(numbers.items[2].integer, INT64_MAX);
    EXPECT_EQ(read->find("s")->text, "\xF0\x9F\x98\x80\xC3\xA9\n");
    EXPECT_EQ(numbers.source, "[1, -9223372036854775808, 9223372036854775807]");
    EXPECT_TRUE(read->find("n")->is(JsonValue::Kind::Null));
    EXPECT_EQ(read->find("missing"), nullptr);

    for (const char* refused :
         {"", "{", "[1,]", R"({"a":1,"a":2})", "1.5", "1e3", "01", "-", "9223372036854775808", "-9223372036854775809",
          R"("\ud83d")", R"("\ude00")", "\"tab\there\"", R"("\x")", "[1] [2]", "nul", "{'a': 1}"})
        EXPECT_FALSE(read_json(refused)) << refused;
    EXPECT_TRUE(read_json(std::string(JSON_DEPTH_MAXIMUM + 1, '[') + std::string(JSON_DEPTH_MAXIMUM + 1, ']')));
    EXPECT_FALSE(read_json(std::string(JSON_DEPTH_MAXIMUM + 2, '[') + std::string(JSON_DEPTH_MAXIMUM + 2, ']')));
}

} // namespace
} // namespace pictavo
