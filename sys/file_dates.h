// SPDX-License-Identifier: GPL-3.0-or-later
// File dates as Date values: whole seconds of local wall-clock time since 1970-01-01 00:00:00.
//
// A Date value counts the seconds of the wall-clock reading (it equals the UTC-based count of
// that reading, not of the true moment). Reading and setting both convert with the host's
// current UTC offset, so a value read from one file and set on another gives it the same
// moment, truncated to the whole second. Valid values run from 1970-01-01 00:00:00 to
// 2038-01-19 03:14:07.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pictavo {

using DateValue = std::int32_t;

constexpr DateValue DATE_INVALID = -1;

// Which date of a file: any other number means the creation date.
constexpr int FILE_DATE_CREATED = 0;
constexpr int FILE_DATE_ACCESSED = 1;
constexpr int FILE_DATE_MODIFIED = 2;

// The Date value of a calendar reading; DATE_INVALID for a field out of range, a day the month
// does not have, or a reading outside the valid range.
DateValue date_from_parts(int year, int month, int day, int hour, int minute, int second);

// The date of kind of the file or folder at path (links followed). 0 when the path is missing
// or the date cannot be read (a creation date the file system does not keep); DATE_INVALID
// for a date outside the valid range.
DateValue file_date_get(const std::string& path, int kind);

// Sets the date of kind, leaving the other two. Non-zero on success. A negative value (no
// valid date) leaves the file unchanged and answers 0. This host cannot set creation dates:
// kind 0 changes nothing and answers 0.
int file_date_set(const std::string& path, int kind, DateValue value);

// The modification time of the file at path (links followed) in whole seconds since the epoch,
// UTC, without the Date value's range; nothing when it cannot be read.
std::optional<std::int64_t> file_modified_seconds(const std::string& path);

} // namespace pictavo
