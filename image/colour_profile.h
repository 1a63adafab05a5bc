// SPDX-License-Identifier: GPL-3.0-or-later
// What a source file says about its colours, carried from the decoder through resize and grab
// to the encoder unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

// A JPEG file carries a profile in at most 255 APP2 pieces of 65519 bytes, so no output can
// hold a larger one; real profiles are far smaller (a few kilobytes, rarely a few megabytes).
// PNG sources are held to the same size, which also bounds what a compressed iCCP chunk may
// expand to.
constexpr std::size_t max_icc_profile_bytes = std::size_t{255} * 65519;

// An ICC profile's fixed header; its data colour space is bytes 16 to 19.
constexpr std::size_t icc_header_bytes = 128;

constexpr int no_srgb_intent = -1;

struct ColourProfile {
    std::vector<std::uint8_t> icc;  // the ICC profile's bytes; empty: the source had none
    std::string icc_name;           // the name a PNG iCCP chunk gave it; empty for other sources
    int srgb_intent = no_srgb_intent;  // rendering intent 0..3 of a PNG sRGB chunk
};

// Whether the profile describes RGB data. Every JPEG and PNG this program writes holds colour
// pixels, so only such a profile describes an output correctly: the grey or CMYK profile of
// a grey or CMYK source would make colour-managed viewers misread the pixels.
bool icc_profile_describes_rgb(const std::vector<std::uint8_t>& icc);

} // namespace pictavo
