// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/directory.h"

#include "sys/numbered_table.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <vector>

namespace pictavo {
namespace {

struct DirectoryEntry {
    std::string name;
    int attributes = 0;
};

struct DirectoryListing {
    std::vector<DirectoryEntry> entries;
    std::size_t delivered = 0; // entries delivered so far; the current one is delivered - 1

    const DirectoryEntry* current() const { return delivered > 0 ? &entries[delivered - 1] : nullptr; }
};

// Owns an open DIR stream.
class DirectoryStream {
public:
    explicit DirectoryStream(const std::string& folder) : stream_(::opendir(folder.c_str())) {}
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    ~DirectoryStream()
    {
        if (stream_)
            ::closedir(stream_);
    }
    DIR* get() const { return stream_; }

private:
    DIR* stream_;
};

NumberedTable<DirectoryListing>& listings()
{
    static NumberedTable<DirectoryListing> table;
    return table;
}

bool selects_every_name(const std::string& pattern)
{
    return pattern.empty() || pattern == "*" || pattern == "*.*";
}

// The entry is looked at relative to its listed folder, so an entry whose full path is longer
// than the host can name still gets its kind: a folder too deep to enter is then reported as
// such by the walk instead of passing for a file.
int attributes_of(int folder, const dirent& entry)
{
    const std::string name = entry.d_name;
    int attributes = name.front() == '.' ? DIR_ATTRIBUTE_HIDDEN : 0;
    struct stat info {};
    // A broken link is listed as a file with the link's own attributes. An entry that cannot
    // be looked at (a folder without search permission) keeps the kind its listing gives.
    if (::fstatat(folder, name.c_str(), &info, 0) != 0
        && ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return attributes | (entry.d_type == DT_DIR ? DIR_ATTRIBUTE_FOLDER : 0);
    if (S_ISDIR(info.st_mode))
        attributes |= DIR_ATTRIBUTE_FOLDER;
    if ((info.st_mode & S_IWUSR) == 0)
        attributes |= DIR_ATTRIBUTE_READ_ONLY;
    return attributes;
}

int compare_ignoring_case(const std::string& a, const std::string& b)
{
    const auto lower = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
    };
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return lower(a[i]) < lower(b[i]) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool name_before(const DirectoryEntry& a, const DirectoryEntry& b)
{
    const int folded = compare_ignoring_case(a.name, b.name);
    return folded != 0 ? folded < 0 : a.name < b.name;
}

// Reads every entry of folder that pattern selects; false when the folder cannot be read.
bool read_entries(const std::string& folder, const std::string& pattern, std::vector<DirectoryEntry>& entries)
{
    DirectoryStream stream(folder);
    if (!stream.get())
        return false;
    const bool every_name = selects_every_name(pattern);
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string name = entry->d_name;
        if (!every_name && ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0)
            continue;
        entries.push_back({name, attributes_of(::dirfd(stream.get()), *entry)});
    }
    std::sort(entries.begin(), entries.end(), name_before);
    return true;
}

const DirectoryEntry* current_entry(std::int64_t number)
{
    const DirectoryListing* listing = listings().lookup(number);
    return listing ? listing->current() : nullptr;
}

} // namespace

int dir_examine(std::int64_t number, const std::string& folder, const std::string& pattern)
{
    listings().release(number);
    std::vector<DirectoryEntry> entries;
    try {
        if (folder.empty() || !read_entries(folder, pattern, entries))
            return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    DirectoryListing* listing = listings().allocate(number);
    if (!listing)
        return 0;
    listing->entries = std::move(entries);
    return 1;
}

int dir_next(std::int64_t number)
{
    DirectoryListing* listing = listings().lookup(number);
    if (!listing || listing->delivered >= listing->entries.size())
        return 0;
    ++listing->delivered;
    return 1;
}

std::string dir_entry_name(std::int64_t number)
{
    const DirectoryEntry* entry = current_entry(number);
    return entry ? entry->name : std::string();
}

int dir_entry_type(std::int64_t number)
{
    const DirectoryEntry* entry = current_entry(number);
    if (!entry)
        return DIR_ENTRY_NONE;
    return (entry->attributes & DIR_ATTRIBUTE_FOLDER) ? DIR_ENTRY_FOLDER : DIR_ENTRY_FILE;
}

int dir_entry_attributes(std::int64_t number)
{
    const DirectoryEntry* entry = current_entry(number);
    return entry ? entry->attributes : 0;
}

void dir_finish(std::int64_t number) { listings().release(number); }

int dir_open_error(const std::string& folder)
{
    const DirectoryStream stream(folder);
    return stream.get() ? 0 : errno;
}

} // namespace pictavo
