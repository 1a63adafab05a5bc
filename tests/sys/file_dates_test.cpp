// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/file_dates.h"
#include "test_folder.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pictavo {
namespace {

TEST(FileDates, DateFromPartsCountsWallClockSeconds)
{
    EXPECT_EQ(date_from_parts(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(date_from_parts(1970, 1, 1, 1, 2, 3), 3723);
    EXPECT_EQ(date_from_parts(2000, 3, 1, 0, 0, 0), 951868800);
    EXPECT_EQ(date_from_parts(2021, 6, 25, 10, 41, 1), 1624617661);
    EXPECT_EQ(date_from_parts(2024, 2, 29, 12, 0, 0), 1709208000);
    EXPECT_EQ(date_from_parts(2000, 2, 29, 0, 0, 0), 951782400);
    EXPECT_EQ(date_from_parts(2038, 1, 19, 3, 14, 7), INT32_MAX);

    EXPECT_EQ(date_from_parts(2038, 1, 19, 3, 14, 8), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2039, 1, 1, 0, 0, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(1969, 12, 31, 23, 59, 59), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2021, 4, 31, 0, 0, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2023, 2, 29, 0, 0, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(1900 + 200, 2, 29, 0, 0, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2021, 13, 1, 0, 0, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2021, 1, 0, 0, 0, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2021, 1, 1, 24, 0, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2021, 1, 1, 0, 60, 0), DATE_INVALID);
    EXPECT_EQ(date_from_parts(2021, 1, 1, 0, 0, 60), DATE_INVALID);
}

TEST(FileDates, CopiedDateIsTheSameMomentToTheWholeSecond)
{
    TestFolder folder;
    folder.write("source.jpg", "s");
    folder.write("target.jpg", "t");
    // Modified at a moment with a fraction of a second, accessed at another.
    const struct timespec times[2] = {{1500000000, 0}, {1624610461, 750000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.path("source.jpg").c_str(), times, 0), 0);

    for (int kind : {FILE_DATE_ACCESSED, FILE_DATE_MODIFIED}) {
        const DateValue value = file_date_get(folder.path("source.jpg"), kind);
        ASSERT_GT(value, 0);
        EXPECT_NE(file_date_set(folder.path("target.jpg"), kind, value), 0);
        EXPECT_EQ(file_date_get(folder.path("target.jpg"), kind), value);
    }
    struct stat info {};
    ASSERT_EQ(::stat(folder.path("target.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1624610461);
    EXPECT_EQ(info.st_mtim.tv_nsec, 0);
    EXPECT_EQ(info.st_atim.tv_sec, 1500000000);

    // Setting one kind leaves the other alone.
    EXPECT_NE(file_date_set(folder.path("target.jpg"), FILE_DATE_ACCESSED, 1000), 0);
    ASSERT_EQ(::stat(folder.path("target.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1624610461);
}

// Runs the test body with the local time zone set to a POSIX TZ text, restoring it afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            saved_ = old;
        had_ = std::getenv("TZ") != nullptr;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone()
    {
        if (had_)
            ::setenv("TZ", saved_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string saved_;
    bool had_ = false;
};

TEST(FileDates, ValuesAreLocalWallClock)
{
    TimeZone zone("XST-2"); // two hours east of UTC, no daylight saving
    TestFolder folder;
    folder.write("file.txt", "x");
    const struct timespec times[2] = {{UTIME_OMIT, 0}, {1624610461, 0}}; // 08:41:01 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.path("file.txt").c_str(), times, 0), 0);
    EXPECT_EQ(file_date_get(folder.path("file.txt"), FILE_DATE_MODIFIED), date_from_parts(2021, 6, 25, 10, 41, 1));

    ASSERT_NE(file_date_set(folder.path("file.txt"), FILE_DATE_MODIFIED, date_from_parts(2020, 1, 1, 2, 0, 0)), 0);
    struct stat info {};
    ASSERT_EQ(::stat(folder.path("file.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1577836800); // 2020-01-01 00:00:00 UTC
}

TEST(FileDates, FailuresAreAnswersAndLeaveFilesAlone)
{
    TestFolder folder;
    folder.write("file.txt", "x");
    const struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.path("file.txt").c_str(), times, 0), 0);

    EXPECT_EQ(file_date_get(folder.path("missing.txt"), FILE_DATE_MODIFIED), 0);
    EXPECT_EQ(file_date_set(folder.path("missing.txt"), FILE_DATE_MODIFIED, 1000), 0);
    EXPECT_EQ(file_date_set(folder.path("file.txt"), FILE_DATE_MODIFIED, DATE_INVALID), 0);
    EXPECT_EQ(file_date_set(folder.path("file.txt"), FILE_DATE_CREATED, 1000), 0);
    EXPECT_EQ(file_date_set(folder.path("file.txt"), 7, 1000), 0); // other kinds mean created
    struct stat info {};
    ASSERT_EQ(::stat(folder.path("file.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(info.st_atim.tv_sec, 1500000000);

    // A creation date, where the file system keeps one, is a recent valid date; otherwise 0.
    const DateValue created = file_date_get(folder.path("file.txt"), FILE_DATE_CREATED);
    EXPECT_TRUE(created == 0 || created > 1600000000) << created;
    EXPECT_EQ(file_date_get(folder.path("file.txt"), 9), created);
}

} // namespace
} // namespace pictavo
