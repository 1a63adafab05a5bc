// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/atomic_file.h"
#include "sys/temporary_files.h"
#include "sys/temporary_registry.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pictavo {
namespace {

// The temporaries in a folder, by their shape.
std::vector<std::string> temporaries_in(const TestFolder& folder)
{
    std::vector<std::string> found;
    for (const auto& name : folder.entries())
        if (is_temporary_name(name))
            found.push_back(name);
    return found;
}

void remove_and_quit(int) // what a front end does on its second quit signal
{
    remove_open_temporaries();
    ::_exit(143);
}

// A child process that opens an AtomicFile for target and writes to it, then waits to be
// killed. With a quit handler it removes its own temporaries when told to quit.
pid_t start_writer(const std::string& target, bool quit_handler)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        if (quit_handler)
            std::signal(SIGTERM, remove_and_quit);
        AtomicFile file;
        const bool opened = file.open(target) && file.write_all("half", 4);
        const char answer = opened ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 'n';
    const bool started = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
    if (child > 0 && !started) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

void end_writer(pid_t child, int signal_number)
{
    ::kill(child, signal_number);
    ::waitpid(child, nullptr, 0);
}

TEST(TemporarySweep, RemovesOnlyAbandonedTemporariesOfTheExactShape)
{
    TestFolder folder;
    folder.write("a.jpg", "target");
    AtomicFile live; // a writer of this process, still writing
    ASSERT_TRUE(live.open(folder.path("a.jpg")));
    const std::string live_name = live.temporary_path().substr(folder.root().size());
    ASSERT_TRUE(is_temporary_name(live_name)) << live_name;

    // A writer killed with -9 leaves its temporary, unlocked; one told to quit removes its own
    // and none of this process's (live stays).
    const pid_t killed = start_writer(folder.path("killed.jpg"), false);
    ASSERT_GT(killed, 0);
    end_writer(killed, SIGKILL);
    ASSERT_EQ(temporaries_in(folder).size(), 2u);
    const pid_t told_to_quit = start_writer(folder.path("quit.jpg"), true);
    ASSERT_GT(told_to_quit, 0);
    ASSERT_EQ(temporaries_in(folder).size(), 3u);
    end_writer(told_to_quit, SIGTERM);
    ASSERT_EQ(temporaries_in(folder).size(), 2u);

    folder.write(".b.png.pictavo-Ab12Cz", "left by a crash");
    const std::vector<std::string> look_alikes = {
        ".b.png.pictavo-Ab12C", ".b.png.pictavo-Ab12Cde", "b.png.pictavo-Ab12Cd", ".b.png.pictavo-Ab1_Cd",
        "..pictavo-Ab12Cd", "...pictavo-Ab12Cd", ".b.png.Pictavo-Ab12Cd", ".b.png.pictavo-Ab12Cd~",
        ".b.png-pictavo-Ab12Cd", ".b.png.pictavo.Ab12Cd", "photo.jpg",
    };
    for (const auto& name : look_alikes)
        folder.write(name, "keep");
    // Right shape, wrong kind: a folder, a link (and what it leads to) and a FIFO stay.
    folder.make_folder(".c.pictavo-Folder");
    ASSERT_EQ(::symlink(folder.path("a.jpg").c_str(), folder.path(".d.pictavo-Linked").c_str()), 0);
    ASSERT_EQ(::mkfifo(folder.path(".e.pictavo-NoWait").c_str(), 0600), 0);

    EXPECT_EQ(sweep_temporary_files(folder.root()), 2); // the killed writer's and the crash's
    auto expected = look_alikes;
    expected.insert(expected.end(), {"a.jpg", live_name, ".c.pictavo-Folder", ".d.pictavo-Linked", ".e.pictavo-NoWait"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.entries(), expected);

    // The live writer is unharmed and finishes as usual; nothing is left to sweep.
    ASSERT_TRUE(live.write_all("new", 3));
    ASSERT_TRUE(live.commit());
    EXPECT_EQ(folder.read("a.jpg"), "new");
    EXPECT_EQ(sweep_temporary_files(folder.root()), 0);
    EXPECT_EQ(sweep_temporary_files(folder.path("missing")), -1);
}

TEST(TemporarySweep, ATemporaryBelongsToTheTargetItWasWrittenFor)
{
    const struct {
        const char* temporary;
        const char* target;
        bool belongs;
    } cases[] = {
        {".x.jpg.pictavo-Ab12Cd", "x.jpg", true},
        {".x.jpg.pictavo-Ab12Cd_exiftool_tmp", "x.jpg", true}, // the metadata tool's own leftover
        {".x.jpg.pictavo-Ab12Cd", "y.jpg", false},
        {".xx.jpg.pictavo-Ab12Cd", "x.jpg", false},
        {".x.jpg.pictavo-Ab12Cd", ".x.jpg", false},
        {".x.jpg.pictavo-Ab12C", "x.jpg", false},
        {".x.jpg.pictavo-Ab12Cd_exiftool_tmp2", "x.jpg", false},
        {"x.jpg", "x.jpg", false},
    };
    for (const auto& expected : cases)
        EXPECT_EQ(temporary_belongs_to(expected.temporary, expected.target), expected.belongs)
            << expected.temporary << " " << expected.target;

    // The filtered sweep takes only what the filter accepts, still only when abandoned.
    TestFolder folder;
    for (const char* name : {".a.jpg.pictavo-Ab12Cd", ".b.jpg.pictavo-Ab12Cd", ".a.jpg.pictavo-live00"})
        folder.write(name, "x");
    const int live = ::open(folder.path(".a.jpg.pictavo-live00").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    EXPECT_EQ(sweep_temporary_files(folder.root(),
                                    [](std::string_view name) { return temporary_belongs_to(std::string(name), "a.jpg"); }),
              1);
    ::close(live);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{".a.jpg.pictavo-live00", ".b.jpg.pictavo-Ab12Cd"}));
}

TEST(TemporarySweep, OpenTemporariesAreLockedAndRemovableOnQuit)
{
    TestFolder folder;
    folder.write("out.png", "old");
    AtomicFile file;
    ASSERT_TRUE(file.open(folder.path("out.png")));
    ASSERT_TRUE(file.write_all("partial", 7));
    const Descriptor other(::open(file.temporary_path().c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(other.valid());
    EXPECT_NE(::flock(other.get(), LOCK_EX | LOCK_NB), 0) << "the writer holds no lock";

    // Quitting mid-write: the temporary goes, the target stays and the late commit fails.
    EXPECT_EQ(remove_open_temporaries(), 1);
    EXPECT_EQ(folder.entries(), std::vector<std::string> {"out.png"});
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(folder.read("out.png"), "old");
    EXPECT_EQ(remove_open_temporaries(), 0) << "a finished writer stays registered";
}

} // namespace
} // namespace pictavo
