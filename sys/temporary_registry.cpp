// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/temporary_registry.h"

#include "sys/temporary_files.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace pictavo {
namespace {

// Workers write one temporary each at a time; a few hundred covers any machine's worker count.
// A temporary beyond this is not registered and is left to the next run's sweep.
constexpr std::size_t slot_count = 256;
constexpr std::size_t path_capacity = PATH_MAX;

// The slot word: a generation that grows with every registration, and the state in its low
// two bits. A reader that sees the same word before and after copying the path has a path
// that nobody changed meanwhile.
constexpr std::uint64_t state_mask = 3, slot_free = 0, slot_busy = 1, slot_ready = 2;

// Everything is lock-free atomics, so that a signal handler may read a slot at any moment.
struct Slot {
    std::atomic<std::uint64_t> word {0};
    std::atomic<pid_t> owner {0};
    std::atomic<char> path[path_capacity] {};
};

Slot slots[slot_count];

void remove_at_exit() { remove_open_temporaries(); }

std::uint64_t next_word(std::uint64_t word, std::uint64_t state) { return ((word >> 2) + 1) << 2 | state; }

} // namespace

int register_open_temporary(const std::string& path)
{
    if (path.empty() || path.size() >= path_capacity)
        return -1;
    static std::once_flag at_exit;
    std::call_once(at_exit, [] { std::atexit(remove_at_exit); });

    for (std::size_t index = 0; index < slot_count; ++index) {
        Slot& slot = slots[index];
        std::uint64_t word = slot.word.load(std::memory_order_relaxed);
        const std::uint64_t busy = next_word(word, slot_busy);
        if ((word & state_mask) != slot_free || !slot.word.compare_exchange_strong(word, busy, std::memory_order_relaxed))
            continue;
        // Each character is a release store: a reader that copies any of them also sees the
        // busy word written before it (a fence would do the same, but ThreadSanitizer cannot
        // follow fences).
        for (std::size_t i = 0; i < path.size(); ++i)
            slot.path[i].store(path[i], std::memory_order_release);
        slot.path[path.size()].store('\0', std::memory_order_release);
        slot.owner.store(::getpid(), std::memory_order_relaxed);
        slot.word.store((busy & ~state_mask) | slot_ready, std::memory_order_release);
        return static_cast<int>(index);
    }
    return -1;
}

void release_open_temporary(int slot)
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= slot_count)
        return;
    std::atomic<std::uint64_t>& word = slots[slot].word;
    word.store((word.load(std::memory_order_relaxed) & ~state_mask) | slot_free, std::memory_order_release);
}

int remove_open_temporaries()
{
    const pid_t self = ::getpid();
    int removed = 0;
    char path[path_capacity];
    for (Slot& slot : slots) {
        const std::uint64_t before = slot.word.load(std::memory_order_acquire);
        if ((before & state_mask) != slot_ready || slot.owner.load(std::memory_order_relaxed) != self)
            continue;
        std::size_t length = 0;
        // Acquire loads: the word read after them is at least as new as any character copied.
        while (length + 1 < path_capacity && (path[length] = slot.path[length].load(std::memory_order_acquire)) != '\0')
            ++length;
        path[length] = '\0';
        if (slot.word.load(std::memory_order_relaxed) != before)
            continue; // released (and perhaps reused) while being read: its owner has dealt with it
        // Only ever a name of the temporary shape, whatever happened to the slot.
        const std::string_view whole(path, length);
        const auto slash = whole.find_last_of('/');
        if (is_temporary_name(slash == std::string_view::npos ? whole : whole.substr(slash + 1))
            && ::unlink(path) == 0)
            ++removed;
    }
    return removed;
}

} // namespace pictavo
