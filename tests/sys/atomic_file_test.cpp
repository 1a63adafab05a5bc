// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/atomic_file.h"
#include "test_folder.h"

#include <gtest/gtest.h>
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
