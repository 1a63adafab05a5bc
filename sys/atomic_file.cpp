// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/atomic_file.h"

#include "sys/temporary_files.h"
#include "sys/temporary_registry.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pictavo {
namespace {

// A sweep of another process may remove a fresh temporary in the moment before it is locked;
// the open then starts over with a new name. More misses than this in a row are not a race.
constexpr int creation_attempts = 8;

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

// The process's umask from /proc, which reads it without changing it (setting and restoring
// it would briefly change it for every thread, and for any child started meanwhile).
bool umask_from_proc(mode_t& mask)
{
    const Descriptor status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    char text[4096];
    const ssize_t got = status.valid() ? ::read(status.get(), text, sizeof text - 1) : -1;
    if (got <= 0)
        return false;
    text[got] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    if (!line)
        return false;
    char* end = nullptr;
    const unsigned long value = std::strtoul(line + 7, &end, 8);
    if (end == line + 7 || value > 0777)
        return false;
    mask = static_cast<mode_t>(value);
    return true;
}

mode_t creation_mode()
{
    static const mode_t mask = [] {
        mode_t found = 022;
        if (!umask_from_proc(found)) {
            found = ::umask(022);
            ::umask(found);
        }
        return found;
    }();
    return static_cast<mode_t>(0666 & ~mask);
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The longest file name the folder's file system takes; the usual limit when it does not say.
std::size_t name_limit_of(const std::string& folder)
{
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

// Creates the temporary for target and locks it: its descriptor, or -1 with errno set. The
// lock is taken on a duplicate (returned through lock) so that it outlives the writing
// descriptor until the temporary has been renamed or removed.
int create_locked(const std::string& target, std::string& path, Descriptor& lock)
{
    const std::string folder = folder_of(target);
    const std::size_t name_limit = name_limit_of(folder);
    for (int attempt = 0; attempt < creation_attempts; ++attempt) {
        // mkostemp creates the file readable and writable by the owner only.
        path = folder + "/" + temporary_name_pattern(name_of(target), name_limit);
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0)
            return -1;
        Descriptor duplicate(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        struct stat opened {}, named {};
        if (!duplicate.valid() || ::flock(duplicate.get(), LOCK_EX) != 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(path.c_str());
            errno = error;
            return -1;
        }
        // Locked: a sweep can no longer take it. Did one take it before?
        if (::fstat(fd, &opened) == 0 && opened.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0
            && same_file(opened, named)) {
            lock = std::move(duplicate);
            return fd;
        }
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

} // namespace

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : target_(std::move(other.target_))
    , temporary_path_(std::move(other.temporary_path_))
    , descriptor_(std::exchange(other.descriptor_, -1))
    , stream_(std::exchange(other.stream_, nullptr))
    , lock_(std::move(other.lock_))
    , registry_slot_(std::exchange(other.registry_slot_, -1))
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
        lock_ = std::move(other.lock_);
        registry_slot_ = std::exchange(other.registry_slot_, -1);
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

    std::string path;
    Descriptor lock;
    const int fd = create_locked(target, path, lock);
    if (fd < 0)
        return fail(errno);
    if (mode != 0600 && ::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(path.c_str());
        return fail(error);
    }
    target_ = target;
    temporary_path_ = std::move(path);
    descriptor_ = fd;
    lock_ = std::move(lock);
    registry_slot_ = register_open_temporary(temporary_path_);
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

bool AtomicFile::close_writer()
{
    if (descriptor_ < 0)
        return true;
    bool ok = true;
    if (stream_) {
        ok = std::fclose(stream_) == 0;
        stream_ = nullptr;
    } else {
        ok = ::close(descriptor_) == 0;
    }
    descriptor_ = -1;
    return ok;
}

// After the rename or the unlink: the lock and the registry entry go last.
void AtomicFile::release_temporary()
{
    release_open_temporary(std::exchange(registry_slot_, -1));
    lock_.reset();
    temporary_path_.clear();
}

bool AtomicFile::finish()
{
    if (temporary_path_.empty())
        return fail(EBADF);
    return close_writer() || fail(errno);
}

bool AtomicFile::relock()
{
    if (temporary_path_.empty())
        return fail(EBADF);
    struct stat held {}, named {};
    if (::fstat(lock_.get(), &held) == 0 && ::lstat(temporary_path_.c_str(), &named) == 0 && same_file(held, named))
        return true;
    Descriptor lock(::open(temporary_path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (!lock.valid() || ::fstat(lock.get(), &opened) != 0)
        return fail(errno);
    if (!S_ISREG(opened.st_mode))
        return fail(EINVAL);
    // Waits: the holder can only be a sweep, which lets go at once, or a child being started by
    // another thread that still has the descriptors of the replacement until it runs its program.
    int locked = -1;
    do
        locked = ::flock(lock.get(), LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return fail(errno);
    // Locked: had a sweep taken the name in the meantime?
    if (::lstat(temporary_path_.c_str(), &named) != 0 || !same_file(opened, named))
        return fail(ENOENT);
    lock_ = std::move(lock);
    return true;
}

bool AtomicFile::commit()
{
    if (temporary_path_.empty())
        return fail(EBADF);
    bool ok = close_writer();
    if (ok)
        ok = ::rename(temporary_path_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        error_ = errno;
        ::unlink(temporary_path_.c_str());
    }
    release_temporary();
    return ok;
}

void AtomicFile::discard()
{
    if (temporary_path_.empty())
        return;
    close_writer();
    ::unlink(temporary_path_.c_str());
    release_temporary();
}

int write_whole_file(const std::string& target, const std::string& content, AtomicFile::Access access)
{
    AtomicFile file;
    if (!file.open(target, access) || !file.write_all(content.data(), content.size()) || !file.commit())
        return file.error() != 0 ? file.error() : EIO;
    return 0;
}

} // namespace pictavo
