// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_encoder.h"

#include "image/image_object.h"
#include "image/lossy_palette.h"
#include "image/png_optimizer.h"
#include "image/png_reduction.h"
#include "image/png_writer.h"

#include <algorithm>
#include <new>

namespace pictavo {
namespace {

// The palette form's raster: the program's own quantizer at the requested depth.
bool quantized_raster(const EncodeRequest& request, PngRaster& raster)
{
    QuantizedImage quantized;
    if (!quantize_palette(request, quantized))
        return false;
    raster.width = request.width;
    raster.height = request.height;
    raster.colour_type = PngColourType::Palette;
    raster.bit_depth = request.depth;
    raster.row_bytes = quantized.row_bytes;
    raster.rows = std::move(quantized.rows);
    raster.palette = std::move(quantized.palette);
    return true;
}

// A libimagequant palette of at most max_colours for the request's pixels, at bit depth
// (0: the smallest that holds the palette). Made, FloorNotMet or Failed as the quantizer says.
LossyPaletteResult lossy_raster(const EncodeRequest& request, int channels, int max_colours, int bit_depth,
                                PngRaster& raster, EncodeOutcome& outcome)
{
    LossyPalette settings;
    settings.max_colours = std::clamp(max_colours, 2, PALETTE_COLOURS_MAXIMUM);
    settings.quality_floor = request.options.palette_quality_floor;
    const LossyPaletteResult result = make_lossy_palette(request, channels, settings, raster);
    if (result != LossyPaletteResult::Made)
        return result;
    if (bit_depth == 0)
        bit_depth = palette_bit_depth(raster.palette.size());
    if (bit_depth < 8 && !pack_samples(raster, bit_depth))
        return LossyPaletteResult::Failed;
    outcome.lossy_palette = true;
    outcome.palette_quality = settings.quality;
    return result;
}

// A palette raster as the options ask: as it stands, or with the smallest filters and deflate.
bool write_palette_raster(const EncodeRequest& request, PngRaster& raster, const EncodeSink& sink,
                          EncodeOutcome& outcome)
{
    outcome.palette_colours = static_cast<int>(raster.palette.size());
    if (!request.options.optimize)
        return png_write_raster(raster, request.colour, sink);
    auto hand_over = [&](std::size_t, PngRaster& form) {
        form = std::move(raster);
        return true;
    };
    std::size_t chosen = 0;
    return png_write_smallest(1, hand_over, request.colour, sink, chosen);
}

// Depths 1 to 8: a palette of at most 2^depth entries; under optimize only the filters and
// deflate change, since the palette and the indices are this form's own.
bool encode_palette_form(const EncodeRequest& request, const EncodeSink& sink, EncodeOutcome& outcome)
{
    PngRaster raster;
    LossyPaletteResult lossy = LossyPaletteResult::FloorNotMet;
    if (request.options.lossy_palette) {
        const int max_colours = std::min(request.options.palette_colours, 1 << request.depth);
        lossy = lossy_raster(request, 3, max_colours, request.options.optimize ? 0 : request.depth, raster, outcome);
        if (lossy == LossyPaletteResult::Failed)
            return false;
    }
    if (lossy != LossyPaletteResult::Made && !quantized_raster(request, raster))
        return false;
    return write_palette_raster(request, raster, sink, outcome);
}

// An RGB ICC profile cannot describe grey pixels, so a file that carries one stays in colour.
bool grey_allowed(const EncodeRequest& request)
{
    return !request.colour || !icc_profile_describes_rgb(request.colour->icc);
}

bool write_exact_forms(const EncodeRequest& request, int channels, const EncodeSink& sink, EncodeOutcome& outcome)
{
    const PixelCensus census = take_pixel_census(request, channels);
    const std::vector<PngForm> forms = exact_forms(census, grey_allowed(request));
    auto make_form = [&](std::size_t index, PngRaster& raster) {
        return make_exact_raster(request, channels, census, forms[index], raster);
    };
    std::size_t chosen = 0;
    if (!png_write_smallest(forms.size(), make_form, request.colour, sink, chosen))
        return false;
    if (forms[chosen].colour_type == PngColourType::Palette)
        outcome.palette_colours = static_cast<int>(census.colours.size());
    return true;
}

// RGB (channels 3) or RGB-alpha (4) pixels: a lossy palette when asked for and good enough,
// else the exact pixels, plain or in their smallest form.
bool encode_true_colour(const EncodeRequest& request, int channels, const EncodeSink& sink, EncodeOutcome& outcome)
{
    if (request.options.lossy_palette) {
        PngRaster raster;
        const LossyPaletteResult lossy = lossy_raster(request, channels, request.options.palette_colours,
                                                      request.options.optimize ? 0 : 8, raster, outcome);
        if (lossy == LossyPaletteResult::Failed)
            return false;
        if (lossy == LossyPaletteResult::Made)
            return write_palette_raster(request, raster, sink, outcome);
    }
    if (request.options.optimize)
        return write_exact_forms(request, channels, sink, outcome);
    return png_write_true_colour(request, channels, sink);
}

bool encode(const EncodeRequest& request, const EncodeSink& sink, int channels)
{
    if (request.width < 1 || request.height < 1 || (!sink.file && !sink.memory))
        return false;
    EncodeOutcome outcome;
    const bool palette_form = channels == 3 && request.depth >= 1 && request.depth <= 8;
    bool written = false;
    try {
        written = palette_form ? encode_palette_form(request, sink, outcome)
                               : encode_true_colour(request, channels, sink, outcome);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (written && request.outcome)
        *request.outcome = outcome;
    return written;
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
