// SPDX-License-Identifier: GPL-3.0-or-later
// Numbered sequential files with a 4096-byte buffer and line-oriented UTF-8 text.
//
// The caller chooses the number. Opening a number that holds an open file closes that file
// first; a failed open leaves the number free. Writes collect in the buffer and reach the file
// when it is full, on file_length and on file_close. An operation on a number that holds no
// file does nothing and answers 0 or "" (file_length: -1). Reading and writing may alternate
// on one number: the buffer switches over without losing or repeating bytes.
#pragma once

#include <cstdint>
#include <string>

namespace pictavo {

constexpr std::size_t FILE_BUFFER_SIZE = 4096;

enum class FilePermissions {
    Default,   // 0666 less the umask for a new file; an existing file keeps its own
    OwnerOnly, // 0600, also applied to an existing file it replaces (secrets such as keys)
};

// A new empty file for reading and writing; an existing file is emptied.
int file_create(std::int64_t number, const std::string& path,
                FilePermissions permissions = FilePermissions::Default);
// An existing regular file for reading only; writes to it are refused.
int file_read_open(std::int64_t number, const std::string& path);
// An existing file, or a new one when it is missing, for reading and writing.
int file_open(std::int64_t number, const std::string& path);
// Writes what is buffered, closes the file and frees the number.
void file_close(std::int64_t number);

// The next line without its terminator (CR, LF or CR LF); "" at the end of the file. A byte
// that does not start a complete UTF-8 sequence reads as '?'.
std::string file_read_line(std::int64_t number);
// Writes text as it is (UTF-8, no terminator added); the number of bytes written.
std::int64_t file_write_text(std::int64_t number, const std::string& text);
// The file's current length in bytes, pending writes included; -1 without a file.
std::int64_t file_length(std::int64_t number);
// Reads up to count bytes into memory; the number read (less at the end of the file).
std::int64_t file_read_data(std::int64_t number, void* memory, std::int64_t count);

// Closes every numbered file (at program end).
void file_close_all();

} // namespace pictavo
