// SPDX-License-Identifier: GPL-3.0-or-later
// Turning an image's pixels upright by its EXIF orientation.
//
// The orientation says where the stored rows and columns belong in the image as it is meant
// to be seen: 1 as stored, 2 mirrored left to right, 3 turned by 180 degrees, 4 mirrored top
// to bottom, 5 transposed (mirrored along the diagonal from the top-left), 6 turned by 90
// degrees clockwise, 7 transversed (mirrored along the other diagonal), 8 turned by 90 degrees
// anticlockwise. 5 to 8 swap the width and the height.
#pragma once

#include "image/image_error.h"
#include "image/image_object.h"

namespace pictavo {

// Applies image.orientation to the pixels and sets it to 1; width and height become those of
// the upright image. Orientation 1 (and any value outside 2..8) changes nothing and copies
// nothing; 2 to 4 work in place; 5 to 8 need a second buffer for the turned pixels.
// ImageError::None on success. On failure (OutOfMemory, or Refused for a record without
// pixels or whose sizes disagree with them) the image stays exactly as it was.
ImageError image_apply_orientation(ImageObject& image);

} // namespace pictavo
