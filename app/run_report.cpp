// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_report.h"

namespace pictavo {

std::string final_message(const RunReport& report)
{
    std::string text = std::to_string(report.processed);
    text += " Images done.";
    if (report.failed == 0)
        return text;
    text += '\n';
    text += std::to_string(report.failed);
    text += report.failed == 1 ? " image could not be read or written" : " images could not be read or written";
    if (report.failed > static_cast<std::int64_t>(report.failed_paths.size())) {
        text += ", the first ";
        text += std::to_string(report.failed_paths.size());
    }
    text += ':';
    for (const std::string& path : report.failed_paths) {
        text += '\n';
        text += path;
    }
    return text;
}

} // namespace pictavo
