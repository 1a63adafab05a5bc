// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

CliParse parse(std::vector<std::string> arguments)
{
    return parse_cli_arguments(arguments);
}

TEST(CliOptions, DefaultsAreTheWindowsDefaults)
{
    const CliParse parsed = parse({"in", "out"});
    ASSERT_EQ(parsed.action, CliAction::Run);
    const CliOptions& o = parsed.options;
    EXPECT_EQ(o.input_folder, "in");
    EXPECT_EQ(o.output_folder, "out");
    EXPECT_EQ(o.mode, 1);
    EXPECT_EQ(o.size, 1000);
    EXPECT_EQ(o.fill_width, 1000);
    EXPECT_EQ(o.fill_height, 667);
    EXPECT_EQ(o.uniform_width, 1000);
    EXPECT_EQ(o.uniform_height, 667);
    EXPECT_EQ(o.quality, 6);
    EXPECT_FALSE(o.exif || o.dates || o.tinify || o.key_given || o.yes || o.quiet);
    EXPECT_EQ(o.service_url, "https://api.tinify.com/shrink");
    EXPECT_EQ(o.jobs, 0); // one worker per usable processor
}

TEST(CliOptions, EveryOptionInBothSpellings)
{
    const std::string key(32, 'k');
    const CliParse parsed = parse({"--mode", "uniform", "--size=12", "--fill", "8000x12", "--uniform=300X600",
                                   "--quality", "10", "--exif", "--dates", "--tinify", "--key", key,
                                   "--service-url=http://127.0.0.1:9/shrink", "-y", "--quiet", "--jobs=3", "--", "-in", "out"});
    ASSERT_EQ(parsed.action, CliAction::Run) << parsed.error;
    const CliOptions& o = parsed.options;
    EXPECT_EQ(o.mode, 5);
    EXPECT_EQ(o.size, 12);
    EXPECT_EQ(o.fill_width, 8000);
    EXPECT_EQ(o.fill_height, 12);
    EXPECT_EQ(o.uniform_width, 300);
    EXPECT_EQ(o.uniform_height, 600);
    EXPECT_EQ(o.quality, 10);
    EXPECT_TRUE(o.exif && o.dates && o.tinify && o.key_given && o.yes && o.quiet);
    EXPECT_EQ(o.key, key);
    EXPECT_EQ(o.service_url, "http://127.0.0.1:9/shrink");
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.input_folder, "-in"); // after "--" a leading dash is a folder name

    const int modes[] = {0, 1, 2, 3, 5};
    const char* names[] = {"keep", "normal", "fill", "upload", "uniform"};
    for (int i = 0; i < 5; ++i) {
        const CliParse one = parse({"--tinify", "--mode", names[i], "a", "b"});
        ASSERT_EQ(one.action, CliAction::Run) << names[i];
        EXPECT_EQ(one.options.mode, modes[i]);
    }
}

TEST(CliOptions, OutOfRangeAndMalformedValuesAreRefused)
{
    const std::vector<std::vector<std::string>> refused = {
        {"--size", "11", "a", "b"},      {"--size", "8001", "a", "b"},    {"--size", "0", "a", "b"},
        {"--size", "-5", "a", "b"},      {"--size", "12px", "a", "b"},    {"--size", "", "a", "b"},
        {"--size", "99999999999", "a", "b"}, {"--quality", "0", "a", "b"}, {"--quality", "11", "a", "b"},
        {"--fill", "1000", "a", "b"},    {"--fill", "11x500", "a", "b"},  {"--uniform", "500x8001", "a", "b"},
        {"--uniform", "x", "a", "b"},    {"--mode", "crop", "a", "b"},    {"--key", "short", "a", "b"},
        {"--mode", "upload", "a", "b"},  {"--exif=1", "a", "b"},          {"--frobnicate", "a", "b"},
        {"a"},                           {"a", "b", "c"},                 {"--size"},
        {"--service-url=", "a", "b"},
    };
    for (const auto& arguments : refused) {
        const CliParse parsed = parse(arguments);
        EXPECT_EQ(parsed.action, CliAction::UsageError) << arguments[0] << " " << (arguments.size() > 1 ? arguments[1] : "");
        EXPECT_FALSE(parsed.error.empty());
    }
    EXPECT_NE(parse({"--size", "9000", "a", "b"}).error.find("12 to 8000"), std::string::npos);
    // A range error does not leave a half-changed pair behind.
    EXPECT_EQ(parse({"--fill", "500x1", "a", "b"}).options.fill_width, 1000);
}

TEST(CliOptions, LocalCompressionOptionsAndTheSizeLimitsTheyAccept)
{
    const CliParse none = parse({"a", "b"});
    EXPECT_EQ(none.options.compression, CompressionSettings{}); // off: the plain outputs

    const CliParse all = parse({"--optimize", "--png-palette", "--only-smaller", "--max-size", "200K", "a", "b"});
    ASSERT_EQ(all.action, CliAction::Run) << all.error;
    EXPECT_TRUE(all.options.compression.optimize && all.options.compression.png_palette
                && all.options.compression.only_smaller);
    EXPECT_EQ(all.options.compression.size_limit, 200 * 1024);

    const std::pair<const char*, std::int64_t> accepted[] = {
        {"1024", 1024}, {"1K", 1024}, {"1k", 1024}, {"3m", 3 << 20}, {"256M", 256LL << 20}, {"150000", 150000},
    };
    for (const auto& [text, bytes] : accepted) {
        const CliParse parsed = parse({std::string("--max-size=") + text, "a", "b"});
        ASSERT_EQ(parsed.action, CliAction::Run) << text << ": " << parsed.error;
        EXPECT_EQ(parsed.options.compression.size_limit, bytes) << text;
    }
    for (const char* text : {"0", "-5", "1023", "abc", "", "200 K", "200KB", "1.5M", "257M", "2G", "99999999999999999"}) {
        const CliParse parsed = parse({"--max-size", text, "a", "b"});
        EXPECT_EQ(parsed.action, CliAction::UsageError) << "'" << text << "'";
        EXPECT_NE(parsed.error.find("1K to 256M"), std::string::npos) << parsed.error;
    }
    // Copied originals are never encoded, so asking to compress them is a mistake worth saying.
    EXPECT_EQ(parse({"--tinify", "--mode", "upload", "--optimize", "a", "b"}).action, CliAction::UsageError);
    EXPECT_EQ(parse({"--tinify", "--mode", "upload", "--max-size", "9K", "a", "b"}).action, CliAction::UsageError);
}

TEST(CliOptions, FormatInputsAndLosslessTakeTheirNamesAndWhatTheyNeed)
{
    const CliParse plain = parse({"a", "b"});
    EXPECT_EQ(plain.options.format, OutputFormat::Same);
    EXPECT_EQ(plain.options.inputs, InputKinds{});
    EXPECT_FALSE(plain.options.lossless);

    const CliParse all = parse({"--format", "webp", "--inputs=jpeg,png,webp,avif", "--lossless", "a", "b"});
    ASSERT_EQ(all.action, CliAction::Run) << all.error;
    EXPECT_EQ(all.options.format, OutputFormat::Webp);
    EXPECT_EQ(all.options.inputs, EVERY_INPUT_KIND);
    EXPECT_TRUE(all.options.lossless);
    EXPECT_EQ(parse({"--format=avif", "a", "b"}).options.format, OutputFormat::Avif);
    EXPECT_EQ(parse({"--inputs", "avif,png", "a", "b"}).options.inputs, (InputKinds{false, true, false, true}));

    const std::vector<std::vector<std::string>> refused = {
        {"--format", "gif", "a", "b"},         {"--format", "WEBP", "a", "b"},
        {"--inputs", "", "a", "b"},            {"--inputs", "jpeg,,png", "a", "b"},
        {"--inputs", "jpg", "a", "b"},         {"--lossless", "a", "b"},
        {"--format", "avif", "--lossless", "a", "b"},
        {"--tinify", "--mode", "upload", "--format", "png", "a", "b"},
        {"--report", "run.webp", "a", "b"},    {"--report", "run.AVIF", "a", "b"},
    };
    for (const auto& arguments : refused) {
        const CliParse parsed = parse(arguments);
        EXPECT_EQ(parsed.action, CliAction::UsageError) << arguments[0] << " " << arguments[1];
        EXPECT_FALSE(parsed.error.empty());
    }
    EXPECT_EQ(parse({"--tinify", "--mode", "upload", "--format", "same", "a", "b"}).action, CliAction::Run);
}

TEST(CliOptions, HelpAndVersionWinOverEverythingElse)
{
    EXPECT_EQ(parse({"--help"}).action, CliAction::Help);
    EXPECT_EQ(parse({"--size", "1", "-h"}).action, CliAction::UsageError); // stops at the first error
    EXPECT_EQ(parse({"a", "--help", "b", "c"}).action, CliAction::Help);
    EXPECT_EQ(parse({"--version"}).action, CliAction::Version);
    const std::string help = cli_help_text();
    for (const char* option : {"--mode", "--size", "--fill", "--uniform", "--quality", "--exif", "--dates",
                               "--tinify", "--key", "--service-url", "--yes", "--quiet", "--version", "Exit status",
                               "--optimize", "--png-palette", "--max-size", "--only-smaller", "--format",
                               "--inputs", "--lossless"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(CliOptions, KeyLengthCountsUtf16Units)
{
    EXPECT_EQ(parse({"--key", std::string(30, 'a') + "\xF0\x9F\x98\x80", "a", "b"}).action, CliAction::Run);
    EXPECT_EQ(parse({"--key", std::string(31, 'a') + "\xC3\xA9\xC3\xA9", "a", "b"}).action, CliAction::UsageError);
}

} // namespace
} // namespace pictavo
