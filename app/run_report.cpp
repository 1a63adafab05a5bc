// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_report.h"

#include "app/byte_sizes.h"

#include <cmath>

namespace pictavo {

bool counts_as_failed(const ImageResult& result)
{
    if (result.outcome == ImageOutcome::Failed)
        return true;
    return has_output(result)
           && (result.failure.reason == FailureReason::MetadataFailed
               || result.failure.reason == FailureReason::DatesFailed
               || result.failure.reason == FailureReason::OverSizeLimit);
}

void add_bytes(ByteTotals& totals, const ImageResult& result)
{
    if (!has_output(result) || result.source_bytes < 0 || result.output_bytes < 0)
        return;
    totals.source_bytes += result.source_bytes;
    totals.output_bytes += result.output_bytes;
    ++totals.images;
}

ByteTotals byte_totals(const RunReport& report)
{
    ByteTotals totals;
    for (const ImageRecord& record : report.images)
        add_bytes(totals, record.result);
    return totals;
}

const char* result_name(const ImageResult& result)
{
    if (counts_as_failed(result))
        return "failed";
    switch (result.outcome) {
    case ImageOutcome::Written: return "written";
    case ImageOutcome::Kept: return "kept";
    case ImageOutcome::Skipped: return "skipped";
    case ImageOutcome::Failed: return "failed";
    case ImageOutcome::NotProcessed: break;
    }
    return "not_processed";
}

std::string savings_line(const ByteTotals& totals)
{
    if (totals.images == 0)
        return {};
    const std::int64_t saved = totals.source_bytes - totals.output_bytes;
    const double share = totals.source_bytes > 0 ? 100.0 * static_cast<double>(std::llabs(saved))
                                                       / static_cast<double>(totals.source_bytes)
                                                 : 0.0;
    const std::string percent = std::to_string(static_cast<long long>(std::lround(share))) + " %";
    if (saved >= 0)
        return "Saved " + byte_size_text(saved) + " of " + byte_size_text(totals.source_bytes) + " (" + percent + ").";
    return "The outputs are " + byte_size_text(-saved) + " larger than their " + byte_size_text(totals.source_bytes)
           + " of sources (" + percent + ").";
}

std::string failure_line(const ImageRecord& record)
{
    return record.relative_path + ": " + failure_text(record.result.failure);
}

std::string final_message(const RunReport& report, std::size_t failures_listed)
{
    std::string text;
    if (report.stopped)
        text = "Stopped: " + std::to_string(report.processed) + " of " + std::to_string(report.images.size())
               + " images done.";
    else
        text = std::to_string(report.processed) + " Images done.";
    // Appended piece by piece: GCC 12's optimiser warns falsely about "text" + std::string
    // temporaries here.
    if (report.skipped > 0)
        text.append("\n").append(std::to_string(report.skipped)).append(" skipped: their outputs were there already.");
    if (report.failed > 0) {
        text.append("\n").append(std::to_string(report.failed)).append(" failed");
        if (static_cast<std::uint64_t>(report.failed) > failures_listed)
            text += ", the first " + std::to_string(failures_listed);
        text += ':';
        std::size_t listed = 0;
        for (const ImageRecord& record : report.images) {
            if (listed == failures_listed)
                break;
            if (!counts_as_failed(record.result))
                continue;
            text += '\n' + failure_line(record);
            ++listed;
        }
    }
    if (report.compression_count >= 0)
        text += "\nCompressions this month: " + std::to_string(report.compression_count);
    if (report.kept > 0)
        text.append("\n").append(std::to_string(report.kept)).append(" kept as they were: the outputs would have been larger.");
    if (const std::string savings = savings_line(byte_totals(report)); !savings.empty())
        text.append("\n").append(savings);
    return text;
}

} // namespace pictavo
