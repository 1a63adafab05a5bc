#include "image/area_resample.h"

#include <algorithm>
#include <cstdint>
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

// Rounds sum / area to nearest, halves up, exactly: a floating-point estimate of the quotient
// is off by at most one and is then corrected in integers.
class MeanDivider {
public:
    explicit MeanDivider(std::uint64_t area) : divisor_(2 * area), inverse_(1.0 / static_cast<double>(2 * area)) {}

    std::uint8_t operator()(std::uint64_t sum) const
    {
        const std::uint64_t numerator = 2 * sum + divisor_ / 2;
        auto quotient = static_cast<std::uint64_t>(static_cast<double>(numerator) * inverse_);
        if (quotient * divisor_ > numerator)
            --quotient;
        else if ((quotient + 1) * divisor_ <= numerator)
            ++quotient;
        return static_cast<std::uint8_t>(quotient);
    }

private:
    std::uint64_t divisor_;
    double inverse_;
};

// sums[i] = the coverage-weighted sum of byte i of the source rows that output row covers.
// Each coverage is below 2^15 and the coverages add up to below 2^15, so the products and
// sums fit in 32 bits; 16 x 16-bit multiplies let the compiler vectorise the loops.
void sum_rows(const PixelBuffer& source, const AreaAxis& rows, int output, std::uint32_t* sums, std::size_t length)
{
    const auto index = static_cast<std::size_t>(output);
    const std::uint32_t* weights = rows.weights.data() + rows.offset[index];
    const int first = rows.first[index];
    {
        const std::uint8_t* row = source.buffer_row(first);
        const auto weight = static_cast<std::uint16_t>(weights[0]);
        for (std::size_t i = 0; i < length; ++i)
            sums[i] = static_cast<std::uint32_t>(static_cast<std::uint16_t>(row[i])) * weight;
    }
    for (int t = 1; t < rows.count[index]; ++t) {
        const std::uint8_t* row = source.buffer_row(first + t);
        const auto weight = static_cast<std::uint16_t>(weights[t]);
        for (std::size_t i = 0; i < length; ++i)
            sums[i] += static_cast<std::uint32_t>(static_cast<std::uint16_t>(row[i])) * weight;
    }
}

// One destination row from the row sums: the coverage-weighted sum across each output's
// columns, divided by the output's whole area (both coverage totals).
template <int Channels>
void average_columns(const std::uint32_t* sums, const AreaAxis& columns, const MeanDivider& divide, std::uint8_t* out)
{
    const std::size_t outputs = columns.first.size();
    for (std::size_t x = 0; x < outputs; ++x) {
        const std::uint32_t* weights = columns.weights.data() + columns.offset[x];
        const std::uint32_t* in = sums + static_cast<std::size_t>(columns.first[x]) * Channels;
        std::uint64_t total[Channels] = {};
        for (int t = 0; t < columns.count[x]; ++t)
            for (int c = 0; c < Channels; ++c)
                total[c] += static_cast<std::uint64_t>(weights[t]) * in[t * Channels + c];
        for (int c = 0; c < Channels; ++c)
            out[x * Channels + c] = divide(total[c]);
    }
}

} // namespace

bool area_resample(const PixelBuffer& source, PixelBuffer& destination)
try {
    if (source.empty() || destination.empty() || source.depth() != destination.depth())
        return false;
    const int channels = source.bytes_per_pixel();
    const AreaAxis columns = area_axis(source.width(), destination.width());
    const AreaAxis rows = area_axis(source.height(), destination.height());
    const std::size_t row_length = static_cast<std::size_t>(source.width()) * static_cast<std::size_t>(channels);
    std::vector<std::uint32_t> sums(row_length);
    const MeanDivider divide(static_cast<std::uint64_t>(columns.output_length) * rows.output_length);
    for (int y = 0; y < destination.height(); ++y) {
        sum_rows(source, rows, y, sums.data(), row_length);
        if (channels == 4)
            average_columns<4>(sums.data(), columns, divide, destination.buffer_row(y));
        else
            average_columns<3>(sums.data(), columns, divide, destination.buffer_row(y));
    }
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace pictavo
