// SPDX-License-Identifier: GPL-3.0-or-later
// The lists of registered decoders and encoders.
//
// The BMP decoder and encoder are registered by the library itself before the first use of
// either list. The program's start-up then calls register_image_codecs(), so that the lists
// read BMP, JPEG, PNG, WEBP, AVIF; loading tries the decoders in that order. Every
// registration happens once, however often it is asked for.
#pragma once

#include "image/image_plugin.h"

#include <cstdint>
#include <vector>

namespace pictavo {

// Appends a plugin; it must live until exit (the lists keep its address).
void register_decoder(const ImageDecoder& plugin);
void register_encoder(const ImageEncoder& plugin);

// JPEG and PNG decoders, then JPEG and PNG encoders.
void register_jpeg_and_png_codecs();
// The JPEG and PNG codecs first, then the WebP and AVIF decoders and encoders.
void register_webp_and_avif_codecs();
// Every codec of the program, in the order above.
inline void register_image_codecs() { register_webp_and_avif_codecs(); }

// Copies of the lists in registration order (registration happens only at start-up, but a copy
// keeps a reader safe even if it did not).
std::vector<const ImageDecoder*> image_decoders();
std::vector<const ImageEncoder*> image_encoders();

// The first plugin registered under code, or nullptr.
const ImageDecoder* find_decoder(std::uint32_t code);
const ImageEncoder* find_encoder(std::uint32_t code);

} // namespace pictavo
