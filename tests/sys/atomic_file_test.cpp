// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/atomic_file.h"
#include "sys/temporary_files.h"
#include "test_folder.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

namespace pictavo {
namespace {

TEST(AtomicFile, ReplacesTargetOnlyOnCommit)
{
    TestFolder folder;
    const std::string target = folder.path("out.bin");
    folder.write("out.bin", "old");

    {
        AtomicFile file;
        ASSERT_TRUE(file.open(target));
        ASSERT_TRUE(file.write_all("new content", 11));
        EXPECT_EQ(folder.read("out.bin"), "old"); // untouched until commit
        // destroyed without commit: the temporary disappears, the target stays
    }
    EXPECT_EQ(folder.read("out.bin"), "old");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.bin"});

    AtomicFile file;
    ASSERT_TRUE(file.open(target));
    ASSERT_TRUE(file.write_all("new", 3));
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(folder.read("out.bin"), "new");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.bin"});
}

// The later steps of a run replace the finished temporary by renames of their own (a download
// through a temporary of the temporary, the metadata tool through its own file): the target
// appears only at commit, a sweep meanwhile leaves the replacement alone, and commit puts the
// last content in place.
TEST(AtomicFile, AFinishedTemporaryCanBeReplacedAndRelockedBeforeCommit)
{
    TestFolder folder;
    folder.write("out.jpg", "old");
    AtomicFile staged;
    ASSERT_TRUE(staged.open(folder.path("out.jpg")));
    ASSERT_TRUE(staged.write_all("first", 5));
    ASSERT_TRUE(staged.finish());
    EXPECT_FALSE(staged.is_open());
    ASSERT_FALSE(staged.temporary_path().empty());
    EXPECT_TRUE(staged.relock()); // nothing replaced it: the lock it holds is the one
    const std::string working = staged.temporary_path();

    AtomicFile download;
    ASSERT_TRUE(download.open(working));
    const std::string sibling = download.temporary_path();
    EXPECT_EQ(sibling.size(), working.size()); // the same shape, not one nested in the other
    EXPECT_TRUE(is_temporary_name(sibling.substr(sibling.rfind('/') + 1)));
    EXPECT_EQ(sibling.substr(0, sibling.size() - 6), working.substr(0, working.size() - 6));
    ASSERT_TRUE(download.write_all("second", 6));
    ASSERT_TRUE(download.commit());
    ASSERT_TRUE(staged.relock());
    EXPECT_EQ(sweep_temporary_files(folder.path("")), 0);

    folder.write("tool-copy", "third");
    ASSERT_EQ(::rename(folder.path("tool-copy").c_str(), working.c_str()), 0);
    ASSERT_TRUE(staged.relock());
    EXPECT_EQ(sweep_temporary_files(folder.path("")), 0);
    EXPECT_EQ(folder.read("out.jpg"), "old");
    ASSERT_TRUE(staged.commit());
    EXPECT_EQ(folder.read("out.jpg"), "third");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.jpg"});

    // A temporary that a sweep took while it was unlocked is gone for good: relock says so,
    // and the target stays as it was.
    ASSERT_TRUE(staged.open(folder.path("out.jpg")));
    ASSERT_TRUE(staged.finish());
    folder.write("tool-copy", "fourth");
    ASSERT_EQ(::rename(folder.path("tool-copy").c_str(), staged.temporary_path().c_str()), 0);
    EXPECT_EQ(sweep_temporary_files(folder.path("")), 1);
    EXPECT_FALSE(staged.relock());
    EXPECT_FALSE(staged.commit());
    EXPECT_EQ(folder.read("out.jpg"), "third");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"out.jpg"});
}

TEST(AtomicFile, RefusesReadOnlyTargetsAndMissingFolders)
{
    TestFolder folder;
    folder.write("locked.bin", "keep");
    ASSERT_EQ(::chmod(folder.path("locked.bin").c_str(), 0444), 0);
    AtomicFile file;
    EXPECT_FALSE(file.open(folder.path("locked.bin")));
    EXPECT_FALSE(file.open(folder.path("missing/x.bin")));
    EXPECT_FALSE(file.open(folder.path("")));
    EXPECT_EQ(folder.read("locked.bin"), "keep");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"locked.bin"});
}

} // namespace
} // namespace pictavo
