// SPDX-License-Identifier: GPL-3.0-or-later
// Decoder and encoder plugins, and what they exchange with the loader and image_save.
//
// A decoder's check looks at the data in the thread's DecodeContext and, when it recognises
// its format, fills width, height, depth and source depth; decode then writes the pixels into
// a zero-filled buffer of that size (or decode_row delivers the rows one by one); cleanup
// releases what check set up. An encoder turns a 24-bit (encode24) or 32-bit (encode32) pixel
// buffer into a file or a block in memory.
#pragma once

#include "image/colour_profile.h"
#include "image/encode_options.h"
#include "image/image_error.h"
#include "image/sample_plane.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace pictavo {

struct ImageDecoder;

// What a decoder keeps between check and decode (library records, read position). Destroying
// it releases everything, so cleanup is a reset.
struct DecoderState {
    virtual ~DecoderState() = default;
};

struct DecodeContext {
    const ImageDecoder* plugin = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    int depth = 24;          // of the Pixel buffer to create: 24 or 32
    int source_depth = 0;
    int frame_count = 1;
    int frame_delay = 0;
    // Set by a decoder that recognised its format but cannot deliver the image; a check that
    // fails without setting it means "not this format".
    ImageError error = ImageError::None;
    // What the file says about itself, filled by check.
    int orientation = 1;
    ColourProfile colour;
    std::unique_ptr<DecoderState> state;
};

// The orientation the file gave, or 1 when it gave none of the eight.
inline int known_orientation(const DecodeContext& context)
{
    return context.orientation >= 1 && context.orientation <= 8 ? context.orientation : 1;
}

struct ImageDecoder {
    std::uint32_t code;
    bool (*check)(DecodeContext& context);
    bool (*decode)(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags);
    void (*cleanup)(DecodeContext& context);
    // Null, or the rows one at a time instead of decode: the next image row (top first) into
    // row, which holds width pixels at depth. The call that delivers the last row also reads
    // the data after it, as decode does. False on failure, with error set; no row comes after.
    bool (*decode_row)(DecodeContext& context, std::uint8_t* row);
};

// One encode call: pixels in buffer order (bottom-up with ROWS_BOTTOM_UP in flags).
struct EncodeRequest {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    int flags = 0;
    int quality = 0;
    int depth = 0;
    const ColourProfile* colour = nullptr;  // the source's, to be written with the pixels
    EncodeOptions options;                  // the default value: the plain output
    EncodeOutcome* outcome = nullptr;       // filled in on success when not null
    // For an encoder's encode_ycbcr: the image as YCbCr 4:2:0 planes (width and height are
    // theirs), instead of pixels.
    const YcbcrPlanes* ycbcr = nullptr;

    // Buffer row holding image row y (0 = top).
    const std::uint8_t* image_row(int y) const;
};

// Where an encoder writes: an open file, or else the end of a block in memory.
struct EncodeSink {
    std::FILE* file = nullptr;
    std::vector<std::uint8_t>* memory = nullptr;

    // Appends bytes; false when the write or the allocation fails.
    bool write(const void* bytes, std::size_t count) const;
};

using EncodeFunction = bool (*)(const EncodeRequest& request, const EncodeSink& sink);

struct ImageEncoder {
    std::uint32_t code;
    EncodeFunction encode24;  // required
    EncodeFunction encode32;  // may be null
    EncodeFunction encode_ycbcr = nullptr;  // null: the encoder takes pixels only
};

// Buffer row that receives image row y (0 = top) of an image height rows tall.
inline std::size_t buffer_row_index(std::int64_t y, std::int64_t height, int flags)
{
    constexpr int rows_bottom_up = 2;
    return static_cast<std::size_t>((flags & rows_bottom_up) ? height - 1 - y : y);
}

} // namespace pictavo
