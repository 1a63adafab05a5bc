#include "image/cubic_resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

namespace pictavo {
namespace {

constexpr int channels = 4;

// Mitchell-Netravali coefficients for B = C = 1/3.
constexpr double filter_b = 1.0 / 3.0;
constexpr double filter_c = 1.0 / 3.0;
constexpr double p0 = (6 - 2 * filter_b) / 6;
constexpr double p2 = (-18 + 12 * filter_b + 6 * filter_c) / 6;
constexpr double p3 = (12 - 9 * filter_b - 6 * filter_c) / 6;
constexpr double q0 = (8 * filter_b + 24 * filter_c) / 6;
constexpr double q1 = (-12 * filter_b - 48 * filter_c) / 6;
constexpr double q2 = (6 * filter_b + 30 * filter_c) / 6;
constexpr double q3 = (-filter_b - 6 * filter_c) / 6;

// The filter at distance x >= 0.
double mitchell(double x)
{
    if (x < 1)
        return (p3 * x + p2) * (x * x) + p0;
    if (x < 2)
        return ((q3 * x + q2) * x + q1) * x + q0;
    return 0;
}

// The weights of one pass: output i takes inputs first[i] .. first[i] + count[i] - 1 with
// weights[i * taps ...]. Built once per pass.
struct CubicPass {
    int taps = 0;
    std::vector<int> first;
    std::vector<int> count;
    std::vector<double> weights;
};

CubicPass cubic_pass(int inputs, int outputs)
{
    const double scale = static_cast<double>(outputs) / inputs;
    double support = 2;
    double filter_scale = 1;
    if (scale < 1) {
        support = 2 / scale;
        filter_scale = scale;
    }
    CubicPass pass;
    pass.taps = 2 * static_cast<int>(std::ceil(support)) + 1;
    const auto size = static_cast<std::size_t>(outputs);
    const auto taps = static_cast<std::size_t>(pass.taps);
    pass.first.resize(size);
    pass.count.resize(size);
    pass.weights.resize(size * taps);
    const double centre_offset = 0.5 / scale - 0.5;
    for (std::size_t i = 0; i < size; ++i) {
        const double centre = static_cast<double>(i) / scale + centre_offset;
        int first = std::max(0, static_cast<int>(std::floor(centre - support)));
        const int last = std::min(inputs - 1, static_cast<int>(std::ceil(centre + support)));
        if (last - first + 1 > pass.taps)
            ++first;
        double* weights = pass.weights.data() + i * taps;
        double sum = 0;
        for (int k = first; k <= last; ++k) {
            const double weight = filter_scale * mitchell(std::fabs((centre - k) * filter_scale));
            weights[k - first] = weight;
            sum += weight;
        }
        int count = last - first + 1;
        if (sum > 0 && sum != 1)
            for (int t = 0; t < count; ++t)
                weights[t] /= sum;
        // Zero weights at either end add exactly nothing to a sum; leave them out.
        int lead = 0;
        while (lead < count - 1 && weights[lead] == 0)
            ++lead;
        while (count - 1 > lead && weights[count - 1] == 0)
            --count;
        std::copy(weights + lead, weights + count, weights);
        pass.first[i] = first + lead;
        pass.count[i] = count - lead;
    }
    return pass;
}

std::uint8_t to_sample(double sum)
{
    const double rounded = sum + 0.5;
    if (rounded < 0)
        return 0;
    if (rounded >= 255)
        return 255;
    return static_cast<std::uint8_t>(rounded);
}

// A plain view of 4-byte pixels: the source, the temporary or the destination.
template <class Byte>
struct Plane {
    Byte* data;
    std::size_t stride;
    int width;
    int height;
    Byte* row(int y) const { return data + stride * static_cast<std::size_t>(y); }
};

// Each output row from the input row of the same index.
void horizontal_pass(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out, const CubicPass& pass)
{
    std::vector<double> line(static_cast<std::size_t>(in.width) * channels);
    const auto taps = static_cast<std::size_t>(pass.taps);
    for (int y = 0; y < in.height; ++y) {
        const std::uint8_t* in_row = in.row(y);
        for (std::size_t i = 0; i < line.size(); ++i)
            line[i] = in_row[i];
        std::uint8_t* out_row = out.row(y);
        for (std::size_t x = 0; x < static_cast<std::size_t>(out.width); ++x) {
            const double* weights = pass.weights.data() + x * taps;
            const double* samples = line.data() + static_cast<std::size_t>(pass.first[x]) * channels;
            double sum[channels] = {};
            for (int t = 0; t < pass.count[x]; ++t)
                for (int c = 0; c < channels; ++c)
                    sum[c] += weights[t] * samples[t * channels + c];
            for (int c = 0; c < channels; ++c)
                out_row[x * channels + c] = to_sample(sum[c]);
        }
    }
}

// Each output row from the input rows its contribution list names; rows in buffer order.
void vertical_pass(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out, const CubicPass& pass)
{
    const std::size_t length = static_cast<std::size_t>(in.width) * channels;
    std::vector<double> sums(length);
    const auto taps = static_cast<std::size_t>(pass.taps);
    for (std::size_t y = 0; y < static_cast<std::size_t>(out.height); ++y) {
        std::fill(sums.begin(), sums.end(), 0.0);
        const double* weights = pass.weights.data() + y * taps;
        for (int t = 0; t < pass.count[y]; ++t) {
            const std::uint8_t* in_row = in.row(pass.first[y] + t);
            const double weight = weights[t];
            for (std::size_t i = 0; i < length; ++i)
                sums[i] += weight * in_row[i];
        }
        std::uint8_t* out_row = out.row(static_cast<int>(y));
        for (std::size_t i = 0; i < length; ++i)
            out_row[i] = to_sample(sums[i]);
    }
}

} // namespace

bool cubic_resample(const PixelBuffer& source, PixelBuffer& destination)
try {
    if (source.empty() || destination.empty() || source.depth() != 32 || destination.depth() != 32)
        return false;
    const int old_width = source.width();
    const int old_height = source.height();
    const int new_width = destination.width();
    const int new_height = destination.height();
    const Plane<const std::uint8_t> in{source.data(), source.stride(), old_width, old_height};
    const Plane<std::uint8_t> out{destination.data(), destination.stride(), new_width, new_height};
    const bool horizontal_first = static_cast<std::int64_t>(new_width) * old_height
        <= static_cast<std::int64_t>(old_width) * new_height;
    const int temporary_width = horizontal_first ? new_width : old_width;
    const int temporary_height = horizontal_first ? old_height : new_height;
    const std::size_t temporary_stride = static_cast<std::size_t>(temporary_width) * channels;
    std::vector<std::uint8_t> temporary(temporary_stride * static_cast<std::size_t>(temporary_height));
    const Plane<std::uint8_t> middle{temporary.data(), temporary_stride, temporary_width, temporary_height};
    const Plane<const std::uint8_t> middle_in{temporary.data(), temporary_stride, temporary_width, temporary_height};
    if (horizontal_first) {
        horizontal_pass(in, middle, cubic_pass(old_width, new_width));
        vertical_pass(middle_in, out, cubic_pass(old_height, new_height));
    } else {
        vertical_pass(in, middle, cubic_pass(old_height, new_height));
        horizontal_pass(middle_in, out, cubic_pass(old_width, new_width));
    }
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace pictavo
