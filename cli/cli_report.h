// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON report of a run that --report FILE asks for.
#pragma once

#include "app/run_report.h"
#include "app/settings.h"
#include "cli/cli_options.h"

#include <string>

namespace pictavo {

// The report: the program, the folders and settings, the totals, and one record per entry of
// the plan in walk order ("path", "result", "reason", "code", "output_bytes", "milliseconds";
// "service_status" for a failed service exchange).
std::string run_report_json(const CliOptions& options, const JobSettings& job, const RunReport& report);

} // namespace pictavo
