// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/upload_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace pictavo {
namespace {

TEST(UploadGate, BoundsExchangesAndStartsNoneAfterAFailure)
{
    UploadGate gate(2);
    std::atomic<int> inside{0};
    std::atomic<int> most_inside{0};
    std::atomic<int> exchanges{0};
    auto exchange = [&](bool fails) {
        if (!gate.enter())
            return;
        const int now = ++inside;
        int seen = most_inside.load();
        while (now > seen && !most_inside.compare_exchange_weak(seen, now)) {
        }
        // Each waits (a few seconds at most) for a second one inside, unless no other is left:
        // a gate that let only one in would make every wait run out, however slow the machine.
        for (int waited = 0; waited < 3000 && inside.load() < 2 && exchanges.load() + inside.load() < 8; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ++exchanges;
        --inside;
        gate.leave(fails);
    };
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i)
        workers.emplace_back(exchange, false);
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(exchanges, 8);
    EXPECT_EQ(most_inside, 2);
    EXPECT_FALSE(gate.failed());

    // An exchange waiting for a slot when another fails does not start, nor does a later one.
    UploadGate single(1);
    ASSERT_TRUE(single.enter());
    std::atomic<int> waited{-1};
    std::thread waiting([&] { waited = single.enter() ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(waited, -1); // still waiting for the slot
    single.leave(true);
    waiting.join();
    EXPECT_EQ(waited, 0);
    EXPECT_TRUE(single.failed());
    EXPECT_FALSE(single.enter());
}

} // namespace
} // namespace pictavo
