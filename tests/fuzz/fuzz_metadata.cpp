// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF orientation reader over the whole input, and the JPEG ICC piece assembly over the
// input read as APP2 markers: each a 16-bit big-endian length and that many bytes.
#include "image/exif_orientation.h"
#include "image/jpeg_icc_pieces.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pictavo::exif_orientation(data, size);
    std::vector<pictavo::MarkerData> markers;
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::size_t length = static_cast<std::size_t>(data[at] << 8 | data[at + 1]);
        at += 2;
        const std::size_t available = length < size - at ? length : size - at;
        markers.push_back({data + at, available});
        at += available;
    }
    pictavo::assemble_icc_profile(markers);
    return 0;
}
