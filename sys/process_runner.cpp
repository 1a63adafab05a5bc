// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/process_runner.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace pictavo {
namespace {

class SpawnActions {
public:
    SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions()
    {
        if (ok_)
            ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    bool prepare(const std::string& working_folder, bool hide)
    {
        if (!ok_)
            return false;
        if (hide)
            for (int stream = 0; stream <= 2; ++stream)
                if (::posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null",
                                                       stream == 0 ? O_RDONLY : O_WRONLY, 0) != 0)
                    return false;
        if (!working_folder.empty()
            && ::posix_spawn_file_actions_addchdir_np(&actions_, working_folder.c_str()) != 0)
            return false;
        return true;
    }

    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_ {};
    bool ok_ = false;
};

void wait_for(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Reaps a child that is not waited for, so it leaves no zombie.
void reap_in_background(pid_t child)
{
    try {
        std::thread(wait_for, child).detach();
    } catch (const std::exception&) {
        // No reaper thread: the child runs on; it is reaped when this process ends.
    }
}

// Starts the process; its id, or -1 when it could not start.
pid_t start_process(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& working_folder, int options)
{
    SpawnActions actions;
    if (!actions.prepare(working_folder, (options & RUN_HIDE) != 0))
        return -1;

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    // glibc reports a failed exec (missing, not executable, a folder) as the spawn's result.
    if (::posix_spawnp(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ) != 0)
        return -1;
    return child;
}

// Starts the process and waits or arranges for it to be reaped; false when it could not start.
bool spawn(const std::string& program, const std::vector<std::string>& arguments,
           const std::string& working_folder, int options)
{
    const pid_t child = start_process(program, arguments, working_folder, options);
    if (child < 0)
        return false;
    if (options & RUN_WAIT)
        wait_for(child);
    else
        reap_in_background(child);
    return true;
}

// Why xdg-open ended without opening, from its documented exit status.
std::string opener_failure(int status)
{
    if (WIFSIGNALED(status))
        return "the opener xdg-open was ended by signal " + std::to_string(WTERMSIG(status));
    switch (WEXITSTATUS(status)) {
    case 2:
        return "it does not exist";
    case 3:
        return "no application that can open it was found";
    case 4:
        return "the application that should open it failed";
    default:
        return "the opener xdg-open failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
}

// What the opener can act on: an existing file or folder, or an address such as
// "https://..." or "mailto:...". A missing path is refused here, as no opener could open it.
bool openable(const std::string& target)
{
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0)
        return true;
    const auto colon = target.find(':');
    if (colon == std::string::npos || colon < 2)
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = target[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(i > 0 && other))
            return false;
    }
    return true;
}

// The given folder; else, for a path, the text up to its last '/' (a folder ending in '/' is
// its own working folder); else (an address) none.
std::string opener_folder(const std::string& target, const std::string& working_folder)
{
    if (!working_folder.empty())
        return working_folder;
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0)
        return {};
    const auto slash = target.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return {};
    return target.substr(0, slash + 1);
}

} // namespace

int run_program(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& working_folder, int options)
{
    if (program.empty())
        return 0;
    if (spawn(program, arguments, working_folder, options))
        return 1;
    if (!openable(program))
        return 0;
    return spawn("xdg-open", {program}, opener_folder(program, working_folder), options) ? 1 : 0;
}

OpenAnswer open_with_desktop(const std::string& target, int answer_milliseconds)
{
    if (target.empty())
        return {false, "there is nothing to open"};
    struct stat info {};
    if (target[0] == '/' && ::stat(target.c_str(), &info) != 0)
        return {false, std::strerror(errno)};
    if (!openable(target))
        return {false, "it is neither a file, a folder nor a web address"};
    const pid_t opener = start_process("xdg-open", {target}, opener_folder(target, ""), 0);
    if (opener < 0)
        return {false, "the opener xdg-open was not found (package xdg-utils)"};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(answer_milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t ended = ::waitpid(opener, &status, WNOHANG);
        if (ended == opener)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? OpenAnswer{true, {}}
                                                                 : OpenAnswer{false, opener_failure(status)};
        if (ended < 0 && errno != EINTR)
            return {true, {}}; // reaped elsewhere: it started, and nothing more can be known
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reap_in_background(opener);
    return {true, {}};
}

} // namespace pictavo
