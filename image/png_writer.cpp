// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_writer.h"

#include "image/image_object.h"

#include <png.h>
#include <string>
#include <type_traits>

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

// The palette as PLTE and, when asked for, its alpha as tRNS up to the last entry that is
// not opaque; or the transparent colour of a grey or RGB raster.
void set_palette_and_transparency(png_structp png, png_infop info, const PngRaster& raster)
{
    if (raster.colour_type == PngColourType::Palette) {
        png_color colours[256]{};
        png_byte alpha[256]{};
        int transparent_entries = 0;
        const std::size_t count = std::min<std::size_t>(raster.palette.size(), 256);
        for (std::size_t i = 0; i < count; ++i) {
            const PaletteColour& entry = raster.palette[i];
            colours[i] = {entry.red, entry.green, entry.blue};
            alpha[i] = entry.alpha;
            if (raster.palette_alpha && entry.alpha != 255)
                transparent_entries = static_cast<int>(i) + 1;
        }
        png_set_PLTE(png, info, colours, static_cast<int>(count));
        if (transparent_entries > 0)
            png_set_tRNS(png, info, alpha, transparent_entries, nullptr);
    } else if (raster.has_transparent_colour) {
        png_color_16 key{};
        key.gray = raster.transparent_colour.red;
        key.red = raster.transparent_colour.red;
        key.green = raster.transparent_colour.green;
        key.blue = raster.transparent_colour.blue;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
}

// Opens the record and sets what every output shares; the caller sets its own jump first.
void start_file(png_structp png, const EncodeSink& sink)
{
    png_set_benign_errors(png, 1);
    png_set_write_fn(png, const_cast<EncodeSink*>(&sink), write_to_sink, flush_sink);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
}

// Only trivially destructible locals: a libpng error jumps back here. The raster gives the
// header (its rows are not read); row_at(y) gives the rows to write after it and the end of
// the file, none when it is nullptr. bgr: the rows hold blue, green, red (and alpha).
template <class RowAt>
bool write_file(PngWriteRecord& record, const PngRaster& raster, bool bgr, const ColourProfile* colour,
                const std::string& profile_name, const EncodeSink& sink, RowAt row_at)
{
    png_structp png = record.png;
    png_infop info = record.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    start_file(png, sink);
    png_set_IHDR(png, info, static_cast<png_uint_32>(raster.width), static_cast<png_uint_32>(raster.height),
                 raster.bit_depth, static_cast<int>(raster.colour_type), PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (bgr)
        png_set_bgr(png);
    set_palette_and_transparency(png, info, raster);
    set_colour_chunks(png, info, colour, profile_name);
    png_write_info(png, info);
    if constexpr (!std::is_same_v<RowAt, std::nullptr_t>) {
        for (int y = 0; y < raster.height; ++y)
            png_write_row(png, row_at(y));
        png_write_end(png, info);
    }
    return true;
}

bool create_record(PngWriteRecord& record)
{
    record.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, fail_silently, ignore_warning);
    if (record.png)
        record.info = png_create_info_struct(record.png);
    return record.png && record.info;
}

std::string profile_name_of(const ColourProfile* colour)
{
    return colour ? iccp_name(colour->icc_name) : std::string();
}

} // namespace

bool png_write_true_colour(const EncodeRequest& request, int channels, const EncodeSink& sink)
{
    PngRaster header;
    header.width = request.width;
    header.height = request.height;
    header.colour_type = channels == 4 ? PngColourType::RgbAlpha : PngColourType::Rgb;
    PngWriteRecord record;
    return create_record(record) && write_file(record, header, true, request.colour, profile_name_of(request.colour),
                                               sink, [&](int y) { return request.image_row(y); });
}

bool png_write_raster(const PngRaster& raster, const ColourProfile* colour, const EncodeSink& sink)
{
    PngWriteRecord record;
    return create_record(record) && write_file(record, raster, false, colour, profile_name_of(colour), sink,
                                               [&](int y) { return raster.row(y); });
}

bool png_write_header(const PngRaster& raster, const ColourProfile* colour, const EncodeSink& sink)
{
    PngWriteRecord record;
    return create_record(record) && write_file(record, raster, false, colour, profile_name_of(colour), sink, nullptr);
}

} // namespace pictavo
