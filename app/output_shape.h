// SPDX-License-Identifier: GPL-3.0-or-later
// What the steps after the save need to know of a written output.
#pragma once

#include <cstdint>

namespace pictavo {

struct OutputShape {
    // The pixels were turned from the orientation the source gave: the output's tags must say
    // so (orientation 1, the output's size), or viewers would turn it a second time.
    bool turned_upright = false;
    int width = 0; // of the written image; 0 for a copy of the source
    int height = 0;
    // The written image's size differs from the source's as stored: the size tags copied from
    // the source would be stale, so the output's own size replaces them.
    bool resized = false;
    // The output carries the source's colour profile. The metadata tool's wildcard leaves
    // profiles out, so it is named; then it is there even when the compression service
    // dropped it.
    bool colour_profile = false;
    // The output has its source's format and the size the source is seen at: no resize or cut
    // changed it (a turn may have). Only such an output may give way to the source's own bytes.
    bool source_format = false;
    bool source_size = false;
    std::uint32_t encoder = 0; // the plugin code of the output's format; 0 for a copy
};

} // namespace pictavo
