// SPDX-License-Identifier: GPL-3.0-or-later
// The body shared by the decoder fuzz targets: decode with one decoder, turn the image upright
// as its EXIF orientation says, then (for small images) run the encoders over the result,
// with the colour profile the file carried.
#pragma once

#include "image/image_load.h"
#include "image/image_orientation.h"
#include "image/image_save.h"
#include "image/plugins.h"

#include <cstddef>
#include <cstdint>

namespace pictavo {

inline int fuzz_decoder(std::uint32_t plugin_code, const std::uint8_t* data, std::size_t size)
{
    static const bool started = (register_image_codecs(), true);
    (void)started;
    constexpr int small_image_pixels = 64 * 64;
    if (image_load_memory_as(0, data, size, plugin_code) &&
        image_width(0) * image_height(0) <= small_image_pixels) {
        image_apply_orientation(*image_lookup(0));
        image_save_memory(0, IMAGE_CODE_PNG);
        image_save_memory(0, IMAGE_CODE_JPEG, 5, 24);
    }
    image_free(0);
    return 0;
}

} // namespace pictavo
