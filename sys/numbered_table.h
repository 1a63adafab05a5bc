// SPDX-License-Identifier: GPL-3.0-or-later
// A table that maps a non-negative number chosen by the caller to one record.
//
// It starts with 16 slots; using a number at or beyond the end grows it to number + 16 slots.
// Allocating a number that already holds a record releases that record first; releasing a
// number empties its slot. A record is released by destroying it, so the record type's
// destructor is the table's free hook: a record that owns a handle closes it there.
//
// The table's own lock is held only while a slot is looked up, allocated or cleared; the
// record itself is used without it. A number is used by one thread at a time, so a pointer
// returned by lookup or allocate stays valid until that same thread releases the number.
// Records live in slots of their own, so growing the table never moves them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace pictavo {

template <class Record>
class NumberedTable {
public:
    static constexpr std::size_t initial_slots = 16;
    static constexpr std::size_t growth_margin = 16;

    NumberedTable() { slots_.resize(initial_slots); }
    NumberedTable(const NumberedTable&) = delete;
    NumberedTable& operator=(const NumberedTable&) = delete;

    // The record under number, or nullptr when the slot is empty or out of range.
    Record* lookup(std::int64_t number)
    {
        std::lock_guard lock(mutex_);
        if (number < 0 || static_cast<std::uint64_t>(number) >= slots_.size())
            return nullptr;
        return slots_[static_cast<std::size_t>(number)].get();
    }

    // A fresh default record under number, releasing what was there. nullptr for a negative
    // number or when memory runs out (the slot is then empty).
    Record* allocate(std::int64_t number)
    {
        std::unique_ptr<Record> previous;
        Record* result = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (number < 0 || !ensure_slot(static_cast<std::uint64_t>(number)))
                return nullptr;
            auto& slot = slots_[static_cast<std::size_t>(number)];
            previous = std::move(slot);
            slot.reset(new (std::nothrow) Record());
            result = slot.get();
        }
        // The previous record is destroyed outside the lock: its release may take time
        // (closing a file writes its buffer) and must not hold up other numbers.
        return result;
    }

    // Empties the slot; a number without a record is ignored.
    void release(std::int64_t number)
    {
        std::unique_ptr<Record> previous;
        std::lock_guard lock(mutex_);
        if (number < 0 || static_cast<std::uint64_t>(number) >= slots_.size())
            return;
        previous = std::move(slots_[static_cast<std::size_t>(number)]);
    }

    void release_all()
    {
        std::vector<std::unique_ptr<Record>> previous;
        std::lock_guard lock(mutex_);
        previous.swap(slots_);
        slots_.resize(initial_slots);
    }

    std::size_t slot_count()
    {
        std::lock_guard lock(mutex_);
        return slots_.size();
    }

private:
    bool ensure_slot(std::uint64_t number)
    {
        if (number < slots_.size())
            return true;
        if (number > SIZE_MAX / sizeof(void*) - growth_margin)
            return false;
        try {
            slots_.resize(static_cast<std::size_t>(number) + growth_margin);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    std::mutex mutex_;
    std::vector<std::unique_ptr<Record>> slots_;
};

} // namespace pictavo
