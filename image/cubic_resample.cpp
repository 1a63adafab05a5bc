#include "image/cubic_resample.h"

#include "image/vector_dispatch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
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

// A sum as a stored sample: trunc(sum + 0.5) limited to 0..255.
inline std::uint8_t to_sample(double sum)
{
    return static_cast<std::uint8_t>(std::min(std::max(sum + 0.5, 0.0), 255.0));
}

// A plain view of 4-byte pixels: the source, the temporary or the destination.
template <class Byte>
struct Plane {
    Byte* data;
    std::size_t stride;
    int width;
    int height;
    Byte* row(int y) const { return data + stride * static_cast<std::size_t>(y); }
    std::size_t samples_per_row() const { return static_cast<std::size_t>(width) * channels; }
};

void to_doubles(const std::uint8_t* in, std::size_t length, double* out)
{
    for (std::size_t i = 0; i < length; ++i)
        out[i] = in[i];
}

// Stores each lane's sum as a sample, trunc(sum + 0.5) limited to 0..255.
template <class Vector>
PICTAVO_INLINE void store_samples(const Vector& sums, std::uint8_t* out)
{
    using Whole = typename WholeLanes<Vector>::Type;
    const Vector zero = {};
    const Vector top = zero + 255.0;
    Vector rounded = sums + 0.5;
    rounded = rounded > zero ? rounded : zero;
    rounded = rounded < top ? rounded : top;
    const Whole samples = __builtin_convertvector(rounded, Whole);
    for (int j = 0; j < vector_lanes<Vector>; ++j)
        out[j] = static_cast<std::uint8_t>(samples[j]);
}

// The kernels below keep many sums apart in vector lanes and add each one's terms in the
// order of its inputs, exactly as a plain loop over one sum would.

// Independent sums kept in flight: enough vectors to hide the latency of an addition.
constexpr int sums_in_flight = 8;

// Rows are filtered horizontally this many at a time, sharing each weight. (More rows would
// keep more sums in flight but push their converted lines out of the second-level cache.)
template <class Vector>
constexpr int group_rows = 4;

// For each of the first rows of group_rows lines (line_length apart), the 4 channel samples
// of one output whose first input pixel starts at samples, stored at outputs[r].
template <class Vector>
PICTAVO_INLINE void horizontal_output(const double* samples, std::size_t line_length, const double* weights, int count,
                                      int rows, std::uint8_t* const (&outputs)[group_rows<Vector>])
{
    constexpr int lanes = vector_lanes<Vector>;
    constexpr int per_pixel = channels / lanes;
    Vector total[group_rows<Vector>][per_pixel];
    for (auto& row : total)
        clear_all(row);
    for (int t = 0; t < count; ++t) {
        const double weight = weights[t];
        const double* pixel = samples + static_cast<std::size_t>(t) * channels;
        for (std::size_t r = 0; r < group_rows<Vector>; ++r)
            for (int v = 0; v < per_pixel; ++v)
                add_weighted(total[r][v], weight, pixel + r * line_length + v * lanes);
    }
    // A loop of fixed length, so that the sums stay in registers.
    for (int r = 0; r < group_rows<Vector>; ++r)
        if (r < rows)
            for (int v = 0; v < per_pixel; ++v)
                store_samples(total[r][v], outputs[r] + v * lanes);
}

// Each output row from the input row of the same index.
template <class Vector>
PICTAVO_INLINE void horizontal_pass(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out,
                                    const CubicPass& pass)
{
    const std::size_t length = in.samples_per_row();
    constexpr int group = group_rows<Vector>;
    std::vector<double> lines(group * length);
    const auto taps = static_cast<std::size_t>(pass.taps);
    for (int y = 0; y < in.height; y += group) {
        const int rows = std::min(group, in.height - y);
        std::uint8_t* outputs[group] = {};
        for (int r = 0; r < rows; ++r) {
            to_doubles(in.row(y + r), length, lines.data() + static_cast<std::size_t>(r) * length);
            outputs[r] = out.row(y + r);
        }
        for (std::size_t x = 0; x < static_cast<std::size_t>(out.width); ++x) {
            horizontal_output<Vector>(lines.data() + static_cast<std::size_t>(pass.first[x]) * channels, length,
                                      pass.weights.data() + x * taps, pass.count[x], rows, outputs);
            for (int r = 0; r < rows; ++r)
                outputs[r] += channels;
        }
    }
}

// Width samples from offset on, each summed over the rows the pointers name, stored.
template <class Vector, std::size_t Width>
PICTAVO_INLINE void vertical_chunk(const double* const* rows, std::size_t offset, const double* weights, int count,
                                   std::uint8_t* out)
{
    constexpr std::size_t vectors = Width / vector_lanes<Vector>;
    Vector total[vectors];
    clear_all(total);
    for (int t = 0; t < count; ++t) {
        const double weight = weights[t];
        const double* samples = rows[t] + offset;
        for (std::size_t v = 0; v < vectors; ++v)
            add_weighted(total[v], weight, samples + v * vector_lanes<Vector>);
    }
    for (std::size_t v = 0; v < vectors; ++v)
        store_samples(total[v], out + offset + v * vector_lanes<Vector>);
}

// Input rows converted to doubles once each and kept while outputs still need them. Slot
// k % size holds row k; a window of at most size rows never needs one slot twice.
class RowCache {
public:
    RowCache(const Plane<const std::uint8_t>& in, std::size_t size)
        : in_(in), length_(in.samples_per_row()), rows_(size * length_), held_(size, -1)
    {
    }

    const double* row(int k)
    {
        const std::size_t slot = static_cast<std::size_t>(k) % held_.size();
        double* samples = rows_.data() + slot * length_;
        if (held_[slot] != k) {
            to_doubles(in_.row(k), length_, samples);
            held_[slot] = k;
        }
        return samples;
    }

private:
    const Plane<const std::uint8_t>& in_;
    std::size_t length_;
    std::vector<double> rows_;
    std::vector<int> held_;
};

// Above this many bytes of cached rows (extreme shrinking of wide images) the vertical pass
// converts each input row again for every output that uses it.
constexpr std::size_t row_cache_limit = std::size_t{64} << 20;

void vertical_pass_uncached(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out, const CubicPass& pass)
{
    const std::size_t length = in.samples_per_row();
    std::vector<double> sums(length);
    const auto taps = static_cast<std::size_t>(pass.taps);
    for (std::size_t y = 0; y < static_cast<std::size_t>(out.height); ++y) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (int t = 0; t < pass.count[y]; ++t) {
            const std::uint8_t* in_row = in.row(pass.first[y] + t);
            const double weight = pass.weights[y * taps + static_cast<std::size_t>(t)];
            for (std::size_t i = 0; i < length; ++i)
                sums[i] += weight * in_row[i];
        }
        std::uint8_t* out_row = out.row(static_cast<int>(y));
        for (std::size_t i = 0; i < length; ++i)
            out_row[i] = to_sample(sums[i]);
    }
}

// Each output row from the input rows its contribution list names; rows in buffer order.
template <class Vector>
PICTAVO_INLINE void vertical_pass(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out,
                                  const CubicPass& pass)
{
    const std::size_t length = in.samples_per_row();
    const auto taps = static_cast<std::size_t>(pass.taps);
    if (taps * length * sizeof(double) > row_cache_limit) {
        vertical_pass_uncached(in, out, pass);
        return;
    }
    RowCache cache(in, taps);
    std::vector<const double*> rows(taps);
    constexpr std::size_t chunk = sums_in_flight * vector_lanes<Vector>;
    for (std::size_t y = 0; y < static_cast<std::size_t>(out.height); ++y) {
        const int count = pass.count[y];
        for (int t = 0; t < count; ++t)
            rows[static_cast<std::size_t>(t)] = cache.row(pass.first[y] + t);
        const double* weights = pass.weights.data() + y * taps;
        std::uint8_t* out_row = out.row(static_cast<int>(y));
        std::size_t i = 0;
        for (; i + chunk <= length; i += chunk)
            vertical_chunk<Vector, chunk>(rows.data(), i, weights, count, out_row);
        for (; i < length; i += channels)
            vertical_chunk<Vector, channels>(rows.data(), i, weights, count, out_row);
    }
}

struct Passes {
    Plane<const std::uint8_t> in;
    Plane<std::uint8_t> middle;
    Plane<std::uint8_t> out;
    bool horizontal_first;
};

template <class Vector>
PICTAVO_INLINE void run_passes(const Passes& passes)
{
    const Plane<const std::uint8_t> middle{passes.middle.data, passes.middle.stride, passes.middle.width,
                                           passes.middle.height};
    if (passes.horizontal_first) {
        horizontal_pass<Vector>(passes.in, passes.middle, cubic_pass(passes.in.width, passes.out.width));
        vertical_pass<Vector>(middle, passes.out, cubic_pass(passes.in.height, passes.out.height));
    } else {
        vertical_pass<Vector>(passes.in, passes.middle, cubic_pass(passes.in.height, passes.out.height));
        horizontal_pass<Vector>(middle, passes.out, cubic_pass(passes.in.width, passes.out.width));
    }
}

void run_passes_baseline(const Passes& passes)
{
    run_passes<DoublePair>(passes);
}

PICTAVO_TARGET_AVX2 void run_passes_avx2(const Passes& passes)
{
    run_passes<DoubleQuad>(passes);
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
    const bool horizontal_first = static_cast<std::int64_t>(new_width) * old_height
        <= static_cast<std::int64_t>(old_width) * new_height;
    const int middle_width = horizontal_first ? new_width : old_width;
    const int middle_height = horizontal_first ? old_height : new_height;
    const std::size_t middle_stride = static_cast<std::size_t>(middle_width) * channels;
    // Every byte of the temporary is written by the first pass.
    std::unique_ptr<std::uint8_t[]> middle(new std::uint8_t[middle_stride * static_cast<std::size_t>(middle_height)]);
    const Passes passes{{source.data(), source.stride(), old_width, old_height},
                        {middle.get(), middle_stride, middle_width, middle_height},
                        {destination.data(), destination.stride(), new_width, new_height},
                        horizontal_first};
    if (cpu_has_avx2())
        run_passes_avx2(passes);
    else
        run_passes_baseline(passes);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace pictavo
