// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_reduction.h"

#include <algorithm>
#include <array>
#include <new>
#include <tuple>

namespace pictavo {
namespace {

constexpr std::size_t palette_limit = 256;  // entries an 8-bit index can address

using Colour = std::uint32_t;  // blue, green, red, alpha from the low byte up

Colour colour_at(const std::uint8_t* pixel, int channels)
{
    const Colour alpha = channels == 4 ? pixel[3] : 255;
    return pixel[0] | Colour{pixel[1]} << 8 | Colour{pixel[2]} << 16 | alpha << 24;
}

PaletteColour palette_colour(Colour colour)
{
    return {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
            static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 24)};
}

Colour colour_of(const PaletteColour& entry)
{
    return entry.blue | Colour{entry.green} << 8 | Colour{entry.red} << 16 | Colour{entry.alpha} << 24;
}

// A set of at most palette_limit colours with an index for each: open addressing in a table
// four times that size, so probes stay short.
class ColourTable {
public:
    // False when the colour is new and the table already holds palette_limit colours.
    bool insert(Colour colour)
    {
        std::size_t slot = find(colour);
        if (used_[slot])
            return true;
        if (count_ == palette_limit)
            return false;
        used_[slot] = true;
        keys_[slot] = colour;
        ++count_;
        return true;
    }
    void set_index(Colour colour, std::uint8_t index) { indices_[find(colour)] = index; }
    std::uint8_t index(Colour colour) const { return indices_[find(colour)]; }
    std::vector<PaletteColour> colours() const
    {
        std::vector<PaletteColour> list;
        for (std::size_t slot = 0; slot < slots; ++slot)
            if (used_[slot])
                list.push_back(palette_colour(keys_[slot]));
        return list;
    }

private:
    static constexpr std::size_t slots = 4 * palette_limit;

    std::size_t find(Colour colour) const
    {
        std::size_t slot = (colour * 2654435761u) >> 22;  // the top 10 bits of a multiplicative hash
        while (used_[slot] && keys_[slot] != colour)
            slot = (slot + 1) % slots;
        return slot;
    }

    std::array<Colour, slots> keys_{};
    std::array<std::uint8_t, slots> indices_{};
    std::array<bool, slots> used_{};
    std::size_t count_ = 0;
};

// The 8-bit value of one step of a grey sample of depth bits: level v stands for v x step.
int grey_step(int depth)
{
    return 255 / ((1 << depth) - 1);
}

// The smallest grey depth whose levels include value.
int grey_depth_of(int value)
{
    if (value % 255 == 0)
        return 1;
    if (value % 85 == 0)
        return 2;
    return value % 17 == 0 ? 4 : 8;
}

template <class Visit>
void for_each_pixel(const EncodeRequest& request, int channels, Visit visit)
{
    for (int y = 0; y < request.height; ++y) {
        const std::uint8_t* pixel = request.image_row(y);
        for (int x = 0; x < request.width; ++x, pixel += channels)
            visit(x, y, colour_at(pixel, channels));
    }
}

// Whether every transparent pixel has the first one's colour and no opaque pixel has it.
bool find_transparent_colour(const EncodeRequest& request, int channels, PaletteColour& transparent)
{
    bool found = false, keyable = true;
    Colour key = 0;
    for_each_pixel(request, channels, [&](int, int, Colour colour) {
        if (colour >> 24 == 0 && !found) {
            found = true;
            key = colour;
        }
    });
    for_each_pixel(request, channels, [&](int, int, Colour colour) {
        const bool has_key_colour = (colour & 0xFFFFFF) == (key & 0xFFFFFF);
        const bool transparent_pixel = colour >> 24 == 0;
        keyable = keyable && has_key_colour == transparent_pixel;
    });
    transparent = palette_colour(key);
    return found && keyable;
}

// Transparent entries first, by alpha, so that tRNS ends early; then the opaque ones by
// luminance, so that neighbouring indices tend to be similar colours.
void sort_palette(std::vector<PaletteColour>& palette)
{
    auto rank = [](const PaletteColour& c) {
        const bool opaque = c.alpha == 255;
        const std::uint32_t order = opaque ? 299u * c.red + 587u * c.green + 114u * c.blue : c.alpha;
        return std::tuple{opaque, order, colour_of(c)};
    };
    std::sort(palette.begin(), palette.end(), [&](const PaletteColour& a, const PaletteColour& b) { return rank(a) < rank(b); });
}

int bits_per_pixel(PngForm form)
{
    switch (form.colour_type) {
    case PngColourType::Grey:
    case PngColourType::Palette: return form.bit_depth;
    case PngColourType::GreyAlpha: return 16;
    case PngColourType::Rgb: return 24;
    case PngColourType::RgbAlpha: return 32;
    }
    return 32;
}

void fill_palette_raster(const EncodeRequest& request, int channels, const PixelCensus& census, PngRaster& raster)
{
    raster.palette = census.colours;
    sort_palette(raster.palette);
    ColourTable table;
    for (std::size_t i = 0; i < raster.palette.size(); ++i) {
        table.insert(colour_of(raster.palette[i]));
        table.set_index(colour_of(raster.palette[i]), static_cast<std::uint8_t>(i));
    }
    raster.palette_alpha = !census.opaque;
    for_each_pixel(request, channels, [&](int x, int y, Colour colour) {
        pack_sample(raster.row(y), x, raster.bit_depth, table.index(colour));
    });
}

void fill_direct_raster(const EncodeRequest& request, int channels, PngRaster& raster)
{
    const int step = grey_step(raster.bit_depth);
    const int samples = raster.channels();
    for_each_pixel(request, channels, [&](int x, int y, Colour colour) {
        const PaletteColour c = palette_colour(colour);
        std::uint8_t* out = raster.row(y);
        switch (raster.colour_type) {
        case PngColourType::Grey: pack_sample(out, x, raster.bit_depth, c.red / step); return;
        case PngColourType::GreyAlpha: out += 2 * x; out[0] = c.red; out[1] = c.alpha; return;
        case PngColourType::Rgb:
        case PngColourType::RgbAlpha:
            out += samples * x;
            out[0] = c.red;
            out[1] = c.green;
            out[2] = c.blue;
            if (samples == 4)
                out[3] = c.alpha;
            return;
        case PngColourType::Palette: return;
        }
    });
}

} // namespace

int palette_bit_depth(std::size_t colours)
{
    return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

bool has_few_colours(const PixelBuffer& pixels)
{
    const int channels = pixels.bytes_per_pixel();
    ColourTable table;
    for (int y = 0; y < pixels.height(); ++y) {
        const std::uint8_t* pixel = pixels.buffer_row(y);
        for (int x = 0; x < pixels.width(); ++x, pixel += channels)
            if (!table.insert(colour_at(pixel, channels)))
                return false;
    }
    return true;
}

PixelCensus take_pixel_census(const EncodeRequest& request, int channels)
{
    PixelCensus census;
    ColourTable table;
    int grey_depth = 1;
    Colour previous = 0;
    bool first = true;
    for_each_pixel(request, channels, [&](int, int, Colour colour) {
        if (!first && colour == previous)
            return;  // runs of one colour are common in artwork: nothing new to learn
        first = false;
        previous = colour;
        const PaletteColour c = palette_colour(colour);
        census.opaque = census.opaque && c.alpha == 255;
        census.binary_alpha = census.binary_alpha && (c.alpha == 0 || c.alpha == 255);
        census.grey = census.grey && c.red == c.green && c.green == c.blue;
        grey_depth = std::max(grey_depth, grey_depth_of(c.red));
        census.few_colours = census.few_colours && table.insert(colour);
    });
    census.grey_depth = census.grey ? grey_depth : 8;
    if (census.few_colours)
        census.colours = table.colours();
    if (!census.opaque && census.binary_alpha)
        census.keyable = find_transparent_colour(request, channels, census.transparent);
    return census;
}

std::vector<PngForm> exact_forms(const PixelCensus& census, bool grey_allowed)
{
    // The smallest form without a palette: an alpha channel only when no transparent colour
    // can stand for it.
    const bool alpha_channel = !census.opaque && !census.keyable;
    PngForm direct = {alpha_channel ? PngColourType::RgbAlpha : PngColourType::Rgb, 8};
    if (census.grey && grey_allowed)
        direct = alpha_channel ? PngForm{PngColourType::GreyAlpha, 8} : PngForm{PngColourType::Grey, census.grey_depth};
    if (!census.few_colours)
        return {direct};
    const PngForm palette = {PngColourType::Palette, palette_bit_depth(census.colours.size())};
    if (bits_per_pixel(direct) <= bits_per_pixel(palette))
        return {direct};
    if (palette.bit_depth == 8)
        return {palette, direct};
    return {palette};
}

bool make_exact_raster(const EncodeRequest& request, int channels, const PixelCensus& census, PngForm form,
                       PngRaster& raster)
{
    raster = PngRaster{};
    raster.width = request.width;
    raster.height = request.height;
    raster.colour_type = form.colour_type;
    raster.bit_depth = form.bit_depth;
    try {
        if (!raster.allocate_rows())
            return false;
        if (form.colour_type == PngColourType::Palette) {
            fill_palette_raster(request, channels, census, raster);
            return true;
        }
        fill_direct_raster(request, channels, raster);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const bool keyed = !census.opaque && (form.colour_type == PngColourType::Grey || form.colour_type == PngColourType::Rgb);
    raster.has_transparent_colour = keyed;
    raster.transparent_colour = census.transparent;
    if (keyed && form.colour_type == PngColourType::Grey)
        raster.transparent_colour.red = static_cast<std::uint8_t>(census.transparent.red / grey_step(form.bit_depth));
    return true;
}

} // namespace pictavo
