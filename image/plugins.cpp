// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/plugins.h"

#include "image/avif_decoder.h"
#include "image/avif_encoder.h"
#include "image/bmp_decoder.h"
#include "image/bmp_encoder.h"
#include "image/jpeg_decoder.h"
#include "image/jpeg_encoder.h"
#include "image/png_decoder.h"
#include "image/png_encoder.h"
#include "image/webp_decoder.h"
#include "image/webp_encoder.h"

#include <mutex>

namespace pictavo {
namespace {

struct PluginLists {
    std::mutex mutex;
    std::vector<const ImageDecoder*> decoders;
    std::vector<const ImageEncoder*> encoders;
};

// The library's own start-up: the lists come into being holding the BMP plugins.
PluginLists& lists()
{
    static PluginLists instance;
    static const bool started = [] {
        instance.decoders.push_back(&bmp_decoder_plugin);
        instance.encoders.push_back(&bmp_encoder_plugin);
        return true;
    }();
    (void)started;
    return instance;
}

template <class Plugin>
const Plugin* find_plugin(const std::vector<const Plugin*>& plugins, std::uint32_t code)
{
    for (const Plugin* plugin : plugins)
        if (plugin->code == code)
            return plugin;
    return nullptr;
}

} // namespace

void register_decoder(const ImageDecoder& plugin)
{
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.decoders.push_back(&plugin);
}

void register_encoder(const ImageEncoder& plugin)
{
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    l.encoders.push_back(&plugin);
}

void register_jpeg_and_png_codecs()
{
    static std::once_flag jpeg_decoder_once, png_decoder_once, jpeg_encoder_once, png_encoder_once;
    std::call_once(jpeg_decoder_once, [] { register_decoder(jpeg_decoder_plugin); });
    std::call_once(png_decoder_once, [] { register_decoder(png_decoder_plugin); });
    std::call_once(jpeg_encoder_once, [] { register_encoder(jpeg_encoder_plugin); });
    std::call_once(png_encoder_once, [] { register_encoder(png_encoder_plugin); });
}

void register_webp_and_avif_codecs()
{
    register_jpeg_and_png_codecs();
    static std::once_flag webp_decoder_once, avif_decoder_once, webp_encoder_once, avif_encoder_once;
    std::call_once(webp_decoder_once, [] { register_decoder(webp_decoder_plugin); });
    std::call_once(avif_decoder_once, [] { register_decoder(avif_decoder_plugin); });
    std::call_once(webp_encoder_once, [] { register_encoder(webp_encoder_plugin); });
    std::call_once(avif_encoder_once, [] { register_encoder(avif_encoder_plugin); });
}

std::vector<const ImageDecoder*> image_decoders()
{
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    return l.decoders;
}

std::vector<const ImageEncoder*> image_encoders()
{
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    return l.encoders;
}

const ImageDecoder* find_decoder(std::uint32_t code)
{
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    return find_plugin(l.decoders, code);
}

const ImageEncoder* find_encoder(std::uint32_t code)
{
    auto& l = lists();
    std::lock_guard lock(l.mutex);
    return find_plugin(l.encoders, code);
}

} // namespace pictavo
