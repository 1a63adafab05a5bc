// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/cubic_weights.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace pictavo {
namespace {

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

} // namespace

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

} // namespace pictavo
