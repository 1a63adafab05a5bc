// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/folder_drop.h"
#include "test_folder.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

TEST(FolderDrop, OnlyOneLocalFolderIsTaken)
{
    TestFolder folder;
    folder.make_folder("odd name%");
    folder.write("file.jpg", "x");
    const std::string root = folder.path("");
    const std::string odd = root + "odd name%/";
    const std::pair<std::string, std::string> cases[] = {
        {"file://" + root + "odd%20name%25", odd},
        {"file://localhost" + root + "odd%20name%25", odd},
        {"file:" + root + "odd%20name%25", odd},
        {"# from a file manager\r\n\r\nfile://" + root + "odd%20name%25\r\n", odd},
        {"file://" + root + "odd%20name%25\r\nfile://" + root + "odd%20name%25", ""}, // two items
        {"file://" + root + "file.jpg", ""},
        {"file://" + root + "missing", ""},
        {"file://elsewhere" + root + "odd%20name%25", ""},
        {"https://example.invalid" + root, ""},
        {"file://" + root + "odd%20name%25?x", ""},
        {"file://" + root + "odd%00", ""},
        {"file://" + root + "odd%zz", ""},
        {"file:relative", ""},
        {"", ""},
    };
    for (const auto& [uri_list, expected] : cases)
        EXPECT_EQ(folder_of_uri_list(uri_list), expected) << uri_list;
}

} // namespace
} // namespace pictavo
