// SPDX-License-Identifier: GPL-3.0-or-later
// The one line a run on a terminal redraws in place: how far it is, how fast it goes, how long
// it still takes, what it saved and which file it is at.
#pragma once

#include <cstdint>
#include <string>

namespace pictavo {

struct RunProgress {
    std::int64_t done = 0;
    std::int64_t total = 0;
    double seconds = 0;              // since the run started
    std::int64_t saved_bytes = 0;    // sources minus outputs of the images put in place so far
    std::int64_t counted_images = 0; // the images whose bytes are in saved_bytes
    std::string file;                // the image that finished last
};

// "[12/400] 3.1/s, 2:05 left, saved 1.2 MB  sub/IMG_0001.jpg", at most columns characters wide
// (counted in code points); the file is cut in its middle to fit, and dropped when there is no
// room for it. The rate and the time left wait for the second image.
std::string progress_line_text(const RunProgress& progress, int columns);

} // namespace pictavo
