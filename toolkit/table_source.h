// SPDX-License-Identifier: GPL-3.0-or-later
// What a table window shows: rows of text cells that their owner keeps, sorts and filters, so
// a table of a hundred thousand rows costs the window only the rows in sight.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace pictavo {

class TableSource {
public:
    virtual ~TableSource() = default;

    virtual std::size_t column_count() const = 0;
    virtual std::string column_title(std::size_t column) const = 0;
    // Numbers, shown right-aligned.
    virtual bool column_is_numeric(std::size_t column) const = 0;

    // The rows as they are shown now: sorted, and only those the filter keeps when it is on.
    virtual std::size_t row_count() const = 0;
    virtual std::string cell(std::size_t row, std::size_t column) const = 0;

    // Sorts by a column; rows equal in it keep their order among themselves.
    virtual void sort_by(std::size_t column, bool ascending) = 0;
    virtual void set_filter(bool on) = 0;
    // A line of totals over the rows shown.
    virtual std::string totals() const = 0;
};

struct TableWindowSpec {
    std::string title;
    std::string filter_caption; // a check box above the table that turns the filter on
    std::string save_caption;   // a button below it, beside Close
    int width = 900;            // logical units, as the main window's
    int height = 520;
};

enum class TableAction {
    Activate, // a row was double-clicked (or Enter pressed on it)
    Save,     // the save button was pressed
};

// Called on the window's thread while the table window is open, with the row as shown for
// Activate (0 for Save).
using TableActionHandler = std::function<void(TableAction action, std::size_t row)>;

} // namespace pictavo
