// SPDX-License-Identifier: GPL-3.0-or-later
// The metadata step of a run: one tool kept open per worker, surviving a tool that dies or
// hangs, and file names that reach the tool as names.
#include "app/batch_run.h"

#include "app/folder_scan.h"
#include "fake_metadata_tool.h"
#include "final_message.h"
#include "job_test_support.h"
#include "sys/process_runner.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace pictavo {
namespace {

class MetadataRunTest : public ::testing::Test {
protected:
    MetadataRunTest()
    {
        register_jpeg_and_png_codecs();
        state.start_up({folder.root(), std::getenv("PATH") ? std::getenv("PATH") : ""});
        state.job.resize_mode = RESIZE_KEEP;
        state.job.metadata_copy = 1;
        folder.make_folder("in");
        folder.make_folder("out");
    }

    void small_image(const std::string& relative)
    {
        ASSERT_TRUE(test::write_flat_image(folder.path(relative), 16, 12, IMAGE_CODE_JPEG));
    }

    RunReport run(const std::string& output = "out/")
    {
        state.job.input_folder = folder.root() + "in/";
        state.job.output_folder = folder.root() + output;
        state.run.folder_count = state.run.image_count = 0;
        folder_scan(state.run, state.job.input_folder);
        return batch_run(state, front_end, options);
    }

    // A tag of a file as the real tool reads it.
    std::string tag(const std::string& path, const std::string& name) const
    {
        std::string quoted = "'";
        for (const char c : path)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(
            ::popen(("'" + real_tool() + "' -s3 -" + name + " " + quoted).c_str(), "r"), ::pclose);
        std::string text;
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
            text += buffer;
        return text;
    }

    std::string real_tool() const { return find_exiftool({"/nonexistent/", std::getenv("PATH")}); }

    TestFolder folder;
    AppState state;
    RunOptions options;
    test::RecordingFrontEnd front_end;
};

bool process_is_gone(const std::string& pid)
{
    return ::kill(std::stoi(pid), 0) != 0 && errno == ESRCH;
}

TEST_F(MetadataRunTest, AToolThatDiesOrHangsFailsOnlyItsImage)
{
    folder.make_folder("bin");
    ASSERT_TRUE(test::write_fake_metadata_tool(folder.path("bin/exiftool")));
    state.job.exiftool_path = folder.path("bin/exiftool");
    for (const char* name : {"a.jpg", "b-die.jpg", "c-hang.jpg", "d.jpg", "e.jpg"})
        small_image(std::string("in/") + name);
    options.workers = 1;
    options.metadata_time_limit = std::chrono::milliseconds(300);

    const RunReport report = run();
    ASSERT_EQ(report.images.size(), 5u);
    const FailureReason expected[] = {FailureReason::None, FailureReason::MetadataFailed,
                                      FailureReason::MetadataFailed, FailureReason::None, FailureReason::None};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(report.images[i].result.outcome, ImageOutcome::Written) << i;
        EXPECT_EQ(report.images[i].result.failure.reason, expected[i]) << i;
    }
    // The outputs stay written, but the step the user asked for did not happen: they failed.
    // What the killed tools had begun to write is gone with them.
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(folder.entries("out"),
              (std::vector<std::string>{"a.jpg", "b-die.jpg", "c-hang.jpg", "d.jpg", "e.jpg"}));
    EXPECT_EQ(test::without_savings_line(front_end.messages.back()), "PTV Information|5 Images done.\n2 failed:\n"
                                         "b-die.jpg: the metadata could not be copied\n"
                                         "c-hang.jpg: the metadata could not be copied");
    // One tool up to the death, one that hung, one for the rest; all ended and reaped.
    EXPECT_EQ(report.metadata_tool_starts, 3);
    std::ifstream pids(folder.path("bin/exiftool.pids"));
    int started = 0;
    for (std::string pid; std::getline(pids, pid); ++started)
        EXPECT_TRUE(process_is_gone(pid)) << pid;
    EXPECT_EQ(started, 3);
}

// The outputs of a run with the tool kept open equal those of one-off runs of the tool on the
// same outputs; names with blanks and quotes, a line break (which needs a one-off run) and
// a '%' (which the tool would read as a code for a part of the output's name) all reach it as
// the names they are.
TEST_F(MetadataRunTest, NamesReachTheToolAsTheyAre)
{
    ASSERT_FALSE(state.job.exiftool_path.empty()) << "exiftool is needed on PATH";
    const std::vector<std::pair<std::string, std::string>> sources = {
        {"it's a \"quoted\" name.jpg", "quoted"}, {"line\nbreak.jpg", "broken"},
        {"%e.jpg", "percent"}, {"jpg.jpg", "plain"}, {"100% sure.jpg", "hundred"}};
    // One run of the tool tags every source (commands apart by -execute).
    std::vector<std::string> tagging;
    for (const auto& [name, artist] : sources) {
        small_image("in/" + name);
        tagging.insert(tagging.end(), {"-q", "-overwrite_original", "-Artist=" + artist, folder.path("in/" + name),
                                       "-execute"});
    }
    ASSERT_EQ(run_program(real_tool(), tagging, "", RUN_WAIT | RUN_HIDE), 1);

    folder.make_folder("tmp");
    const char* saved = std::getenv("TMPDIR");
    const std::string saved_tmpdir = saved ? saved : "";
    ::setenv("TMPDIR", folder.path("tmp").c_str(), 1);
    options.workers = 2;
    const RunReport report = run();
    saved ? ::setenv("TMPDIR", saved_tmpdir.c_str(), 1) : ::unsetenv("TMPDIR");
    EXPECT_TRUE(folder.entries("tmp").empty()); // the link for '%' names is gone again
    EXPECT_LE(report.metadata_tool_starts, 3); // two kept open, one one-off run

    // The reference: the same outputs without the step, then the tool run on them with its
    // arguments on its command line, the tags read from copies of the sources under plain names.
    state.job.metadata_copy = 0;
    folder.make_folder("ref");
    run("ref/");
    std::vector<std::string> copies;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::string plain = folder.path("plain" + std::to_string(i) + ".jpg");
        std::filesystem::copy_file(folder.path("in/" + sources[i].first), plain);
        const auto arguments = metadata_arguments({plain, folder.path("ref/" + sources[i].first)});
        copies.insert(copies.end(), arguments.begin(), arguments.end());
        copies.push_back("-execute");
    }
    ASSERT_EQ(run_program(real_tool(), copies, "", RUN_WAIT | RUN_HIDE), 1);
    for (const auto& [name, artist] : sources) {
        SCOPED_TRACE(name);
        EXPECT_EQ(test::result_in(report, name).outcome, ImageOutcome::Written);
        EXPECT_EQ(test::result_in(report, name).failure.reason, FailureReason::None);
        EXPECT_EQ(tag(folder.path("out/" + name), "Artist"), artist + "\n");
        EXPECT_EQ(folder.read("out/" + name), folder.read("ref/" + name));
    }
}

} // namespace
} // namespace pictavo
