// SPDX-License-Identifier: GPL-3.0-or-later
// The WebP and AVIF plugins: what goes in comes out (size, alpha, colours, profile, rows in
// order), the quality scale orders the files, the containers' orientation is read, and files
// the decoders cannot take fail with a reason. Files are made here with libwebp and libavif
// directly, so that a fault shared by our encoder and decoder cannot hide itself.
#include "image/avif_decoder.h"
#include "image/image_load.h"
#include "image/image_save.h"
#include "image/plugins.h"
#include "image/quality_scale.h"
#include "image_test_support.h"
#include "metadata_test_support.h"

#include <gtest/gtest.h>

#include <avif/avif.h>
#include <cstdlib>
#include <memory>
#include <webp/encode.h>
#include <webp/mux.h>

namespace pictavo {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct CodecsRegistered {
    CodecsRegistered() { register_image_codecs(); }
};

struct Difference {
    double mean = 0;
    int alpha_max = 0;
};

// Colour difference over the pixels with alpha of at least alpha_floor, and the largest alpha
// difference over all.
Difference difference(const ImageObject& a, const ImageObject& b, int alpha_floor)
{
    Difference d;
    long total = 0;
    long counted = 0;
    const int bytes = a.pixels.bytes_per_pixel();
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const std::uint8_t* p = a.pixels.image_row(y) + x * bytes;
            const std::uint8_t* q = b.pixels.image_row(y) + x * bytes;
            if (bytes == 4)
                d.alpha_max = std::max(d.alpha_max, std::abs(p[3] - q[3]));
            if (bytes == 4 && p[3] < alpha_floor)
                continue;
            for (int c = 0; c < 3; ++c)
                total += std::abs(p[c] - q[c]);
            counted += 3;
        }
    d.mean = counted > 0 ? static_cast<double>(total) / static_cast<double>(counted) : 0;
    return d;
}

struct RoundTrip {
    const char* name;
    std::uint32_t code;
    bool lossless;
    double mean_tolerance; // of the colours; alpha is always kept exactly
};

TEST(WebpAvifCodecs, RoundTripsKeepSizeRowsAlphaAndProfile)
{
    CodecsRegistered registered;
    const RoundTrip trips[] = {
        {"lossy WebP", IMAGE_CODE_WEBP, false, 3.0},
        {"lossless WebP", IMAGE_CODE_WEBP, true, 0.0},
        {"AVIF", IMAGE_CODE_AVIF, false, 3.0},
    };
    const Bytes profile = test::make_icc_profile(600);
    for (const RoundTrip& trip : trips)
        for (const bool alpha : {false, true})
            for (const bool with_profile : {false, true}) {
                SCOPED_TRACE(std::string(trip.name) + (alpha ? " with alpha" : "") + (with_profile ? " with profile" : ""));
                ImageObject image = test::picture(70, 45, alpha);
                if (with_profile)
                    image.colour.icc = profile;
                EncodeOptions options;
                options.lossless = trip.lossless;
                Bytes encoded;
                EncodeOutcome outcome;
                ASSERT_EQ(image_encode(image, trip.code, 10, options, encoded, &outcome), ImageError::None);
                EXPECT_EQ(outcome.native_quality, trip.lossless ? 0 : native_quality_of(trip.code, 10));
                ImageObject decoded;
                ASSERT_EQ(image_decode(encoded.data(), encoded.size(), decoded), ImageError::None);
                EXPECT_EQ(decoded.plugin_code, trip.code);
                ASSERT_EQ(decoded.width, 70);
                ASSERT_EQ(decoded.height, 45);
                ASSERT_EQ(decoded.pixels.depth(), alpha ? 32 : 24);
                EXPECT_EQ(decoded.source_depth, alpha ? 32 : 24);
                const Difference d = difference(image, decoded, trip.lossless ? 0 : 128);
                EXPECT_LE(d.mean, trip.mean_tolerance);
                EXPECT_EQ(d.alpha_max, 0);
                EXPECT_EQ(decoded.colour.icc, with_profile ? profile : Bytes());
            }
}

TEST(QualityScale, EveryStepOfTheProgramQualityGivesMoreQualityAndLargerFiles)
{
    CodecsRegistered registered;
    const ImageObject image = test::picture(128, 96, false, 40);
    for (const std::uint32_t code : {IMAGE_CODE_JPEG, IMAGE_CODE_WEBP, IMAGE_CODE_AVIF}) {
        SCOPED_TRACE(code);
        int last_quality = 0;
        std::size_t last_size = 0;
        for (int quality = 1; quality <= 10; ++quality) {
            const int native = native_quality_of(code, quality);
            EXPECT_GT(native, last_quality) << quality;
            EXPECT_LE(native, NATIVE_QUALITY_MAXIMUM);
            last_quality = native;
            if (code == IMAGE_CODE_JPEG)
                continue; // the defined mapping; its files are libjpeg's to size
            Bytes encoded;
            ASSERT_EQ(image_encode(image, code, quality, {}, encoded), ImageError::None);
            EXPECT_GT(encoded.size(), last_size) << quality;
            last_size = encoded.size();
        }
    }
    EXPECT_EQ(native_quality_of(IMAGE_CODE_PNG, 6), 0);
    EXPECT_EQ(avif_quantizer_of(100), 0);
    EXPECT_EQ(avif_quantizer_of(1), 62);
}

// An AVIF file of a 64 x 64 image made by libavif itself, with the EXIF orientation that libavif
// turns into its rotation and mirror boxes.
Bytes libavif_file(int orientation)
{
    std::unique_ptr<avifImage, decltype(&avifImageDestroy)> image(avifImageCreate(64, 64, 8, AVIF_PIXEL_FORMAT_YUV420),
                                                                  &avifImageDestroy);
    if (avifImageAllocatePlanes(image.get(), AVIF_PLANES_YUV) != AVIF_RESULT_OK)
        return {};
    for (int plane = 0; plane < 3; ++plane) {
        const std::size_t rows = plane == 0 ? 64 : 32;
        std::memset(image->yuvPlanes[plane], 100 + 20 * plane, image->yuvRowBytes[plane] * rows);
    }
    const Bytes exif = test::exif_block(orientation, true);
    avifImageSetMetadataExif(image.get(), exif.data(), exif.size());
    std::unique_ptr<avifEncoder, decltype(&avifEncoderDestroy)> encoder(avifEncoderCreate(), &avifEncoderDestroy);
    encoder->speed = AVIF_SPEED_FASTEST;
    avifRWData output = AVIF_DATA_EMPTY;
    if (avifEncoderWrite(encoder.get(), image.get(), &output) != AVIF_RESULT_OK)
        return {};
    Bytes bytes(output.data, output.data + output.size);
    avifRWDataFree(&output);
    return bytes;
}

// A WebP file with an EXIF chunk of that orientation, put in with libwebp's muxer.
Bytes webp_file_with_exif(int orientation)
{
    ImageObject image = test::picture(16, 8, false);
    Bytes plain;
    EXPECT_EQ(image_encode(image, IMAGE_CODE_WEBP, 6, {}, plain), ImageError::None);
    const Bytes exif = test::exif_block(orientation, false);
    const WebPData bitstream{plain.data(), plain.size()};
    const WebPData chunk{exif.data(), exif.size()};
    WebPMux* mux = WebPMuxCreate(&bitstream, 1);
    WebPData assembled{nullptr, 0};
    Bytes bytes;
    if (mux && WebPMuxSetChunk(mux, "EXIF", &chunk, 1) == WEBP_MUX_OK && WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK)
        bytes.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    WebPMuxDelete(mux);
    return bytes;
}

TEST(WebpAvifDecoders, OrientationComesFromTheContainersOwnRecord)
{
    CodecsRegistered registered;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const Bytes avif = libavif_file(orientation);
        ImageObject decoded;
        ASSERT_EQ(image_decode(avif.data(), avif.size(), decoded), ImageError::None);
        EXPECT_EQ(decoded.orientation, orientation);
        const Bytes webp = webp_file_with_exif(orientation);
        ASSERT_EQ(image_decode(webp.data(), webp.size(), decoded), ImageError::None);
        EXPECT_EQ(decoded.orientation, orientation);
    }
}

// Two frames of a 32 x 32 animation, made with libwebp's animation encoder.
Bytes animated_webp()
{
    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config))
        return {};
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(32, 32, &options);
    WebPPicture frame;
    WebPPictureInit(&frame);
    frame.width = frame.height = 32;
    frame.use_argb = 1;
    Bytes bytes;
    WebPData assembled{nullptr, 0};
    bool made = encoder && WebPPictureAlloc(&frame);
    for (int index = 0; made && index < 2; ++index) {
        for (int i = 0; i < 32 * 32; ++i)
            frame.argb[i] = index == 0 ? 0xFF2080C0u : 0xFFC08020u;
        made = WebPAnimEncoderAdd(encoder, &frame, index * 100, &config);
    }
    if (made && WebPAnimEncoderAdd(encoder, nullptr, 200, nullptr) && WebPAnimEncoderAssemble(encoder, &assembled))
        bytes.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    WebPPictureFree(&frame);
    WebPAnimEncoderDelete(encoder);
    return bytes;
}

// An AVIF file made by libavif of several images: a 2 x 1 grid of 64 x 64 cells (one picture),
// or a sequence of frames.
Bytes libavif_composite(bool grid)
{
    std::vector<std::unique_ptr<avifImage, decltype(&avifImageDestroy)>> cells;
    for (int i = 0; i < 2; ++i) {
        cells.emplace_back(avifImageCreate(64, 64, 8, AVIF_PIXEL_FORMAT_YUV444), &avifImageDestroy);
        if (avifImageAllocatePlanes(cells.back().get(), AVIF_PLANES_YUV) != AVIF_RESULT_OK)
            return {};
        for (int plane = 0; plane < 3; ++plane)
            std::memset(cells.back()->yuvPlanes[plane], 60 + 90 * i, cells.back()->yuvRowBytes[plane] * 64);
    }
    std::unique_ptr<avifEncoder, decltype(&avifEncoderDestroy)> encoder(avifEncoderCreate(), &avifEncoderDestroy);
    encoder->speed = AVIF_SPEED_FASTEST;
    const avifImage* const images[] = {cells[0].get(), cells[1].get()};
    bool added = true;
    if (grid)
        added = avifEncoderAddImageGrid(encoder.get(), 2, 1, images, AVIF_ADD_IMAGE_FLAG_SINGLE) == AVIF_RESULT_OK;
    else
        for (const avifImage* frame : images)
            added = added && avifEncoderAddImage(encoder.get(), frame, 1, AVIF_ADD_IMAGE_FLAG_NONE) == AVIF_RESULT_OK;
    avifRWData output = AVIF_DATA_EMPTY;
    if (!added || avifEncoderFinish(encoder.get(), &output) != AVIF_RESULT_OK)
        return {};
    Bytes bytes(output.data, output.data + output.size);
    avifRWDataFree(&output);
    return bytes;
}

TEST(WebpAvifDecoders, ComposedFilesGiveTheirPictureOrAReason)
{
    CodecsRegistered registered;
    ImageObject decoded;
    const Bytes grid = libavif_composite(true);
    ASSERT_EQ(image_decode(grid.data(), grid.size(), decoded), ImageError::None);
    EXPECT_EQ(decoded.width, 128);
    EXPECT_EQ(decoded.height, 64);

    const Bytes sequence = libavif_composite(false);
    ASSERT_FALSE(sequence.empty());
    const ImageError sequence_error = image_decode(sequence.data(), sequence.size(), decoded);
    if (sequence_error == ImageError::None) { // the sequence's primary image
        EXPECT_EQ(decoded.width, 64);
        EXPECT_EQ(decoded.height, 64);
    } else {
        EXPECT_EQ(sequence_error, ImageError::Unsupported);
    }

    const Bytes animation = animated_webp();
    ASSERT_FALSE(animation.empty());
    EXPECT_EQ(image_decode(animation.data(), animation.size(), decoded), ImageError::Unsupported);
    EXPECT_FALSE(decoded.holds_image());
}

TEST(WebpAvifDecoders, CutOffAndDamagedFilesFailWithAReason)
{
    CodecsRegistered registered;
    const ImageObject image = test::picture(64, 48, true);
    for (const std::uint32_t code : {IMAGE_CODE_WEBP, IMAGE_CODE_AVIF}) {
        SCOPED_TRACE(code);
        Bytes encoded;
        ASSERT_EQ(image_encode(image, code, 8, {}, encoded), ImageError::None);
        for (const std::size_t kept : {encoded.size() - 1, encoded.size() / 2, std::size_t{40}, std::size_t{13}}) {
            ImageObject decoded;
            const ImageError error = image_decode(encoded.data(), kept, decoded);
            // So short a piece of an AVIF file does not even show its kind.
            const bool unknown = kept == 13 && code == IMAGE_CODE_AVIF && error == ImageError::NotAnImage;
            EXPECT_TRUE(error == ImageError::CutOff || error == ImageError::Corrupt || unknown) << kept;
            EXPECT_FALSE(decoded.holds_image());
        }
        Bytes damaged = encoded;
        for (std::size_t i = damaged.size() / 3; i < damaged.size(); i += 7)
            damaged[i] ^= 0x5A;
        ImageObject decoded;
        const ImageError error = image_decode(damaged.data(), damaged.size(), decoded);
        // Damage inside the coded pixels may decode to other pixels; it must never crash or
        // give an image of another size.
        if (error == ImageError::None) {
            EXPECT_EQ(decoded.width * decoded.height, 64 * 48);
        }
    }
}

} // namespace
} // namespace pictavo
