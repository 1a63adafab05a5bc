// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/child_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <utility>

namespace pictavo {
namespace {

// How often finish() looks whether the child has ended during its grace time.
constexpr auto EXIT_POLL_INTERVAL = std::chrono::milliseconds(5);

// Moves a descriptor above the standard ones, so that the child's dup2 calls onto 0, 1 and 2
// can never overwrite another of its descriptors. Keeps close-on-exec.
Descriptor above_standard(int descriptor)
{
    if (descriptor < 0 || descriptor > STDERR_FILENO)
        return Descriptor(descriptor);
    const int moved = ::fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(descriptor);
    return Descriptor(moved);
}

struct ChildEnds {
    Descriptor parent_input, child_input;   // a socket pair, so that writes can refuse SIGPIPE
    Descriptor parent_output, child_output; // a pipe
    Descriptor status_read, status_write;   // the child reports a failed exec here

    bool open()
    {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return false;
        parent_input = above_standard(pair[0]);
        child_input = above_standard(pair[1]);
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0)
            return false;
        parent_output = above_standard(output[0]);
        child_output = above_standard(output[1]);
        int status[2];
        if (::pipe2(status, O_CLOEXEC) != 0)
            return false;
        status_read = above_standard(status[0]);
        status_write = above_standard(status[1]);
        return parent_input.valid() && child_input.valid() && parent_output.valid() && child_output.valid()
               && status_read.valid() && status_write.valid();
    }
};

// In the forked child: only async-signal-safe calls until exec.
[[noreturn]] void become_program(const ChildEnds& ends, const char* program, char* const* argv,
                                 const char* working_folder, pid_t parent)
{
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int null = ::open("/dev/null", O_WRONLY);
    bool ready = ::getppid() == parent && null >= 0 && ::dup2(ends.child_input.get(), STDIN_FILENO) >= 0
                 && ::dup2(ends.child_output.get(), STDOUT_FILENO) >= 0 && ::dup2(null, STDERR_FILENO) >= 0
                 && (working_folder[0] == '\0' || ::chdir(working_folder) == 0);
    if (ready) {
        if (std::string_view(program).find('/') != std::string_view::npos)
            ::execv(program, argv);
        else
            ::execvp(program, argv);
    }
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(ends.status_write.get(), &error, sizeof error);
    ::_exit(127);
}

} // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), input_(std::move(other.input_)), output_(std::move(other.output_)),
      pending_(std::move(other.pending_))
{
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        kill();
        pid_ = std::exchange(other.pid_, -1);
        input_ = std::move(other.input_);
        output_ = std::move(other.output_);
        pending_ = std::move(other.pending_);
    }
    return *this;
}

ChildProcess::~ChildProcess() { kill(); }

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& working_folder)
{
    if (running() || program.empty())
        return false;
    ChildEnds ends;
    if (!ends.open())
        return false;
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0)
        become_program(ends, program.c_str(), argv.data(), working_folder.c_str(), parent);

    ends.child_input.reset();
    ends.child_output.reset();
    ends.status_write.reset();
    int exec_error = 0;
    ssize_t got = 0;
    do {
        got = ::read(ends.status_read.get(), &exec_error, sizeof exec_error);
    } while (got < 0 && errno == EINTR);
    pid_ = child;
    if (got != 0) { // the exec failed (or the report was garbled): nothing runs
        kill();
        return false;
    }
    input_ = std::move(ends.parent_input);
    output_ = std::move(ends.parent_output);
    pending_.clear();
    return true;
}

bool ChildProcess::alive()
{
    if (running())
        reap(false);
    return running();
}

bool ChildProcess::send(std::string_view text)
{
    while (!text.empty()) {
        if (!running())
            return false;
        const ssize_t sent = ::send(input_.get(), text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

ChildProcess::Answer ChildProcess::read_until(std::string_view marker, std::chrono::milliseconds time_limit,
                                              std::string& text)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + time_limit;
    std::size_t searched = 0; // bytes of pending_ known not to start the marker
    for (;;) {
        if (const auto at = pending_.find(marker, searched); at != std::string::npos) {
            text = pending_.substr(0, at + marker.size());
            pending_.erase(0, at + marker.size());
            return Answer::Complete;
        }
        if (pending_.size() >= marker.size())
            searched = pending_.size() - marker.size() + 1;
        if (pending_.size() > CHILD_ANSWER_LIMIT)
            return Answer::TooLong;
        if (!running())
            return Answer::Ended;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Answer::TimedOut;
        pollfd ready{output_.get(), POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0)
            return Answer::TimedOut;
        char buffer[4096];
        const ssize_t got = ::read(output_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Answer::Ended;
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

void ChildProcess::finish(std::chrono::milliseconds grace)
{
    if (!running())
        return;
    input_.reset();
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (running() && std::chrono::steady_clock::now() < deadline) {
        reap(false);
        if (running())
            std::this_thread::sleep_for(EXIT_POLL_INTERVAL);
    }
    kill();
}

void ChildProcess::kill()
{
    if (running()) {
        ::kill(-pid_, SIGKILL); // its process group, in case it started helpers of its own
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    forget();
}

void ChildProcess::reap(bool blocking)
{
    int status = 0;
    pid_t done = 0;
    do {
        done = ::waitpid(pid_, &status, blocking ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == pid_ || (done < 0 && errno == ECHILD))
        forget();
}

void ChildProcess::forget()
{
    pid_ = -1;
    input_.reset();
    output_.reset();
    pending_.clear();
}

} // namespace pictavo
