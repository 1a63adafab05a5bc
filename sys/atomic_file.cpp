// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/atomic_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pictavo {
namespace {

std::string folder_of(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t creation_mode()
{
    // umask can only be read by setting it; do that once, before any worker thread exists.
    static const mode_t mask = [] {
        const mode_t current = ::umask(022);
        ::umask(current);
        return current;
    }();
    return static_cast<mode_t>(0666 & ~mask);
}

} // namespace

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_))
    , temporary_path_(std::move(other.temporary_path_))
    , descriptor_(std::exchange(other.descriptor_, -1))
    , stream_(std::exchange(other.stream_, nullptr))
    , error_(other.error_)
{
}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept
{
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        temporary_path_ = std::move(other.temporary_path_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        stream_ = std::exchange(other.stream_, nullptr);
        error_ = other.error_;
    }
    return *this;
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::fail(int error_number)
{
    error_ = error_number;
    return false;
}

bool AtomicFile::open(const std::string& target, Access access)
{
    discard();
    error_ = 0;
    if (target.empty() || target.back() == '/')
        return fail(EINVAL);

    mode_t mode = creation_mode();
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode))
            return fail(EISDIR);
        if ((existing.st_mode & S_IWUSR) == 0)
            return fail(EACCES);
        mode = existing.st_mode & 07777;
    } else if (errno != ENOENT) {
        return fail(errno);
    }
    if (access == Access::PrivateFile)
        mode = 0600;

    // mkostemp creates the file readable and writable by the owner only.
    std::string pattern = folder_of(target) + "/." + name_of(target) + ".pictavo-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    if (mode != 0600 && ::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(pattern.c_str());
        return fail(error);
    }
    target_ = target;
    temporary_path_ = std::move(pattern);
    descriptor_ = fd;
    return true;
}

std::FILE* AtomicFile::stream()
{
    if (!stream_ && descriptor_ >= 0)
        stream_ = ::fdopen(descriptor_, "wb");
    return stream_;
}

bool AtomicFile::write_all(const void* data, std::size_t size)
{
    if (descriptor_ < 0)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(descriptor_, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail(written < 0 ? errno : ENOSPC);
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool AtomicFile::commit()
{
    if (descriptor_ < 0)
        return fail(EBADF);
    bool ok = true;
    if (stream_) {
        ok = std::fclose(stream_) == 0;
        stream_ = nullptr;
    } else {
        ok = ::close(descriptor_) == 0;
    }
    descriptor_ = -1;
    if (ok)
        ok = ::rename(temporary_path_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        error_ = errno;
        ::unlink(temporary_path_.c_str());
    }
    temporary_path_.clear();
    return ok;
}

void AtomicFile::discard()
{
    if (descriptor_ < 0)
        return;
    if (stream_)
        std::fclose(stream_);
    else
        ::close(descriptor_);
    stream_ = nullptr;
    descriptor_ = -1;
    ::unlink(temporary_path_.c_str());
    temporary_path_.clear();
}

} // namespace pictavo
