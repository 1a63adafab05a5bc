#include "image/area_resample.h"

#include "image/exact_division.h"
#include "image/vector_dispatch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <numeric>
#include <optional>
#include <vector>

namespace pictavo {
namespace {

// Which inputs of one axis each output covers, and how much of each. Positions are counted
// in units in which an output is output_length long and an input input_length long (the two
// sizes divided by their greatest common divisor), so every coverage is a whole number and
// the coverages of one output add up to output_length.
struct AreaAxis {
    std::uint32_t output_length = 0;
    std::vector<int> first;
    std::vector<int> count;
    std::vector<std::size_t> offset; // of each output's coverages in weights
    std::vector<std::uint32_t> weights;
};

AreaAxis area_axis(int inputs, int outputs)
{
    AreaAxis axis;
    const int divisor = std::gcd(inputs, outputs);
    const std::int64_t output_length = inputs / divisor;
    const std::int64_t input_length = outputs / divisor;
    axis.output_length = static_cast<std::uint32_t>(output_length);
    const auto size = static_cast<std::size_t>(outputs);
    axis.first.resize(size);
    axis.count.resize(size);
    axis.offset.resize(size);
    axis.weights.reserve(size * static_cast<std::size_t>(output_length / input_length + 2));
    for (std::size_t i = 0; i < size; ++i) {
        const std::int64_t start = static_cast<std::int64_t>(i) * output_length;
        const std::int64_t end = start + output_length;
        const std::int64_t first = start / input_length;
        const std::int64_t last = (end - 1) / input_length;
        axis.first[i] = static_cast<int>(first);
        axis.count[i] = static_cast<int>(last - first + 1);
        axis.offset[i] = axis.weights.size();
        for (std::int64_t k = first; k <= last; ++k) {
            const std::int64_t covered = std::min(end, (k + 1) * input_length) - std::max(start, k * input_length);
            axis.weights.push_back(static_cast<std::uint32_t>(covered));
        }
    }
    return axis;
}

// sums[i] = the coverage-weighted sum of byte i of the source rows that output row covers.
// Sum is 16 bits wide when the coverages of an output add up to at most 257 (255 * 257 fits),
// else 32 bits; the narrower the sums, the more of them one vector instruction handles.
template <class Sum>
PICTAVO_INLINE void sum_rows(const PixelBuffer& source, const AreaAxis& rows, int output, Sum* sums,
                             std::size_t length)
{
    const auto index = static_cast<std::size_t>(output);
    const std::uint32_t* weights = rows.weights.data() + rows.offset[index];
    const int first = rows.first[index];
    {
        const std::uint8_t* row = source.buffer_row(first);
        const auto weight = static_cast<Sum>(weights[0]);
        for (std::size_t i = 0; i < length; ++i)
            sums[i] = static_cast<Sum>(row[i] * weight);
    }
    for (int t = 1; t < rows.count[index]; ++t) {
        const std::uint8_t* row = source.buffer_row(first + t);
        const auto weight = static_cast<Sum>(weights[t]);
        if (weight == 1) {
            for (std::size_t i = 0; i < length; ++i)
                sums[i] = static_cast<Sum>(sums[i] + row[i]);
            continue;
        }
        for (std::size_t i = 0; i < length; ++i)
            sums[i] = static_cast<Sum>(sums[i] + row[i] * weight);
    }
}

// When the width shrinks by a whole factor (or stays), each output column covers `factor`
// whole input columns, all with the same weight, and the horizontal pass needs no weights:
// it adds up runs of `factor` pixels in whole numbers. Sum must hold 255 * area.
struct WholeColumns {
    int factor = 1;
    std::uint32_t area = 1; // of one output pixel, in the units of the coverages
    // Of 2 * area, for the numerators 2 * sum + area up to 511 * area.
    std::optional<ExactReciprocal> reciprocal;
};

// The sums of one pixel's channels, with a spare lane for 24-bit pixels.
template <class Sum>
struct PixelSums;
template <>
struct PixelSums<std::uint16_t> {
    using Type = std::uint16_t __attribute__((vector_size(8)));
};
template <>
struct PixelSums<std::uint32_t> {
    using Type = std::uint32_t __attribute__((vector_size(16)));
};

template <class Sum, int Channels>
PICTAVO_INLINE void resample_whole_columns(const PixelBuffer& source, PixelBuffer& destination, const AreaAxis& rows,
                                           const WholeColumns& columns)
{
    static_assert(Channels <= 4);
    using Pixel = typename PixelSums<Sum>::Type;
    const std::size_t length = static_cast<std::size_t>(source.width()) * Channels;
    const std::size_t step = static_cast<std::size_t>(columns.factor) * Channels;
    const std::size_t outputs = static_cast<std::size_t>(destination.width()) * Channels;
    // One spare sum at the end of each, for the spare lane of the last pixel.
    std::vector<Sum> sums(length + 1);
    std::vector<Sum> totals(outputs + 1);
    const std::uint32_t area = columns.area;
    const std::uint32_t doubled = 2 * area;
    for (int y = 0; y < destination.height(); ++y) {
        sum_rows(source, rows, y, sums.data(), length);
        const Sum* __restrict in = sums.data();
        Sum* __restrict total = totals.data();
        for (std::size_t x = 0, at = 0; x < outputs; x += Channels, at += step) {
            Pixel run;
            __builtin_memcpy(&run, in + at, sizeof run);
            for (int j = 1; j < columns.factor; ++j) {
                Pixel next;
                __builtin_memcpy(&next, in + at + static_cast<std::size_t>(j) * Channels, sizeof next);
                run += next;
            }
            __builtin_memcpy(total + x, &run, sizeof run);
        }
        // Rounded to nearest, halves up: floor((sum + area / 2) / area) in whole numbers.
        std::uint8_t* __restrict out = destination.buffer_row(y);
        if (columns.reciprocal) {
            const ExactReciprocal reciprocal = *columns.reciprocal;
            for (std::size_t i = 0; i < outputs; ++i)
                out[i] = static_cast<std::uint8_t>(reciprocal.divide(2 * std::uint32_t{total[i]} + area));
        } else {
            for (std::size_t i = 0; i < outputs; ++i)
                out[i] = static_cast<std::uint8_t>((2 * std::uint32_t{total[i]} + area) / doubled);
        }
    }
}

// The whole-factor path for these sizes, or none when the width does not shrink by a whole
// factor or the sums could pass 32 bits.
std::optional<WholeColumns> whole_columns(int width, int new_width, const AreaAxis& rows)
{
    if (width % new_width != 0)
        return std::nullopt;
    const int factor = width / new_width;
    const std::uint64_t area = static_cast<std::uint64_t>(factor) * rows.output_length;
    if (area * 511 > UINT32_MAX)
        return std::nullopt;
    WholeColumns columns;
    columns.factor = factor;
    columns.area = static_cast<std::uint32_t>(area);
    columns.reciprocal = exact_reciprocal(2 * columns.area, 511 * columns.area);
    return columns;
}

template <int Channels>
PICTAVO_INLINE void resample_whole_columns(const PixelBuffer& source, PixelBuffer& destination, const AreaAxis& rows,
                                           const WholeColumns& columns)
{
    if (columns.area <= 257)
        resample_whole_columns<std::uint16_t, Channels>(source, destination, rows, columns);
    else
        resample_whole_columns<std::uint32_t, Channels>(source, destination, rows, columns);
}

// Rounds exact whole sums / area to nearest, halves up: (sum + area / 2) / area truncated,
// from an estimate through the reciprocal that is corrected by the exact remainder.
template <class Vector>
PICTAVO_INLINE void round_means(Vector& sums, double area)
{
    using Whole = typename WholeLanes<Vector>::Type;
    const Vector zero = {};
    const Vector one = zero + 1;
    const Vector numerator = sums + area / 2;
    Vector quotient = __builtin_convertvector(__builtin_convertvector(numerator * (1 / area), Whole), Vector);
    const Vector remainder = numerator - quotient * area;
    quotient += remainder >= area ? one : zero;
    quotient -= remainder < zero ? one : zero;
    sums = quotient;
}

// Output rows are made this many at a time, sharing each column weight.
constexpr int group_rows = 4;

// The row sums of a group of output rows as doubles, each line padded by one pixel so that
// vectors may read past the last sample. Every product and sum taken from them below is a
// whole number below 2^53, so double arithmetic is exact here.
struct SumLines {
    std::size_t stride;
    std::vector<double> samples;
    const double* line(int r) const { return samples.data() + static_cast<std::size_t>(r) * stride; }
};

// One output pixel of each row of the group: the coverage-weighted sum across its columns,
// divided by its whole area.
template <class Vector, int Channels>
PICTAVO_INLINE void average_pixel(const SumLines& lines, std::size_t first, const double* weights, int count,
                                  double area, int rows, std::uint8_t* const (&outputs)[group_rows])
{
    constexpr int lanes = vector_lanes<Vector>;
    constexpr int per_pixel = (Channels + lanes - 1) / lanes;
    Vector total[group_rows][per_pixel];
    for (auto& row : total)
        clear_all(row);
    for (int t = 0; t < count; ++t) {
        const std::size_t at = (first + static_cast<std::size_t>(t)) * Channels;
        for (int r = 0; r < group_rows; ++r)
            for (int v = 0; v < per_pixel; ++v)
                add_weighted(total[r][v], weights[t], lines.line(r) + at + v * lanes);
    }
    // A loop of fixed length, so that the sums stay in registers.
    for (int r = 0; r < group_rows; ++r) {
        if (r >= rows)
            break;
        double means[per_pixel * lanes];
        for (int v = 0; v < per_pixel; ++v) {
            round_means(total[r][v], area);
            __builtin_memcpy(means + v * lanes, &total[r][v], sizeof total[r][v]);
        }
        for (int c = 0; c < Channels; ++c)
            outputs[r][c] = static_cast<std::uint8_t>(means[c]);
    }
}

template <class Vector, class Sum, int Channels>
PICTAVO_INLINE void resample_rows(const PixelBuffer& source, PixelBuffer& destination, const AreaAxis& columns,
                                  const AreaAxis& rows)
{
    const std::size_t length = static_cast<std::size_t>(source.width()) * Channels;
    std::vector<Sum> sums(length);
    SumLines lines{length + Channels, std::vector<double>((length + Channels) * group_rows)};
    const std::vector<double> column_weights(columns.weights.begin(), columns.weights.end());
    const double area = static_cast<double>(columns.output_length) * rows.output_length;
    for (int y = 0; y < destination.height(); y += group_rows) {
        const int group = std::min(group_rows, destination.height() - y);
        std::uint8_t* outputs[group_rows] = {};
        for (int r = 0; r < group; ++r) {
            sum_rows(source, rows, y + r, sums.data(), length);
            double* line = lines.samples.data() + static_cast<std::size_t>(r) * lines.stride;
            for (std::size_t i = 0; i < length; ++i)
                line[i] = sums[i];
            outputs[r] = destination.buffer_row(y + r);
        }
        for (std::size_t x = 0; x < columns.first.size(); ++x) {
            average_pixel<Vector, Channels>(lines, static_cast<std::size_t>(columns.first[x]),
                                            column_weights.data() + columns.offset[x], columns.count[x], area,
                                            group, outputs);
            for (int r = 0; r < group; ++r)
                outputs[r] += Channels;
        }
    }
}

template <class Vector>
PICTAVO_INLINE void resample(const PixelBuffer& source, PixelBuffer& destination, const AreaAxis& columns,
                             const AreaAxis& rows)
{
    if (const std::optional<WholeColumns> whole = whole_columns(source.width(), destination.width(), rows)) {
        if (source.bytes_per_pixel() == 4)
            resample_whole_columns<4>(source, destination, rows, *whole);
        else
            resample_whole_columns<3>(source, destination, rows, *whole);
        return;
    }
    const bool narrow = rows.output_length <= 257;
    if (source.bytes_per_pixel() == 4) {
        if (narrow)
            resample_rows<Vector, std::uint16_t, 4>(source, destination, columns, rows);
        else
            resample_rows<Vector, std::uint32_t, 4>(source, destination, columns, rows);
    } else {
        if (narrow)
            resample_rows<Vector, std::uint16_t, 3>(source, destination, columns, rows);
        else
            resample_rows<Vector, std::uint32_t, 3>(source, destination, columns, rows);
    }
}

void resample_baseline(const PixelBuffer& source, PixelBuffer& destination, const AreaAxis& columns,
                       const AreaAxis& rows)
{
    resample<DoublePair>(source, destination, columns, rows);
}

PICTAVO_TARGET_AVX2 void resample_avx2(const PixelBuffer& source, PixelBuffer& destination, const AreaAxis& columns,
                                       const AreaAxis& rows)
{
    resample<DoubleQuad>(source, destination, columns, rows);
}

} // namespace

bool area_resample(const PixelBuffer& source, PixelBuffer& destination)
try {
    if (source.empty() || destination.empty() || source.depth() != destination.depth())
        return false;
    const AreaAxis columns = area_axis(source.width(), destination.width());
    const AreaAxis rows = area_axis(source.height(), destination.height());
    if (cpu_has_avx2())
        resample_avx2(source, destination, columns, rows);
    else
        resample_baseline(source, destination, columns, rows);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace pictavo
