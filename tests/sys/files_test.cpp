// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/files.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

TEST(Files, ExtensionPart)
{
    EXPECT_EQ(extension_part("photo.jpg"), "jpg");
    EXPECT_EQ(extension_part("/in/a.b/c"), "");
    EXPECT_EQ(extension_part("archive.tar.gz"), "gz");
    EXPECT_EQ(extension_part(".png"), "");
    EXPECT_EQ(extension_part("/in/.png"), "");
    EXPECT_EQ(extension_part("my photo.JPG"), "JPG");
    EXPECT_EQ(extension_part("a.b c"), "");
    EXPECT_EQ(extension_part("folder.d/file"), "");
    EXPECT_EQ(extension_part("photo"), "");
    EXPECT_EQ(extension_part("photo.jpg.txt"), "txt");
    EXPECT_EQ(extension_part("name.png\"rest"), "png");
    EXPECT_EQ(extension_part("trailing."), "");
    EXPECT_EQ(extension_part(""), "");
}

TEST(Files, SizeTellsFoldersFilesAndMissingPaths)
{
    TestFolder folder;
    folder.write("empty.bin", "");
    folder.write("five.bin", "12345");
    folder.make_folder("sub");
    EXPECT_EQ(file_size(folder.path("sub/")), FILE_SIZE_FOLDER);
    EXPECT_EQ(file_size(folder.path("sub//")), FILE_SIZE_FOLDER);
    EXPECT_EQ(file_size(folder.path("sub")), FILE_SIZE_FOLDER);
    EXPECT_EQ(file_size("/"), FILE_SIZE_FOLDER);
    EXPECT_EQ(file_size(folder.path("missing.bin")), FILE_SIZE_MISSING);
    EXPECT_EQ(file_size(""), FILE_SIZE_MISSING);
    EXPECT_EQ(file_size(folder.path("empty.bin")), 0);
    EXPECT_EQ(file_size(folder.path("five.bin")), 5);
    EXPECT_EQ(file_size("/dev/null"), FILE_SIZE_MISSING); // neither file nor folder
    ASSERT_EQ(::symlink(folder.path("sub").c_str(), folder.path("link").c_str()), 0);
    EXPECT_EQ(file_size(folder.path("link")), FILE_SIZE_FOLDER);
}

TEST(Files, CurrentFolderEndsWithSeparator)
{
    const std::string here = current_folder();
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(here.back(), '/');
    EXPECT_EQ(file_size(here), FILE_SIZE_FOLDER);
}

TEST(Files, FolderCreateMakesOneLevelOnce)
{
    TestFolder folder;
    EXPECT_NE(folder_create(folder.path("a/")), 0);
    EXPECT_EQ(file_size(folder.path("a")), FILE_SIZE_FOLDER);
    EXPECT_EQ(folder_create(folder.path("a/")), 0);  // exists already
    EXPECT_EQ(folder_create(folder.path("a")), 0);
    EXPECT_EQ(folder_create(folder.path("x/y")), 0); // parent missing
    EXPECT_FALSE(folder.exists("x"));
    EXPECT_NE(folder_create(folder.path("b  ")), 0); // trailing blanks are ignored
    EXPECT_TRUE(folder.exists("b"));
    EXPECT_EQ(folder_create(""), 0);
}

TEST(Files, CopyReplacesTargetButNeverAReadOnlyOne)
{
    TestFolder folder;
    folder.write("source.jpg", std::string(100000, 'x') + "end");
    folder.write("target.jpg", "old");
    ASSERT_NE(file_copy(folder.path("source.jpg"), folder.path("target.jpg")), 0);
    EXPECT_EQ(folder.read("target.jpg"), folder.read("source.jpg"));

    // The copy keeps the source's modification time.
    struct stat source_info {}, target_info {};
    const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.path("source.jpg").c_str(), old_times, 0), 0);
    ASSERT_NE(file_copy(folder.path("source.jpg"), folder.path("new.jpg")), 0);
    ASSERT_EQ(::stat(folder.path("source.jpg").c_str(), &source_info), 0);
    ASSERT_EQ(::stat(folder.path("new.jpg").c_str(), &target_info), 0);
    EXPECT_EQ(target_info.st_mtim.tv_sec, source_info.st_mtim.tv_sec);

    folder.write("locked.jpg", "keep");
    ASSERT_EQ(::chmod(folder.path("locked.jpg").c_str(), 0444), 0);
    EXPECT_EQ(file_copy(folder.path("source.jpg"), folder.path("locked.jpg")), 0);
    EXPECT_EQ(folder.read("locked.jpg"), "keep");

    EXPECT_EQ(file_copy(folder.path("missing.jpg"), folder.path("other.jpg")), 0);
    EXPECT_FALSE(folder.exists("other.jpg"));
    EXPECT_EQ(file_copy(folder.path("source.jpg"), folder.path("source.jpg")), 0);
    EXPECT_EQ(folder.read("source.jpg").size(), 100003u);
    EXPECT_EQ(file_copy(folder.path("source.jpg"), folder.path("nowhere/x.jpg")), 0);

    // A FIFO with an image's name fails at once instead of waiting for a writer, and each
    // failure says which step failed.
    ASSERT_EQ(::mkfifo(folder.path("pipe.jpg").c_str(), 0600), 0);
    int error = 0;
    EXPECT_EQ(file_copy(folder.path("pipe.jpg"), folder.path("from-pipe.jpg"), &error), 0);
    EXPECT_EQ(error, EINVAL);
    EXPECT_EQ(file_copy(folder.path("source.jpg"), folder.path("locked.jpg"), &error), 0);
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(file_copy(folder.path("missing.jpg"), folder.path("other.jpg"), &error), 0);
    EXPECT_EQ(error, ENOENT);
    // No temporary file is left behind by any of these.
    EXPECT_EQ(folder.entries(),
              (std::vector<std::string>{"locked.jpg", "new.jpg", "pipe.jpg", "source.jpg", "target.jpg"}));
}

TEST(Files, PathsTheHostCannotName)
{
    const std::string element(NAME_MAX, 'n');
    std::string deep;
    while (deep.size() < PATH_MAX)
        deep += "/" + element;
    const struct {
        std::string path;
        bool fits;
    } cases[] = {
        {"/photos/a.jpg", true},
        {"/" + element + "/a.jpg", true},
        {"/" + element + "n/a.jpg", false}, // one element too long
        {deep.substr(0, PATH_MAX - 1), true},
        {deep.substr(0, PATH_MAX), false}, // no room for the terminating zero
        {"", true},
    };
    for (const auto& [path, fits] : cases)
        EXPECT_EQ(path_fits_host(path), fits) << path.size();
}

} // namespace
} // namespace pictavo
