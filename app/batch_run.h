// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run as a front end sees it: the checks, the question before writing into the
// input tree, the run itself on threads of the engine with its events delivered on the
// caller's thread, and the closing messages.
//
// Everything the user sees goes through the front end, so the window and the command line run
// the same code.
#pragma once

#include "app/front_end.h"
#include "app/run_engine.h"
#include "app/run_plan.h"
#include "app/run_report.h"
#include "app/settings.h"

#include <cstdint>

namespace pictavo {

// Runs a batch with the job settings (their target pair as taken for this run) after the
// checks, which need the image count of the input folder's most recent scan. Returns when the
// run has ended and its messages were shown.
RunReport batch_run(const JobSettings& job, std::int64_t scanned_images, FrontEnd& front_end,
                    const RunOptions& options = {});

// The same for a front end keeping its state in an AppState: the target pair is taken from
// the selected mode's fields, and afterwards the state holds the counts of the run's rescan.
RunReport batch_run(AppState& state, FrontEnd& front_end, const RunOptions& options = {});

} // namespace pictavo
