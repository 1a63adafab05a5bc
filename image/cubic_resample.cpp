// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/cubic_resample.h"

#include "image/cubic_weights.h"
#include "image/vector_dispatch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

namespace pictavo {
namespace {

constexpr int channels = 4;

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

PICTAVO_INLINE void to_doubles(const std::uint8_t* in, std::size_t length, double* out)
{
    for (std::size_t i = 0; i < length; ++i)
        out[i] = in[i];
}

// Each lane's sum as a sample value, trunc(sum + 0.5) limited to 0..255.
template <class Vector>
PICTAVO_INLINE typename WholeLanes<Vector>::Type to_whole_samples(const Vector& sums)
{
    const Vector zero = {};
    const Vector top = zero + 255.0;
    Vector rounded = sums + 0.5;
    rounded = rounded > zero ? rounded : zero;
    rounded = rounded < top ? rounded : top;
    return __builtin_convertvector(rounded, typename WholeLanes<Vector>::Type);
}

// Stores each lane's sum as a sample.
template <class Vector>
PICTAVO_INLINE void store_samples(const Vector& sums, std::uint8_t* out)
{
    const auto samples = to_whole_samples(sums);
    for (int j = 0; j < vector_lanes<Vector>; ++j)
        out[j] = static_cast<std::uint8_t>(samples[j]);
}

// Stores each lane's sum as a sample, held as a double for the pass that reads it next.
template <class Vector>
PICTAVO_INLINE void store_samples(const Vector& sums, double* out)
{
    const Vector samples = __builtin_convertvector(to_whole_samples(sums), Vector);
    std::memcpy(out, &samples, sizeof samples);
}

// The kernels below keep many sums apart in vector lanes and add each one's terms in the
// order of its inputs, exactly as a plain loop over one sum would.

// Independent sums kept in flight: enough vectors to hide the latency of an addition.
constexpr int sums_in_flight = 8;

// Rows are filtered horizontally this many at a time, sharing each weight.
template <class Vector>
constexpr int group_rows = 4;

// For each of the first rows of group_rows lines (line_length apart), the 4 channel samples
// of one output whose first input pixel starts at samples, stored at outputs[r].
template <class Vector, class Sample>
PICTAVO_INLINE void horizontal_output(const double* samples, std::size_t line_length, const double* weights, int count,
                                      int rows, Sample* const (&outputs)[group_rows<Vector>])
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

// The input pixels of a group of rows as doubles, converted just ahead of the outputs that
// need them into short lines that stay in the first-level cache. The lines hold pixels
// base .. held - 1; when an output's inputs run past their end, the still needed pixels
// move to the front.
template <int Group>
class LineWindow {
public:
    LineWindow(const Plane<const std::uint8_t>& in, int taps)
        : in_(in), capacity_(static_cast<std::size_t>(taps) + ahead), lines_(Group * capacity_ * channels)
    {
    }

    void start(int y, int rows)
    {
        y_ = y;
        rows_ = rows;
        base_ = 0;
        held_ = 0;
    }

    // The first line's samples from pixel first on; pixels first .. end - 1 are present.
    PICTAVO_INLINE const double* from(std::size_t first, std::size_t end)
    {
        if (first < base_ || end - base_ > capacity_)
            slide_to(first);
        if (held_ < end)
            convert_to(std::min({static_cast<std::size_t>(in_.width), base_ + capacity_, std::max(end, held_ + ahead)}));
        return lines_.data() + (first - base_) * channels;
    }

    std::size_t line_stride() const { return capacity_ * channels; }

private:
    static constexpr std::size_t ahead = 64;

    PICTAVO_INLINE void slide_to(std::size_t first)
    {
        const std::size_t keep = held_ > first && first >= base_ ? held_ - first : 0;
        if (keep > 0)
            for (int r = 0; r < rows_; ++r) {
                double* line = lines_.data() + static_cast<std::size_t>(r) * line_stride();
                std::memmove(line, line + (first - base_) * channels, keep * channels * sizeof(double));
            }
        base_ = first;
        held_ = first + keep;
    }

    PICTAVO_INLINE void convert_to(std::size_t end)
    {
        for (int r = 0; r < rows_; ++r)
            to_doubles(in_.row(y_ + r) + held_ * channels, (end - held_) * channels,
                       lines_.data() + static_cast<std::size_t>(r) * line_stride() + (held_ - base_) * channels);
        held_ = end;
    }

    const Plane<const std::uint8_t>& in_;
    std::size_t capacity_;
    std::vector<double> lines_;
    int y_ = 0;
    int rows_ = 0;
    std::size_t base_ = 0;
    std::size_t held_ = 0;
};

// Filters the group of rows y .. y + rows - 1 of the window's plane horizontally into
// outputs[r], each a row of as many pixels as the pass has outputs.
template <class Vector, class Sample>
PICTAVO_INLINE void horizontal_group(LineWindow<group_rows<Vector>>& window, int y, int rows, const CubicPass& pass,
                                     Sample* const (&rows_out)[group_rows<Vector>])
{
    window.start(y, rows);
    Sample* outputs[group_rows<Vector>];
    std::copy(std::begin(rows_out), std::end(rows_out), outputs);
    const auto taps = static_cast<std::size_t>(pass.taps);
    for (std::size_t x = 0; x < pass.first.size(); ++x) {
        const auto first = static_cast<std::size_t>(pass.first[x]);
        const double* samples = window.from(first, first + static_cast<std::size_t>(pass.count[x]));
        horizontal_output<Vector, Sample>(samples, window.line_stride(), pass.weights.data() + x * taps,
                                          pass.count[x], rows, outputs);
        for (int r = 0; r < rows; ++r)
            outputs[r] += channels;
    }
}

// Each output row from the input row of the same index.
template <class Vector>
PICTAVO_INLINE void horizontal_pass(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out,
                                    const CubicPass& pass)
{
    constexpr int group = group_rows<Vector>;
    LineWindow<group> window(in, pass.taps);
    for (int y = 0; y < in.height; y += group) {
        const int rows = std::min(group, in.height - y);
        std::uint8_t* outputs[group] = {};
        for (int r = 0; r < rows; ++r)
            outputs[r] = out.row(y + r);
        horizontal_group<Vector, std::uint8_t>(window, y, rows, pass, outputs);
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

// One output row of the vertical pass from its input rows (as doubles, length samples each).
template <class Vector>
PICTAVO_INLINE void vertical_row(const double* const* rows, const double* weights, int count, std::size_t length,
                                 std::uint8_t* out)
{
    constexpr std::size_t chunk = sums_in_flight * vector_lanes<Vector>;
    std::size_t i = 0;
    for (; i + chunk <= length; i += chunk)
        vertical_chunk<Vector, chunk>(rows, i, weights, count, out);
    for (; i < length; i += channels)
        vertical_chunk<Vector, channels>(rows, i, weights, count, out);
}

// Rows of doubles for the vertical pass, each made once and kept while outputs still need it.
// Slot k % size holds row k; a window of at most size rows never needs one slot twice.
class KeptRows {
public:
    KeptRows(std::size_t length, std::size_t size) : length_(length), rows_(size * length), held_(size, -1) {}

    // The slot for row k, and whether it already holds it.
    PICTAVO_INLINE double* slot(int k, bool& held)
    {
        const std::size_t index = static_cast<std::size_t>(k) % held_.size();
        held = held_[index] == k;
        held_[index] = k;
        return rows_.data() + index * length_;
    }

    PICTAVO_INLINE const double* find(int k) const
    {
        const std::size_t index = static_cast<std::size_t>(k) % held_.size();
        return held_[index] == k ? rows_.data() + index * length_ : nullptr;
    }

private:
    std::size_t length_;
    std::vector<double> rows_;
    std::vector<int> held_;
};

// The rows of a plane, converted to doubles.
class PlaneRows {
public:
    PlaneRows(const Plane<const std::uint8_t>& in, std::size_t size) : in_(in), kept_(in.samples_per_row(), size) {}

    PICTAVO_INLINE const double* row(int k)
    {
        bool held = false;
        double* samples = kept_.slot(k, held);
        if (!held)
            to_doubles(in_.row(k), in_.samples_per_row(), samples);
        return samples;
    }

private:
    const Plane<const std::uint8_t>& in_;
    KeptRows kept_;
};

// The rows of the horizontal pass over a plane, made a group at a time when first needed.
// Groups start at multiples of the group size, so each row is made once as the windows of
// the vertical pass move down; size must exceed a window by two groups.
template <class Vector>
class FilteredRows {
public:
    FilteredRows(const Plane<const std::uint8_t>& in, const CubicPass& pass, std::size_t size)
        : in_(in), pass_(pass), window_(in, pass.taps), kept_(pass.first.size() * channels, size)
    {
    }

    PICTAVO_INLINE const double* row(int k)
    {
        if (const double* samples = kept_.find(k))
            return samples;
        make(k - k % group);
        return kept_.find(k);
    }

private:
    static constexpr int group = group_rows<Vector>;

    PICTAVO_INLINE void make(int y)
    {
        const int rows = std::min(group, in_.height - y);
        double* outputs[group] = {};
        for (int r = 0; r < rows; ++r) {
            bool held = false;
            outputs[r] = kept_.slot(y + r, held);
        }
        horizontal_group<Vector, double>(window_, y, rows, pass_, outputs);
    }

    const Plane<const std::uint8_t>& in_;
    const CubicPass& pass_;
    LineWindow<group> window_;
    KeptRows kept_;
};

// Above this many bytes of kept rows (extreme shrinking of wide images) the passes go through
// a whole temporary image instead, and the vertical pass converts each input row again for
// every output that uses it.
constexpr std::size_t kept_rows_limit = std::size_t{64} << 20;

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

template <class Vector>
PICTAVO_INLINE void passes_through_temporary(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out,
                                             bool horizontal_first, const CubicPass& horizontal,
                                             const CubicPass& vertical)
{
    const int width = horizontal_first ? out.width : in.width;
    const int height = horizontal_first ? in.height : out.height;
    const std::size_t stride = static_cast<std::size_t>(width) * channels;
    // Every byte of the temporary is written by the first pass.
    std::unique_ptr<std::uint8_t[]> temporary(new std::uint8_t[stride * static_cast<std::size_t>(height)]);
    const Plane<std::uint8_t> middle_out{temporary.get(), stride, width, height};
    const Plane<const std::uint8_t> middle_in{temporary.get(), stride, width, height};
    if (horizontal_first) {
        horizontal_pass<Vector>(in, middle_out, horizontal);
        vertical_pass_uncached(middle_in, out, vertical);
    } else {
        vertical_pass_uncached(in, middle_out, vertical);
        horizontal_pass<Vector>(middle_in, out, horizontal);
    }
}

// The two passes, the second consuming the first's rows as they are made: only the rows a
// vertical window spans are kept, as doubles.
template <class Vector>
PICTAVO_INLINE void run_passes(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out,
                               bool horizontal_first)
{
    constexpr int group = group_rows<Vector>;
    const CubicPass horizontal = cubic_pass(in.width, out.width);
    const CubicPass vertical = cubic_pass(in.height, out.height);
    const std::size_t length = static_cast<std::size_t>(horizontal_first ? out.width : in.width) * channels;
    const auto taps = static_cast<std::size_t>(vertical.taps);
    const std::size_t kept = taps + 2 * group;
    if (kept * length * sizeof(double) > kept_rows_limit) {
        passes_through_temporary<Vector>(in, out, horizontal_first, horizontal, vertical);
        return;
    }
    std::vector<const double*> rows(taps);
    if (horizontal_first) {
        FilteredRows<Vector> source(in, horizontal, kept);
        for (std::size_t y = 0; y < static_cast<std::size_t>(out.height); ++y) {
            for (int t = 0; t < vertical.count[y]; ++t)
                rows[static_cast<std::size_t>(t)] = source.row(vertical.first[y] + t);
            vertical_row<Vector>(rows.data(), vertical.weights.data() + y * taps, vertical.count[y], length,
                                 out.row(static_cast<int>(y)));
        }
        return;
    }
    PlaneRows source(in, taps);
    std::vector<std::uint8_t> middle(group * length);
    const Plane<const std::uint8_t> middle_in{middle.data(), length, in.width, group};
    LineWindow<group> window(middle_in, horizontal.taps);
    for (int y = 0; y < out.height; y += group) {
        const int group_size = std::min(group, out.height - y);
        std::uint8_t* outputs[group] = {};
        for (int r = 0; r < group_size; ++r) {
            const auto output = static_cast<std::size_t>(y + r);
            for (int t = 0; t < vertical.count[output]; ++t)
                rows[static_cast<std::size_t>(t)] = source.row(vertical.first[output] + t);
            vertical_row<Vector>(rows.data(), vertical.weights.data() + output * taps, vertical.count[output], length,
                                 middle.data() + static_cast<std::size_t>(r) * length);
            outputs[r] = out.row(y + r);
        }
        horizontal_group<Vector, std::uint8_t>(window, 0, group_size, horizontal, outputs);
    }
}

void run_passes_baseline(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out, bool horizontal_first)
{
    run_passes<DoublePair>(in, out, horizontal_first);
}

PICTAVO_TARGET_AVX2 void run_passes_avx2(const Plane<const std::uint8_t>& in, const Plane<std::uint8_t>& out,
                                         bool horizontal_first)
{
    run_passes<DoubleQuad>(in, out, horizontal_first);
}

} // namespace

bool cubic_resample(const PixelBuffer& source, PixelBuffer& destination)
try {
    if (source.empty() || destination.empty() || source.depth() != 32 || destination.depth() != 32)
        return false;
    const Plane<const std::uint8_t> in{source.data(), source.stride(), source.width(), source.height()};
    const Plane<std::uint8_t> out{destination.data(), destination.stride(), destination.width(), destination.height()};
    // The pass with the smaller intermediate goes first; a tie goes horizontal first.
    const bool horizontal_first = static_cast<std::int64_t>(out.width) * in.height
        <= static_cast<std::int64_t>(in.width) * out.height;
    if (cpu_has_avx2())
        run_passes_avx2(in, out, horizontal_first);
    else
        run_passes_baseline(in, out, horizontal_first);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

} // namespace pictavo
