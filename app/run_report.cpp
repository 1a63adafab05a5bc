// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_report.h"

namespace pictavo {

bool counts_as_failed(const ImageResult& result)
{
    if (result.outcome == ImageOutcome::Failed)
        return true;
    return result.outcome == ImageOutcome::Written
           && (result.failure.reason == FailureReason::MetadataFailed
               || result.failure.reason == FailureReason::DatesFailed);
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
    return text;
}

} // namespace pictavo
