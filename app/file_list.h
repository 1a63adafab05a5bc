// SPDX-License-Identifier: GPL-3.0-or-later
// The images of a run given as a list of paths below the input folder instead of a walk of
// the tree, so that a site with a huge tree lists it once rather than once per shard.
//
// A list is trusted no further than a walk: an entry that is absolute or climbs out with
// "..", lies in a hidden folder (which a walk never enters), is not the name of an image of
// the run's input kinds or names no file is a failure of its own, and nothing outside the input folder is read for it.
#pragma once

#include "app/run_plan.h"
#include "app/shard.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo {

// A list is held in memory whole; a gibibyte is some twenty million paths, more images than
// one run of this program would ever be given.
constexpr std::size_t FILE_LIST_BYTES_MAXIMUM = std::size_t{1} << 30;

// How a list separates its entries: one a line (a CR before the LF dropped, for lists written
// on Windows), or a NUL byte after each (find -print0), for names holding a line break.
enum class ListSeparator { Line, Nul };

// The entries of a list's text, in order; empty ones dropped.
std::vector<std::string> split_file_list(std::string_view text, ListSeparator separator);

// An entry as the path below the input folder that a walk would have given it: "./a//b.jpg"
// gives "a/b.jpg". An entry that is no such path keeps its text and carries the reason.
struct ListedPath {
    std::string relative_path;
    FailureReason refused = FailureReason::None;
};
ListedPath listed_path(std::string_view entry, const InputKinds& kinds = {});

// The plan for the listed images that are the shard's (all of them without one), in list order
// and each once however often it is listed, with their output paths in the output format. Their
// output folders are created, parents first; a listed file that does not exist is refused
// without being opened. Of two listed images that meet at one output name the later is refused
// on every shard, whichever shard has the earlier one.
RunPlan plan_listed_run(const std::vector<std::string>& entries, const std::string& input_root,
                        const std::string& output_root, const std::optional<Shard>& shard,
                        const PlanFormats& formats = {});

} // namespace pictavo
