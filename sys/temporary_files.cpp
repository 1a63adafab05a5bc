// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/temporary_files.h"

#include "sys/descriptor.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

// mkstemp replaces the X's with these (glibc's alphabet).
constexpr std::size_t random_length = 6;

// What the metadata tool adds to the name of the file it rewrites, for its own temporary.
constexpr std::string_view metadata_tool_suffix = "_exiftool_tmp";

// What a temporary's name adds to its target's: the leading dot, the marker, the random part.
constexpr std::size_t shape_length = 1 + TEMPORARY_MARKER.size() + random_length;

bool is_random_character(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes one candidate if nobody holds it locked; true when it was removed.
bool remove_if_abandoned(int folder, const char* name)
{
    const Descriptor file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (!file.valid() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
        return false;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
        return false; // a live writer holds it
    // The name may have been renamed over a target or replaced since it was opened.
    struct stat named {};
    if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !same_file(opened, named))
        return false;
    return ::unlinkat(folder, name, 0) == 0; // still locked: the lock goes with the descriptor
}

} // namespace

std::string temporary_name_pattern(std::string_view target_name)
{
    // A temporary that is itself replaced through a temporary gets a sibling of its own shape,
    // so that the name grows no longer and a sweep knows it too.
    if (is_temporary_name(target_name))
        target_name = target_name.substr(1, target_name.size() - shape_length);
    std::string pattern = ".";
    pattern += target_name;
    pattern += TEMPORARY_MARKER;
    pattern.append(random_length, 'X');
    return pattern;
}

bool is_temporary_name(std::string_view name)
{
    if (name.size() <= shape_length || name.front() != '.')
        return false;
    const std::string_view target = name.substr(1, name.size() - shape_length);
    if (target == "." || target == ".." || target.find('/') != std::string_view::npos)
        return false;
    if (name.substr(1 + target.size(), TEMPORARY_MARKER.size()) != TEMPORARY_MARKER)
        return false;
    for (const char c : name.substr(name.size() - random_length))
        if (!is_random_character(c))
            return false;
    return true;
}

bool temporary_belongs_to(const std::string& temporary_name, const std::string& target_name)
{
    std::string_view name = temporary_name;
    if (name.ends_with(metadata_tool_suffix))
        name.remove_suffix(metadata_tool_suffix.size());
    return is_temporary_name(name) && name.substr(1, name.size() - shape_length) == target_name;
}

int sweep_temporary_files(const std::string& folder) { return sweep_temporary_files(folder, {}); }

int sweep_temporary_files(const std::string& folder, const std::function<bool(std::string_view name)>& wanted)
{
    const Descriptor folder_descriptor(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_descriptor.valid())
        return -1;
    // The listing gets a descriptor of its own; the first stays for the *at calls.
    const int listing_descriptor = ::dup(folder_descriptor.get());
    std::unique_ptr<DIR, DirectoryCloser> listing(listing_descriptor >= 0 ? ::fdopendir(listing_descriptor) : nullptr);
    if (!listing) {
        if (listing_descriptor >= 0)
            ::close(listing_descriptor);
        return -1;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        if (is_temporary_name(entry->d_name) && (!wanted || wanted(entry->d_name))
            && remove_if_abandoned(folder_descriptor.get(), entry->d_name))
            ++removed;
    }
    return removed;
}

} // namespace pictavo
