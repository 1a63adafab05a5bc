// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/process_runner.h"

#include <cerrno>
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

// Starts the process and waits or arranges for it to be reaped; false when it could not start.
bool spawn(const std::string& program, const std::vector<std::string>& arguments,
           const std::string& working_folder, int options)
{
    SpawnActions actions;
    if (!actions.prepare(working_folder, (options & RUN_HIDE) != 0))
        return false;

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    // glibc reports a failed exec (missing, not executable, a folder) as the spawn's result.
    if (::posix_spawnp(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ) != 0)
        return false;

    if (options & RUN_WAIT) {
        wait_for(child);
        return true;
    }
    try {
        std::thread(wait_for, child).detach();
    } catch (const std::exception&) {
        // No reaper thread: the child runs on; it is reaped when this process ends.
    }
    return true;
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

} // namespace pictavo
