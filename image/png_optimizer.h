// SPDX-License-Identifier: GPL-3.0-or-later
// The smallest PNG file of an image among a few exact forms: every row filter choice worth
// trying is compressed quickly, and the one that came out smallest is compressed again at
// libdeflate's strongest level. The header chunks come from libpng (image/png_writer.h); the
// image data and the end are written here.
#pragma once

#include "image/image_plugin.h"
#include "image/png_raster.h"

#include <cstddef>
#include <functional>

namespace pictavo {

// Makes form number index (0 .. form_count - 1) into raster; false when it cannot.
using RasterMaker = std::function<bool(std::size_t index, PngRaster& raster)>;

// Writes the smallest file among the forms to sink, describing its colours with colour, and
// sets chosen to the form written. Only one form is held besides the best one so far. False
// on failure (memory included).
bool png_write_smallest(std::size_t form_count, const RasterMaker& make_form, const ColourProfile* colour,
                        const EncodeSink& sink, std::size_t& chosen);

} // namespace pictavo
