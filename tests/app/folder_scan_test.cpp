// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/folder_scan.h"
#include "sys/directory.h"
#include "test_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

std::vector<std::string> recorded(const RunState& run, const std::vector<std::string>& list)
{
    return {list.begin(), list.begin() + run.folder_count};
}

TEST(FolderScan, CountsImagesByExtensionInAnyCase)
{
    TestFolder folder;
    for (const char* name : {"a.jpg", "b.JPEG", "c.Png", "photo.jpg.txt", "photo", ".png", "d.gif", "e.jpeg.bak"})
        folder.write(name, "");
    folder.make_folder("f.jpg"); // a folder is not an image, whatever its name
    folder.make_folder(".hidden");
    RunState run;
    folder_scan(run, folder.root());
    EXPECT_EQ(run.image_count, 3);
    EXPECT_EQ(run.folder_count, 1);
    run.folder_count = 0;
    run.image_count = 0;
    std::filesystem::remove(folder.path("f.jpg"));
    folder_scan(run, folder.root());
    EXPECT_EQ(scan_summary(run), "Found 3 images in 1 folders");

    EXPECT_TRUE(is_image_file_name("x.JpEg"));
    EXPECT_FALSE(is_image_file_name("x.jpg "));
    EXPECT_FALSE(is_image_file_name("jpg"));
}

TEST(FolderScan, SkipsHiddenFoldersButCountsHiddenImages)
{
    TestFolder folder;
    folder.write(".secret/a.jpg", "");
    folder.write(".secret/deeper/b.jpg", "");
    folder.write("visible/.hidden.jpg", "");
    RunState run;
    folder_scan(run, folder.root());
    EXPECT_EQ(run.image_count, 1);
    EXPECT_EQ(recorded(run, run.source_folders), std::vector<std::string>{folder.root() + "/visible"});
    EXPECT_EQ(scan_summary(run), "Found 1 images in 2 folders");

    RunState missing;
    folder_scan(missing, folder.path("nowhere/"));
    EXPECT_EQ(scan_summary(missing), "Found 0 images in 1 folders");
}

TEST(FolderScan, ListsFoldersInPreOrderAndNumbersListingsByFolderCount)
{
    TestFolder folder;
    folder.write("c/z.png", "");
    folder.write("a/b/y.jpg", "");
    folder.write("a/x.jpg", "");
    folder.write("top.jpg", "");
    RunState run;
    std::vector<std::string> seen;
    walk_folder_tree(run, folder.root(), [&](const std::string& in, const std::string& name) {
        seen.push_back(in + "|" + name);
        // Every level keeps its listing open under the folder count it started with.
        if (name == "y.jpg") {
            EXPECT_EQ(dir_entry_name(0), "a");
            EXPECT_EQ(dir_entry_name(1), "b");
            EXPECT_EQ(dir_entry_name(2), "y.jpg");
        }
    });
    const std::string r = folder.root();
    EXPECT_EQ(recorded(run, run.source_folders), (std::vector<std::string>{r + "/a", r + "/a/b", r + "/c"}));
    EXPECT_EQ(seen, (std::vector<std::string>{r + "/a/b|y.jpg", r + "/a|x.jpg", r + "/c|z.png", r + "|top.jpg"}));
    for (std::int64_t number = 0; number < 4; ++number)
        EXPECT_EQ(dir_next(number), 0); // every listing was finished
}

TEST(FolderScan, LinksBackUpTheWalkPathAreNotFollowed)
{
    TestFolder folder;
    folder.write("a/x.jpg", "");
    folder.write("b/y.jpg", "");
    ASSERT_EQ(::symlink(folder.root().c_str(), folder.path("a/to_root").c_str()), 0);
    ASSERT_EQ(::symlink(folder.path("a").c_str(), folder.path("a/to_self").c_str()), 0);
    ASSERT_EQ(::symlink(folder.path("a").c_str(), folder.path("b/to_a").c_str()), 0); // a sibling: followed
    RunState run;
    folder_scan(run, folder.root());
    const std::string r = folder.root();
    EXPECT_EQ(recorded(run, run.source_folders), (std::vector<std::string>{r + "/a", r + "/b", r + "/b/to_a"}));
    EXPECT_EQ(run.image_count, 3);
}

TEST(OutputTree, MirrorsFoldersParentsFirstAndChangesNothingTheSecondTime)
{
    TestFolder input, output;
    input.write("a/b/y.jpg", "");
    input.write("c/z.png", "");
    input.write(".hidden/h.jpg", "");
    RunState run;
    run.image_count = 99;
    run.folder_count = 5;
    output_tree(run, input.root(), output.root());
    EXPECT_EQ(run.image_count, 2);
    const std::string o = output.root();
    EXPECT_EQ(recorded(run, run.output_folders), (std::vector<std::string>{o + "/a", o + "/a/b", o + "/c"}));
    // Creation is one level at a time, so a/b exists only because a was made before it.
    EXPECT_EQ(output.entries(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(output.entries("a"), std::vector<std::string>{"b"});
    EXPECT_TRUE(output.entries("a/b").empty());

    output.write("a/b/y.jpg", "earlier output");
    struct stat before {};
    ASSERT_EQ(::stat(output.path("a").c_str(), &before), 0);
    output_tree(run, input.root(), output.root());
    struct stat after {};
    ASSERT_EQ(::stat(output.path("a").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(output.read("a/b/y.jpg"), "earlier output");
    EXPECT_EQ(output.entries(), (std::vector<std::string>{"a", "c"}));
}

// Points the temporary folders at memory while it lives, when the host has such a folder:
// removing ten thousand folders from some disks takes half a minute.
class TemporaryFoldersInMemory {
public:
    TemporaryFoldersInMemory()
    {
        if (const char* old = std::getenv("TMPDIR"))
            saved_ = old;
        if (::access("/dev/shm", W_OK) == 0)
            ::setenv("TMPDIR", "/dev/shm", 1);
    }
    ~TemporaryFoldersInMemory()
    {
        if (saved_)
            ::setenv("TMPDIR", saved_->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> saved_;
};

TEST(OutputTree, HandlesMoreThanTenThousandFolders)
{
    TemporaryFoldersInMemory in_memory;
    TestFolder input, output;
    constexpr int count = 10050;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(::mkdir(input.path("d" + std::to_string(i)).c_str(), 0755), 0);
    input.write("d10049/last.jpg", "");
    RunState run;
    output_tree(run, input.root(), output.root());
    EXPECT_EQ(run.folder_count, count);
    EXPECT_EQ(run.image_count, 1);
    EXPECT_EQ(output.entries().size(), static_cast<std::size_t>(count));
    EXPECT_TRUE(output.exists("d10049"));
}

TEST(OutputPaths, OnlyTheLeadingRootIsReplacedAndSeparatorsCollapse)
{
    EXPECT_EQ(replace_leading_root("/a//a/x.jpg", "/a/", "/b/"), "/b//a/x.jpg");
    EXPECT_EQ(replace_leading_root("/in//x/in/y.jpg", "/in/", "/out/"), "/out//x/in/y.jpg");
    EXPECT_EQ(replace_leading_root("/other/in/x.jpg", "/in/", "/out/"), "/other/in/x.jpg");
    EXPECT_EQ(replace_leading_root("/In//x.jpg", "/in/", "/out/"), "/In//x.jpg"); // exact case
    EXPECT_EQ(replace_leading_root("/in//x.jpg", "", "/out/"), "/in//x.jpg");

    EXPECT_EQ(collapse_separators("/in//a/x.jpg"), "/in/a/x.jpg");
    EXPECT_EQ(collapse_separators("/out///a////x.jpg"), "/out/a/x.jpg");
    EXPECT_EQ(collapse_separators("plain/name"), "plain/name");
    EXPECT_EQ(collapse_separators(""), "");

    const ImagePaths in_root = image_paths("/in/", "x.jpg", "/in/", "/out/");
    EXPECT_EQ(in_root.source, "/in/x.jpg");
    EXPECT_EQ(in_root.output, "/out/x.jpg");
    const ImagePaths deeper = image_paths("/in//a/in", "x.jpg", "/in/", "/out/");
    EXPECT_EQ(deeper.source, "/in/a/in/x.jpg");
    EXPECT_EQ(deeper.output, "/out/a/in/x.jpg");
}

} // namespace
} // namespace pictavo
