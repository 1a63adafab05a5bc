// SPDX-License-Identifier: GPL-3.0-or-later
// Numbered directory listings.
//
// dir_examine reads a folder's entries under a number the caller chooses; dir_next then steps
// through them. The entries of one listing come sorted by name, case-insensitively and then
// byte by byte, so every walk over a tree is the same; "." and ".." are listed like the others.
// Examining a number that holds a listing finishes that listing first.
#pragma once

#include <cstdint>
#include <string>

namespace pictavo {

// Attribute bits of an entry.
constexpr int DIR_ATTRIBUTE_READ_ONLY = 1; // the owner has no write permission
constexpr int DIR_ATTRIBUTE_HIDDEN = 2;    // the name begins with '.'
constexpr int DIR_ATTRIBUTE_FOLDER = 16;   // a folder, or a link to one

// Entry types.
constexpr int DIR_ENTRY_NONE = 0;
constexpr int DIR_ENTRY_FILE = 1;
constexpr int DIR_ENTRY_FOLDER = 2;

// Opens a listing of folder. pattern selects names with '*' and '?' wildcards, ignoring case;
// "" and "*.*" select every name. Non-zero on success; 0 (and the number free) when the folder
// is missing or cannot be read.
int dir_examine(std::int64_t number, const std::string& folder, const std::string& pattern = "");
// Steps to the next entry: 1, or 0 at the end or without a listing.
int dir_next(std::int64_t number);
// The current entry's name without any path; "" without a current entry.
std::string dir_entry_name(std::int64_t number);
// DIR_ENTRY_FOLDER, DIR_ENTRY_FILE, or DIR_ENTRY_NONE without a current entry.
int dir_entry_type(std::int64_t number);
// The current entry's DIR_ATTRIBUTE_* bits; 0 without a current entry.
int dir_entry_attributes(std::int64_t number);
// Closes the listing and frees the number.
void dir_finish(std::int64_t number);

// 0 when folder can be opened for listing, else the errno of the attempt.
int dir_open_error(const std::string& folder);

} // namespace pictavo
