// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of the results window: every image of a run with its result, reason, bytes and
// saving, sortable by any column and filtered to the images that went wrong.
#pragma once

#include "app/run_report.h"
#include "toolkit/table_source.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

class ResultsTable final : public TableSource {
public:
    enum Column : std::size_t { File, Result, Reason, SourceBytes, OutputBytes, Saving, ColumnCount };

    // The report must outlive the table.
    explicit ResultsTable(const RunReport& report);

    std::size_t column_count() const override { return ColumnCount; }
    std::string column_title(std::size_t column) const override;
    bool column_is_numeric(std::size_t column) const override;
    std::size_t row_count() const override { return shown_.size(); }
    std::string cell(std::size_t row, std::size_t column) const override;
    void sort_by(std::size_t column, bool ascending) override;
    // On: only the images with a reason (failed, or a later step that did not happen).
    void set_filter(bool on) override;
    // "3 images, 1 failed. Saved 1.2 MB of 4.5 MB (27 %)." over the rows shown.
    std::string totals() const override;

    // The image of a row as shown.
    const ImageRecord& record(std::size_t row) const { return report_.images[shown_[row]]; }

private:
    void show();

    const RunReport& report_;
    std::vector<double> savings_;    // per image in walk order; -1000 where there is none
    std::vector<std::size_t> order_; // every image, in the order of the last sort
    std::vector<std::size_t> shown_; // order_ as the filter leaves it
    bool filter_ = false;
};

} // namespace pictavo
