// SPDX-License-Identifier: GPL-3.0-or-later
// The working folder, sizes, extensions, copying and folder creation.
//
// Paths are host paths with '/' as separator. Every operation answers with a value (a size,
// 0 or non-zero, an empty text) and never shows or throws anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pictavo {

class AtomicFile;

// Answers of file_size besides a size.
constexpr std::int64_t FILE_SIZE_MISSING = -1; // missing, or neither a folder nor a regular file
constexpr std::int64_t FILE_SIZE_FOLDER = -2;

// The process's working folder, always ending with '/'. Empty when it cannot be read.
std::string current_folder();

// Size in bytes of an existing regular file, FILE_SIZE_FOLDER for an existing folder,
// FILE_SIZE_MISSING otherwise. Links are followed; trailing separators are ignored.
std::int64_t file_size(const std::string& path);

// The text after the last '.' of the last path element, up to a double quote; "" when there
// is none. A blank or a separator met before the '.', or a '.' that starts the element, means
// no extension. The case is kept: "my photo.JPG" gives "JPG".
std::string extension_part(const std::string& path);

// Copies source over target, replacing an existing target only once the copy is complete.
// The copy keeps the source's modification time. Fails (0) when the source is missing or not
// a regular file, when the target is read-only, a folder, or the source itself, or on any
// read or write error; the target is then left as it was. The source is opened without
// waiting, so a FIFO or device of that name fails at once instead of blocking. On failure
// error_number, when given, receives the errno of the step that failed (EINVAL for a source
// that is not a regular file or is the target).
int file_copy(const std::string& source, const std::string& target, int* error_number = nullptr);

// The same, leaving the complete copy in to's temporary (opened here for target, finished but
// not committed) for later steps; the caller commits or discards it.
int file_copy_staged(const std::string& source, const std::string& target, AtomicFile& to,
                     int* error_number = nullptr);

// Whether this host can name the path at all: shorter than PATH_MAX, and no element longer
// than NAME_MAX. Such a path cannot be opened, listed or created.
bool path_fits_host(const std::string& path);

// Creates one folder; its parent must exist. Trailing blanks and separators are ignored.
// Fails (0) when the folder exists already or cannot be created.
int folder_create(const std::string& path);

// Which file or folder a path leads to (links followed), to tell whether two paths meet.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> file_identity(const std::string& path);

} // namespace pictavo
