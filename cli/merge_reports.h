// SPDX-License-Identifier: GPL-3.0-or-later
// pictavo-cli merge-reports OUT.json REPORT.json...: the reports of a run's shards as one.
//
// The reports must be one run's complete set: one for each shard 0..N-1 of the same N and
// rule, made with the same settings, no image in two of them. The merged report has the
// summed totals, the failures and every image's record in path order; a set that is not
// complete is refused and nothing is written.
#pragma once

#include "cli/cli_front_end.h"

#include <cstddef>
#include <string>
#include <vector>

namespace pictavo {

inline constexpr const char* MERGE_REPORTS_COMMAND = "merge-reports";

// A report is read whole; two gibibytes hold the records of some ten million images.
constexpr std::size_t REPORT_BYTES_MAXIMUM = std::size_t{2} << 30;

// Runs the command with the arguments after its name; the exit status: 0 for a complete set
// in which every image succeeded, 1 for a complete set with failed or unprocessed images, 2
// for a set that is not complete or not one run's, and for wrong arguments.
int merge_reports_main(const std::vector<std::string>& arguments, const CliStreams& streams);

} // namespace pictavo
