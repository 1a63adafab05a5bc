// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON report of a run, as pictavo-cli's --report and the window's results write it.
#pragma once

#include "app/run_engine.h"
#include "app/run_report.h"
#include "app/settings.h"

#include <string>

namespace pictavo {

// The report: the program, the folders and settings, the totals, and one record per entry of
// the plan in walk order ("path", "result", "reason", "code", "output_bytes", "milliseconds";
// "service_status" for a failed service exchange).
std::string run_report_json(const JobSettings& job, const RunOptions& options, const RunReport& report);

} // namespace pictavo
