#include "image/area_resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <numeric>
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
void sum_rows(const PixelBuffer& source, const AreaAxis& rows, int output, Sum* sums, std::size_t length)
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
        for (std::size_t i = 0; i < length; ++i)
            sums[i] = static_cast<Sum>(sums[i] + row[i] * weight);
    }
}

// The weighted sums across columns are taken in double precision, where every product and
// sum here is a whole number below 2^53 and therefore exact.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));

inline Pair load_pair(const double* at)
{
    Pair pair;
    std::memcpy(&pair, at, sizeof pair);
    return pair;
}

// Rounds exact whole sums / area to nearest, halves up: (sum + area / 2) / area truncated,
// from an estimate through the reciprocal that is corrected by the exact remainder.
class MeanDivider {
public:
    explicit MeanDivider(double area) : area_{area, area}, half_{area / 2, area / 2}, inverse_{1 / area, 1 / area} {}

    Pair operator()(Pair sums) const
    {
        using Whole = std::int32_t __attribute__((vector_size(2 * sizeof(std::int32_t))));
        const Pair numerator = sums + half_;
        Pair quotient = __builtin_convertvector(__builtin_convertvector(numerator * inverse_, Whole), Pair);
        const Pair remainder = numerator - quotient * area_;
        const Pair zero = {0, 0};
        const Pair one = {1, 1};
        quotient += remainder >= area_ ? one : zero;
        quotient -= remainder < zero ? one : zero;
        return quotient;
    }

private:
    Pair area_;
    Pair half_;
    Pair inverse_;
};

// One destination row from the row sums (as doubles, padded by one sample): the
// coverage-weighted sum across each output's columns, divided by the output's whole area.
template <int Channels>
void average_columns(const double* sums, const AreaAxis& columns, const MeanDivider& divide, std::uint8_t* out)
{
    static_assert(Channels == 3 || Channels == 4);
    const std::size_t outputs = columns.first.size();
    for (std::size_t x = 0; x < outputs; ++x) {
        const std::uint32_t* weights = columns.weights.data() + columns.offset[x];
        const double* in = sums + static_cast<std::size_t>(columns.first[x]) * Channels;
        // Channels 0 and 1, then 2 and 3 (for 3 channels the fourth lane is the next pixel's
        // first sample, computed and dropped).
        Pair low = {0, 0};
        Pair high = {0, 0};
        for (int t = 0; t < columns.count[x]; ++t) {
            const auto weight = static_cast<double>(weights[t]);
            low += weight * load_pair(in + t * Channels);
            high += weight * load_pair(in + t * Channels + 2);
        }
        low = divide(low);
        high = divide(high);
        std::uint8_t* pixel = out + x * Channels;
        pixel[0] = static_cast<std::uint8_t>(low[0]);
        pixel[1] = static_cast<std::uint8_t>(low[1]);
        pixel[2] = static_cast<std::uint8_t>(high[0]);
        if constexpr (Channels == 4)
            pixel[3] = static_cast<std::uint8_t>(high[1]);
    }
}

template <class Sum>
void resample_rows(const PixelBuffer& source, PixelBuffer& destination, const AreaAxis& columns, const AreaAxis& rows)
{
    const int channels = source.bytes_per_pixel();
    const std::size_t length = static_cast<std::size_t>(source.width()) * static_cast<std::size_t>(channels);
    std::vector<Sum> sums(length);
    std::vector<double> wide_sums(length + 1);
    const MeanDivider divide(static_cast<double>(columns.output_length) * rows.output_length);
    for (int y = 0; y < destination.height(); ++y) {
        sum_rows(source, rows, y, sums.data(), length);
        for (std::size_t i = 0; i < length; ++i)
            wide_sums[i] = sums[i];
        if (channels == 4)
            average_columns<4>(wide_sums.data(), columns, divide, destination.buffer_row(y));
        else
            average_columns<3>(wide_sums.data(), columns, divide, destination.buffer_row(y));
    }
}

} // namespace

bool area_resample(const PixelBuffer& source, PixelBuffer& destination)
try {
    if (source.empty() || destination.empty() || source.depth() != destination.depth())
        return false;
    const AreaAxis columns = area_axis(source.width(), destination.width());
    const AreaAxis rows = area_axis(source.height(), destination.height());
    if (rows.output_length <= 257)
        resample_rows<std::uint16_t>(source, destination, columns, rows);
    else
        resample_rows<std::uint32_t>(source, destination, columns, rows);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace pictavo
