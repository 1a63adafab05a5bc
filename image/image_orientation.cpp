// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_orientation.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pictavo {
namespace {

// Pixels left to right become right to left in every row.
template <std::size_t Bytes>
void mirror_rows(PixelBuffer& pixels)
{
    const std::size_t width = static_cast<std::size_t>(pixels.width());
    for (int row = 0; row < pixels.height(); ++row) {
        std::uint8_t* left = pixels.buffer_row(row);
        std::uint8_t* right = left + (width - 1) * Bytes;
        for (; left < right; left += Bytes, right -= Bytes)
            std::swap_ranges(left, left + Bytes, right);
    }
}

// The top row becomes the bottom row.
void flip_rows(PixelBuffer& pixels)
{
    const std::size_t bytes = pixels.stride();
    for (int top = 0, bottom = pixels.height() - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(pixels.buffer_row(top), pixels.buffer_row(top) + bytes, pixels.buffer_row(bottom));
}

// How a turned image (orientations 5 to 8) reads its source: row y of the turned image is
// one column of the source (the y-th from the left, or from the right), and along the row
// that column is read from the source's top down, or from its bottom up.
struct QuarterTurn {
    bool column_from_right;
    bool column_bottom_up;
};

// Works through bands of source columns (rows of the turned image), so that each source row
// is read once per band, a run of neighbouring pixels at a time, while the band's turned rows
// stay in the cache. The source is read in memory order whatever the turn: bands left to
// right, buffer rows upwards within a band.
template <std::size_t Bytes>
void turn_quarter(const PixelBuffer& source, PixelBuffer& turned, QuarterTurn turn)
{
    constexpr int band = 16;
    const int columns = source.width();
    const int source_rows = source.height();
    std::uint8_t* rows[band];
    for (int first_column = 0; first_column < columns; first_column += band) {
        const int count = std::min(band, columns - first_column);
        for (int j = 0; j < count; ++j) {
            const int column = first_column + j;
            rows[j] = turned.image_row(turn.column_from_right ? columns - 1 - column : column);
        }
        for (int buffer_row = 0; buffer_row < source_rows; ++buffer_row) {
            // Buffer row 0 is the source's bottom row.
            const int x = turn.column_bottom_up ? buffer_row : source_rows - 1 - buffer_row;
            const std::uint8_t* in = source.buffer_row(buffer_row) + static_cast<std::size_t>(first_column) * Bytes;
            const std::size_t out = static_cast<std::size_t>(x) * Bytes;
            for (int j = 0; j < count; ++j, in += Bytes)
                std::memcpy(rows[j] + out, in, Bytes);
        }
    }
}

template <std::size_t Bytes>
bool orient(PixelBuffer& pixels, int orientation)
{
    switch (orientation) {
    case 2:
        mirror_rows<Bytes>(pixels);
        return true;
    case 3:
        flip_rows(pixels);
        mirror_rows<Bytes>(pixels);
        return true;
    case 4:
        flip_rows(pixels);
        return true;
    default:
        break;
    }
    static constexpr QuarterTurn turns[] = {{false, false}, {false, true}, {true, true}, {true, false}};
    PixelBuffer turned = PixelBuffer::create(pixels.height(), pixels.width(), pixels.depth());
    if (turned.empty())
        return false;
    turn_quarter<Bytes>(pixels, turned, turns[orientation - 5]);
    pixels = std::move(turned);
    return true;
}

} // namespace

ImageError image_apply_orientation(ImageObject& image)
{
    if (image.orientation < 2 || image.orientation > 8) {
        image.orientation = 1;
        return ImageError::None;
    }
    PixelBuffer& pixels = image.pixels;
    if (!image.holds_image() || pixels.width() != image.width || pixels.height() != image.height ||
        (pixels.depth() != 24 && pixels.depth() != 32))
        return ImageError::Refused;
    const bool done = pixels.depth() == 32 ? orient<4>(pixels, image.orientation) : orient<3>(pixels, image.orientation);
    if (!done)
        return ImageError::OutOfMemory;
    image.width = static_cast<std::int16_t>(pixels.width());
    image.height = static_cast<std::int16_t>(pixels.height());
    image.orientation = 1;
    return ImageError::None;
}

} // namespace pictavo
