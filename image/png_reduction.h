// SPDX-License-Identifier: GPL-3.0-or-later
// The exact PNG forms of 8-bit blue-green-red(-alpha) pixels: an exact palette (with its
// alpha) when there are at most 256 colours, grey at the smallest bit depth that holds every
// level, a transparent colour instead of an alpha channel when alpha is all or nothing, no
// alpha when every pixel is opaque. Each form decodes to exactly the given pixels.
#pragma once

#include "image/image_plugin.h"
#include "image/pixel_buffer.h"
#include "image/png_raster.h"

#include <vector>

namespace pictavo {

// What the pixels of one image allow.
struct PixelCensus {
    bool opaque = true;         // every alpha is 255
    bool grey = true;           // red, green and blue are equal in every pixel
    bool binary_alpha = true;   // every alpha is 0 or 255
    // Not opaque, alpha all or nothing, and every transparent pixel has one colour that no
    // opaque pixel has: a PNG transparent colour then stands for the alpha channel.
    bool keyable = false;
    PaletteColour transparent;  // that colour, when keyable
    int grey_depth = 8;         // the smallest grey bit depth that holds every level exactly
    bool few_colours = true;    // at most 256 distinct colours (alpha included)
    std::vector<PaletteColour> colours;  // those colours, when few
};

struct PngForm {
    PngColourType colour_type = PngColourType::RgbAlpha;
    int bit_depth = 8;
};

// The smallest palette bit depth that addresses that many colours.
int palette_bit_depth(std::size_t colours);

// Whether 24- or 32-bit pixels hold at most 256 distinct colours (alpha included): whether an
// exact palette can hold them.
bool has_few_colours(const PixelBuffer& pixels);

// Looks at the request's pixels: channels is 3 (blue, green, red) or 4 (with alpha).
PixelCensus take_pixel_census(const EncodeRequest& request, int channels);

// The forms worth trying, smallest raw size first; a form without a palette comes before a
// palette of the same size. The first form without a palette follows an 8-bit palette, since
// row filters can make a larger form compress better. grey_allowed is false when the image's
// colour description (an RGB ICC profile) cannot go with a grey colour type.
std::vector<PngForm> exact_forms(const PixelCensus& census, bool grey_allowed);

// The pixels in the form, which must be one of exact_forms(census, ...). False when memory
// runs out.
bool make_exact_raster(const EncodeRequest& request, int channels, const PixelCensus& census, PngForm form,
                       PngRaster& raster);

} // namespace pictavo
