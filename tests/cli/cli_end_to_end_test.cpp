// SPDX-License-Identifier: GPL-3.0-or-later
// The built pictavo-cli program, run as a user would run it.
#include "../app/job_test_support.h"
#include "pictavo_version.h"
#include "service_double.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace pictavo {
namespace {

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    CliTest()
    {
        folder.make_folder("work");
        folder.make_folder("home");
        folder.make_folder("in/sub");
        folder.make_folder("out");
    }

    // Runs the program in the folder "work" with standard input from /dev/null and the folder
    // "home" as its home folder.
    Finished run(std::vector<std::string> arguments, const std::string& path_variable = std::getenv("PATH"))
    {
        arguments.insert(arguments.begin(), PICTAVO_CLI_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::string path_setting = "PATH=" + path_variable;
        std::string home_setting = "HOME=" + folder.path("home");
        char* environment[] = {path_setting.data(), home_setting.data(), nullptr};
        const std::string out_path = folder.path("stdout.txt");
        const std::string err_path = folder.path("stderr.txt");
        const std::string work = folder.path("work");

        const pid_t child = ::fork();
        if (child == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
                ::chdir(work.c_str()) != 0)
                ::_exit(127);
            ::execve(argv[0], argv.data(), environment);
            ::_exit(127);
        }
        Finished finished;
        int status = 0;
        if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
            finished.status = WEXITSTATUS(status);
        finished.out = folder.read("stdout.txt");
        finished.err = folder.read("stderr.txt");
        return finished;
    }

    void small_image(const std::string& relative)
    {
        ASSERT_TRUE(test::write_flat_image(folder.path(relative), 24, 16, IMAGE_CODE_JPEG));
    }

    std::string in() const { return folder.path("in"); }
    std::string out() const { return folder.path("out"); }

    TestFolder folder;
};

TEST_F(CliTest, HelpVersionAndRefusedArguments)
{
    const Finished help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: pictavo-cli [options] INPUT_FOLDER OUTPUT_FOLDER", 0), 0u);
    const Finished version = run({"--version"});
    EXPECT_EQ(version.out.rfind("pictavo-cli " PICTAVO_VERSION "\n", 0), 0u) << version.out;
    EXPECT_NE(version.out.find("Licence GPL-3.0-or-later"), std::string::npos) << version.out;

    small_image("in/a.jpg");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--size", "9000", in(), out()}, {"--size", "11", in(), out()},
          {"--quality", "0", in(), out()}, {"--fill", "1000x8001", in(), out()},
          {"--uniform", "abc", in(), out()}, {"--mode", "upload", in(), out()}, {in()}, {}}) {
        const Finished refused = run(arguments);
        EXPECT_EQ(refused.status, 2) << refused.err;
        EXPECT_NE(refused.err.find("--help"), std::string::npos);
        EXPECT_EQ(refused.out, "");
    }
    EXPECT_NE(run({"--size", "9000", in(), out()}).err.find("--size must be a whole number from 12 to 8000"),
              std::string::npos);
    EXPECT_TRUE(folder.entries("out").empty());
}

TEST_F(CliTest, RunsReportOnBothStreamsWithTheirExitStatus)
{
    small_image("in/a.jpg");
    small_image("in/sub/b.jpg");
    const Finished done = run({"--jobs", "1", "--size", "12", in(), out()});
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(done.out, "2 Images done.\n");
    EXPECT_EQ(done.err, "Found 2 images in 2 folders\n[1/2] " + folder.path("in/a.jpg") + "\n[2/2] " +
                            folder.path("in/sub/b.jpg") + "\n");
    EXPECT_EQ(test::loaded_size(folder.path("out/sub/b.jpg")), (test::LoadedSize{12, 8, IMAGE_CODE_JPEG}));

    folder.write("in/sub/bad.png", "broken");
    for (const char* jobs : {"1", "3"}) {
        const Finished failed = run({"--quiet", "--jobs", jobs, in(), out()});
        EXPECT_EQ(failed.status, 1);
        EXPECT_EQ(failed.out, "3 Images done.\n1 failed:\nsub/bad.png: not an image\n");
        EXPECT_EQ(failed.err, "pictavo-cli: sub/bad.png: not an image\n"); // the failure is no progress line
    }
    EXPECT_EQ(run({"--jobs", "0", in(), out()}).status, 2);
    EXPECT_EQ(run({"--jobs", "257", in(), out()}).status, 2);
}

TEST_F(CliTest, FolderErrorsAndTheOverwriteQuestion)
{
    const Finished empty = run({in(), out()});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("PTV Input Folder is empty....."), std::string::npos);
    const Finished missing = run({folder.path("nowhere"), out()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("Please Select PTV Input and Output Folders....."), std::string::npos);

    small_image("in/a.jpg");
    const std::string before = folder.read("in/a.jpg");
    // Standard input is no terminal, so without --yes the question is refused.
    const Finished refused = run({in(), in() + "/."});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos);
    EXPECT_EQ(folder.read("in/a.jpg"), before);

    const Finished confirmed = run({"--yes", "--mode", "keep", in(), in()});
    EXPECT_EQ(confirmed.status, 0);
    EXPECT_NE(folder.read("in/a.jpg"), before);
    EXPECT_EQ(folder.entries("in"), (std::vector<std::string>{"a.jpg", "sub"}));
}

TEST_F(CliTest, OptionalStepsNeedWhatTheyUse)
{
    small_image("in/a.jpg");
    // No key file in the working folder and no --key.
    EXPECT_EQ(run({"--tinify", in(), out()}).status, 2);
    // No exiftool in the working folder nor on this PATH.
    const Finished no_tool = run({"--exif", in(), out()}, folder.path("work"));
    EXPECT_EQ(no_tool.status, 2);
    EXPECT_NE(no_tool.err.find("exiftool"), std::string::npos);
    EXPECT_TRUE(folder.entries("out").empty());

    // A folder named like the tool in the working folder is not the tool, and nothing is
    // handed to the desktop's opener.
    folder.make_folder("work/exiftool");
    folder.write("bin/xdg-open", "#!/bin/sh\n/usr/bin/touch \"$0.called\"\n");
    ::chmod(folder.path("bin/xdg-open").c_str(), 0755);
    const Finished folder_tool = run({"--exif", in(), out()}, folder.path("bin"));
    EXPECT_EQ(folder_tool.status, 2) << folder_tool.err;
    EXPECT_FALSE(folder.exists("out/a.jpg"));
    EXPECT_FALSE(folder.exists("bin/xdg-open.called"));
}

TEST_F(CliTest, AnExiftoolInTheWorkingFolderIsNeverStartedWhileTheRealOneCopiesTheTags)
{
    folder.write("work/exiftool", "#!/bin/sh\n/usr/bin/touch \"$0.called\"\n");
    ::chmod(folder.path("work/exiftool").c_str(), 0755);
    small_image("in/a.jpg");
    const std::string source = folder.path("in/a.jpg");
    const std::string tag_command = "exiftool -q -overwrite_original -Artist='Test Person' '" + source + "'";
    ASSERT_EQ(std::system(tag_command.c_str()), 0);

    // Empty and relative entries name the working folder; only /usr/bin has the real tool.
    const Finished done = run({"--exif", in(), out()}, ":.:work:/usr/bin:/bin");
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_FALSE(folder.exists("work/exiftool.called"));
    const std::string read_command = "exiftool -s3 -Artist '" + folder.path("out/a.jpg") + "' > '" +
                                     folder.path("artist.txt") + "'";
    ASSERT_EQ(std::system(read_command.c_str()), 0);
    EXPECT_EQ(folder.read("artist.txt"), "Test Person\n");
}

TEST_F(CliTest, TheKeyStoredInTheHomeFoldersConfigurationIsTheOneTheServiceGets)
{
    ServiceDouble service;
    ASSERT_TRUE(service.start());
    small_image("in/a.jpg");
    const std::vector<std::string> arguments = {"--tinify", "--service-url", service.shrink_url(), in(), out()};
    // A wrong key in the working folder, where an earlier version kept it, is not used while
    // the configuration folder has one.
    folder.write("work/kestro.api.txt", std::string(32, 'w') + "\n");
    folder.write("home/.config/pictavo/kestro.api.txt", std::string(ServiceDouble::default_key) + "\n");
    const Finished sent = run(arguments);
    EXPECT_EQ(sent.status, 0) << sent.err;
    ASSERT_EQ(service.requests_to("POST", "/shrink").size(), 1u);
    EXPECT_EQ(folder.read("out/a.jpg"),
              ServiceDouble::compressed_form(service.requests_to("POST", "/shrink")[0].body));

    std::filesystem::remove(folder.path("home/.config/pictavo/kestro.api.txt"));
    const Finished refused = run(arguments); // the working folder's wrong key: refused by the service
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(service.requests_to("POST", "/shrink").size(), 2u);
}

TEST_F(CliTest, CompressionServiceThroughItsAddress)
{
    ServiceDouble service;
    ASSERT_TRUE(service.start());
    small_image("in/a.jpg");
    small_image("in/sub/b.jpg");
    // One image at a time, so that no exchange is under way when the first one fails.
    const std::vector<std::string> arguments = {"--jobs", "1", "--tinify", "--key", ServiceDouble::default_key,
                                                "--service-url", service.shrink_url(), in(), out()};
    const Finished sent = run(arguments);
    EXPECT_EQ(sent.status, 0) << sent.err;
    ASSERT_EQ(service.requests_to("POST", "/shrink").size(), 2u);
    EXPECT_EQ(folder.read("out/a.jpg"),
              ServiceDouble::compressed_form(service.requests_to("POST", "/shrink")[0].body));

    service.set_service_mode(ServiceMode::QuotaExceeded);
    const Finished failed = run(arguments);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, " Error Using Tinify API.\n2 Images done.\nCompressions this month: 2\n");
    EXPECT_EQ(service.requests_to("POST", "/shrink").size(), 3u);
}

} // namespace
} // namespace pictavo
