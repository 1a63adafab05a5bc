// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/directory.h"
#include "test_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

struct Listed {
    std::string name;
    int type;
    int attributes;
};

std::vector<Listed> list(std::int64_t number)
{
    std::vector<Listed> all;
    while (dir_next(number))
        all.push_back({dir_entry_name(number), dir_entry_type(number), dir_entry_attributes(number)});
    return all;
}

std::vector<std::string> names(const std::vector<Listed>& listed)
{
    std::vector<std::string> all;
    for (const auto& entry : listed)
        all.push_back(entry.name);
    return all;
}

TEST(Directory, EmptyFolderListsDotsAndMissingFolderFails)
{
    TestFolder folder;
    ASSERT_NE(dir_examine(0, folder.root()), 0);
    const auto listed = list(0);
    EXPECT_EQ(names(listed), (std::vector<std::string>{".", ".."}));
    EXPECT_EQ(listed[0].type, DIR_ENTRY_FOLDER);
    EXPECT_EQ(dir_next(0), 0);
    dir_finish(0);
    EXPECT_EQ(dir_next(0), 0);

    EXPECT_EQ(dir_examine(1, folder.path("missing")), 0);
    EXPECT_EQ(dir_next(1), 0);
    EXPECT_EQ(dir_entry_type(1), DIR_ENTRY_NONE);
    EXPECT_EQ(dir_entry_name(1), "");
    folder.write("file.txt", "x");
    EXPECT_EQ(dir_examine(1, folder.path("file.txt")), 0); // a file is not a folder
    EXPECT_EQ(dir_examine(1, ""), 0);
}

TEST(Directory, EntriesComeSortedWithTheirTypesAndAttributes)
{
    TestFolder folder;
    for (const char* name : {"b.jpg", "b.JPG", "B.png", "a.JPG", "C", ".hidden.png", "_x"})
        folder.write(name, "data");
    folder.make_folder("sub");
    folder.make_folder(".secret");
    ASSERT_EQ(::chmod(folder.path("C").c_str(), 0444), 0);
    ASSERT_EQ(::symlink(folder.path("sub").c_str(), folder.path("link").c_str()), 0);
    ASSERT_EQ(::symlink(folder.path("gone").c_str(), folder.path("broken").c_str()), 0);

    ASSERT_NE(dir_examine(7, folder.root(), ""), 0);
    // Before the first dir_next there is no current entry.
    EXPECT_EQ(dir_entry_type(7), DIR_ENTRY_NONE);
    const auto listed = list(7);
    dir_finish(7);
    EXPECT_EQ(names(listed), (std::vector<std::string>{".", "..", ".hidden.png", ".secret", "_x", "a.JPG", "b.JPG",
                                                       "b.jpg", "B.png", "broken", "C", "link", "sub"}));
    const auto find = [&](const std::string& name) {
        for (const auto& entry : listed)
            if (entry.name == name)
                return entry;
        return Listed{"", -1, -1};
    };
    EXPECT_EQ(find(".hidden.png").attributes, DIR_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(find(".hidden.png").type, DIR_ENTRY_FILE);
    EXPECT_EQ(find(".secret").attributes, DIR_ATTRIBUTE_HIDDEN | DIR_ATTRIBUTE_FOLDER);
    EXPECT_EQ(find("C").attributes, DIR_ATTRIBUTE_READ_ONLY);
    EXPECT_EQ(find("sub").type, DIR_ENTRY_FOLDER);
    EXPECT_EQ(find("link").type, DIR_ENTRY_FOLDER); // a link to a folder counts as one
    EXPECT_EQ(find("broken").type, DIR_ENTRY_FILE);
    EXPECT_EQ(find("a.JPG").attributes, 0);
}

TEST(Directory, PatternsAndRenumbering)
{
    TestFolder folder;
    for (const char* name : {"x.jpg", "y.JPG", "z.png"})
        folder.write(name, "");
    ASSERT_NE(dir_examine(2, folder.root(), "*.jpg"), 0);
    EXPECT_EQ(names(list(2)), (std::vector<std::string>{"x.jpg", "y.JPG"}));
    // Examining the number again starts a fresh listing.
    ASSERT_NE(dir_examine(2, folder.root(), "*.*"), 0);
    EXPECT_EQ(names(list(2)).size(), 5u);
    ASSERT_NE(dir_examine(200, folder.root(), "z*"), 0);
    EXPECT_EQ(names(list(200)), std::vector<std::string>{"z.png"});
    dir_finish(2);
    dir_finish(200);
}

} // namespace
} // namespace pictavo
