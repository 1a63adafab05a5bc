// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoder over libjpeg: greyscale and YCbCr streams decode to RGB, YCCK to CMYK, which
// is turned into RGB by multiplying each of C, M, Y with K. Check reads the EXIF orientation
// (APP1) and the ICC profile (APP2 pieces) into the context; they do not change the pixels.
// Data that ends before the last rows fails the decode as cut off; a stream that lacks only
// its end marker after complete scan data decodes.
#pragma once

#include "image/image_plugin.h"

#include <array>

namespace pictavo {

bool jpeg_check(DecodeContext& context);
bool jpeg_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags);
bool jpeg_decode_row(DecodeContext& context, std::uint8_t* row);

// The stream's YCbCr samples as they are stored, for encoders that code YCbCr: no colour
// conversion and no upsampling. jpeg_check_planes reads the header and the metadata as
// jpeg_check does, and fails with ImageError::Unsupported for a stream that is not YCbCr.
// jpeg_start_planes then begins the decode and gives the layout of the components (Y, Cb, Cr);
// each jpeg_read_plane_group call decodes the next group of rows of every component, the one
// that delivers the last group also the data after it. False on failure, with error set; no
// group comes after a failure.
struct PlaneLayout {
    std::array<int, 3> width{};       // each component's samples, at its own sampling
    std::array<int, 3> height{};
    std::array<int, 3> room{};        // the samples a decoded row needs room for (whole blocks)
    std::array<int, 3> group_rows{};  // the rows one call delivers; the last call's rows past
                                      // the height are filler
    int groups = 0;                   // calls that deliver the image
};
bool jpeg_check_planes(DecodeContext& context);
bool jpeg_start_planes(DecodeContext& context, PlaneLayout& layout);
bool jpeg_read_plane_group(DecodeContext& context, std::uint8_t* const* const (&rows)[3]);

extern const ImageDecoder jpeg_decoder_plugin;

} // namespace pictavo
