// SPDX-License-Identifier: GPL-3.0-or-later
// What the preview window shows: one picture before and one after, with a caption each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

struct PreviewPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // red, green, blue, alpha; the top row first, no gaps
};

struct PreviewContent {
    PreviewPicture before;
    PreviewPicture after;
    std::string before_caption;
    std::string after_caption;
    // Shown instead of the pictures while it is not empty: work in progress, or why there is
    // nothing to show.
    std::string note;
};

} // namespace pictavo
