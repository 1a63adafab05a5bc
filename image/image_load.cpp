// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_load.h"

#include "image/icon_image.h"
#include "image/image_plugin.h"
#include "image/plugins.h"
#include "sys/descriptor.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <new>
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

ImageError decode_into(ImageObject& image, const std::uint8_t* data, std::size_t size,
                       const std::vector<const ImageDecoder*>& decoders)
{
    DecodeContext& context = thread_decode_context();
    context.data = data;
    context.size = size;
    context.frame_count = 1;
    context.frame_delay = 0;
    context.plugin = find_accepting_decoder(context, decoders);
    ImageError error = context.error != ImageError::None ? context.error : ImageError::NotAnImage;
    if (context.plugin) {
        error = decode_pixels(context, *context.plugin, image.pixels);
        image.width = static_cast<std::int16_t>(context.width);
        image.height = static_cast<std::int16_t>(context.height);
        image.depth = static_cast<std::int8_t>(image.pixels.depth());
        image.source_depth = static_cast<std::int8_t>(context.source_depth);
        image.plugin_code = context.plugin->code;
        image.frame_count = 1;
        const bool known_orientation = context.orientation >= 1 && context.orientation <= 8;
        image.orientation = static_cast<std::uint8_t>(known_orientation ? context.orientation : 1);
        image.colour = std::move(context.colour);
    }
    if (error != ImageError::None)
        image = ImageObject();
    context.colour = ColourProfile();
    context.data = nullptr;
    context.size = 0;
    context.error = ImageError::None;
    return error;
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

ImageError image_read_file(const std::string& path, ImageObject& image)
{
    try {
        Block block;
        std::size_t size = 0;
        if (const ImageError error = read_whole_file(path, block, size); error != ImageError::None) {
            image = ImageObject();
            return error;
        }
        return decode_object(block.get(), size, true, image_decoders(), image);
    } catch (const std::bad_alloc&) {
        image = ImageObject();
        return ImageError::OutOfMemory;
    }
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
