// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/results_table.h"

#include "app/byte_sizes.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace pictavo {
namespace {

// Below any real saving (a file can grow by any share, but not by a hundred thousand per cent
// in practice), so the rows without one sort first.
constexpr double NO_SAVING = -100000.0;

bool has_reason(const ImageResult& result) { return result.failure.reason != FailureReason::None; }

std::string size_cell(std::int64_t bytes) { return bytes >= 0 ? byte_size_text(bytes) : std::string(); }

} // namespace

ResultsTable::ResultsTable(const RunReport& report) : report_(report)
{
    savings_.reserve(report.images.size());
    for (const ImageRecord& record : report.images) {
        const ImageResult& result = record.result;
        const bool known = has_output(result) && result.source_bytes > 0 && result.output_bytes >= 0;
        savings_.push_back(known ? 100.0 * static_cast<double>(result.source_bytes - result.output_bytes)
                                       / static_cast<double>(result.source_bytes)
                                 : NO_SAVING);
    }
    order_.resize(report.images.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    show();
}

std::string ResultsTable::column_title(std::size_t column) const
{
    switch (column) {
    case File: return "File";
    case Result: return "Result";
    case Reason: return "Reason";
    case SourceBytes: return "Source";
    case OutputBytes: return "Output";
    case Saving: return "Saving";
    default: return {};
    }
}

bool ResultsTable::column_is_numeric(std::size_t column) const
{
    return column == SourceBytes || column == OutputBytes || column == Saving;
}

std::string ResultsTable::cell(std::size_t row, std::size_t column) const
{
    if (row >= shown_.size())
        return {};
    const std::size_t index = shown_[row];
    const ImageRecord& image = report_.images[index];
    const ImageResult& result = image.result;
    switch (column) {
    case File: return image.relative_path;
    case Result: {
        std::string name = result_name(result);
        std::replace(name.begin(), name.end(), '_', ' ');
        return name;
    }
    case Reason: return has_reason(result) ? failure_text(result.failure) : std::string();
    case SourceBytes: return size_cell(result.source_bytes);
    case OutputBytes: return size_cell(result.output_bytes);
    case Saving:
        return savings_[index] == NO_SAVING ? std::string()
                                            : std::to_string(static_cast<long long>(std::lround(savings_[index]))) + " %";
    default: return {};
    }
}

void ResultsTable::sort_by(std::size_t column, bool ascending)
{
    const auto& images = report_.images;
    const auto key_less = [&](std::size_t a, std::size_t b) {
        const ImageResult& left = images[a].result;
        const ImageResult& right = images[b].result;
        switch (column) {
        case File: return images[a].relative_path < images[b].relative_path;
        case Result: return std::string_view(result_name(left)) < std::string_view(result_name(right));
        case Reason:
            return (has_reason(left) ? failure_text(left.failure) : std::string())
                   < (has_reason(right) ? failure_text(right.failure) : std::string());
        case SourceBytes: return left.source_bytes < right.source_bytes;
        case OutputBytes: return left.output_bytes < right.output_bytes;
        case Saving: return savings_[a] < savings_[b];
        default: return false;
        }
    };
    if (ascending)
        std::stable_sort(order_.begin(), order_.end(), key_less);
    else
        std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) { return key_less(b, a); });
    show();
}

void ResultsTable::set_filter(bool on)
{
    filter_ = on;
    show();
}

void ResultsTable::show()
{
    shown_.clear();
    for (const std::size_t index : order_)
        if (!filter_ || has_reason(report_.images[index].result))
            shown_.push_back(index);
}

std::string ResultsTable::totals() const
{
    ByteTotals bytes;
    std::size_t failed = 0;
    for (const std::size_t index : shown_) {
        const ImageResult& result = report_.images[index].result;
        add_bytes(bytes, result);
        failed += counts_as_failed(result) ? 1 : 0;
    }
    std::string text = std::to_string(shown_.size()) + (shown_.size() == 1 ? " image" : " images");
    text += failed > 0 ? ", " + std::to_string(failed) + " failed." : std::string(".");
    if (const std::string savings = savings_line(bytes); !savings.empty())
        text += " " + savings;
    return text;
}

} // namespace pictavo
