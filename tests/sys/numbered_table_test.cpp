// SPDX-License-Identifier: GPL-3.0-or-later
#include "sys/numbered_table.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

struct CountedRecord {
    static inline int alive = 0;
    int value = 0;
    CountedRecord() { ++alive; }
    ~CountedRecord() { --alive; }
};

TEST(NumberedTable, GrowsToNumberPlusSixteenAndReleasesOnReallocation)
{
    CountedRecord::alive = 0;
    {
        NumberedTable<CountedRecord> table;
        EXPECT_EQ(table.slot_count(), 16u);
        EXPECT_EQ(table.lookup(3), nullptr);

        CountedRecord* first = table.allocate(3);
        ASSERT_NE(first, nullptr);
        first->value = 7;
        EXPECT_EQ(table.lookup(3), first);
        EXPECT_EQ(table.slot_count(), 16u);

        // Re-allocating a number releases the record that was there and gives a fresh one.
        CountedRecord* second = table.allocate(3);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(second->value, 0);
        EXPECT_EQ(CountedRecord::alive, 1);

        ASSERT_NE(table.allocate(16), nullptr);
        EXPECT_EQ(table.slot_count(), 32u);
        // Growth never moves records that are already there.
        EXPECT_EQ(table.lookup(3), second);

        table.release(3);
        EXPECT_EQ(table.lookup(3), nullptr);
        EXPECT_EQ(CountedRecord::alive, 1);
        table.release(3);      // an empty number is ignored
        table.release(100000); // so is one beyond the end
        EXPECT_EQ(table.allocate(-1), nullptr);
    }
    EXPECT_EQ(CountedRecord::alive, 0); // the table releases what is left
}

} // namespace
} // namespace pictavo
