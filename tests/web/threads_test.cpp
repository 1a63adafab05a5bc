// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace pictavo {
namespace {

// A thread that runs until its gate opens.
struct Gate {
    std::atomic<bool> open {false};
    std::atomic<int> runs {0};
};

int gated(void* parameter)
{
    auto* gate = static_cast<Gate*>(parameter);
    while (!gate->open)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++gate->runs;
    return 7;
}

int quick(void* parameter)
{
    ++*static_cast<std::atomic<int>*>(parameter);
    return 0;
}

// Every case of the registry in one test: numbers are process-wide and must start at 1 here.
TEST(Threads, NumbersWaitsAndSweeps)
{
    Gate gate;
    const ThreadNumber first = thread_start(gated, &gate);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(thread_running(first), 1);
    EXPECT_EQ(thread_wait(first, 20), 0); // still running when the limit passes

    std::atomic<int> counter {0};
    const ThreadNumber second = thread_start(quick, &counter);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(thread_wait(second), 1);
    EXPECT_EQ(counter, 1);

    // Ended, not yet swept: still listed, but a wait returns at once.
    EXPECT_EQ(thread_running(second), 0);
    EXPECT_EQ(thread_registry_size(), 2);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(thread_wait(second), 1);
    EXPECT_EQ(thread_wait(second, 0), 1);
    EXPECT_EQ(thread_wait(0), 1);
    EXPECT_EQ(thread_wait(999), 1);
    EXPECT_EQ(thread_wait(-5, 1000), 1);
    EXPECT_EQ(thread_running(0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));

    // The next start sweeps the ended thread but keeps the running one; numbers are not reused.
    const ThreadNumber third = thread_start(quick, &counter);
    EXPECT_EQ(third, 3);
    EXPECT_EQ(thread_registry_size(), 2);
    EXPECT_EQ(thread_wait(third), 1);

    gate.open = true;
    EXPECT_EQ(thread_wait(first), 1);
    EXPECT_EQ(gate.runs, 1);
    EXPECT_EQ(thread_running(first), 0);

    const ThreadNumber fourth = thread_start(quick, &counter);
    EXPECT_EQ(fourth, 4);
    EXPECT_EQ(thread_registry_size(), 1);
    EXPECT_EQ(thread_wait(fourth, 5000), 1);
    EXPECT_EQ(counter, 3);
    EXPECT_EQ(thread_start(nullptr, nullptr), 0);
}

// A waiter with a limit and one without may wait on the same thread at once.
TEST(Threads, SeveralWaitersOnOneThread)
{
    Gate gate;
    const ThreadNumber number = thread_start(gated, &gate);
    ASSERT_NE(number, 0);
    std::atomic<int> woken {0};
    std::thread other([&] { woken += thread_wait(number); });
    std::thread limited([&] { woken += thread_wait(number, 10000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(woken, 0);
    gate.open = true;
    other.join();
    limited.join();
    EXPECT_EQ(woken, 2);
}

} // namespace
} // namespace pictavo
