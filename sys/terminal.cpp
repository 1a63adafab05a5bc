// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/terminal.h"

#include <atomic>
#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pictavo {
namespace {

std::atomic<bool> resized{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void note_resize(int) { resized.store(true); }

} // namespace

int terminal_columns(int descriptor)
{
    if (::isatty(descriptor) != 1)
        return 0;
    winsize size{};
    if (::ioctl(descriptor, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

void watch_terminal_size()
{
    struct sigaction action {};
    action.sa_handler = note_resize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGWINCH, &action, nullptr);
}

bool terminal_resized() { return resized.exchange(false); }

} // namespace pictavo
