// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/process_runner.h"

#include "test_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <filesystem>
#include <thread>

namespace pictavo {
namespace {

// A script that records its working folder and each argument on a line of its own.
constexpr const char* recorder_script = "#!/bin/sh\n"
                                        "out=\"$RECORD_TO\"\n"
                                        "pwd > \"$out.tmp\"\n"
                                        "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$out.tmp\"; done\n"
                                        "mv \"$out.tmp\" \"$out\"\n";

void write_script(const TestFolder& folder, const std::string& name, const std::string& text)
{
    folder.write(name, text);
    std::filesystem::permissions(folder.path(name), std::filesystem::perms::owner_all);
}

// Waits up to two seconds for a file that a child writes.
bool appears(const std::string& path)
{
    for (int i = 0; i < 200; ++i) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Number of this process's children that are zombies.
int zombie_children()
{
    int zombies = 0;
    const std::string me = std::to_string(::getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        std::string state, parent;
        rest >> state >> parent;
        if (parent == me && state == "Z")
            ++zombies;
    }
    return zombies;
}

class PathOverride {
public:
    explicit PathOverride(const std::string& path)
    {
        if (const char* old = std::getenv("PATH"))
            saved_ = old;
        ::setenv("PATH", path.c_str(), 1);
    }
    ~PathOverride() { ::setenv("PATH", saved_.c_str(), 1); }

private:
    std::string saved_;
};

TEST(ProcessRunner, PassesNamesAndArgumentsUnchangedAndWaits)
{
    TestFolder folder;
    const std::string program = "odd \"name\" with blanks.sh";
    write_script(folder, program, recorder_script);
    folder.make_folder("work dir");
    const std::string record = folder.path("record.txt");
    ::setenv("RECORD_TO", record.c_str(), 1);

    const std::vector<std::string> arguments = {"a b", "\"quoted\"", "", "semi;colon $HOME `x`", "*"};
    EXPECT_EQ(run_program(folder.path(program), arguments, folder.path("work dir"), RUN_WAIT | RUN_HIDE), 1);
    // With Wait the script has finished, so its record is complete at once.
    ASSERT_TRUE(std::filesystem::exists(record));
    EXPECT_EQ(folder.read("record.txt"),
              folder.path("work dir") + "\na b\n\"quoted\"\n\nsemi;colon $HOME `x`\n*\n");
}

TEST(ProcessRunner, WaitReturnsOnlyAfterTheChildExited)
{
    TestFolder folder;
    write_script(folder, "slow.sh", "#!/bin/sh\nsleep 0.3\necho done > \"$1\"\n");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run_program(folder.path("slow.sh"), {folder.path("out")}, "", RUN_WAIT | RUN_HIDE), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_EQ(folder.read("out"), "done\n");
}

TEST(ProcessRunner, HideSendsStandardStreamsToNullDevice)
{
    TestFolder folder;
    write_script(folder, "streams.sh",
                 "#!/bin/sh\nr=\"$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\"\n"
                 "echo \"$r\" > \"$1\"\n");
    EXPECT_EQ(run_program(folder.path("streams.sh"), {folder.path("out")}, "", RUN_WAIT | RUN_HIDE), 1);
    EXPECT_EQ(folder.read("out"), "/dev/null\n/dev/null\n/dev/null\n");
}

TEST(ProcessRunner, WithoutWaitReturnsAtOnceAndLeavesNoZombie)
{
    TestFolder folder;
    write_script(folder, "quick.sh", "#!/bin/sh\nsleep 0.2\necho ok > \"$1\"\n");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run_program(folder.path("quick.sh"), {folder.path("out")}, "", RUN_HIDE), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
    ASSERT_TRUE(appears(folder.path("out")));
    int zombies = 1;
    for (int i = 0; i < 100 && zombies > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        zombies = zombie_children();
    }
    EXPECT_EQ(zombies, 0);
}

TEST(ProcessRunner, FolderAndAddressGoToTheOpener)
{
    TestFolder folder;
    write_script(folder, "bin/xdg-open", recorder_script);
    folder.make_folder("out tree");
    PathOverride path(folder.path("bin") + ":/usr/bin:/bin");
    const std::string record = folder.path("record.txt");
    ::setenv("RECORD_TO", record.c_str(), 1);

    // A folder cannot be run; the opener gets it, with the folder as its own working folder.
    const std::string target = folder.root() + "out tree/";
    EXPECT_EQ(run_program(target, {"ignored"}, "", RUN_WAIT), 1);
    EXPECT_EQ(folder.read("record.txt"), folder.path("out tree") + "\n" + target + "\n");

    std::filesystem::remove(record);
    EXPECT_EQ(run_program("https://example.invalid/manual.html#support", {}, "", 0), 1);
    ASSERT_TRUE(appears(record));
    EXPECT_NE(folder.read("record.txt").find("\nhttps://example.invalid/manual.html#support\n"),
              std::string::npos);
}

TEST(ProcessRunner, MissingProgramGivesZeroWithoutStartingAnything)
{
    TestFolder folder;
    write_script(folder, "bin/xdg-open", "#!/bin/sh\ntouch \"$RECORD_TO\"\n");
    PathOverride path(folder.path("bin"));
    ::setenv("RECORD_TO", folder.path("opened").c_str(), 1);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run_program(folder.path("no such program"), {}, "", RUN_WAIT | RUN_HIDE), 0);
    EXPECT_EQ(run_program("no-such-program-on-path", {"x"}, "", RUN_WAIT), 0);
    EXPECT_EQ(run_program("", {}, "", RUN_WAIT), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(folder.exists("opened"));
}

TEST(ProcessRunner, NoOpenerOnPathGivesZero)
{
    TestFolder folder;
    folder.make_folder("empty bin");
    folder.make_folder("target");
    PathOverride path(folder.path("empty bin"));
    EXPECT_EQ(run_program(folder.path("target"), {}, "", RUN_WAIT), 0);
}

} // namespace
} // namespace pictavo

namespace pictavo {
namespace {

TEST(OpenWithDesktop, AnswersWhetherTheOpenerOpenedTheTargetAndWhyNot)
{
    TestFolder folder;
    folder.make_folder("bin");
    folder.make_folder("target folder");
    const PathOverride path(folder.path("bin"));
    const std::string target = folder.path("target folder") + "/";

    struct Case {
        std::string opener; // the script standing in for xdg-open; "" for none on PATH
        std::string target;
        OpenAnswer answer;
    };
    const Case cases[] = {
        {"exit 0", target, {true, ""}},
        {"exit 0", "https://example.invalid/manual.html", {true, ""}},
        {"exit 2", target, {false, "it does not exist"}},
        {"exit 3", target, {false, "no application that can open it was found"}},
        {"exit 4", target, {false, "the application that should open it failed"}},
        {"exit 1", target, {false, "the opener xdg-open failed (exit status 1)"}},
        {"kill -TERM $$", target, {false, "the opener xdg-open was ended by signal 15"}},
        // Still running when the wait ends: taken as showing the target.
        {"/bin/sleep 2", target, {true, ""}},
        {"", target, {false, "the opener xdg-open was not found (package xdg-utils)"}},
        {"exit 0", folder.path("missing"), {false, "No such file or directory"}},
        {"exit 0", "not a path or address", {false, "it is neither a file, a folder nor a web address"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(folder.path("bin/xdg-open"));
        if (!c.opener.empty())
            write_script(folder, "bin/xdg-open", "#!/bin/sh\n" + c.opener + "\n");
        const auto started = std::chrono::steady_clock::now();
        constexpr int wait = 500;
        const OpenAnswer answer = open_with_desktop(c.target, wait);
        EXPECT_EQ(answer.opened, c.answer.opened) << c.opener << " " << c.target;
        EXPECT_EQ(answer.reason, c.answer.reason) << c.opener << " " << c.target;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(wait + 500));
    }
}

} // namespace
} // namespace pictavo
