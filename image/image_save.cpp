// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_save.h"

#include "image/image_plugin.h"
#include "image/plugins.h"
#include "sys/atomic_file.h"

#include <cerrno>

namespace pictavo {
namespace {

struct SavePlan {
    EncodeFunction encode = nullptr;
    EncodeRequest request;
    PixelBuffer flattened;  // the 24-bit copy of a 32-bit image, when one is needed
};

bool is_accepted_depth(int depth)
{
    switch (depth) {
    case 1: case 2: case 4: case 8: case 24: case 32: return true;
    default: return false;
    }
}

// A 24-bit copy of a 32-bit buffer composed onto white: (c x a + 255 x (255 - a)) div 255.
PixelBuffer flatten_onto_white(const PixelBuffer& source)
{
    PixelBuffer flat = PixelBuffer::create(source.width(), source.height(), 24);
    if (flat.empty())
        return flat;
    for (int row = 0; row < source.height(); ++row) {
        const std::uint8_t* in = source.buffer_row(row);
        std::uint8_t* out = flat.buffer_row(row);
        for (int x = 0; x < source.width(); ++x, in += 4, out += 3) {
            const int alpha = in[3];
            for (int channel = 0; channel < 3; ++channel)
                out[channel] = static_cast<std::uint8_t>(((in[channel] - 255) * alpha + 65025) / 255);
        }
    }
    return flat;
}

bool is_fully_opaque(const PixelBuffer& pixels)
{
    for (int row = 0; row < pixels.height(); ++row) {
        const std::uint8_t* pixel = pixels.buffer_row(row);
        for (int x = 0; x < pixels.width(); ++x, pixel += 4)
            if (pixel[3] != 255)
                return false;
    }
    return true;
}

bool is_grey(const PixelBuffer& pixels)
{
    const int bytes = pixels.bytes_per_pixel();
    for (int row = 0; row < pixels.height(); ++row) {
        const std::uint8_t* pixel = pixels.buffer_row(row);
        for (int x = 0; x < pixels.width(); ++x, pixel += bytes)
            if (pixel[0] != pixel[1] || pixel[1] != pixel[2])
                return false;
    }
    return true;
}

// The depth a save at the source's depth uses. A source of 8 bits or fewer whose decoded
// image has alpha that is not fully opaque (grey-alpha, grey or palette with transparency)
// keeps its alpha, as an RGB-alpha source does, instead of losing it to the palette form.
// 16-bit sources have no output form of their own: a grey one is saved as an 8-bit grey
// source is, a colour one (a 16-bit BMP) as true colour.
int source_save_depth(const ImageObject& image)
{
    int depth = image.source_depth;
    if (depth == 16)
        depth = is_grey(image.pixels) ? 8 : 24;
    if (depth >= 1 && depth <= 8 && image.pixels.depth() == 32 && !is_fully_opaque(image.pixels))
        return 32;
    return depth;
}

// The plan for an image held as YCbCr planes: only an encoder that codes them takes it.
bool plan_ycbcr_save(const ImageObject& image, std::uint32_t plugin_code, int quality, SavePlan& plan,
                     const EncodeOptions& options, EncodeOutcome* outcome)
{
    const ImageEncoder* encoder = find_encoder(plugin_code);
    if (!encoder || !encoder->encode_ycbcr || image.ycbcr->empty() || !is_420(*image.ycbcr))
        return false;
    plan.encode = encoder->encode_ycbcr;
    plan.request.ycbcr = image.ycbcr.get();
    plan.request.width = image.ycbcr->width();
    plan.request.height = image.ycbcr->height();
    plan.request.quality = quality;
    plan.request.depth = 24;
    plan.request.colour = &image.colour;
    plan.request.options = options;
    plan.request.outcome = outcome;
    return true;
}

// Everything that can fail before a file is touched.
bool plan_save(const ImageObject* image, std::uint32_t plugin_code, int quality, int depth, SavePlan& plan,
               const EncodeOptions& options = {}, EncodeOutcome* outcome = nullptr)
{
    if (image && image->ycbcr && !image->holds_image())
        return depth == -1 && plan_ycbcr_save(*image, plugin_code, quality, plan, options, outcome);
    if (!image || !image->holds_image() || image->is_icon || (image->pixels.depth() != 24 && image->pixels.depth() != 32))
        return false;
    if (depth == -1)
        depth = source_save_depth(*image);
    if (!is_accepted_depth(depth))
        return false;
    const ImageEncoder* encoder = find_encoder(plugin_code);
    if (!encoder)
        return false;

    const PixelBuffer* pixels = &image->pixels;
    plan.encode = encoder->encode24;
    if (pixels->depth() == 32) {
        if (encoder->encode32 && depth == 32) {
            plan.encode = encoder->encode32;
        } else {
            plan.flattened = flatten_onto_white(*pixels);
            if (plan.flattened.empty())
                return false;
            pixels = &plan.flattened;
        }
    }
    plan.request.pixels = pixels->data();
    plan.request.width = pixels->width();
    plan.request.height = pixels->height();
    plan.request.stride = pixels->stride();
    plan.request.flags = ROWS_BOTTOM_UP;
    plan.request.quality = quality;
    plan.request.depth = depth;
    plan.request.colour = &image->colour;
    plan.request.options = options;
    plan.request.outcome = outcome;
    return plan.encode != nullptr;
}

ImageError write_error(int error_number)
{
    switch (error_number) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ImageError::WritePermission;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ImageError::DiskFull;
    default:
        return ImageError::WriteFailed;
    }
}

ImageError write_planned(SavePlan& plan, const std::string& path, AtomicFile& file)
{
    if (!file.open(path))
        return write_error(file.error());
    EncodeSink sink;
    sink.file = file.stream();
    errno = 0;
    if (!sink.file || !plan.encode(plan.request, sink)) {
        const ImageError error = write_error(errno);
        file.discard();
        return error;
    }
    if (!file.finish()) {
        const ImageError error = write_error(file.error());
        file.discard();
        return error;
    }
    return ImageError::None;
}

} // namespace

ImageError image_write_staged(const ImageObject& image, const std::string& path, AtomicFile& file,
                              std::uint32_t plugin_code, int quality, int depth)
{
    SavePlan plan;
    if (path.empty() || !plan_save(&image, plugin_code, quality, depth, plan))
        return ImageError::Refused;
    return write_planned(plan, path, file);
}

ImageError image_write_staged(const ImageObject& image, const std::string& path, AtomicFile& file,
                              std::uint32_t plugin_code, int quality, const EncodeOptions& options,
                              EncodeOutcome* outcome)
{
    SavePlan plan;
    if (path.empty() || !plan_save(&image, plugin_code, quality, -1, plan, options, outcome))
        return ImageError::Refused;
    return write_planned(plan, path, file);
}

ImageError image_encode(const ImageObject& image, std::uint32_t plugin_code, int quality, const EncodeOptions& options,
                        std::vector<std::uint8_t>& encoded, EncodeOutcome* outcome)
{
    encoded.clear();
    SavePlan plan;
    if (!plan_save(&image, plugin_code, quality, -1, plan, options, outcome))
        return ImageError::Refused;
    EncodeSink sink;
    sink.memory = &encoded;
    if (!plan.encode(plan.request, sink)) {
        encoded.clear();
        return ImageError::OutOfMemory;
    }
    return ImageError::None;
}

ImageError image_write(const ImageObject& image, const std::string& path, std::uint32_t plugin_code, int quality,
                       int depth)
{
    AtomicFile file;
    if (const ImageError error = image_write_staged(image, path, file, plugin_code, quality, depth);
        error != ImageError::None)
        return error;
    return file.commit() ? ImageError::None : write_error(file.error());
}

int image_save(ImageNumber number, const std::string& path, std::uint32_t plugin_code, int quality, int depth)
{
    const ImageObject* image = image_lookup(number);
    return image && image_write(*image, path, plugin_code, quality, depth) == ImageError::None ? 1 : 0;
}

std::vector<std::uint8_t> image_save_memory(ImageNumber number, std::uint32_t plugin_code, int quality, int depth)
{
    SavePlan plan;
    std::vector<std::uint8_t> encoded;
    if (!plan_save(image_lookup(number), plugin_code, quality, depth, plan))
        return encoded;
    EncodeSink sink;
    sink.memory = &encoded;
    if (!plan.encode(plan.request, sink))
        encoded.clear();
    return encoded;
}

} // namespace pictavo
