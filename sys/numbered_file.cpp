// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/numbered_file.h"

#include "sys/numbered_table.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictavo {
namespace {

// Blocking I/O that retries interrupted and partial transfers; answers the bytes moved.
// transfer(offset) moves what is left from offset on and answers like read/write.
template <class Transfer>
std::size_t transfer_fully(std::size_t size, Transfer transfer)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t moved = transfer(done);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0)
            break;
        done += static_cast<std::size_t>(moved);
    }
    return done;
}

std::size_t write_fully(int fd, const unsigned char* data, std::size_t size)
{
    return transfer_fully(size, [&](std::size_t done) { return ::write(fd, data + done, size - done); });
}

std::size_t read_fully(int fd, unsigned char* data, std::size_t size)
{
    return transfer_fully(size, [&](std::size_t done) { return ::read(fd, data + done, size - done); });
}

// One open file. The buffer holds either bytes waiting to be written (Writing: filled up to
// `filled`) or bytes read ahead (Reading: `filled` bytes, of which those from `position` on are
// still unread), never both.
class OpenFile {
public:
    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile()
    {
        if (fd_ >= 0) {
            flush();
            ::close(fd_);
        }
    }

    void attach(int fd, bool read_only)
    {
        fd_ = fd;
        read_only_ = read_only;
    }
    int descriptor() const { return fd_; }

    std::size_t write(const unsigned char* data, std::size_t size)
    {
        if (read_only_ || size == 0)
            return 0;
        if (!stop_reading())
            return 0;
        if (filled_ + size > buffer_.size() && !flush())
            return 0;
        if (size >= buffer_.size())
            return write_fully(fd_, data, size);
        std::memcpy(buffer_.data() + filled_, data, size);
        filled_ += size;
        state_ = State::Writing;
        return size;
    }

    std::size_t read(unsigned char* data, std::size_t size)
    {
        if (!flush())
            return 0;
        std::size_t done = take_buffered(data, size);
        if (done == size)
            return done;
        if (size - done > buffer_.size())
            return done + read_fully(fd_, data + done, size - done);
        if (!refill())
            return done;
        return done + take_buffered(data + done, size - done);
    }

    // One byte through the buffer; false at the end of the file.
    bool read_byte(unsigned char& byte) { return read(&byte, 1) == 1; }
    // Puts back the byte that read_byte delivered last.
    void unread_byte()
    {
        if (state_ == State::Reading && position_ > 0)
            --position_;
    }
    bool peek_byte(unsigned char& byte)
    {
        if (!read_byte(byte))
            return false;
        unread_byte();
        return true;
    }

    // Writes pending bytes; false when they could not all be written (they are dropped then,
    // so a failing disk cannot make every later call fail again).
    bool flush()
    {
        if (state_ != State::Writing)
            return true;
        const std::size_t pending = filled_;
        state_ = State::Empty;
        filled_ = 0;
        return write_fully(fd_, buffer_.data(), pending) == pending;
    }

private:
    enum class State { Empty, Writing, Reading };

    // Moves the file position back over read-ahead bytes so that a write lands right after
    // the last byte the caller has read.
    bool stop_reading()
    {
        if (state_ != State::Reading)
            return true;
        const auto unread = static_cast<off_t>(filled_ - position_);
        state_ = State::Empty;
        filled_ = position_ = 0;
        return unread == 0 || ::lseek(fd_, -unread, SEEK_CUR) >= 0;
    }

    std::size_t take_buffered(unsigned char* data, std::size_t size)
    {
        if (state_ != State::Reading)
            return 0;
        const std::size_t count = std::min(size, filled_ - position_);
        std::memcpy(data, buffer_.data() + position_, count);
        position_ += count;
        return count;
    }

    bool refill()
    {
        filled_ = read_fully(fd_, buffer_.data(), buffer_.size());
        position_ = 0;
        state_ = filled_ > 0 ? State::Reading : State::Empty;
        return filled_ > 0;
    }

    int fd_ = -1;
    bool read_only_ = false;
    State state_ = State::Empty;
    std::size_t filled_ = 0;
    std::size_t position_ = 0;
    std::array<unsigned char, FILE_BUFFER_SIZE> buffer_{};
};

NumberedTable<OpenFile>& files()
{
    static NumberedTable<OpenFile> table;
    return table;
}

// Opens path under number; a directory or other non-regular file is refused.
int open_numbered(std::int64_t number, const std::string& path, int flags, mode_t mode, bool read_only)
{
    files().release(number);
    if (number < 0 || path.empty())
        return 0;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0)
        return 0;
    struct stat info {};
    OpenFile* file = nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (file = files().allocate(number)) == nullptr) {
        ::close(fd);
        return 0;
    }
    file->attach(fd, read_only);
    return 1;
}

// Number of continuation bytes that follow a UTF-8 lead byte; -1 for a byte that cannot lead.
int continuation_count(unsigned char lead)
{
    if (lead < 0x80)
        return 0;
    if ((lead & 0xE0) == 0xC0)
        return 1;
    if ((lead & 0xF0) == 0xE0)
        return 2;
    if ((lead & 0xF8) == 0xF0)
        return 3;
    return -1;
}

// Appends one UTF-8 sequence starting with lead, or '?' when it is not a complete one. A byte
// that cannot continue the sequence is left unread, so a line terminator is never swallowed.
void append_sequence(OpenFile& file, unsigned char lead, std::string& line)
{
    const int more = continuation_count(lead);
    std::string sequence(1, static_cast<char>(lead));
    for (int i = 0; i < more; ++i) {
        unsigned char next = 0;
        if (!file.peek_byte(next) || (next & 0xC0) != 0x80) {
            line += '?';
            return;
        }
        file.read_byte(next);
        sequence += static_cast<char>(next);
    }
    line += more < 0 ? std::string("?") : sequence;
}

} // namespace

int file_create(std::int64_t number, const std::string& path, FilePermissions permissions)
{
    const bool owner_only = permissions == FilePermissions::OwnerOnly;
    if (!open_numbered(number, path, O_RDWR | O_CREAT | O_TRUNC, owner_only ? 0600 : 0666, false))
        return 0;
    if (owner_only && ::fchmod(files().lookup(number)->descriptor(), 0600) != 0) {
        files().release(number);
        return 0;
    }
    return 1;
}

int file_read_open(std::int64_t number, const std::string& path)
{
    return open_numbered(number, path, O_RDONLY, 0, true);
}

int file_open(std::int64_t number, const std::string& path)
{
    return open_numbered(number, path, O_RDWR | O_CREAT, 0666, false);
}

void file_close(std::int64_t number) { files().release(number); }

void file_close_all() { files().release_all(); }

std::string file_read_line(std::int64_t number)
{
    OpenFile* file = files().lookup(number);
    std::string line;
    if (!file)
        return line;
    unsigned char byte = 0;
    while (file->read_byte(byte)) {
        if (byte == '\n')
            break;
        if (byte == '\r') {
            if (file->read_byte(byte) && byte != '\n')
                file->unread_byte();
            break;
        }
        append_sequence(*file, byte, line);
    }
    return line;
}

std::int64_t file_write_text(std::int64_t number, const std::string& text)
{
    OpenFile* file = files().lookup(number);
    if (!file)
        return 0;
    return static_cast<std::int64_t>(
        file->write(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

std::int64_t file_length(std::int64_t number)
{
    OpenFile* file = files().lookup(number);
    if (!file)
        return -1;
    file->flush();
    struct stat info {};
    if (::fstat(file->descriptor(), &info) != 0)
        return -1;
    return static_cast<std::int64_t>(info.st_size);
}

std::int64_t file_read_data(std::int64_t number, void* memory, std::int64_t count)
{
    OpenFile* file = files().lookup(number);
    if (!file || !memory || count <= 0)
        return 0;
    return static_cast<std::int64_t>(file->read(static_cast<unsigned char*>(memory), static_cast<std::size_t>(count)));
}

} // namespace pictavo
