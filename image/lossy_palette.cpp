// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/lossy_palette.h"

#include <dlfcn.h>
#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <new>

namespace pictavo {
namespace {

// Full Floyd-Steinberg error diffusion, as pngquant does by default.
constexpr float dithering_level = 1.0f;
// libimagequant's default speed (pngquant's too): faster settings lose palette quality.
constexpr int quantizer_speed = 4;

struct FreeAttributes {
    void operator()(liq_attr* attributes) const { liq_attr_destroy(attributes); }
};
struct FreeImage {
    void operator()(liq_image* image) const { liq_image_destroy(image); }
};
struct FreeResult {
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};

// A libimagequant built with OpenMP gives its parallel sections as many threads as the calling
// thread's OpenMP setting allows, all cores by default. This thread asks for one: the batch's
// workers already use every core, and sums split across threads would make the palette depend
// on the machine's core count. The setting belongs to the calling thread only.
void use_one_openmp_thread()
{
    using SetThreads = void (*)(int);
    static const auto set_threads = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    if (set_threads)
        set_threads(1);
}

struct RowSource {
    const EncodeRequest* request;
    int channels;
};

// Image row y as red, green, blue, alpha, the layout libimagequant reads; it asks for rows as
// it needs them, so the image is never copied whole in that layout.
void read_row(liq_color row_out[], int y, int width, void* user_info)
{
    const auto* source = static_cast<const RowSource*>(user_info);
    const std::uint8_t* in = source->request->image_row(y);
    for (int x = 0; x < width; ++x, in += source->channels)
        row_out[x] = {in[2], in[1], in[0], source->channels == 4 ? in[3] : std::uint8_t{255}};
}

LossyPaletteResult quantize(const EncodeRequest& request, int channels, LossyPalette& settings, PngRaster& raster)
{
    std::unique_ptr<liq_attr, FreeAttributes> attributes(liq_attr_create());
    if (!attributes || liq_set_speed(attributes.get(), quantizer_speed) != LIQ_OK ||
        liq_set_max_colors(attributes.get(), std::clamp(settings.max_colours, 2, 256)) != LIQ_OK ||
        liq_set_quality(attributes.get(), std::clamp(settings.quality_floor, 0, 100), 100) != LIQ_OK)
        return LossyPaletteResult::Failed;
    RowSource source{&request, channels};
    std::unique_ptr<liq_image, FreeImage> image(
        liq_image_create_custom(attributes.get(), read_row, &source, request.width, request.height, 0));
    if (!image)
        return LossyPaletteResult::Failed;
    liq_result* made = nullptr;
    const liq_error error = liq_image_quantize(image.get(), attributes.get(), &made);
    std::unique_ptr<liq_result, FreeResult> result(made);
    if (error == LIQ_QUALITY_TOO_LOW)
        return LossyPaletteResult::FloorNotMet;
    if (error != LIQ_OK || !result || liq_set_dithering_level(result.get(), dithering_level) != LIQ_OK)
        return LossyPaletteResult::Failed;

    raster = PngRaster{};
    raster.width = request.width;
    raster.height = request.height;
    raster.colour_type = PngColourType::Palette;
    raster.bit_depth = 8;
    raster.palette_alpha = true;
    if (!raster.allocate_rows())
        return LossyPaletteResult::Failed;
    const liq_error remapped = liq_write_remapped_image(result.get(), image.get(), raster.rows.data(), raster.rows.size());
    if (remapped == LIQ_QUALITY_TOO_LOW)
        return LossyPaletteResult::FloorNotMet;
    if (remapped != LIQ_OK)
        return LossyPaletteResult::Failed;
    // Remapping refines the palette, so it is read afterwards.
    const liq_palette* palette = liq_get_palette(result.get());
    for (unsigned i = 0; i < palette->count; ++i)
        raster.palette.push_back({palette->entries[i].r, palette->entries[i].g, palette->entries[i].b, palette->entries[i].a});
    settings.quality = liq_get_quantization_quality(result.get());
    return LossyPaletteResult::Made;
}

} // namespace

LossyPaletteResult make_lossy_palette(const EncodeRequest& request, int channels, LossyPalette& settings,
                                      PngRaster& raster)
{
    use_one_openmp_thread();
    try {
        return quantize(request, channels, settings, raster);
    } catch (const std::bad_alloc&) {
        return LossyPaletteResult::Failed;
    }
}

} // namespace pictavo
