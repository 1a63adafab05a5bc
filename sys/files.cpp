// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/files.h"

#include "sys/atomic_file.h"
#include "sys/descriptor.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pictavo {
namespace {

std::string without_trailing(std::string path, const char* characters)
{
    const auto last = path.find_last_not_of(characters);
    path.erase(last == std::string::npos ? 0 : last + 1);
    return path;
}

bool copy_contents(int from, AtomicFile& to)
{
    std::vector<unsigned char> buffer(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!to.write_all(buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

} // namespace

std::string current_folder()
{
    std::vector<char> buffer(256);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
    std::string folder(buffer.data());
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::int64_t file_size(const std::string& path)
{
    if (path.empty())
        return FILE_SIZE_MISSING;
    // Trailing separators are dropped, but a path of separators alone is the root.
    const std::string trimmed = without_trailing(path, "/");
    struct stat info {};
    if (::stat(trimmed.empty() ? "/" : trimmed.c_str(), &info) != 0)
        return FILE_SIZE_MISSING;
    if (S_ISDIR(info.st_mode))
        return FILE_SIZE_FOLDER;
    if (S_ISREG(info.st_mode))
        return static_cast<std::int64_t>(info.st_size);
    return FILE_SIZE_MISSING;
}

std::string extension_part(const std::string& path)
{
    for (std::size_t i = path.size(); i-- > 0;) {
        const char c = path[i];
        if (c == ' ' || c == '/')
            return {};
        if (c != '.')
            continue;
        if (i == 0 || path[i - 1] == '/')
            return {};
        const auto quote = path.find('"', i + 1);
        return path.substr(i + 1, quote == std::string::npos ? std::string::npos : quote - i - 1);
    }
    return {};
}

int file_copy_staged(const std::string& source, const std::string& target, AtomicFile& to, int* error_number)
{
    const auto fail = [error_number, &to](int error) {
        to.discard();
        if (error_number)
            *error_number = error;
        return 0;
    };
    // The kind is judged on the open descriptor, so a name swapped for a FIFO after any earlier
    // look cannot make the copy wait for a writer.
    Descriptor from(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!from.valid())
        return fail(errno);
    struct stat source_info {};
    if (::fstat(from.get(), &source_info) != 0)
        return fail(errno);
    if (!S_ISREG(source_info.st_mode))
        return fail(EINVAL);
    struct stat target_info {};
    if (::stat(target.c_str(), &target_info) == 0 && target_info.st_dev == source_info.st_dev
        && target_info.st_ino == source_info.st_ino)
        return fail(EINVAL);

    if (!to.open(target))
        return fail(to.error());
    if (!copy_contents(from.get(), to))
        return fail(to.error() != 0 ? to.error() : EIO);
    const struct timespec times[2] = {{0, UTIME_OMIT}, source_info.st_mtim};
    ::futimens(to.descriptor(), times);
    return to.finish() ? 1 : fail(to.error());
}

int file_copy(const std::string& source, const std::string& target, int* error_number)
{
    AtomicFile to;
    if (file_copy_staged(source, target, to, error_number) == 0)
        return 0;
    if (to.commit())
        return 1;
    if (error_number)
        *error_number = to.error();
    return 0;
}

bool path_fits_host(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return false;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end - start > NAME_MAX)
            return false;
        start = end + 1;
    }
    return true;
}

int folder_create(const std::string& path)
{
    const std::string trimmed = without_trailing(path, " /");
    if (trimmed.empty())
        return 0;
    return ::mkdir(trimmed.c_str(), 0777) == 0 ? 1 : 0;
}

std::optional<FileIdentity> file_identity(const std::string& path)
{
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace pictavo
