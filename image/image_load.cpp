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

// The whole file in one block; false when it cannot be opened or read completely.
bool read_whole_file(const std::string& path, Block& block, std::size_t& size)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    size = static_cast<std::size_t>(status.st_size);
    block.reset(static_cast<std::uint8_t*>(std::malloc(size > 0 ? size : 1)));
    if (!block)
        return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file.get(), block.get() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

void release(ImageNumber number, ImageObject* image)
{
    image_free(number == IMAGE_ANY ? reinterpret_cast<ImageNumber>(image) : number);
}

// The decoder that accepts the data, with the context filled in; nullptr when none does.
const ImageDecoder* find_accepting_decoder(DecodeContext& context, const std::vector<const ImageDecoder*>& decoders)
{
    for (const ImageDecoder* decoder : decoders) {
        context.state.reset();
        context.width = context.height = 0;
        context.depth = 24;
        context.source_depth = 0;
        if (decoder->check(context))
            return decoder;
    }
    context.state.reset();
    return nullptr;
}

PixelBuffer decode_pixels(DecodeContext& context, const ImageDecoder& decoder)
{
    PixelBuffer pixels = PixelBuffer::create(context.width, context.height, context.depth);
    if (!pixels.empty() && !decoder.decode(context, pixels.data(), pixels.stride(), ROWS_BOTTOM_UP))
        pixels = PixelBuffer();
    decoder.cleanup(context);
    context.state.reset();
    return pixels;
}

bool decode_into(ImageObject& image, const std::uint8_t* data, std::size_t size,
                 const std::vector<const ImageDecoder*>& decoders)
{
    DecodeContext& context = thread_decode_context();
    context.data = data;
    context.size = size;
    context.frame_count = 1;
    context.frame_delay = 0;
    context.plugin = find_accepting_decoder(context, decoders);
    if (!context.plugin) {
        context.data = nullptr;
        return false;
    }
    image.pixels = decode_pixels(context, *context.plugin);
    image.width = static_cast<std::int16_t>(context.width);
    image.height = static_cast<std::int16_t>(context.height);
    image.depth = static_cast<std::int8_t>(image.pixels.depth());
    image.source_depth = static_cast<std::int8_t>(context.source_depth);
    image.plugin_code = context.plugin->code;
    image.frame_count = 1;
    context.data = nullptr;
    context.size = 0;
    return image.holds_image();
}

ImageHandle load_with(ImageNumber number, const void* data, std::size_t size, bool try_icon,
                      const std::vector<const ImageDecoder*>& decoders)
{
    ImageObject* image = image_allocate(number);
    if (!image)
        return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    bool loaded = false;
    if (bytes && is_icon_data(bytes, size))
        loaded = try_icon && load_icon(*image, bytes, size);
    else if (bytes)
        loaded = decode_into(*image, bytes, size, decoders);
    if (!loaded) {
        release(number, image);
        return 0;
    }
    return image_result(number, *image);
}

} // namespace

ImageHandle image_load(ImageNumber number, const std::string& path)
{
    Block block;
    std::size_t size = 0;
    if (!read_whole_file(path, block, size))
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
