// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/preview_job.h"

#include "app/byte_sizes.h"
#include "image/image_load.h"
#include "sys/files.h"

#include <cmath>
#include <exception>

namespace pictavo {
namespace {

std::string pixel_size(int width, int height)
{
    return std::to_string(width) + " \u00d7 " + std::to_string(height) + " px";
}

// What the encoder chose, where that is more than the format's plain form.
std::string encoding_text(const EncodeOutcome& encoded, std::uint32_t encoder)
{
    if (encoded.lossy_palette)
        return ", palette of " + std::to_string(encoded.palette_colours) + " colours";
    const char* format = encoder == IMAGE_CODE_WEBP ? "WebP" : encoder == IMAGE_CODE_AVIF ? "AVIF" : "JPEG";
    if (encoded.native_quality > 0)
        return ", " + std::string(format) + " quality " + std::to_string(encoded.native_quality);
    return {};
}

std::string saving_text(std::int64_t source, std::int64_t output)
{
    if (source <= 0)
        return {};
    const double share = 100.0 * static_cast<double>(source - output) / static_cast<double>(source);
    const long long rounded = std::llround(std::abs(share));
    return " (" + std::to_string(rounded) + (share >= 0 ? " % smaller)" : " % larger)");
}

PreviewResult failed(PreviewResult result, const std::string& source_path, const Failure& failure)
{
    result.content = {};
    result.content.note = source_path + ": " + failure_text(failure);
    result.output.clear();
    result.prepared.reset();
    return result;
}

PreviewResult make(const std::string& source_path, const ImageSettings& settings,
                   std::shared_ptr<const PreparedImage> prepared)
{
    PreviewResult result;
    result.key = preparation_key(source_path, settings);
    if (!prepared) {
        auto fresh = std::make_shared<PreparedImage>();
        if (const ImageResult made = prepare_image(settings, source_path, *fresh); made.outcome != ImageOutcome::Written)
            return failed(std::move(result), source_path, made.failure);
        prepared = std::move(fresh);
    }
    result.prepared = prepared;
    const EncodedOutput encoded = encode_prepared_image(settings, *prepared, settings.size_limit);
    if (encoded.failure != FailureReason::None)
        return failed(std::move(result), source_path, Failure{encoded.failure});
    ImageObject decoded;
    if (const ImageError error = image_decode(encoded.bytes.data(), encoded.bytes.size(), decoded);
        error != ImageError::None)
        return failed(std::move(result), source_path, Failure{failure_reason_of(error)});

    const std::int64_t source_bytes = file_size(source_path);
    const auto output_bytes = static_cast<std::int64_t>(encoded.bytes.size());
    PreviewContent& content = result.content;
    content.before = preview_picture(prepared->image);
    content.after = preview_picture(decoded);
    content.before_caption = "Original: " + pixel_size(prepared->source_width, prepared->source_height) + ", "
                             + byte_size_text(std::max<std::int64_t>(source_bytes, 0));
    content.after_caption = "Output: " + pixel_size(decoded.width, decoded.height) + ", "
                            + byte_size_text(output_bytes) + saving_text(source_bytes, output_bytes)
                            + encoding_text(encoded.encoded, prepared->encoder);
    if (!encoded.fits)
        content.after_caption += " \u2014 " + failure_text(Failure{FailureReason::OverSizeLimit, 0,
                                                                   CompressionFailure::None, settings.size_limit});
    result.output = encoded.bytes;
    return result;
}

} // namespace

PreparationKey preparation_key(const std::string& source_path, const ImageSettings& settings)
{
    return {source_path, settings.resize_mode, settings.target_width, settings.target_height,
            settings.keep_orientation, settings.format};
}

PreviewResult make_preview(const std::string& source_path, const ImageSettings& settings,
                           std::shared_ptr<const PreparedImage> prepared)
{
    try {
        return make(source_path, settings, std::move(prepared));
    } catch (const std::exception&) { // no memory for the pictures
        return failed({}, source_path, Failure{FailureReason::OutOfMemory});
    }
}

PreviewPicture preview_picture(const YcbcrPlanes& planes)
{
    PreviewPicture picture;
    picture.width = planes.width();
    picture.height = planes.height();
    picture.rgba.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 4);
    std::uint8_t* out = picture.rgba.data();
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x, out += 4) {
            const std::array<std::uint8_t, 3> rgb = ycbcr_to_rgb(planes, x, y);
            out[0] = rgb[0];
            out[1] = rgb[1];
            out[2] = rgb[2];
            out[3] = 255;
        }
    return picture;
}

PreviewPicture preview_picture(const ImageObject& image)
{
    PreviewPicture picture;
    const PixelBuffer& pixels = image.pixels;
    if (pixels.empty() && image.ycbcr && !image.ycbcr->empty())
        return preview_picture(*image.ycbcr);
    if (pixels.empty())
        return picture;
    picture.width = pixels.width();
    picture.height = pixels.height();
    picture.rgba.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 4);
    const int bytes = pixels.bytes_per_pixel();
    std::uint8_t* out = picture.rgba.data();
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* in = pixels.image_row(y);
        for (int x = 0; x < picture.width; ++x, in += bytes, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = bytes == 4 ? in[3] : 255;
        }
    }
    return picture;
}

} // namespace pictavo
