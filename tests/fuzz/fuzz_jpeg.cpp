// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz_decoder.h"
#include "image/ycbcr_read.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pictavo::fuzz_decoder(pictavo::IMAGE_CODE_JPEG, data, size);
    // The same data read as YCbCr planes for the WebP encoder, at a small size.
    const pictavo::SizeChoice small = [](const pictavo::ImageHeader& header) {
        return std::optional<pictavo::ImageSize>(
            pictavo::ImageSize{std::clamp(header.width / 4, 1, 64), std::clamp(header.height / 4, 1, 64)});
    };
    pictavo::ImageObject planes;
    std::vector<std::uint8_t> encoded;
    if (pictavo::decode_ycbcr_sized(data, size, small, planes) == pictavo::ImageError::None)
        pictavo::image_encode(planes, pictavo::IMAGE_CODE_WEBP, 5, {}, encoded);
    return 0;
}
