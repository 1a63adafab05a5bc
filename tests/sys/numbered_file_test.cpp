// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/numbered_file.h"
#include "test_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pictavo {
namespace {

TEST(NumberedFile, ReadLineHandlesEveryTerminator)
{
    TestFolder folder;
    folder.write("lines.txt", "abc\r\ndef");
    ASSERT_NE(file_read_open(3, folder.path("lines.txt")), 0);
    EXPECT_EQ(file_read_line(3), "abc");
    EXPECT_EQ(file_read_line(3), "def");
    EXPECT_EQ(file_read_line(3), "");
    file_close(3);

    // A lone CR ends a line without eating the next one; CR then LF is one terminator.
    folder.write("mixed.txt", "a\rb\n\nc\r\r\nd");
    ASSERT_NE(file_read_open(3, folder.path("mixed.txt")), 0);
    for (const char* expected : {"a", "b", "", "c", "", "d", ""})
        EXPECT_EQ(file_read_line(3), expected);
    file_close(3);
    EXPECT_EQ(file_read_line(3), ""); // closed number
}

TEST(NumberedFile, ReadLineKeepsUtf8AndMarksBrokenBytes)
{
    TestFolder folder;
    // é, a byte-order mark, a stray continuation byte, a lead byte cut short by the CR.
    folder.write("utf8.txt", "\xC3\xA9x\n\xEF\xBB\xBFkey\n\x80y\n\xE2\x82\r\nz");
    ASSERT_NE(file_read_open(0, folder.path("utf8.txt")), 0);
    EXPECT_EQ(file_read_line(0), "\xC3\xA9x");
    EXPECT_EQ(file_read_line(0), "\xEF\xBB\xBFkey");
    EXPECT_EQ(file_read_line(0), "?y");
    EXPECT_EQ(file_read_line(0), "?");
    EXPECT_EQ(file_read_line(0), "z");
    file_close(0);
}

TEST(NumberedFile, LongLinesAndBufferedWritesCrossTheBuffer)
{
    TestFolder folder;
    const std::string path = folder.path("big.txt");
    std::string expected;
    ASSERT_NE(file_create(1, path), 0);
    // Small writes that fill the buffer several times, then one larger than the buffer.
    for (int i = 0; i < 1000; ++i) {
        const std::string piece = std::to_string(i) + ",";
        EXPECT_EQ(file_write_text(1, piece), static_cast<std::int64_t>(piece.size()));
        expected += piece;
    }
    const std::string large(FILE_BUFFER_SIZE + 123, 'L');
    EXPECT_EQ(file_write_text(1, large), static_cast<std::int64_t>(large.size()));
    expected += large;
    EXPECT_EQ(file_write_text(1, "\ntail"), 5);
    expected += "\ntail";
    EXPECT_EQ(file_write_text(1, ""), 0);
    EXPECT_EQ(file_length(1), static_cast<std::int64_t>(expected.size()));
    file_close(1);
    EXPECT_EQ(folder.read("big.txt"), expected);

    ASSERT_NE(file_read_open(1, path), 0);
    EXPECT_EQ(file_read_line(1), expected.substr(0, expected.find('\n')));
    EXPECT_EQ(file_read_line(1), "tail");
    EXPECT_EQ(file_write_text(1, "refused"), 0); // read-only number
    file_close(1);
    EXPECT_EQ(folder.read("big.txt"), expected);
}

TEST(NumberedFile, ReadsAndWritesAlternateWithoutLosingBytes)
{
    TestFolder folder;
    folder.write("rw.txt", "line1\nline2\nline3\n");
    ASSERT_NE(file_open(2, folder.path("rw.txt")), 0);
    EXPECT_EQ(file_read_line(2), "line1");
    // The write lands right after what was read, not after the read-ahead.
    EXPECT_EQ(file_write_text(2, "LINE2"), 5);
    EXPECT_EQ(file_read_line(2), ""); // rest of the overwritten line: only its LF is left
    EXPECT_EQ(file_read_line(2), "line3");
    file_close(2);
    EXPECT_EQ(folder.read("rw.txt"), "line1\nLINE2\nline3\n");

    // A read after a write sees the written bytes on disk and continues after them.
    ASSERT_NE(file_create(2, folder.path("wr.bin")), 0);
    EXPECT_EQ(file_write_text(2, "head"), 4);
    char data[8] = {};
    EXPECT_EQ(file_read_data(2, data, sizeof data), 0);
    EXPECT_EQ(file_length(2), 4);
    file_close(2);
    EXPECT_EQ(folder.read("wr.bin"), "head");
}

TEST(NumberedFile, ReadDataServesLargeAndSmallRequests)
{
    TestFolder folder;
    std::string content;
    for (int i = 0; i < 10000; ++i)
        content += static_cast<char>('a' + i % 26);
    folder.write("data.bin", content);
    ASSERT_NE(file_read_open(4, folder.path("data.bin")), 0);
    EXPECT_EQ(file_length(4), 10000);
    std::string got(10000, '\0');
    EXPECT_EQ(file_read_data(4, got.data(), 10), 10);
    EXPECT_EQ(file_read_data(4, got.data() + 10, 5000), 5000); // larger than the buffer
    EXPECT_EQ(file_read_data(4, got.data() + 5010, 100), 100);
    EXPECT_EQ(file_read_data(4, got.data() + 5110, 9000), 4890); // short at the end
    EXPECT_EQ(file_read_data(4, got.data(), 10), 0);
    EXPECT_EQ(got, content);
    file_close(4);
}

TEST(NumberedFile, OpenRulesAndEmptyNumbers)
{
    TestFolder folder;
    EXPECT_EQ(file_read_open(5, folder.path("missing.txt")), 0);
    EXPECT_EQ(file_read_open(5, folder.root()), 0); // a folder is not a file
    EXPECT_EQ(file_create(5, folder.path("no/such/folder.txt")), 0);
    EXPECT_EQ(file_length(5), -1);
    EXPECT_EQ(file_write_text(5, "x"), 0);
    EXPECT_EQ(file_read_line(5), "");
    EXPECT_EQ(file_create(-1, folder.path("negative.txt")), 0);

    // file_open creates a missing file and keeps an existing one; file_create empties it.
    ASSERT_NE(file_open(5, folder.path("kept.txt")), 0);
    file_write_text(5, "kept");
    file_close(5);
    ASSERT_NE(file_open(5, folder.path("kept.txt")), 0);
    EXPECT_EQ(file_length(5), 4);
    // Opening the number again closes (and writes out) the file held there first.
    file_write_text(5, "!");
    ASSERT_NE(file_create(5, folder.path("other.txt")), 0);
    EXPECT_EQ(folder.read("kept.txt"), "!ept");
    file_close(5);

    ASSERT_NE(file_create(40, folder.path("kept.txt")), 0); // beyond the first 16 slots
    EXPECT_EQ(file_length(40), 0);
    file_close(40);
}

TEST(NumberedFile, OwnerOnlyFilesAreMode0600)
{
    TestFolder folder;
    folder.write("secret.txt", "old secret");
    ASSERT_EQ(::chmod(folder.path("secret.txt").c_str(), 0644), 0);
    for (const char* name : {"secret.txt", "new-secret.txt"}) {
        ASSERT_NE(file_create(0, folder.path(name), FilePermissions::OwnerOnly), 0);
        file_write_text(0, "key\n");
        file_close(0);
        struct stat info {};
        ASSERT_EQ(::stat(folder.path(name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
        EXPECT_EQ(folder.read(name), "key\n");
    }
}

} // namespace
} // namespace pictavo
