// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/avif_decoder.h"

#include "image/image_object.h"
#include "image/pixel_buffer.h"

#include <algorithm>
#include <avif/avif.h>
#include <cstring>
#include <new>

namespace pictavo {
namespace {

struct AvifDecoderState final : DecoderState {
    avifDecoder* decoder = nullptr;

    ~AvifDecoderState() override
    {
        if (decoder)
            avifDecoderDestroy(decoder);
    }
};

ImageError error_of(avifResult result)
{
    switch (result) {
    case AVIF_RESULT_OK: return ImageError::None;
    case AVIF_RESULT_OUT_OF_MEMORY: return ImageError::OutOfMemory;
    case AVIF_RESULT_TRUNCATED_DATA: return ImageError::CutOff;
    // No primary image (a sequence only), a bit depth or feature the library leaves out, no
    // AV1 decoder in this build.
    case AVIF_RESULT_NO_CONTENT:
    case AVIF_RESULT_NO_AV1_ITEMS_FOUND:
    case AVIF_RESULT_NOT_IMPLEMENTED:
    case AVIF_RESULT_UNSUPPORTED_DEPTH:
    case AVIF_RESULT_NO_CODEC_AVAILABLE:
        return ImageError::Unsupported;
    default: return ImageError::Corrupt;
    }
}

int orientation_of(const avifImage& image)
{
    const int angle = (image.transformFlags & AVIF_TRANSFORM_IROT) ? image.irot.angle & 3 : 0;
    const int mirror = (image.transformFlags & AVIF_TRANSFORM_IMIR) ? image.imir.mode & 1 : -1;
    return orientation_of_transforms(angle, mirror);
}

// The library writes rows top-down; the loader wants them bottom-up.
void turn_rows_over(std::uint8_t* pixels, std::size_t stride, std::int32_t height)
{
    for (std::int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(pixels + static_cast<std::size_t>(top) * stride,
                         pixels + static_cast<std::size_t>(top + 1) * stride,
                         pixels + static_cast<std::size_t>(bottom) * stride);
}

// A decoder that reads the primary image of the data with this program's limits, on the
// calling thread only (which also keeps its output the same from run to run).
avifDecoder* create_decoder(DecodeContext& context)
{
    avifDecoder* decoder = avifDecoderCreate();
    if (!decoder)
        return nullptr;
    decoder->maxThreads = 1;
    decoder->imageSizeLimit = static_cast<std::uint32_t>(max_image_pixels);
    decoder->imageDimensionLimit = static_cast<std::uint32_t>(max_image_dimension);
    decoder->imageCountLimit = 1;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    if (avifDecoderSetSource(decoder, AVIF_DECODER_SOURCE_PRIMARY_ITEM) != AVIF_RESULT_OK
        || avifDecoderSetIOMemory(decoder, context.data, context.size) != AVIF_RESULT_OK) {
        avifDecoderDestroy(decoder);
        return nullptr;
    }
    return decoder;
}

} // namespace

int orientation_of_transforms(int angle, int mirror_mode)
{
    // Rows: the angle; columns: no mirror, top-bottom mirror, left-right mirror.
    static constexpr int orientations[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
    if (angle < 0 || angle > 3 || mirror_mode < -1 || mirror_mode > 1)
        return 1;
    return orientations[angle][mirror_mode + 1];
}

bool avif_check(DecodeContext& context)
{
    const avifROData data{context.data, context.size};
    if (!context.data || !avifPeekCompatibleFileType(&data))
        return false;
    auto* state = new (std::nothrow) AvifDecoderState();
    if (state) {
        context.state.reset(state);
        state->decoder = create_decoder(context);
    }
    if (!state || !state->decoder) {
        context.error = ImageError::OutOfMemory;
        return false;
    }
    if (const ImageError error = error_of(avifDecoderParse(state->decoder)); error != ImageError::None) {
        context.error = error;
        return false;
    }
    const avifImage& image = *state->decoder->image;
    if (image.width < 1 || image.height < 1 || exceeds_image_limits(image.width, image.height)) {
        context.error = ImageError::TooManyPixels;
        return false;
    }
    context.width = static_cast<std::int32_t>(image.width);
    context.height = static_cast<std::int32_t>(image.height);
    context.depth = state->decoder->alphaPresent ? 32 : 24;
    context.source_depth = context.depth;
    context.orientation = orientation_of(image);
    if (image.icc.size > 0 && image.icc.size <= max_icc_profile_bytes)
        context.colour.icc.assign(image.icc.data, image.icc.data + image.icc.size);
    return true;
}

bool avif_decode(DecodeContext& context, std::uint8_t* pixels, std::size_t stride, int flags)
{
    auto* state = dynamic_cast<AvifDecoderState*>(context.state.get());
    if (!state || stride > UINT32_MAX)
        return false;
    avifDecoder* decoder = state->decoder;
    context.error = error_of(avifDecoderNextImage(decoder));
    if (context.error != ImageError::None)
        return false;
    // The image's size may only now be known for certain (the AV1 data has the last word).
    if (decoder->image->width != static_cast<std::uint32_t>(context.width)
        || decoder->image->height != static_cast<std::uint32_t>(context.height)) {
        context.error = ImageError::Corrupt;
        return false;
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, decoder->image);
    rgb.depth = 8;
    rgb.format = context.depth == 32 ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    rgb.pixels = pixels;
    rgb.rowBytes = static_cast<std::uint32_t>(stride);
    context.error = error_of(avifImageYUVToRGB(decoder->image, &rgb));
    if (context.error != ImageError::None)
        return false;
    if (flags & ROWS_BOTTOM_UP)
        turn_rows_over(pixels, stride, context.height);
    return true;
}

const ImageDecoder avif_decoder_plugin = {IMAGE_CODE_AVIF, avif_check, avif_decode,
                                          [](DecodeContext& context) { context.state.reset(); }, nullptr};

} // namespace pictavo
