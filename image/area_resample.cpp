// SPDX-License-Identifier: GPL-3.0-or-later
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

// Destination row y counted in the source's row order.
std::uint8_t* output_row(PixelBuffer& destination, RowOrder order, int y)
{
    return order == RowOrder::TopDown ? destination.image_row(y) : destination.buffer_row(y);
}

std::uint8_t* output_row(SamplePlane& destination, RowOrder order, int y)
{
    return destination.row(order == RowOrder::TopDown ? y : destination.height() - 1 - y);
}

// Samples past the end of a line that the 4-lane sums of its last pixel may read or write.
template <int Channels>
constexpr std::size_t spare_lanes = Channels == 1 ? 3 : 1;

// sums[i] = the coverage-weighted sum of byte i of the source rows that output row covers.
// Sum is 16 bits wide when the coverages of an output add up to at most 257 (255 * 257 fits),
// else 32 bits; the narrower the sums, the more of them one vector instruction handles.
template <class Sum>
PICTAVO_INLINE void sum_rows(AreaSource& source, const AreaAxis& rows, int output, Sum* sums,
                             std::size_t length)
{
    const auto index = static_cast<std::size_t>(output);
    const std::uint32_t* weights = rows.weights.data() + rows.offset[index];
    const int first = rows.first[index];
    {
        const std::uint8_t* row = source.row(first);
        const auto weight = static_cast<Sum>(weights[0]);
        for (std::size_t i = 0; i < length; ++i)
            sums[i] = static_cast<Sum>(row[i] * weight);
    }
    for (int t = 1; t < rows.count[index]; ++t) {
        const std::uint8_t* row = source.row(first + t);
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

// Output rows are made this many at a time, sharing each column weight.
constexpr int group_rows = 4;

// The area of one output pixel, in the units of the coverages, and how to divide by it.
struct WholeArea {
    std::uint32_t area = 1;
    // Of 2 * area, for the numerators 2 * sum + area up to 511 * area.
    std::optional<ExactReciprocal> reciprocal;
};

// The division for this area, or none when the sums could pass 32 bits.
std::optional<WholeArea> whole_area(const AreaAxis& columns, const AreaAxis& rows)
{
    const std::uint64_t area = std::uint64_t{columns.output_length} * rows.output_length;
    if (area * 511 > UINT32_MAX)
        return std::nullopt;
    WholeArea whole;
    whole.area = static_cast<std::uint32_t>(area);
    whole.reciprocal = exact_reciprocal(2 * whole.area, 511 * whole.area);
    return whole;
}

// The sums of one pixel's channels, with a spare lane for 24-bit pixels: it is overwritten
// by the next pixel, or lands in a spare sum at the end, and is never output.
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

// When the width shrinks by a whole factor (or stays), each output pixel covers a run of
// `factor` whole pixels with equal weights: totals[x] = the plain sum of the run. Fixed is
// the factor where the compiler may unroll the run, 0 where it is known only now.
template <class Sum, int Channels, int Fixed>
PICTAVO_INLINE void add_runs(const Sum* __restrict sums, Sum* __restrict totals, std::size_t outputs, int factor)
{
    using Pixel = typename PixelSums<Sum>::Type;
    const int count = Fixed != 0 ? Fixed : factor;
    if constexpr (Channels == 1) {
        for (std::size_t x = 0; x < outputs; ++x) {
            const Sum* run = sums + x * static_cast<std::size_t>(count);
            Sum total = run[0];
            for (int j = 1; j < count; ++j)
                total = static_cast<Sum>(total + run[j]);
            totals[x] = total;
        }
        return;
    }
    const std::size_t step = static_cast<std::size_t>(count) * Channels;
    for (std::size_t x = 0, at = 0; x < outputs; x += Channels, at += step) {
        Pixel run;
        __builtin_memcpy(&run, sums + at, sizeof run);
        for (int j = 1; j < count; ++j) {
            Pixel next;
            __builtin_memcpy(&next, sums + at + static_cast<std::size_t>(j) * Channels, sizeof next);
            run += next;
        }
        __builtin_memcpy(totals + x, &run, sizeof run);
    }
}

template <class Sum, int Channels>
PICTAVO_INLINE void add_runs(const Sum* sums, Sum* totals, std::size_t outputs, int factor)
{
    switch (factor) {
    case 2:
        add_runs<Sum, Channels, 2>(sums, totals, outputs, factor);
        break;
    case 3:
        add_runs<Sum, Channels, 3>(sums, totals, outputs, factor);
        break;
    case 4:
        add_runs<Sum, Channels, 4>(sums, totals, outputs, factor);
        break;
    default:
        add_runs<Sum, Channels, 0>(sums, totals, outputs, factor);
    }
}

// Otherwise totals[r][x] = the coverage-weighted sum of the columns output pixel x covers,
// for each row r of a group.
template <class Sum, int Channels>
PICTAVO_INLINE void add_weighted_runs(const Sum* const (&sums)[group_rows], std::uint32_t* const (&totals)[group_rows],
                                      const AreaAxis& columns)
{
    using Pixel = typename PixelSums<Sum>::Type;
    using Total = PixelSums<std::uint32_t>::Type;
    for (std::size_t x = 0; x < columns.first.size(); ++x) {
        const std::uint32_t* weights = columns.weights.data() + columns.offset[x];
        const std::size_t first = static_cast<std::size_t>(columns.first[x]) * Channels;
        Total run[group_rows];
        for (auto& row : run)
            row = Total{};
        for (int t = 0; t < columns.count[x]; ++t) {
            const std::uint32_t weight = weights[t];
            const std::size_t at = first + static_cast<std::size_t>(t) * Channels;
            for (int r = 0; r < group_rows; ++r) {
                Pixel next;
                __builtin_memcpy(&next, sums[r] + at, sizeof next);
                run[r] += __builtin_convertvector(next, Total) * weight;
            }
        }
        for (int r = 0; r < group_rows; ++r)
            __builtin_memcpy(totals[r] + x * Channels, &run[r], sizeof run[r]);
    }
}

// Rounds totals / area to nearest, halves up: floor((2 * total + area) / (2 * area)).
template <class Total>
PICTAVO_INLINE void round_totals(const Total* __restrict totals, std::uint8_t* __restrict out, std::size_t outputs,
                                 const WholeArea& whole)
{
    const std::uint32_t area = whole.area;
    if (whole.reciprocal) {
        const ExactReciprocal reciprocal = *whole.reciprocal;
        for (std::size_t i = 0; i < outputs; ++i)
            out[i] = static_cast<std::uint8_t>(reciprocal.divide(2 * std::uint32_t{totals[i]} + area));
    } else {
        // An estimate through the reciprocal in doubles, corrected by the exact remainder: the
        // numerators are whole numbers below 2^32 and the quotients below 257, so every product
        // and difference is exact and the estimate is off by at most one.
        const double doubled = 2.0 * area;
        const double inverse = 1 / doubled;
        for (std::size_t i = 0; i < outputs; ++i) {
            // Totals stay below 2^31 (255 * area), which converts faster than unsigned.
            const double numerator = 2.0 * static_cast<double>(static_cast<std::int32_t>(totals[i])) + area;
            const int estimate = static_cast<int>(numerator * inverse);
            const double remainder = numerator - estimate * doubled;
            const int quotient = estimate + (remainder >= doubled) - (remainder < 0);
            out[i] = static_cast<std::uint8_t>(quotient);
        }
    }
}

// The whole-number resize, for areas whose sums fit in 32 bits. Sum must hold the row sums,
// and with a whole shrink factor the totals too.
template <class Sum, int Channels, class Destination>
PICTAVO_INLINE void resample_whole(AreaSource& source, Destination& destination, const AreaAxis& columns,
                                   const AreaAxis& rows, const WholeArea& whole)
{
    static_assert(Channels <= 4);
    const std::size_t length = static_cast<std::size_t>(source.width()) * Channels;
    const std::size_t outputs = static_cast<std::size_t>(destination.width()) * Channels;
    // Spare sums at the end of each line, for the spare lanes of the last pixel.
    const std::size_t line = length + spare_lanes<Channels>;
    const std::size_t output_line = outputs + spare_lanes<Channels>;
    if (source.width() % destination.width() == 0) {
        const int factor = source.width() / destination.width();
        std::vector<Sum> sums(line);
        std::vector<Sum> totals(output_line);
        for (int y = 0; y < destination.height(); ++y) {
            sum_rows(source, rows, y, sums.data(), length);
            add_runs<Sum, Channels>(sums.data(), totals.data(), outputs, factor);
            round_totals(totals.data(), output_row(destination, source.order(), y), outputs, whole);
        }
        return;
    }
    // Lines past the last row of the final group are summed from stale sums and not output.
    std::vector<Sum> sums(line * group_rows);
    std::vector<std::uint32_t> totals(output_line * group_rows);
    const Sum* sum_lines[group_rows];
    std::uint32_t* total_lines[group_rows];
    for (int r = 0; r < group_rows; ++r) {
        sum_lines[r] = sums.data() + line * static_cast<std::size_t>(r);
        total_lines[r] = totals.data() + output_line * static_cast<std::size_t>(r);
    }
    for (int y = 0; y < destination.height(); y += group_rows) {
        const int group = std::min(group_rows, destination.height() - y);
        for (int r = 0; r < group; ++r)
            sum_rows(source, rows, y + r, sums.data() + line * static_cast<std::size_t>(r), length);
        add_weighted_runs<Sum, Channels>(sum_lines, total_lines, columns);
        for (int r = 0; r < group; ++r)
            round_totals(total_lines[r], output_row(destination, source.order(), y + r), outputs, whole);
    }
}

template <int Channels, class Destination>
PICTAVO_INLINE void resample_whole(AreaSource& source, Destination& destination, const AreaAxis& columns,
                                   const AreaAxis& rows, const WholeArea& whole)
{
    // 255 * 257 is the most 16 bits hold.
    const bool equal_runs = source.width() % destination.width() == 0;
    if (equal_runs ? whole.area <= 257 : rows.output_length <= 257)
        resample_whole<std::uint16_t, Channels>(source, destination, columns, rows, whole);
    else
        resample_whole<std::uint32_t, Channels>(source, destination, columns, rows, whole);
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

template <class Vector, class Sum, int Channels, class Destination>
PICTAVO_INLINE void resample_rows(AreaSource& source, Destination& destination, const AreaAxis& columns,
                                  const AreaAxis& rows)
{
    const std::size_t length = static_cast<std::size_t>(source.width()) * Channels;
    std::vector<Sum> sums(length);
    const std::size_t padded = length + std::max<std::size_t>(Channels, spare_lanes<Channels>);
    SumLines lines{padded, std::vector<double>(padded * group_rows)};
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
            outputs[r] = output_row(destination, source.order(), y + r);
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

template <class Vector, int Channels, class Destination>
PICTAVO_INLINE void resample(AreaSource& source, Destination& destination, const AreaAxis& columns,
                             const AreaAxis& rows)
{
    if (const std::optional<WholeArea> whole = whole_area(columns, rows)) {
        resample_whole<Channels>(source, destination, columns, rows, *whole);
        return;
    }
    if (rows.output_length <= 257)
        resample_rows<Vector, std::uint16_t, Channels>(source, destination, columns, rows);
    else
        resample_rows<Vector, std::uint32_t, Channels>(source, destination, columns, rows);
}

template <class Vector>
PICTAVO_INLINE void resample(AreaSource& source, PixelBuffer& destination, const AreaAxis& columns,
                             const AreaAxis& rows)
{
    if (source.depth() == 32)
        resample<Vector, 4>(source, destination, columns, rows);
    else
        resample<Vector, 3>(source, destination, columns, rows);
}

template <class Vector>
PICTAVO_INLINE void resample(AreaSource& source, SamplePlane& destination, const AreaAxis& columns,
                             const AreaAxis& rows)
{
    resample<Vector, 1>(source, destination, columns, rows);
}

template <class Destination>
void resample_baseline(AreaSource& source, Destination& destination, const AreaAxis& columns, const AreaAxis& rows)
{
    resample<DoublePair>(source, destination, columns, rows);
}

template <class Destination>
PICTAVO_TARGET_AVX2 void resample_avx2(AreaSource& source, Destination& destination, const AreaAxis& columns,
                                       const AreaAxis& rows)
{
    resample<DoubleQuad>(source, destination, columns, rows);
}

// The rows of a pixel buffer, all at hand.
class BufferRows final : public AreaSource {
public:
    explicit BufferRows(const PixelBuffer& buffer)
        : AreaSource(buffer.width(), buffer.height(), buffer.depth(), RowOrder::BottomUp), buffer_(buffer)
    {
    }
    const std::uint8_t* row(int index) override { return buffer_.buffer_row(index); }

private:
    const PixelBuffer& buffer_;
};

// The rows of a plane, all at hand.
class PlaneRows final : public AreaSource {
public:
    explicit PlaneRows(const SamplePlane& plane)
        : AreaSource(plane.width(), plane.height(), 8, RowOrder::TopDown), plane_(plane)
    {
    }
    const std::uint8_t* row(int index) override { return plane_.row(index); }

private:
    const SamplePlane& plane_;
};

template <class Destination>
bool resample_into(AreaSource& source, Destination& destination, int depth)
try {
    if (source.width() < 1 || source.height() < 1 || destination.empty() || source.depth() != depth)
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

} // namespace

bool area_resample(const PixelBuffer& source, PixelBuffer& destination)
{
    BufferRows rows(source);
    return area_resample(rows, destination);
}

bool area_resample(AreaSource& source, PixelBuffer& destination)
{
    return resample_into(source, destination, destination.depth());
}

bool area_resample(const SamplePlane& source, SamplePlane& destination)
{
    PlaneRows rows(source);
    return area_resample(rows, destination);
}

bool area_resample(AreaSource& source, SamplePlane& destination)
{
    return resample_into(source, destination, 8);
}

int area_rows_at_once(int source_rows, int rows)
try {
    if (source_rows < 1 || rows < 1)
        return 0;
    const AreaAxis axis = area_axis(source_rows, rows);
    return *std::max_element(axis.count.begin(), axis.count.end());
} catch (const std::bad_alloc&) {
    return 0;
}

} // namespace pictavo
