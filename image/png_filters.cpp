// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace pictavo {
namespace {

constexpr int filter_types = 5;  // none, sub, up, average, Paeth

int paeth_predictor(int left, int above, int above_left)
{
    const int estimate = left + above - above_left;
    const int to_left = std::abs(estimate - left);
    const int to_above = std::abs(estimate - above);
    const int to_above_left = std::abs(estimate - above_left);
    if (to_left <= to_above && to_left <= to_above_left)
        return left;
    return to_above <= to_above_left ? above : above_left;
}

template <int Type>
int prediction(int left, int above, int above_left)
{
    if constexpr (Type == 1)
        return left;
    else if constexpr (Type == 2)
        return above;
    else if constexpr (Type == 3)
        return (left + above) / 2;
    else if constexpr (Type == 4)
        return paeth_predictor(left, above, above_left);
    else
        return 0;
}

// The first pixel of a row has zeros to its left.
template <int Type>
void filter_row_as(const std::uint8_t* row, const std::uint8_t* previous, std::size_t size, std::size_t distance,
                   std::uint8_t* out)
{
    const std::size_t first = std::min(distance, size);
    for (std::size_t i = 0; i < first; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - prediction<Type>(0, previous[i], 0));
    for (std::size_t i = first; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(row[i] - prediction<Type>(row[i - distance], previous[i], previous[i - distance]));
}

// Filters one row with filter type (0..4); previous is the row above, all zero for the first.
void filter_row(int type, const std::uint8_t* row, const std::uint8_t* previous, std::size_t size, int distance,
                std::uint8_t* out)
{
    const auto unit = static_cast<std::size_t>(distance);
    switch (type) {
    case 1: filter_row_as<1>(row, previous, size, unit, out); break;
    case 2: filter_row_as<2>(row, previous, size, unit, out); break;
    case 3: filter_row_as<3>(row, previous, size, unit, out); break;
    case 4: filter_row_as<4>(row, previous, size, unit, out); break;
    default: std::copy(row, row + size, out); break;
    }
}

std::uint64_t magnitude_sum(const std::uint8_t* bytes, std::size_t size)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<std::int8_t>(bytes[i]))));
    return sum;
}

// The row's entropy in bits, up to a constant factor: the sum over byte values of
// -count x log2(count / size), computed as size x log2(size) - sum of count x log2(count).
double entropy(const std::uint8_t* bytes, std::size_t size)
{
    std::array<std::uint32_t, 256> counts{};
    for (std::size_t i = 0; i < size; ++i)
        ++counts[bytes[i]];
    double sum = 0;
    for (const std::uint32_t count : counts)
        if (count > 1)
            sum -= count * std::log2(static_cast<double>(count));
    return sum;
}

// Per row, the type whose filtered bytes score lowest; candidates holds one row per type.
template <class Score>
void filter_adaptively(const PngRaster& raster, int first_row, int end_row, std::uint8_t* out, Score score)
{
    const std::size_t size = raster.row_bytes;
    std::vector<std::uint8_t> zero_row(size, 0);
    std::vector<std::uint8_t> candidates(filter_types * size);
    for (int y = first_row; y < end_row; ++y) {
        const std::uint8_t* previous = y > 0 ? raster.row(y - 1) : zero_row.data();
        int best = 0;
        double best_score = 0;
        for (int type = 0; type < filter_types; ++type) {
            std::uint8_t* candidate = candidates.data() + static_cast<std::size_t>(type) * size;
            filter_row(type, raster.row(y), previous, size, raster.filter_distance(), candidate);
            const double value = score(candidate, size);
            if (type == 0 || value < best_score) {
                best = type;
                best_score = value;
            }
        }
        out[0] = static_cast<std::uint8_t>(best);
        const std::uint8_t* chosen = candidates.data() + static_cast<std::size_t>(best) * size;
        std::copy(chosen, chosen + size, out + 1);
        out += size + 1;
    }
}

} // namespace

void filter_rows(const PngRaster& raster, FilterChoice choice, int first_row, int row_count,
                 std::vector<std::uint8_t>& filtered)
{
    const std::size_t size = raster.row_bytes;
    const int end_row = first_row + row_count;
    filtered.resize((size + 1) * static_cast<std::size_t>(row_count));
    std::uint8_t* out = filtered.data();
    if (choice == FilterChoice::MinimumSum) {
        filter_adaptively(raster, first_row, end_row, out, [](const std::uint8_t* bytes, std::size_t count) {
            return static_cast<double>(magnitude_sum(bytes, count));
        });
        return;
    }
    if (choice == FilterChoice::Entropy) {
        filter_adaptively(raster, first_row, end_row, out, entropy);
        return;
    }
    const int type = static_cast<int>(choice);
    std::vector<std::uint8_t> zero_row(size, 0);
    for (int y = first_row; y < end_row; ++y, out += size + 1) {
        out[0] = static_cast<std::uint8_t>(type);
        filter_row(type, raster.row(y), y > 0 ? raster.row(y - 1) : zero_row.data(), size, raster.filter_distance(),
                   out + 1);
    }
}

} // namespace pictavo
