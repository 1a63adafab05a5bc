// SPDX-License-Identifier: GPL-3.0-or-later
// The built pictavo-cli program, run as a user would run it.
#include "../app/job_test_support.h"
#include "app/shard.h"
#include "pictavo_version.h"
#include "service_double.h"
#include "test_data.h"
#include "test_folder.h"
#include "../cli/json_reader.h"
#include "fake_metadata_tool.h"
#include "final_message.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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

    // Starts the program in the folder "work" with standard input from /dev/null, the folder
    // "home" as its home folder and the given extra environment ("NAME=value"). Unprivileged:
    // as the user nobody, the test folder handed to it first (root ignores permission bits).
    pid_t start(std::vector<std::string> arguments, const std::string& path_variable = std::getenv("PATH"),
                std::vector<std::string> environment = {}, bool unprivileged = false)
    {
        const bool drop_root = unprivileged && ::geteuid() == 0;
        arguments.insert(arguments.begin(), drop_root ? program_for_others() : PICTAVO_CLI_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        environment.push_back("PATH=" + path_variable);
        environment.push_back("HOME=" + folder.path("home"));
        std::vector<char*> envp;
        for (std::string& setting : environment)
            envp.push_back(setting.data());
        envp.push_back(nullptr);
        const std::string out_path = folder.path("stdout.txt");
        const std::string err_path = folder.path("stderr.txt");
        const std::string work = folder.path("work");
        // What an earlier run printed must not be taken for this one's.
        std::filesystem::remove(out_path);
        std::filesystem::remove(err_path);
        if (drop_root)
            hand_to(NOBODY);

        const pid_t child = ::fork();
        if (child == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
                ::chdir(work.c_str()) != 0)
                ::_exit(127);
            if (drop_root && (::setgroups(0, nullptr) != 0 || ::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0))
                ::_exit(127);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return child;
    }

    // Waits for a started program; status is its exit status, or -1 when a signal ended it.
    Finished finish(pid_t child)
    {
        Finished finished;
        int status = 0;
        if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
            finished.status = WEXITSTATUS(status);
        finished.out = folder.read("stdout.txt");
        finished.err = folder.read("stderr.txt");
        return finished;
    }

    Finished run(std::vector<std::string> arguments, const std::string& path_variable = std::getenv("PATH"),
                 std::vector<std::string> environment = {}, bool unprivileged = false)
    {
        return finish(start(std::move(arguments), path_variable, std::move(environment), unprivileged));
    }

    // A copy of the program in the test folder: the build folder may lie in a home folder that
    // is closed to other users, where nobody could start it.
    std::string program_for_others()
    {
        const std::string copy = folder.path("program/pictavo-cli");
        if (!folder.exists("program/pictavo-cli")) {
            folder.make_folder("program");
            std::error_code failed;
            std::filesystem::copy_file(PICTAVO_CLI_PATH, copy, failed);
        }
        return copy;
    }

    // Why the program cannot be run as another user here; "" when it can (or needs not be).
    std::string unprivileged_run_problem()
    {
        if (::geteuid() != 0 || run({"--version"}, std::getenv("PATH"), {}, true).status == 0)
            return {};
        return "pictavo-cli does not start as the user nobody from " + folder.path("program")
               + ": a folder above it is closed to other users";
    }

    // Gives every file and folder of the test to a user.
    void hand_to(uid_t user)
    {
        ::chown(folder.root().c_str(), user, user);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.root()))
            ::lchown(entry.path().c_str(), user, user);
    }

    // Waits until the program's standard error holds text; false after 20 s.
    bool wait_for_error_text(const std::string& text)
    {
        for (int i = 0; i < 2000; ++i) {
            if (folder.read("stderr.txt").find(text) != std::string::npos)
                return true;
            ::usleep(10000);
        }
        return false;
    }

    static constexpr uid_t NOBODY = 65534;

    void small_image(const std::string& relative)
    {
        std::filesystem::create_directories(std::filesystem::path(folder.path(relative)).parent_path());
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
          {"--uniform", "abc", in(), out()}, {"--mode", "upload", in(), out()}, {in()}, {},
          // a report never takes the place of an input or an output
          {"--report", in() + "/a.jpg", in(), out()}, {"--report", folder.path("nowhere/r.json"), in(), out()}}) {
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
    EXPECT_EQ(test::without_savings_line(done.out), "2 Images done.\n");
    EXPECT_EQ(done.err, "Found 2 images in 2 folders\n[1/2] " + folder.path("in/a.jpg") + "\n[2/2] " +
                            folder.path("in/sub/b.jpg") + "\n");
    EXPECT_EQ(test::loaded_size(folder.path("out/sub/b.jpg")), (test::LoadedSize{12, 8, IMAGE_CODE_JPEG}));

    folder.write("in/sub/bad.png", "broken");
    for (const char* jobs : {"1", "3"}) {
        const Finished failed = run({"--quiet", "--jobs", jobs, in(), out()});
        EXPECT_EQ(failed.status, 1);
        EXPECT_EQ(test::without_savings_line(failed.out), "3 Images done.\n1 failed:\nsub/bad.png: not an image\n");
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

    // The environment's key comes before any key file, and is checked like --key.
    const std::string path = std::getenv("PATH");
    EXPECT_EQ(run(arguments, path, {std::string("PICTAVO_TINIFY_KEY=") + ServiceDouble::default_key}).status, 0);
    EXPECT_EQ(service.requests_to("POST", "/shrink").size(), 3u);
    const Finished short_key = run(arguments, path, {"PICTAVO_TINIFY_KEY=short"});
    EXPECT_EQ(short_key.status, 2);
    EXPECT_NE(short_key.err.find("PICTAVO_TINIFY_KEY must hold exactly 32 characters"), std::string::npos);
    EXPECT_EQ(service.requests_to("POST", "/shrink").size(), 3u);
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
    EXPECT_EQ(test::without_savings_line(failed.out), " Error Using Tinify API.\n2 Images done.\nCompressions this month: 2\n");
    EXPECT_EQ(service.requests_to("POST", "/shrink").size(), 3u);
}

TEST_F(CliTest, FormatsGoThroughTheRunTheServiceAndTheReport)
{
    ServiceDouble service;
    ASSERT_TRUE(service.start());
    small_image("in/a.jpg");
    ASSERT_TRUE(test::write_flat_image(folder.path("in/a.png"), 24, 16, IMAGE_CODE_PNG));
    register_image_codecs();
    ASSERT_TRUE(test::write_flat_image(folder.path("in/sub/w.webp"), 30, 20, IMAGE_CODE_WEBP));
    const std::vector<std::string> service_arguments = {"--jobs", "1", "--tinify", "--key", ServiceDouble::default_key,
                                                        "--service-url", service.shrink_url()};
    std::vector<std::string> arguments = service_arguments;
    arguments.insert(arguments.end(), {"--format", "webp", "--inputs", "jpeg,png,webp", "--report", "r.json", in(), out()});
    const Finished sent = run(arguments);
    EXPECT_EQ(sent.status, 1) << sent.err; // the clash
    EXPECT_NE(sent.err.find("Found 3 images in 2 folders"), std::string::npos) << sent.err;
    EXPECT_NE(sent.err.find("pictavo-cli: a.png: another image of this run writes the same output file\n"),
              std::string::npos) << sent.err;
    // WebP uploads, each output replaced by the service's WebP of it.
    const auto uploads = service.requests_to("POST", "/shrink");
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(folder.read("out/a.webp"), ServiceDouble::compressed_form(uploads[0].body));
    EXPECT_EQ(uploads[0].body.compare(8, 4, "WEBP"), 0);
    EXPECT_EQ(test::loaded_size(folder.path("out/sub/w.webp")), (test::LoadedSize{1000, 667, IMAGE_CODE_WEBP}));
    EXPECT_FALSE(folder.exists("out/a.jpg") || folder.exists("out/a.png"));
    const auto report = test::read_json(folder.read("work/r.json"));
    ASSERT_TRUE(report);
    EXPECT_EQ((*report)["settings"]["format"].text, "webp");
    EXPECT_EQ((*report)["settings"]["inputs"].text, "jpeg,png,webp");
    const test::JsonValue& first = (*report)["images"].items.at(0);
    EXPECT_EQ(first["path"].text, "a.jpg");
    EXPECT_EQ(first["format"].text, "webp");
    EXPECT_GT(first["quality"].number, 0);
    EXPECT_TRUE(first["jpeg_quality"].is_null());
    EXPECT_EQ((*report)["images"].items.at(1)["code"].text, "same_output");

    // A service that does not take the format: the output stays as written, with the reason.
    service.set_service_mode(ServiceMode::RefuseType);
    arguments = service_arguments;
    arguments.insert(arguments.end(), {"--format", "avif", in(), out()});
    const Finished refused = run(arguments);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("a.jpg: compression service refused the image (HTTP 415)"), std::string::npos)
        << refused.err;
    EXPECT_EQ(test::loaded_size(folder.path("out/a.avif")), (test::LoadedSize{1000, 667, IMAGE_CODE_AVIF}));

    // An answer in another format than the upload's never takes the output's place.
    service.set_service_mode(ServiceMode::Normal);
    service.set_download_mode(DownloadMode::OtherKind);
    arguments = service_arguments;
    arguments.insert(arguments.end(), {"--format", "webp", "--mode", "keep", in(), folder.path("out")});
    const Finished other = run(arguments);
    EXPECT_NE(other.err.find("a.jpg: compression service: the download was not an image of the uploaded kind"),
              std::string::npos) << other.err;
    EXPECT_EQ(test::loaded_size(folder.path("out/a.webp")).code, IMAGE_CODE_WEBP);
}

// The names in a folder tree that are not outputs of the run (a temporary, anything hidden).
std::vector<std::string> hidden_names(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.path().filename().string().front() == '.')
            found.push_back(entry.path().string());
    return found;
}

TEST_F(CliTest, SignalsStopTheRunAndASecondOneEndsItAtOnce)
{
    // Every image's metadata step takes a while, so that the run is still going when signalled.
    folder.make_folder("bin");
    ASSERT_TRUE(test::write_fake_metadata_tool(folder.path("bin/exiftool"), "0.3"));
    for (int i = 0; i < 8; ++i)
        small_image((i % 2 ? "in/" : "in/sub/") + std::to_string(i) + ".jpg");
    const std::string path = folder.path("bin") + ":/usr/bin:/bin";
    const std::vector<std::string> arguments = {"--jobs", "2", "--mode", "keep", "--exif", in(), out()};

    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        std::filesystem::remove_all(out());
        folder.make_folder("out");
        const pid_t child = start(arguments, path);
        ASSERT_TRUE(wait_for_error_text("[1/8]"));
        ::kill(child, signal);
        const Finished stopped = finish(child);
        EXPECT_EQ(stopped.status, status) << stopped.err;
        ASSERT_EQ(stopped.out.rfind("Stopped: ", 0), 0u) << stopped.out;
        const std::size_t done = std::stoul(stopped.out.substr(9));
        EXPECT_EQ(test::without_savings_line(stopped.out), "Stopped: " + std::to_string(done) + " of 8 images done.\n");
        EXPECT_GE(done, 1u);
        EXPECT_LT(done, 8u);
        std::size_t outputs = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(out()))
            if (entry.is_regular_file()) {
                ++outputs;
                EXPECT_EQ(test::loaded_size(entry.path().string()).width, 24) << entry.path();
            }
        EXPECT_EQ(outputs, done);
        EXPECT_EQ(hidden_names(out()), std::vector<std::string>{});

        // Twice: the images in progress are abandoned and the program ends without its summary.
        std::filesystem::remove_all(out());
        folder.make_folder("out");
        const pid_t hurried = start(arguments, path);
        ASSERT_TRUE(wait_for_error_text("[1/8]"));
        // Signalled once the next images are in their 0.3 s metadata step: had the first signal
        // come while no image was in progress, the stop would end before the second one.
        ::usleep(100000);
        ::kill(hurried, signal);
        ::usleep(20000);
        ::kill(hurried, signal);
        const Finished ended = finish(hurried);
        EXPECT_EQ(ended.status, status);
        EXPECT_EQ(ended.out, "");
        EXPECT_EQ(hidden_names(out()), std::vector<std::string>{});
    }
}

// True once the process is gone or a zombie; false after 10 s.
bool wait_until_gone(pid_t process)
{
    for (int i = 0; i < 1000; ++i) {
        std::string stat;
        if (!std::filesystem::exists("/proc/" + std::to_string(process)))
            return true;
        std::getline(std::ifstream("/proc/" + std::to_string(process) + "/stat"), stat);
        const auto close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z')
            return true;
        ::usleep(10000);
    }
    return false;
}

// An output is put in place only after its metadata step, so a run ended at once in the middle
// of that step leaves no output without it, and a resumed run with --skip-existing finishes
// exactly those images.
TEST_F(CliTest, AnOutputAppearsOnlyWithEveryStepDoneSoAResumedRunFinishesTheRest)
{
    const std::string mark = "+tagged";
    folder.make_folder("bin");
    ASSERT_TRUE(test::write_fake_metadata_tool(folder.path("bin/exiftool"), "0.3", mark));
    for (int i = 0; i < 8; ++i)
        small_image("in/" + std::to_string(i) + ".jpg");
    const std::string path = folder.path("bin") + ":/usr/bin:/bin";
    const std::vector<std::string> arguments = {"--jobs", "2", "--mode", "keep", "--exif", "--dates", in(), out()};
    const auto outputs = [&] {
        std::map<std::string, bool> marked;
        for (const auto& entry : std::filesystem::directory_iterator(out()))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
                const std::string content = folder.read("out/" + entry.path().filename().string());
                marked[entry.path().filename().string()] =
                    content.size() > mark.size() && content.compare(content.size() - mark.size(), mark.size(), mark) == 0;
            }
        return marked;
    };

    const pid_t hurried = start(arguments, path);
    ASSERT_TRUE(wait_for_error_text("[1/8]"));
    ::kill(hurried, SIGINT);
    ::usleep(50000);
    ::kill(hurried, SIGINT);
    EXPECT_EQ(finish(hurried).status, 130);
    std::ifstream started(folder.path("bin/exiftool.pids"));
    for (pid_t tool = 0; started >> tool;)
        ASSERT_TRUE(wait_until_gone(tool)) << tool;
    const std::map<std::string, bool> left = outputs();
    EXPECT_LT(left.size(), 8u);
    for (const auto& [name, marked] : left)
        EXPECT_TRUE(marked) << name << " is in place without its metadata step";

    const Finished resumed = run({"--jobs", "2", "--mode", "keep", "--exif", "--dates", "--skip-existing", in(), out()},
                                 path);
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.out.find(std::to_string(left.size()) + " skipped"), std::string::npos) << resumed.out;
    const std::map<std::string, bool> all = outputs();
    EXPECT_EQ(all.size(), 8u);
    for (const auto& [name, marked] : all)
        EXPECT_TRUE(marked) << name;
    EXPECT_EQ(hidden_names(out()), std::vector<std::string>{});
}

TEST_F(CliTest, EveryFailureIsNamedWithItsReasonAsItHappensAndInTheReport)
{
    if (const std::string problem = unprivileged_run_problem(); !problem.empty())
        GTEST_SKIP() << problem;
    for (int i = 0; i < 12; ++i)
        folder.write("in/text" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".jpg", "a text file");
    small_image("in/ro/good.jpg");
    folder.make_folder("out/ro");
    ASSERT_EQ(::chmod(folder.path("out/ro").c_str(), 0555), 0);
    small_image("in/locked/unseen.jpg");
    ASSERT_EQ(::chmod(folder.path("in/locked").c_str(), 0), 0);
    std::filesystem::copy_file(test::testdata("jpeg/testorig.jpg"), folder.path("in/whole.jpg.data"));
    const std::string photo = folder.read("in/whole.jpg.data");
    folder.write("in/cut.jpg", photo.substr(0, photo.size() * 3 / 5)); // ends half-way through its rows
    small_image("in/fine.jpg");

    const Finished failed = run({"--quiet", "--report", "report.json", in(), out()}, std::getenv("PATH"), {}, true);
    ASSERT_EQ(::chmod(folder.path("in/locked").c_str(), 0755), 0);
    EXPECT_EQ(failed.status, 1) << failed.err;
    // Said the moment they fail, by reason; the text files all alike.
    for (const char* line : {"pictavo-cli: text00.jpg: not an image\n", "pictavo-cli: text11.jpg: not an image\n",
                             "pictavo-cli: ro/good.jpg: the output cannot be written: permission denied\n",
                             "pictavo-cli: locked/: the folder cannot be read\n"})
        EXPECT_NE(failed.err.find(line), std::string::npos) << line << failed.err;
    // The summary lists every failure, not the window's first ten.
    for (int i = 0; i < 12; ++i)
        EXPECT_NE(failed.out.find("\ntext" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".jpg: not an image"),
                  std::string::npos) << i;
    EXPECT_EQ(failed.out.find("the first"), std::string::npos);
    EXPECT_TRUE(folder.exists("out/fine.jpg"));

    const auto report = test::read_json(folder.read("work/report.json"));
    ASSERT_TRUE(report) << folder.read("work/report.json");
    EXPECT_EQ((*report)["settings"]["mode"].text, "normal");
    EXPECT_EQ((*report)["input_folder"].text, in() + "/");
    const test::JsonValue& images = (*report)["images"];
    ASSERT_EQ(images.items.size(), 16u); // cut, fine, locked/, ro/good, twelve text files
    std::map<std::string, const test::JsonValue*> by_path;
    for (const test::JsonValue& image : images.items)
        by_path[image["path"].text] = &image;
    const struct {
        const char* path;
        const char* result;
        const char* code;
    } expected[] = {
        {"fine.jpg", "written", nullptr},
        {"text00.jpg", "failed", "not_an_image"},
        {"text11.jpg", "failed", "not_an_image"},
        {"ro/good.jpg", "failed", "write_permission"},
        {"locked/", "failed", "folder_unreadable"},
    };
    for (const auto& [path, result, code] : expected) {
        ASSERT_TRUE(by_path.count(path)) << path;
        const test::JsonValue& image = *by_path[path];
        EXPECT_EQ(image["result"].text, result) << path;
        EXPECT_EQ(code ? image["code"].text : std::string(), code ? code : "") << path;
        EXPECT_EQ(image["reason"].is_null(), code == nullptr) << path;
        EXPECT_EQ(image["output_bytes"].is_null(), code != nullptr) << path;
    }
    EXPECT_GT((*by_path["fine.jpg"])["output_bytes"].number, 0);
    EXPECT_FALSE((*report)["totals"]["stopped"].boolean);

    EXPECT_EQ((*by_path["cut.jpg"])["code"].text, "cut_off");
    EXPECT_NE(failed.err.find("pictavo-cli: cut.jpg: the image data is cut off\n"), std::string::npos);
    EXPECT_FALSE(folder.exists("out/cut.jpg"));
    EXPECT_EQ((*report)["totals"]["failed"].number, 15);
}

// The scan line counts what the run will take; two sources never share one output file; and
// what a killed metadata tool left is removed like any abandoned temporary.
TEST_F(CliTest, TheScanCountsWhatTheRunTakesAndNoOutputIsWrittenTwice)
{
    if (const std::string problem = unprivileged_run_problem(); !problem.empty())
        GTEST_SKIP() << problem;
    small_image("in/a.jpg");
    ASSERT_EQ(::chmod(in().c_str(), 0), 0);
    const Finished unreadable = run({in(), out()}, std::getenv("PATH"), {}, true);
    ASSERT_EQ(::chmod(in().c_str(), 0755), 0);
    EXPECT_EQ(unreadable.status, 2);
    EXPECT_NE(unreadable.err.find("The input folder " + in() + "/ cannot be read"), std::string::npos) << unreadable.err;
    EXPECT_EQ(unreadable.err.find("Found"), std::string::npos) << unreadable.err;

    // An output folder inside the input: what is in it is neither taken nor counted.
    small_image("in/sub/b.jpg");
    small_image("in/results/earlier.jpg");
    const Finished inside = run({"--yes", in(), in() + "/results"});
    EXPECT_EQ(inside.status, 0) << inside.err;
    EXPECT_EQ(inside.err.substr(0, inside.err.find('\n')), "Found 2 images in 2 folders");
    EXPECT_EQ(inside.out.rfind("2 Images done.\n", 0), 0u) << inside.out;

    // A link in the output tree makes b the folder a: the later source fails, the earlier output stays.
    small_image("pair/in/a/x.jpg");
    folder.make_folder("pair/in/b");
    ASSERT_TRUE(test::write_flat_image(folder.path("pair/in/b/x.jpg"), 30, 20, IMAGE_CODE_JPEG));
    folder.make_folder("pair/out/a");
    std::filesystem::create_directory_symlink("a", folder.path("pair/out/b"));
    folder.write("pair/out/a/.x.jpg.pictavo-Ab12Cd_exiftool_tmp", "left by a killed tool");
    for (const char* jobs : {"1", "2"}) {
        const Finished shared = run({"--jobs", jobs, "--mode", "keep", "--report", "report.json",
                                     folder.path("pair/in"), folder.path("pair/out")});
        EXPECT_EQ(shared.status, 1) << shared.err;
        EXPECT_NE(shared.err.find("pictavo-cli: b/x.jpg: another image of this run writes the same output file\n"),
                  std::string::npos) << shared.err;
        EXPECT_EQ(test::loaded_size(folder.path("pair/out/a/x.jpg")).width, 24);
        EXPECT_EQ(folder.entries("pair/out/a"), std::vector<std::string>{"x.jpg"});
        const auto report = test::read_json(folder.read("work/report.json"));
        ASSERT_TRUE(report);
        EXPECT_EQ((*report)["images"].items.at(1)["code"].text, "same_output");
    }
}

TEST_F(CliTest, TheShardsReportsMergeIntoOneAndAnIncompleteOrForeignSetIsRefused)
{
    for (const char* name : {"a.jpg", "b.jpg", "sub/c.jpg", "sub/d.jpg", "sub/e.jpg", "x/y/z.jpg", "x/w.jpg"})
        small_image(std::string("in/") + name);
    folder.write("in/sub/broken.jpg", "not an image");
    const auto report_of = [this](int index) { return folder.path("r" + std::to_string(index) + "-of-3.json"); };
    for (int index = 0; index < 3; ++index) {
        const std::string shard = std::to_string(index) + "/3";
        const Finished part = run({"--shard", shard, "--report", folder.path("r{shard}-of-{count}.json"), in(), out()});
        const bool has_broken = Shard{static_cast<std::uint32_t>(index), 3}.owns("sub/broken.jpg");
        EXPECT_EQ(part.status, has_broken ? 1 : 0) << part.err;
        EXPECT_NE(part.err.find("folders (shard " + std::to_string(index) + " of 3)\n"), std::string::npos) << part.err;
        ASSERT_TRUE(folder.exists("r" + std::to_string(index) + "-of-3.json"));
    }
    EXPECT_TRUE(folder.exists("out/x/y/z.jpg"));

    const std::string merged = folder.path("merged.json");
    const Finished merge = run({"merge-reports", merged, report_of(2), report_of(0), report_of(1)});
    EXPECT_EQ(merge.status, 1) << merge.err; // complete, but one image failed
    EXPECT_EQ(merge.err, "pictavo-cli: sub/broken.jpg: not an image\n");
    EXPECT_EQ(merge.out, "Merged 3 reports: 8 images, 1 failed, 0 not processed.\n");
    const auto document = test::read_json(folder.read("merged.json"));
    ASSERT_TRUE(document) << folder.read("merged.json");
    EXPECT_EQ((*document)["shards"]["count"].number, 3);
    EXPECT_EQ((*document)["totals"]["images"].number, 8);
    EXPECT_EQ((*document)["totals"]["failed"].number, 1);
    EXPECT_EQ((*document)["merged_reports"].items[0].text, report_of(0));
    ASSERT_EQ((*document)["failures"].items.size(), 1u);
    EXPECT_EQ((*document)["failures"].items[0]["code"].text, "not_an_image");
    std::vector<std::string> paths;
    for (const test::JsonValue& image : (*document)["images"].items)
        paths.push_back(image["path"].text);
    EXPECT_EQ(paths, (std::vector<std::string>{"a.jpg", "b.jpg", "sub/broken.jpg", "sub/c.jpg", "sub/d.jpg",
                                               "sub/e.jpg", "x/w.jpg", "x/y/z.jpg"}));

    // Sets that are not one run's complete set: nothing is written, and the exit status is 2.
    folder.write("foreign.json", R"({"program": "another", "images": []})");
    ASSERT_LE(run({"--shard", "0/2", "--report", folder.path("half.json"), in(), out()}).status, 1);
    const struct {
        std::vector<std::string> reports;
        const char* said;
    } refused[] = {
        {{report_of(0), report_of(1)}, "the report of shard 2 of 3 is missing"},
        {{report_of(0), report_of(1), report_of(1), report_of(2)}, "are both the report of shard 1 of 3"},
        {{report_of(0), report_of(1), report_of(2), folder.path("foreign.json")}, "foreign.json: not a report"},
        {{report_of(0), report_of(1), report_of(2), folder.path("half.json")}, "not of one run"},
        {{report_of(0), report_of(1), folder.path("gone.json")}, "gone.json: No such file"},
        {{merged, report_of(1)}, "needs a name of its own"},
    };
    for (const auto& [reports, said] : refused) {
        std::vector<std::string> arguments = {"merge-reports", folder.path("refused.json")};
        if (reports.front() == merged)
            arguments.back() = merged;
        arguments.insert(arguments.end(), reports.begin(), reports.end());
        const Finished refusal = run(arguments);
        EXPECT_EQ(refusal.status, 2) << said;
        EXPECT_NE(refusal.err.find(said), std::string::npos) << said << ": " << refusal.err;
        EXPECT_FALSE(folder.exists("refused.json")) << said;
    }
}

TEST_F(CliTest, ShardAutoNamesItsSchedulerAndAListTakesThePlaceOfTheWalk)
{
    for (const char* name : {"a.jpg", "sub/b.jpg", "sub/c.jpg"})
        small_image(std::string("in/") + name);
    const std::vector<std::string> slurm = {"SLURM_ARRAY_TASK_ID=1", "SLURM_ARRAY_TASK_COUNT=2",
                                            "SLURM_ARRAY_TASK_MIN=0", "SLURM_ARRAY_TASK_MAX=1"};
    const Finished automatic = run({"--shard", "auto", in(), out()}, std::getenv("PATH"), slurm);
    EXPECT_LE(automatic.status, 1);
    EXPECT_NE(automatic.err.find("--shard auto: shard 1 of 2, from SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT\n"),
              std::string::npos) << automatic.err;
    const Finished unasked = run({in(), out()}, std::getenv("PATH"), slurm);
    EXPECT_NE(unasked.err.find("Found 3 images in 2 folders\n"), std::string::npos) << unasked.err;
    const Finished nothing = run({"--shard", "auto", in(), out()});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_NE(nothing.err.find("found no shard index"), std::string::npos) << nothing.err;

    folder.make_folder("listed");
    folder.write("work/list.txt", "sub/b.jpg\r\n\r\n./sub/b.jpg\r\ngone.jpg\r\n../in/a.jpg\r\n");
    const Finished listed = run({"--files-from", "list.txt", in(), folder.path("listed")});
    EXPECT_EQ(listed.status, 1);
    EXPECT_NE(listed.err.find("Listed 4 paths in list.txt\n"), std::string::npos) << listed.err;
    EXPECT_NE(listed.err.find("pictavo-cli: gone.jpg: no such file in the input folder\n"), std::string::npos);
    EXPECT_NE(listed.err.find("pictavo-cli: ../in/a.jpg: not a path below the input folder"), std::string::npos);
    EXPECT_NE(listed.err.find("/3] ../in/a.jpg\n"), std::string::npos) << listed.err; // named as listed
    EXPECT_NE(listed.out.find("3 Images done."), std::string::npos) << listed.out;
    EXPECT_EQ(folder.entries("listed"), std::vector<std::string>{"sub"});
    EXPECT_EQ(folder.entries("listed/sub"), std::vector<std::string>{"b.jpg"});

    folder.write("work/list0", std::string("sub/c.jpg\0a.jpg\0", 16));
    EXPECT_EQ(run({"--files-from", "list0", "--null", in(), folder.path("listed")}).status, 0);
    EXPECT_TRUE(folder.exists("listed/a.jpg") && folder.exists("listed/sub/c.jpg"));
    folder.write("work/empty.txt", "\n\n");
    const Finished empty = run({"--files-from", "empty.txt", in(), folder.path("listed")});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("lists no images"), std::string::npos) << empty.err;
}

} // namespace
} // namespace pictavo
