// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/file_dates.h"

#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace pictavo {
namespace {

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t days_since_epoch(int year, int month, int day)
{
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400; // y >= 1969 here, so no negative division
    const int year_of_era = y - era * 400;
    const int day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return static_cast<std::int64_t>(era) * 146097 + day_of_era - 719468;
}

// The host's offset of local time from UTC now, in seconds (east positive).
std::int64_t current_utc_offset()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    if (!::localtime_r(&now, &local))
        return 0;
    return local.tm_gmtoff;
}

} // namespace

DateValue date_from_parts(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1970 || year > 2038 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)
        || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return DATE_INVALID;
    const std::int64_t value = days_since_epoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return value > INT32_MAX ? DATE_INVALID : static_cast<DateValue>(value);
}

DateValue file_date_get(const std::string& path, int kind)
{
    struct statx info {};
    const unsigned mask = kind == FILE_DATE_ACCESSED   ? STATX_ATIME
                          : kind == FILE_DATE_MODIFIED ? STATX_MTIME
                                                       : STATX_BTIME;
    if (path.empty() || ::statx(AT_FDCWD, path.c_str(), 0, mask, &info) != 0 || (info.stx_mask & mask) == 0)
        return 0;
    const statx_timestamp& time = kind == FILE_DATE_ACCESSED   ? info.stx_atime
                                  : kind == FILE_DATE_MODIFIED ? info.stx_mtime
                                                               : info.stx_btime;
    const std::int64_t wall_clock = time.tv_sec + current_utc_offset();
    if (wall_clock < 0 || wall_clock > INT32_MAX)
        return DATE_INVALID;
    return static_cast<DateValue>(wall_clock);
}

int file_date_set(const std::string& path, int kind, DateValue value)
{
    if (path.empty() || value < 0 || (kind != FILE_DATE_ACCESSED && kind != FILE_DATE_MODIFIED))
        return 0;
    const struct timespec unchanged = {0, UTIME_OMIT};
    const struct timespec moment = {static_cast<std::time_t>(value - current_utc_offset()), 0};
    const struct timespec times[2] = {kind == FILE_DATE_ACCESSED ? moment : unchanged,
                                      kind == FILE_DATE_MODIFIED ? moment : unchanged};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 1 : 0;
}

std::optional<std::int64_t> file_modified_seconds(const std::string& path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(info.st_mtim.tv_sec);
}

} // namespace pictavo
