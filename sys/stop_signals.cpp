// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/stop_signals.h"

#include "sys/temporary_registry.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace pictavo {
namespace {

// A signal handler may only touch lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

std::atomic<bool> stop_requested{false};
std::atomic<int> first_signal{0};

constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM};

void on_stop_signal(int number)
{
    int none = 0;
    first_signal.compare_exchange_strong(none, number);
    if (stop_requested.exchange(true)) {
        remove_open_temporaries();
        ::_exit(128 + number);
    }
}

sigset_t stop_signal_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int number : STOP_SIGNALS)
        sigaddset(&set, number);
    return set;
}

} // namespace

void catch_stop_signals()
{
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : STOP_SIGNALS)
        ::sigaction(number, &action, nullptr);
}

const std::atomic<bool>& stop_signal_flag() { return stop_requested; }

int stop_signal_received() { return first_signal.load(); }

void block_stop_signals_in_this_thread()
{
    const sigset_t set = stop_signal_set();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

} // namespace pictavo
