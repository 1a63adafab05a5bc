// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/remembered_settings.h"
#include "test_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pictavo {
namespace {

TEST(RememberedSettings, EveryValueReadsBackFromTheFileAndOddFolderNamesSurvive)
{
    RememberedSettings settings;
    settings.input_folder = "/photos/with\nline break\\and backslash\r/";
    settings.output_folder = "/out put/";
    settings.resize_mode = RESIZE_UNIFORM;
    settings.normal_size_text = "  300px";
    settings.fill_width_text = "$1F4";
    settings.fill_height_text = "12";
    settings.uniform_width_text = "8000";
    settings.uniform_height_text = "a=b";
    settings.quality_text = "9";
    settings.metadata_copy = true;
    settings.tinify_upload = true;
    settings.output_format = OutputFormat::Avif;
    settings.extra_inputs = true;

    TestFolder config;
    ASSERT_EQ(write_remembered_settings(config.path("pictavo/"), settings), 1);
    struct stat info {};
    ASSERT_EQ(::stat(config.path("pictavo/window.conf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const RememberedRead read = read_remembered_settings(config.path("pictavo/"));
    EXPECT_EQ(read.status, RememberedStatus::Read);
    EXPECT_EQ(read.settings, settings);

    // A later version's names are passed over; comments and blank lines too.
    const RememberedRead later =
        parse_remembered_settings("# note\n\ntheme=dark\r\nmode=2\nwindow-position=10,20\n");
    EXPECT_EQ(later.status, RememberedStatus::Read);
    EXPECT_EQ(later.settings.resize_mode, RESIZE_FILL_FIT);

    EXPECT_EQ(read_remembered_settings(config.path("nowhere/")).status, RememberedStatus::Missing);
    EXPECT_EQ(read_remembered_settings("").status, RememberedStatus::Missing);
    EXPECT_EQ(write_remembered_settings("", settings), 0);
}

TEST(RememberedSettings, ABrokenFileGivesTheDefaultsAndSaysWhatIsWrong)
{
    for (const std::string& text : {std::string("no equals sign\n"), std::string("mode=4\n"), std::string("mode=12\n"),
                                    std::string("exif=yes\n"), std::string("format=gif\n"), std::string("input-folder=relative/\n"),
                                    std::string("output-folder=/no/slash\n"), std::string("quality=\\q\n"),
                                    std::string("quality=ends with \\"), std::string("\x00\x01\x02", 3)}) {
        const RememberedRead read = parse_remembered_settings("mode=0\n" + text);
        EXPECT_EQ(read.status, RememberedStatus::Broken) << text;
        EXPECT_EQ(read.settings, RememberedSettings{}) << text;
        EXPECT_EQ(read.problem, "line 2 cannot be read") << text;
    }

    TestFolder config;
    config.make_folder("as-folder/window.conf");
    EXPECT_EQ(read_remembered_settings(config.path("as-folder/")).status, RememberedStatus::Broken);
    config.write("huge/window.conf", std::string(REMEMBERED_SETTINGS_MAX_BYTES + 1, '#'));
    const RememberedRead huge = read_remembered_settings(config.path("huge/"));
    EXPECT_EQ(huge.status, RememberedStatus::Broken);
    EXPECT_FALSE(huge.problem.empty());
}

} // namespace
} // namespace pictavo
