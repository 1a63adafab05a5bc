// SPDX-License-Identifier: GPL-3.0-or-later
// PNG files written with libpng: the plain outputs (no row filter, zlib level 9) and the
// chunks before the image data of an optimised one, so that both describe their colours
// with the same bytes. Besides IHDR, PLTE, tRNS, IDAT and IEND only the source's colour
// description is written: its ICC profile as iCCP when it describes RGB data, or else its
// sRGB chunk.
#pragma once

#include "image/image_plugin.h"
#include "image/png_raster.h"

namespace pictavo {

// The request's 8-bit rows as RGB (channels 3) or RGB-alpha (channels 4).
bool png_write_true_colour(const EncodeRequest& request, int channels, const EncodeSink& sink);

// The raster (a palette one, as the palette form makes) with its rows as they stand.
bool png_write_raster(const PngRaster& raster, const ColourProfile* colour, const EncodeSink& sink);

// The signature and every chunk that precedes IDAT for the raster.
bool png_write_header(const PngRaster& raster, const ColourProfile* colour, const EncodeSink& sink);

} // namespace pictavo
