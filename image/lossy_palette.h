// SPDX-License-Identifier: GPL-3.0-or-later
// A lossy palette of at most 256 colours with alpha, made and applied by libimagequant with
// Floyd-Steinberg dithering, as long as it keeps the image close enough.
#pragma once

#include "image/image_plugin.h"
#include "image/png_raster.h"

namespace pictavo {

enum class LossyPaletteResult {
    Made,
    FloorNotMet,  // no palette of that many colours keeps the image at the quality floor
    Failed,       // out of memory, or the library refused
};

struct LossyPalette {
    int max_colours = 256;    // 2..256
    int quality_floor = 0;    // 0..100 on libimagequant's scale; 0 takes any palette
    int quality = 0;          // set when made: how close the palette keeps the image (0..100)
};

// The request's pixels (channels 3: blue, green, red; 4: with alpha) as an 8-bit palette
// raster whose palette alpha is written. The same pixels always give the same raster, on
// any thread and whatever the machine's number of cores.
LossyPaletteResult make_lossy_palette(const EncodeRequest& request, int channels, LossyPalette& settings,
                                      PngRaster& raster);

} // namespace pictavo
