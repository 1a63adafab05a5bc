// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the Orientation tag from an EXIF block: a TIFF header ("II" or "MM", 42, the offset
// of the first directory) and the first directory's 12-byte entries. Nothing else of the
// block is read, and no directory is followed, so no block can make the reader loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pictavo {

// The orientation 1..8 that IFD0 of the block gives; 1 when the block holds none, gives a
// value outside 1..8, or has an offset or count that does not fit in it.
int exif_orientation(const std::uint8_t* block, std::size_t size);

} // namespace pictavo
