// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/avif_encoder.h"

#include "image/image_object.h"
#include "image/quality_scale.h"

#include <avif/avif.h>
#include <cstring>
#include <memory>
#include <new>

namespace pictavo {
namespace {

struct ImageDeleter {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct EncoderDeleter {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};

struct Output {
    avifRWData data = AVIF_DATA_EMPTY;
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() { avifRWDataFree(&data); }
};

int avif_quality(const EncodeRequest& request)
{
    return request.options.native_quality > 0 ? request.options.native_quality
                                              : native_quality_of(IMAGE_CODE_AVIF, request.quality);
}

// The request's pixels, top row first, in a buffer of the library's row layout.
std::unique_ptr<std::uint8_t[]> top_down_copy(const EncodeRequest& request, std::size_t row_bytes)
{
    std::unique_ptr<std::uint8_t[]> rows(new (std::nothrow) std::uint8_t[row_bytes * static_cast<std::size_t>(request.height)]);
    if (rows)
        for (int y = 0; y < request.height; ++y)
            std::memcpy(rows.get() + row_bytes * static_cast<std::size_t>(y), request.image_row(y), row_bytes);
    return rows;
}

// An empty 4:2:0 image of the request's size described as sRGB, full range, BT.601 matrix:
// the YCbCr of JPEG.
std::unique_ptr<avifImage, ImageDeleter> described_image(const EncodeRequest& request)
{
    std::unique_ptr<avifImage, ImageDeleter> image(avifImageCreate(static_cast<std::uint32_t>(request.width),
                                                                   static_cast<std::uint32_t>(request.height), 8,
                                                                   AVIF_PIXEL_FORMAT_YUV420));
    if (!image)
        return nullptr;
    image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    image->yuvRange = AVIF_RANGE_FULL;
    return image;
}

void set_profile(const EncodeRequest& request, avifImage& image)
{
    if (request.colour && icc_profile_describes_rgb(request.colour->icc))
        avifImageSetProfileICC(&image, request.colour->icc.data(), request.colour->icc.size());
}

void copy_plane(const SamplePlane& plane, std::uint8_t* out, std::uint32_t row_bytes)
{
    for (int y = 0; y < plane.height(); ++y, out += row_bytes)
        std::memcpy(out, plane.row(y), static_cast<std::size_t>(plane.width()));
}

// The request's YCbCr planes as they are: they have the image's own matrix and range.
std::unique_ptr<avifImage, ImageDeleter> planes_image(const EncodeRequest& request)
{
    const YcbcrPlanes& planes = *request.ycbcr;
    std::unique_ptr<avifImage, ImageDeleter> image = described_image(request);
    if (!image || !is_420(planes) || avifImageAllocatePlanes(image.get(), AVIF_PLANES_YUV) != AVIF_RESULT_OK)
        return nullptr;
    copy_plane(planes.luma, image->yuvPlanes[AVIF_CHAN_Y], image->yuvRowBytes[AVIF_CHAN_Y]);
    copy_plane(planes.blue, image->yuvPlanes[AVIF_CHAN_U], image->yuvRowBytes[AVIF_CHAN_U]);
    copy_plane(planes.red, image->yuvPlanes[AVIF_CHAN_V], image->yuvRowBytes[AVIF_CHAN_V]);
    set_profile(request, *image);
    return image;
}

// The YUV image of the request's pixels.
std::unique_ptr<avifImage, ImageDeleter> yuv_image(const EncodeRequest& request, int channels)
{
    std::unique_ptr<avifImage, ImageDeleter> image = described_image(request);
    if (!image)
        return nullptr;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.depth = 8;
    rgb.format = channels == 4 ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_BGR;
    rgb.rowBytes = static_cast<std::uint32_t>(request.width) * static_cast<std::uint32_t>(channels);
    const std::unique_ptr<std::uint8_t[]> rows = top_down_copy(request, rgb.rowBytes);
    rgb.pixels = rows.get();
    if (!rows || avifImageRGBToYUV(image.get(), &rgb) != AVIF_RESULT_OK)
        return nullptr;
    set_profile(request, *image);
    return image;
}

std::unique_ptr<avifEncoder, EncoderDeleter> make_encoder(int quality)
{
    std::unique_ptr<avifEncoder, EncoderDeleter> encoder(avifEncoderCreate());
    if (!encoder)
        return nullptr;
    encoder->codecChoice = AVIF_CODEC_CHOICE_AOM;
    encoder->maxThreads = 1;
    encoder->speed = AVIF_ENCODER_SPEED;
    encoder->minQuantizer = encoder->maxQuantizer = avif_quantizer_of(quality);
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    return encoder;
}

bool encode(const EncodeRequest& request, const EncodeSink& sink, int channels)
{
    if (request.width < 1 || request.height < 1 || (!sink.file && !sink.memory))
        return false;
    const int quality = avif_quality(request);
    const auto image = request.ycbcr ? planes_image(request) : yuv_image(request, channels);
    const auto encoder = make_encoder(quality);
    Output output;
    if (!image || !encoder || avifEncoderWrite(encoder.get(), image.get(), &output.data) != AVIF_RESULT_OK
        || !sink.write(output.data.data, output.data.size))
        return false;
    if (request.outcome)
        *request.outcome = EncodeOutcome{false, 0, quality};
    return true;
}

} // namespace

bool avif_encode24(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 3);
}

bool avif_encode32(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 4);
}

bool avif_encode_ycbcr(const EncodeRequest& request, const EncodeSink& sink)
{
    return request.ycbcr && encode(request, sink, 0);
}

const ImageEncoder avif_encoder_plugin = {IMAGE_CODE_AVIF, avif_encode24, avif_encode32, avif_encode_ycbcr};

} // namespace pictavo
