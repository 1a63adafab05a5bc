// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_encoder.h"

#include "image/image_object.h"
#include "image/palette_quantizer.h"

#include <png.h>
#include <string>

namespace pictavo {
namespace {

struct PngWriteRecord {
    png_structp png = nullptr;
    png_infop info = nullptr;

    PngWriteRecord() = default;
    PngWriteRecord(const PngWriteRecord&) = delete;
    PngWriteRecord& operator=(const PngWriteRecord&) = delete;
    ~PngWriteRecord()
    {
        if (png)
            png_destroy_write_struct(&png, info ? &info : nullptr);
    }
};

void ignore_warning(png_structp, png_const_charp) {}

[[noreturn]] void fail_silently(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void write_to_sink(png_structp png, png_bytep bytes, png_size_t count)
{
    const auto* sink = static_cast<const EncodeSink*>(png_get_io_ptr(png));
    if (!sink->write(bytes, count))
        png_error(png, "write failed");
}

void flush_sink(png_structp png)
{
    const auto* sink = static_cast<const EncodeSink*>(png_get_io_ptr(png));
    if (sink->file && std::fflush(sink->file) != 0)
        png_error(png, "write failed");
}

// A name libpng writes as it stands: 1 to 79 printable Latin-1 characters, no space at either
// end or twice in a row. Others (only a foreign file could hold them) get a plain one.
std::string iccp_name(const std::string& name)
{
    bool usable = !name.empty() && name.size() <= 79 && name.front() != ' ' && name.back() != ' ' &&
                  name.find("  ") == std::string::npos;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        usable = usable && ((byte >= 32 && byte <= 126) || byte >= 161);
    }
    return usable ? name : "ICC profile";
}

// PNG allows one colour description: the ICC profile when the source had one that suits the
// output (the format ranks it above sRGB), else the sRGB chunk the source had. A profile
// libpng finds inconsistent is left out with a warning instead of failing the save.
void set_colour_chunks(png_structp png, png_infop info, const ColourProfile* colour, const std::string& name)
{
    if (!colour)
        return;
    if (icc_profile_describes_rgb(colour->icc))
        png_set_iCCP(png, info, name.c_str(), PNG_COMPRESSION_TYPE_BASE, colour->icc.data(),
                     static_cast<png_uint_32>(colour->icc.size()));
    else if (colour->srgb_intent >= 0 && colour->srgb_intent <= 3)
        png_set_sRGB(png, info, colour->srgb_intent);
}

void write_palette(png_structp png, png_infop info, const QuantizedImage& quantized)
{
    png_color colours[256];
    const std::size_t count = quantized.palette.size();
    for (std::size_t i = 0; i < count; ++i)
        colours[i] = {quantized.palette[i].red, quantized.palette[i].green, quantized.palette[i].blue};
    png_set_PLTE(png, info, colours, static_cast<int>(count));
}

// Only trivially destructible locals: a libpng error jumps back here. quantized is null for
// the true-colour forms.
bool write_png(PngWriteRecord& record, const EncodeRequest& request, const EncodeSink& sink, int channels,
               const QuantizedImage* quantized, const std::string& profile_name)
{
    png_structp png = record.png;
    png_infop info = record.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_benign_errors(png, 1);
    png_set_write_fn(png, const_cast<EncodeSink*>(&sink), write_to_sink, flush_sink);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    const auto width = static_cast<png_uint_32>(request.width);
    const auto height = static_cast<png_uint_32>(request.height);
    if (quantized) {
        png_set_IHDR(png, info, width, height, request.depth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        write_palette(png, info, *quantized);
        set_colour_chunks(png, info, request.colour, profile_name);
        png_write_info(png, info);
        for (int y = 0; y < request.height; ++y)
            png_write_row(png, quantized->row(y));
    } else {
        png_set_IHDR(png, info, width, height, 8, channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_bgr(png);
        set_colour_chunks(png, info, request.colour, profile_name);
        png_write_info(png, info);
        for (int y = 0; y < request.height; ++y)
            png_write_row(png, request.image_row(y));
    }
    png_write_end(png, info);
    return true;
}

bool encode(const EncodeRequest& request, const EncodeSink& sink, int channels)
{
    if (request.width < 1 || request.height < 1 || (!sink.file && !sink.memory))
        return false;
    QuantizedImage quantized;
    const bool palette_form = channels == 3 && request.depth >= 1 && request.depth <= 8;
    if (palette_form && !quantize_palette(request, quantized))
        return false;
    PngWriteRecord record;
    record.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, fail_silently, ignore_warning);
    if (!record.png)
        return false;
    record.info = png_create_info_struct(record.png);
    if (!record.info)
        return false;
    const std::string profile_name = request.colour ? iccp_name(request.colour->icc_name) : std::string();
    return write_png(record, request, sink, channels, palette_form ? &quantized : nullptr, profile_name);
}

} // namespace

bool png_encode24(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 3);
}

bool png_encode32(const EncodeRequest& request, const EncodeSink& sink)
{
    return encode(request, sink, 4);
}

const ImageEncoder png_encoder_plugin = {IMAGE_CODE_PNG, png_encode24, png_encode32};

} // namespace pictavo
