// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/results_table.h"

#include <gtest/gtest.h>

#include <functional>

namespace pictavo {
namespace {

// A run of count images in a repeating mix of outcomes, with sizes that differ from image to
// image and many that are equal, so that a sort has ties to keep in order.
RunReport mixed_report(int count)
{
    RunReport report;
    for (int i = 0; i < count; ++i) {
        ImageResult result;
        result.outcome = ImageOutcome::Written;
        result.source_bytes = 10000 + (i * 7919) % 50 * 100;
        result.output_bytes = result.source_bytes / (1 + i % 4);
        switch (i % 10) {
        case 3: result = failed_image(FailureReason::NotAnImage); break;
        case 5: result.failure.reason = FailureReason::MetadataFailed; break;
        case 7: result.outcome = ImageOutcome::Skipped; result.source_bytes = -1; break;
        case 9: result.outcome = ImageOutcome::Kept; result.output_bytes = result.source_bytes; break;
        default: break;
        }
        report.images.push_back({"d" + std::to_string(i % 7) + "/img" + std::to_string(i) + ".jpg", result});
    }
    return report;
}

// The walk-order index of the image a row shows.
std::size_t walk_index(const RunReport& report, const ResultsTable& table, std::size_t row)
{
    return static_cast<std::size_t>(&table.record(row) - report.images.data());
}

TEST(ResultsTable, SortsEveryColumnBothWaysStablyFiltersTheFailuresAndTotalsWhatIsShown)
{
    const RunReport report = mixed_report(3000);
    ResultsTable table(report);
    ASSERT_EQ(table.column_count(), 6u);
    EXPECT_EQ(table.column_title(ResultsTable::Saving), "Saving");
    EXPECT_TRUE(table.column_is_numeric(ResultsTable::OutputBytes));
    EXPECT_FALSE(table.column_is_numeric(ResultsTable::Reason));
    ASSERT_EQ(table.row_count(), 3000u);
    EXPECT_EQ(table.cell(0, ResultsTable::File), "d0/img0.jpg"); // walk order until sorted
    EXPECT_EQ(table.cell(3, ResultsTable::Result), "failed");
    EXPECT_EQ(table.cell(3, ResultsTable::Reason), "not an image");
    EXPECT_EQ(table.cell(3, ResultsTable::OutputBytes), "");
    EXPECT_EQ(table.cell(7, ResultsTable::Result), "skipped");
    EXPECT_EQ(table.cell(1, ResultsTable::Saving), "50 %");
    EXPECT_EQ(table.cell(9, ResultsTable::Saving), "0 %");

    // Each column's order as the rows carry it: text as shown, numbers as counted.
    using Key = std::function<double(std::size_t)>;
    const auto number = [&](auto field) -> Key {
        return [&table, field](std::size_t row) { return static_cast<double>(field(table.record(row).result)); };
    };
    for (std::size_t column = 0; column < table.column_count(); ++column) {
        for (const bool ascending : {true, false}) {
            SCOPED_TRACE(table.column_title(column) + (ascending ? " up" : " down"));
            table.sort_by(column, ascending);
            ASSERT_EQ(table.row_count(), 3000u);
            for (std::size_t row = 1; row < table.row_count(); ++row) {
                int order = 0; // of row - 1 against row: -1 before, 0 equal, 1 after
                if (column == ResultsTable::SourceBytes || column == ResultsTable::OutputBytes) {
                    const Key key = column == ResultsTable::SourceBytes
                                        ? number([](const ImageResult& r) { return r.source_bytes; })
                                        : number([](const ImageResult& r) { return r.output_bytes; });
                    order = key(row - 1) < key(row) ? -1 : key(row - 1) > key(row) ? 1 : 0;
                } else if (column == ResultsTable::Saving) {
                    const auto saving = [&](std::size_t r) {
                        const std::string text = table.cell(r, column);
                        return text.empty() ? -1e9 : std::stod(text);
                    };
                    // Shown rounded: equal cells may differ below the rounding, never the other way.
                    order = saving(row - 1) < saving(row) ? -1 : saving(row - 1) > saving(row) ? 1 : 2;
                } else {
                    const int compared = table.cell(row - 1, column).compare(table.cell(row, column));
                    order = compared < 0 ? -1 : compared > 0 ? 1 : 0;
                }
                ASSERT_NE(order, ascending ? 1 : -1) << "rows " << row - 1 << " and " << row;
            }
        }
    }
    // A stable sort: sorted by file first, then by result, equal results stay in file order.
    table.sort_by(ResultsTable::File, true);
    table.sort_by(ResultsTable::Result, true);
    for (std::size_t row = 1; row < table.row_count(); ++row) {
        if (table.cell(row - 1, ResultsTable::Result) == table.cell(row, ResultsTable::Result)) {
            ASSERT_LT(table.cell(row - 1, ResultsTable::File), table.cell(row, ResultsTable::File)) << row;
        }
    }

    table.set_filter(true);
    ASSERT_EQ(table.row_count(), 600u); // the failed ones and those whose metadata step failed
    for (std::size_t row = 0; row < table.row_count(); ++row)
        ASSERT_FALSE(table.cell(row, ResultsTable::Reason).empty());
    // 300 written outputs whose metadata step failed: their sources 10000 + k x 100 bytes, halved.
    ByteTotals failed_bytes;
    for (std::size_t row = 0; row < table.row_count(); ++row)
        add_bytes(failed_bytes, table.record(row).result);
    EXPECT_EQ(failed_bytes.images, 300);
    EXPECT_EQ(table.totals(), "600 images, 600 failed. " + savings_line(failed_bytes));
    EXPECT_LT(walk_index(report, table, 0), 3000u);

    table.set_filter(false);
    EXPECT_EQ(table.row_count(), 3000u);
    EXPECT_EQ(table.totals(), "3000 images, 600 failed. " + savings_line(byte_totals(report)));
    EXPECT_EQ(ResultsTable(RunReport{}).totals(), "0 images.");
}

} // namespace
} // namespace pictavo
