// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/temporary_files.h"

#include "sys/descriptor.h"
#include "sys/name_hash.h"

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

// What a temporary's name adds to its target's: the leading dot, the marker, the random part.
constexpr std::size_t shape_length = 1 + TEMPORARY_MARKER.size() + random_length;

// The short form's name part: the target name's hash in hex.
constexpr std::size_t hash_digits = 16;

bool is_random_character(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The name inside a name of the temporary shape.
std::string_view inner_name(std::string_view temporary) { return temporary.substr(1, temporary.size() - shape_length); }

std::string short_form_name(std::string_view target_name)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::uint64_t hash = name_hash(target_name);
    std::string text(hash_digits, '0');
    for (std::size_t i = hash_digits; i-- > 0; hash >>= 4)
        text[i] = digits[hash & 15];
    return text;
}

// The metadata tool's file beside a temporary: the temporary's name and the tool's suffix.
bool is_tool_leftover_name(std::string_view name)
{
    return name.ends_with(METADATA_TOOL_SUFFIX)
           && is_temporary_name(name.substr(0, name.size() - METADATA_TOOL_SUFFIX.size()));
}

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

// Removes the metadata tool's file beside a temporary unless a live writer holds that temporary
// locked (the tool is then still at work on it); true when it was removed. A temporary that is
// gone, or unlocked, had a writer that has gone too.
bool remove_tool_leftover_if_abandoned(int folder, const char* name)
{
    const std::string_view leftover = name;
    const std::string temporary(leftover.substr(0, leftover.size() - METADATA_TOOL_SUFFIX.size()));
    const Descriptor held(::openat(folder, temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!held.valid() && errno != ENOENT)
        return false;
    if (held.valid() && ::flock(held.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    struct stat named {};
    if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode))
        return false;
    return ::unlinkat(folder, name, 0) == 0;
}

} // namespace

std::string temporary_name_pattern(std::string_view target_name, std::size_t name_limit)
{
    // A temporary that is itself replaced through a temporary gets a sibling of its own shape,
    // so that the name grows no longer and a sweep knows it too.
    if (is_temporary_name(target_name))
        target_name = inner_name(target_name);
    std::string pattern = ".";
    if (target_name.size() + shape_length + METADATA_TOOL_SUFFIX.size() <= name_limit)
        pattern += target_name;
    else
        pattern += short_form_name(target_name);
    pattern += TEMPORARY_MARKER;
    pattern.append(random_length, 'X');
    return pattern;
}

bool is_temporary_name(std::string_view name)
{
    if (name.size() <= shape_length || name.front() != '.')
        return false;
    const std::string_view target = inner_name(name);
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
    if (name.ends_with(METADATA_TOOL_SUFFIX))
        name.remove_suffix(METADATA_TOOL_SUFFIX.size());
    if (!is_temporary_name(name))
        return false;
    // Which form a writer chose depends on the file system's name limit, so either may be there.
    const std::string_view inner = inner_name(name);
    return inner == target_name || inner == short_form_name(target_name);
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
    const int at = folder_descriptor.get();
    while (const dirent* entry = ::readdir(listing.get())) {
        const char* name = entry->d_name;
        const bool temporary = is_temporary_name(name);
        if ((!temporary && !is_tool_leftover_name(name)) || (wanted && !wanted(name)))
            continue;
        if (temporary ? remove_if_abandoned(at, name) : remove_tool_leftover_if_abandoned(at, name))
            ++removed;
    }
    return removed;
}

} // namespace pictavo
