// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_load.h"

#include "image/area_resample.h"
#include "image/decoded_rows.h"
#include "image/icon_image.h"
#include "image/image_plugin.h"
#include "image/image_resize.h"
#include "image/ycbcr_read.h"
#include "image/plugins.h"
#include "sys/descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pictavo {
namespace {

// Each thread reuses its own context; loads on different threads share no decoder state.
DecodeContext& thread_decode_context()
{
    thread_local DecodeContext context;
    return context;
}

struct MallocFree {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};
using Block = std::unique_ptr<std::uint8_t, MallocFree>;

// Far above the photos and graphics this program is made for (a 100 MP JPEG takes some 50 MB).
// The file is read whole into memory, so a larger one, or a sparse file of gigabytes that
// reads as zeros, would only cost memory and time.
constexpr std::size_t max_source_bytes = std::size_t{256} << 20;

// Why a path that could not be opened fails: a socket, for instance, cannot be opened at all.
ImageError open_failure(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
        return ImageError::NotAFile;
    return ImageError::ReadFailed;
}

// The whole file in one block. Opening does not wait (a FIFO without a writer would block an
// ordinary open for ever), and the open descriptor itself must be a regular file, so a file
// swapped for something else after the folder was scanned cannot hang the read either.
ImageError read_whole_file(const std::string& path, Block& block, std::size_t& size)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0)
        return open_failure(path);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        return ImageError::ReadFailed;
    if (!S_ISREG(status.st_mode))
        return ImageError::NotAFile;
    if (status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > max_source_bytes)
        return ImageError::FileTooLarge;
    size = static_cast<std::size_t>(status.st_size);
    block.reset(static_cast<std::uint8_t*>(std::malloc(size > 0 ? size : 1)));
    if (!block)
        return ImageError::OutOfMemory;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file.get(), block.get() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return ImageError::ReadFailed;
        done += static_cast<std::size_t>(got);
    }
    return ImageError::None;
}

void release(ImageNumber number, ImageObject* image)
{
    image_free(number == IMAGE_ANY ? reinterpret_cast<ImageNumber>(image) : number);
}

// The decoder that accepts the data, with the context filled in; nullptr when none does.
// The first error of a decoder that recognised its format is kept in the context.
const ImageDecoder* find_accepting_decoder(DecodeContext& context, const std::vector<const ImageDecoder*>& decoders)
{
    ImageError first_error = ImageError::None;
    for (const ImageDecoder* decoder : decoders) {
        context.state.reset();
        context.width = context.height = 0;
        context.depth = 24;
        context.source_depth = 0;
        context.error = ImageError::None;
        context.orientation = 1;
        context.colour = ColourProfile();
        if (decoder->check(context))
            return decoder;
        if (first_error == ImageError::None)
            first_error = context.error;
    }
    context.state.reset();
    context.error = first_error;
    return nullptr;
}

ImageError decode_pixels(DecodeContext& context, const ImageDecoder& decoder, PixelBuffer& pixels)
{
    // Every decoder refuses such sizes itself; this keeps a new one from allocating them.
    const bool too_large = exceeds_image_limits(context.width, context.height);
    if (!too_large)
        pixels = PixelBuffer::create(context.width, context.height, context.depth);
    ImageError error = ImageError::None;
    if (too_large) {
        error = ImageError::TooManyPixels;
    } else if (pixels.empty()) {
        error = ImageError::OutOfMemory;
    } else if (!decoder.decode(context, pixels.data(), pixels.stride(), ROWS_BOTTOM_UP)) {
        error = context.error != ImageError::None ? context.error : ImageError::Corrupt;
        pixels = PixelBuffer();
    }
    decoder.cleanup(context);
    context.state.reset();
    return error;
}

// The thread's context with the decoder that accepts the data, and its header read; the
// error to give when none does.
DecodeContext& open_context(const std::uint8_t* data, std::size_t size,
                            const std::vector<const ImageDecoder*>& decoders, ImageError& error)
{
    DecodeContext& context = thread_decode_context();
    context.data = data;
    context.size = size;
    context.frame_count = 1;
    context.frame_delay = 0;
    context.plugin = find_accepting_decoder(context, decoders);
    error = context.error != ImageError::None ? context.error : ImageError::NotAnImage;
    return context;
}

void close_context(DecodeContext& context)
{
    if (context.plugin)
        context.plugin->cleanup(context);
    context.state.reset();
    context.colour = ColourProfile();
    context.data = nullptr;
    context.size = 0;
    context.error = ImageError::None;
}


// Fills image from what the decoder said of the file, around the pixels it holds.
void describe(DecodeContext& context, ImageObject& image)
{
    image.width = static_cast<std::int16_t>(image.pixels.empty() ? context.width : image.pixels.width());
    image.height = static_cast<std::int16_t>(image.pixels.empty() ? context.height : image.pixels.height());
    image.depth = static_cast<std::int8_t>(image.pixels.depth());
    image.source_depth = static_cast<std::int8_t>(context.source_depth);
    image.plugin_code = context.plugin->code;
    image.frame_count = 1;
    image.orientation = static_cast<std::uint8_t>(known_orientation(context));
    image.colour = std::move(context.colour);
}

// Decodes the image whose header open_context read, or gives its error, and closes the context.
ImageError decode_opened(DecodeContext& context, ImageError error, ImageObject& image)
{
    if (context.plugin) {
        error = decode_pixels(context, *context.plugin, image.pixels);
        describe(context, image);
    }
    if (error != ImageError::None)
        image = ImageObject();
    close_context(context);
    return error;
}

ImageError decode_into(ImageObject& image, const std::uint8_t* data, std::size_t size,
                       const std::vector<const ImageDecoder*>& decoders)
{
    ImageError error = ImageError::None;
    DecodeContext& context = open_context(data, size, decoders, error);
    return decode_opened(context, error, image);
}

ImageError decode_object(const std::uint8_t* bytes, std::size_t size, bool try_icon,
                         const std::vector<const ImageDecoder*>& decoders, ImageObject& image)
{
    image = ImageObject();
    if (!bytes)
        return ImageError::NotAnImage;
    if (is_icon_data(bytes, size)) {
        if (!try_icon)
            return ImageError::NotAnImage;
        return load_icon(image, bytes, size);
    }
    return decode_into(image, bytes, size, decoders);
}

// Whether the image in context can be resized to size as it decodes, with the pixels an
// area resize of the whole decoded image would give.
bool can_resize_while_decoding(const DecodeContext& context, ImageSize size)
{
    const bool valid_size = size.width >= 1 && size.height >= 1 && size.width <= max_image_dimension &&
                            size.height <= max_image_dimension;
    const bool changes = size.width != context.width || size.height != context.height;
    return context.plugin->decode_row && context.depth == 24 && valid_size && changes && context.width >= 1 &&
           context.height >= 1 && !exceeds_image_limits(context.width, context.height);
}

// The rows of the image in context, area-resized to size as the decoder delivers them. The
// decoder's failure, or None; resized stays empty when memory for the resize ran out.
ImageError decode_resized(DecodeContext& context, ImageSize size, PixelBuffer& resized)
{
    const int window_rows = area_rows_at_once(context.height, size.height);
    PixelBuffer destination = PixelBuffer::create(size.width, size.height, context.depth);
    if (window_rows < 1 || destination.empty())
        return ImageError::None;
    DecodedRows rows(context, *context.plugin, window_rows);
    if (!rows.ready())
        return ImageError::None;
    const bool done = area_resample(rows, destination);
    if (const ImageError error = rows.finish(); error != ImageError::None)
        return error;
    if (done)
        resized = std::move(destination);
    return ImageError::None;
}

// The registered decoders but those under the codes left out.
std::vector<const ImageDecoder*> decoders_without(const std::vector<std::uint32_t>& left_out)
{
    std::vector<const ImageDecoder*> decoders = image_decoders();
    std::erase_if(decoders, [&](const ImageDecoder* decoder) {
        return std::find(left_out.begin(), left_out.end(), decoder->code) != left_out.end();
    });
    return decoders;
}

// As decode_into followed by image_resize_object to the size choose gives, when it gives one.
ImageError decode_sized(const std::uint8_t* data, std::size_t size, const SizeChoice& choose, ImageObject& image,
                        bool& streamed, const std::vector<const ImageDecoder*>& decoders)
{
    image = ImageObject();
    if (!data || is_icon_data(data, size))
        return decode_object(data, size, true, decoders, image);
    ImageError error = ImageError::None;
    DecodeContext& context = open_context(data, size, decoders, error);
    if (!context.plugin)
        return decode_opened(context, error, image);
    const ImageHeader header{context.width, context.height, known_orientation(context), context.plugin->code};
    const std::optional<ImageSize> chosen = choose ? choose(header) : std::nullopt;
    if (chosen && can_resize_while_decoding(context, *chosen)) {
        error = decode_resized(context, *chosen, image.pixels);
        if (error == ImageError::None && !image.pixels.empty()) {
            describe(context, image);
            close_context(context);
            streamed = true;
            return ImageError::None;
        }
        close_context(context);
        // Without memory for the resize the image is decoded whole; that path gives the
        // answer, down to an image left at its size when the resize has no memory either.
        if (error != ImageError::None)
            return error;
        error = decode_into(image, data, size, decoders);
    } else {
        error = decode_opened(context, ImageError::None, image);
    }
    if (error == ImageError::None && chosen)
        image_resize_object(image, chosen->width, chosen->height);
    return error;
}

ImageHandle load_with(ImageNumber number, const void* data, std::size_t size, bool try_icon,
                      const std::vector<const ImageDecoder*>& decoders)
{
    ImageObject* image = image_allocate(number);
    if (!image)
        return 0;
    if (decode_object(static_cast<const std::uint8_t*>(data), size, try_icon, decoders, *image) != ImageError::None) {
        release(number, image);
        return 0;
    }
    return image_result(number, *image);
}

} // namespace

namespace {

// decode(data, size) over the whole file at path; its error, the file's, or OutOfMemory.
template <class Decode>
ImageError read_file_into(const std::string& path, ImageObject& image, Decode decode)
{
    ImageError error = ImageError::None;
    try {
        Block block;
        std::size_t size = 0;
        error = read_whole_file(path, block, size);
        if (error == ImageError::None)
            error = decode(block.get(), size);
    } catch (const std::bad_alloc&) {
        error = ImageError::OutOfMemory;
    }
    if (error != ImageError::None)
        image = ImageObject();
    return error;
}

} // namespace

ImageError image_read_file(const std::string& path, ImageObject& image)
{
    image = ImageObject();
    return read_file_into(path, image, [&](const std::uint8_t* data, std::size_t size) {
        return decode_object(data, size, true, image_decoders(), image);
    });
}

ImageError image_read_file_sized(const std::string& path, const SizeChoice& choose, ImageObject& image,
                                 bool* streamed, const std::vector<std::uint32_t>& left_out)
{
    bool resized_while_decoding = false;
    image = ImageObject();
    const ImageError error = read_file_into(path, image, [&](const std::uint8_t* data, std::size_t size) {
        return decode_sized(data, size, choose, image, resized_while_decoding, decoders_without(left_out));
    });
    if (streamed)
        *streamed = resized_while_decoding && error == ImageError::None;
    return error;
}

ImageError image_read_file_sized_as_planes(const std::string& path, const SizeChoice& planes_choose,
                                           const SizeChoice& choose, ImageObject& image,
                                           const std::vector<std::uint32_t>& left_out)
{
    image = ImageObject();
    const bool jpeg_read = std::find(left_out.begin(), left_out.end(), IMAGE_CODE_JPEG) == left_out.end();
    return read_file_into(path, image, [&](const std::uint8_t* data, std::size_t size) {
        // Any failure of the planes is left to the pixels, which give its reason.
        if (jpeg_read && decode_ycbcr_sized(data, size, planes_choose, image) == ImageError::None)
            return ImageError::None;
        bool streamed = false;
        return decode_sized(data, size, choose, image, streamed, decoders_without(left_out));
    });
}

ImageError image_decode(const void* data, std::size_t size, ImageObject& image)
{
    try {
        return decode_object(static_cast<const std::uint8_t*>(data), size, true, image_decoders(), image);
    } catch (const std::bad_alloc&) {
        image = ImageObject();
        return ImageError::OutOfMemory;
    }
}

ImageHandle image_load(ImageNumber number, const std::string& path)
{
    Block block;
    std::size_t size = 0;
    if (read_whole_file(path, block, size) != ImageError::None)
        return 0;
    return image_load_memory(number, block.get(), size);
}

ImageHandle image_load_memory(ImageNumber number, const void* data, std::size_t size)
{
    try {
        return load_with(number, data, size, true, image_decoders());
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

ImageHandle image_load_memory_as(ImageNumber number, const void* data, std::size_t size, std::uint32_t plugin_code)
{
    try {
        if (plugin_code == IMAGE_CODE_ICON)
            return load_with(number, data, size, true, {});
        const ImageDecoder* decoder = find_decoder(plugin_code);
        return decoder ? load_with(number, data, size, false, {decoder}) : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

} // namespace pictavo
