// SPDX-License-Identifier: GPL-3.0-or-later
// Which images a run takes and what it leaves alone: the walk of the tree or a list of images,
// the run's shard of them, the outputs it keeps as they are, and the abandoned temporaries it
// may remove in folders that other runs share.
#pragma once

#include "app/run_engine.h"
#include "app/run_plan.h"

#include <cstdint>
#include <string>

namespace pictavo {

// The plan of a run with these options: the walk (every shard creates the whole output tree,
// where shards meet) or the list, then only the shard's images. Which of two images meeting at
// one output name is refused is decided over the whole walk or list, so every shard decides it
// alike.
RunPlan plan_selected_run(const std::string& input_root, const std::string& output_root, const RunOptions& options,
                          const PlanFormats& formats = {});

// The size of the output the run leaves as it is (skip_existing: any regular file; update: one
// modified no earlier than its source), or -1 when the image is to be done.
std::int64_t existing_output_to_leave(const RunOptions& options, const std::string& source_path,
                                      const std::string& output_path);

// Removes what writers killed mid-write left in the folders the plan writes into: every
// abandoned temporary for a run of the whole tree, and only those of the plan's own images
// for a shard or a list, whose folders other runs may be writing into at the same time from
// machines whose locks this one cannot see. The number removed.
int remove_abandoned_temporaries(const RunPlan& plan, const RunOptions& options);

} // namespace pictavo
