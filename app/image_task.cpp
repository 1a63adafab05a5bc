// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/image_task.h"

#include "app/folder_scan.h"
#include "app/resize_geometry.h"
#include "app/size_search.h"
#include "image/image_load.h"
#include "image/image_orientation.h"
#include "image/image_resize.h"
#include "image/image_save.h"
#include "image/plugins.h"
#include "sys/atomic_file.h"
#include "sys/files.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace pictavo {
namespace {

ImageResult written(const OutputShape& shape = {})
{
    ImageResult result;
    result.outcome = ImageOutcome::Written;
    result.shape = shape;
    return result;
}

// The cut of a plan that resizes, on the resized image. False only when the cut could not be
// made (no memory for it).
bool cut_to_plan(const ResizePlan& plan, ImageObject& image)
{
    if (!plan.crop)
        return true;
    ImageObject cut;
    if (!image_grab_object(image, plan.x, plan.y, plan.crop_width, plan.crop_height, cut))
        return false;
    image = std::move(cut);
    return true;
}

// Applies the resize plan. False only when the cut could not be made.
bool apply_plan(const ResizePlan& plan, ImageObject& image)
{
    if (!plan.resize)
        return true;
    image_resize_object(image, plan.width, plan.height);
    return cut_to_plan(plan, image);
}

// Whether the output's encoder codes YCbCr planes itself, so that a JPEG source may be read as
// its planes: no colour conversion to RGB and back, no chroma upsampling, and a resize of
// one sample instead of three for most of the image.
bool output_takes_ycbcr(std::uint32_t encoder)
{
    const ImageEncoder* plugin = find_encoder(encoder);
    return plugin && plugin->encode_ycbcr;
}

ImageResult prepare(const ImageSettings& settings, const std::string& source_path, PreparedImage& prepared)
{
    // An image that needs no turn is planned from its header, so the library can resize it
    // while decoding instead of holding it whole.
    std::optional<ResizePlan> header_plan;
    ImageSize stored; // the source's size as the file holds it
    const auto choose_for = [&](bool as_planes) -> SizeChoice {
        return [&, as_planes](const ImageHeader& header) -> std::optional<ImageSize> {
            stored = {header.width, header.height};
            if (!settings.keep_orientation && header.orientation != 1)
                return std::nullopt;
            const ResizePlan plan = plan_resize(settings.resize_mode, header.width, header.height,
                                                settings.target_width, settings.target_height);
            // Planes are only resized, never cut: a cut would have to keep the chroma's siting.
            if (!plan.resize || (as_planes && plan.crop))
                return std::nullopt;
            prepared.source_width = header.width;
            prepared.source_height = header.height;
            header_plan = plan;
            return ImageSize{plan.width, plan.height};
        };
    };
    ImageObject& image = prepared.image;
    // When the planes are not taken, the pixels' choice plans the image anew from its header.
    const ImageError read =
        output_takes_ycbcr(prepared.encoder)
            ? image_read_file_sized_as_planes(source_path, choose_for(true), choose_for(false), image,
                                              settings.decoders_left_out)
            : image_read_file_sized(source_path, choose_for(false), image, nullptr, settings.decoders_left_out);
    if (read != ImageError::None)
        return failed_image(failure_reason_of(read));
    OutputShape& shape = prepared.shape;
    if (header_plan) {
        if (!cut_to_plan(*header_plan, image))
            return failed_image(FailureReason::OutOfMemory);
    } else {
        stored = {image.width, image.height};
        // Turned before any size is worked out, so every mode sizes and cuts the image as it is
        // meant to be seen.
        if (!settings.keep_orientation && image.orientation != 1) {
            if (const ImageError error = image_apply_orientation(image); error != ImageError::None)
                return failed_image(failure_reason_of(error));
            shape.turned_upright = true;
        }
        prepared.source_width = image.width;
        prepared.source_height = image.height;
        const ResizePlan plan = plan_resize(settings.resize_mode, image.width, image.height, settings.target_width,
                                            settings.target_height);
        if (!apply_plan(plan, image))
            return failed_image(FailureReason::OutOfMemory);
        shape.source_size = !plan.resize;
    }
    shape.width = image.width;
    shape.height = image.height;
    shape.resized = image.width != stored.width || image.height != stored.height;
    shape.colour_profile = icc_profile_describes_rgb(image.colour.icc);
    // Decided by the data: a .jpg holding PNG data written as JPEG is not in its source's format.
    shape.source_format = image.plugin_code == prepared.encoder;
    return written(shape);
}

// The chosen bytes of a size search into staged's temporary; the reason when they could not be
// written (FailureReason::None on success).
FailureReason write_bytes_staged(const std::vector<std::uint8_t>& bytes, const std::string& output_path,
                                 AtomicFile& staged);

} // namespace

FailureReason write_failure_of(int error_number)
{
    switch (error_number) {
    case EACCES:
    case EPERM:
    case EROFS:
        return FailureReason::WritePermission;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FailureReason::DiskFull;
    case ENAMETOOLONG:
        return FailureReason::PathTooLong;
    default:
        return FailureReason::WriteFailed;
    }
}

namespace {

FailureReason write_bytes_staged(const std::vector<std::uint8_t>& bytes, const std::string& output_path,
                                 AtomicFile& staged)
{
    if (staged.open(output_path) && staged.write_all(bytes.data(), bytes.size()) && staged.finish())
        return FailureReason::None;
    const FailureReason reason = write_failure_of(staged.error());
    staged.discard();
    return reason;
}

ImageResult copy_original(const std::string& source_path, const std::string& output_path, AtomicFile& staged)
{
    int error = 0;
    if (file_copy_staged(source_path, output_path, staged, &error) != 0)
        return written();
    // Which side failed: the copy's errno alone does not tell a source it may not read from an
    // output folder it may not write.
    if (::access(source_path.c_str(), R_OK) != 0)
        return failed_image(FailureReason::SourceUnreadable);
    std::error_code unknown;
    if (!std::filesystem::is_regular_file(source_path, unknown))
        return failed_image(FailureReason::NotAFile);
    return failed_image(write_failure_of(error));
}

} // namespace

ImageSettings image_settings_of(const JobSettings& job)
{
    ImageSettings settings;
    settings.resize_mode = job.resize_mode;
    settings.target_width = job.target_width;
    settings.target_height = job.target_height;
    settings.quality = static_cast<int>(std::clamp<std::int64_t>(job.jpeg_quality, -1, 11));
    settings.keep_orientation = job.keep_orientation;
    settings.decoders_left_out = decoders_left_out(job.inputs);
    // Copied originals are not encoded: nothing of local compression applies to them, and they
    // keep their format.
    if (job.resize_mode != RESIZE_UPLOAD_ORIGINALS) {
        settings.encoding.optimize = job.compression.optimize;
        settings.encoding.lossy_palette = job.compression.png_palette;
        settings.size_limit = job.compression.size_limit;
        settings.format = job.output_format;
        settings.lossless = job.lossless;
    }
    return settings;
}

namespace {

// The settings' encoder options for one image: lossless WebP is for PNG sources only.
EncodeOptions encoding_for(const ImageSettings& settings, const PreparedImage& prepared)
{
    EncodeOptions options = settings.encoding;
    options.lossless = settings.lossless && prepared.image.plugin_code == IMAGE_CODE_PNG;
    return options;
}

} // namespace

ImageResult failed_image(FailureReason reason)
{
    ImageResult result;
    result.outcome = ImageOutcome::Failed;
    result.failure.reason = reason;
    return result;
}

std::uint32_t encoder_for(const std::string& path)
{
    return encoder_of(format_of_file_name(path));
}

bool has_output(const ImageResult& result)
{
    return result.outcome == ImageOutcome::Written || result.outcome == ImageOutcome::Kept;
}

ImageResult prepare_image(const ImageSettings& settings, const std::string& source_path, PreparedImage& prepared)
{
    if (encoder_for(source_path) == 0)
        return failed_image(FailureReason::NotAnImage);
    prepared.encoder = settings.format == OutputFormat::Same ? encoder_for(source_path) : encoder_of(settings.format);
    ImageResult result = prepare(settings, source_path, prepared);
    result.shape.encoder = prepared.shape.encoder = prepared.encoder;
    return result;
}

ImageResult write_prepared_image(const ImageSettings& settings, const PreparedImage& prepared,
                                 const std::string& output_path, std::int64_t size_limit, AtomicFile& staged)
{
    const int quality = std::clamp(settings.quality, -1, 11);
    ImageResult result = written(prepared.shape);
    if (size_limit <= 0) {
        const ImageError error = image_write_staged(prepared.image, output_path, staged, prepared.encoder, quality,
                                                    encoding_for(settings, prepared), &result.encoded);
        return error == ImageError::None ? result : failed_image(failure_reason_of(error));
    }
    const EncodedOutput encoded = encode_prepared_image(settings, prepared, size_limit);
    if (encoded.failure != FailureReason::None)
        return failed_image(encoded.failure);
    if (const FailureReason reason = write_bytes_staged(encoded.bytes, output_path, staged);
        reason != FailureReason::None)
        return failed_image(reason);
    result.encoded = encoded.encoded;
    if (!encoded.fits)
        result.failure = Failure{FailureReason::OverSizeLimit, 0, CompressionFailure::None, size_limit};
    return result;
}

EncodedOutput encode_prepared_image(const ImageSettings& settings, const PreparedImage& prepared,
                                    std::int64_t size_limit)
{
    const int quality = std::clamp(settings.quality, -1, 11);
    EncodedOutput output;
    if (size_limit <= 0) {
        if (const ImageError error = image_encode(prepared.image, prepared.encoder, quality,
                                                  encoding_for(settings, prepared), output.bytes, &output.encoded);
            error != ImageError::None)
            output.failure = failure_reason_of(error);
        return output;
    }
    LimitedEncode limited =
        encode_within_limit(prepared.image, prepared.encoder, quality, encoding_for(settings, prepared), size_limit);
    output.failure = failure_reason_of(limited.error);
    output.bytes = std::move(limited.bytes);
    output.encoded = limited.outcome;
    output.fits = limited.fits;
    return output;
}

ImageResult write_image_output(const ImageSettings& settings, const std::string& source_path,
                               const std::string& output_path, AtomicFile& staged)
{
    if (encoder_for(source_path) == 0)
        return failed_image(FailureReason::NotAnImage);
    if (settings.resize_mode == RESIZE_UPLOAD_ORIGINALS)
        return copy_original(source_path, output_path, staged);
    PreparedImage prepared;
    if (ImageResult result = prepare_image(settings, source_path, prepared); result.outcome != ImageOutcome::Written)
        return result;
    return write_prepared_image(settings, prepared, output_path, settings.size_limit, staged);
}

} // namespace pictavo
