// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/palette_quantizer.h"

#include "image/packed_samples.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

namespace pictavo {
namespace {

constexpr double luminance_threshold = 160.0;
constexpr double gamma_exponent = 1.8;
constexpr int cycles = 100;
constexpr int max_sampling_factor = 10;
constexpr double initial_alpha = 1024.0;  // learning rate 1.0
constexpr double initial_radius = 32.0;
constexpr int radius_decrement = 30;
constexpr double beta = 1.0 / 1024.0;     // frequency share gained by the nearest neuron
constexpr double beta_gamma = 1024.0;     // bias change per unit of frequency
constexpr double neighbour_bias = 262144.0;
constexpr double no_distance = 1073741824.0;  // 2^30

struct Neuron {
    double alpha, red, green, blue;
};

// Sample (or pixel) values as the network sees them: colours through the gamma table.
struct Sample {
    double alpha = 0, red = 0, green = 0, blue = 0;
    double weight = 0;  // 1 - (1 - alpha/255)^2: how much colour differences count
};

using GammaTable = std::array<int, 256>;

GammaTable make_gamma_table()
{
    GammaTable table{};
    for (int v = 0; v < 256; ++v)
        table[static_cast<std::size_t>(v)] = static_cast<int>(std::floor(std::pow(v / 255.0, 1.0 / gamma_exponent) * 255.0 + 0.5));
    return table;
}

Sample make_sample(const GammaTable& gamma, std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t alpha)
{
    Sample sample;
    if (alpha == 0)
        return sample;
    sample.alpha = alpha;
    sample.red = gamma[red];
    sample.green = gamma[green];
    sample.blue = gamma[blue];
    const double transparency = 1.0 - alpha / 255.0;
    sample.weight = 1.0 - transparency * transparency;
    return sample;
}

class NeuQuant {
public:
    NeuQuant(int netsize, const GammaTable& gamma) : netsize_(netsize), gamma_(gamma)
    {
        network_.resize(static_cast<std::size_t>(netsize));
        frequency_.assign(static_cast<std::size_t>(netsize), 1.0 / netsize);
        bias_.assign(static_cast<std::size_t>(netsize), 0.0);
        for (int i = 0; i < netsize; ++i) {
            const double grey = gamma[static_cast<std::size_t>(i * 256 / netsize)];
            network_[static_cast<std::size_t>(i)] = {i < 16 ? 16.0 * i : 255.0, grey, grey, grey};
        }
    }

    // Learns from the working image (4 bytes per pixel: blue, green, red, alpha).
    void learn(const std::vector<std::uint8_t>& image)
    {
        const std::size_t pixels = image.size() / 4;
        const auto sampling = static_cast<int>(std::min<std::size_t>(max_sampling_factor, 1 + pixels / 262144));
        const std::size_t samples = pixels / static_cast<std::size_t>(sampling);
        const std::size_t delta = std::max<std::size_t>(1, samples / cycles);
        const std::size_t step = sampling_step(image.size());
        const int alpha_decrement = 30 + (sampling - 1) / 3;

        double alpha = initial_alpha;
        double radius = initial_radius;
        int rad = static_cast<int>(radius);
        update_radius_weights(rad, alpha);
        std::size_t position = 0;
        for (std::size_t i = 0; i < samples;) {
            const std::uint8_t* p = &image[4 * position];
            const Sample sample = make_sample(gamma_, p[0], p[1], p[2], p[3]);
            const int winner = contest(sample);
            move_neuron(winner, alpha, sample);
            if (rad > 0)
                move_neighbours(rad, winner, sample);
            // Modulo rather than one subtraction: images smaller than a step stay in range.
            position = (position + step) % pixels;
            if (++i % delta == 0) {
                alpha -= alpha / alpha_decrement;
                radius -= radius / radius_decrement;
                rad = static_cast<int>(radius);
                if (rad < 2)
                    rad = 0;
                update_radius_weights(rad, alpha);
            }
        }
    }

    // The palette in search order, with the search map and its green index built.
    std::vector<PaletteColour> build_palette()
    {
        std::vector<PaletteColour> palette(network_.size());
        map_.resize(network_.size());
        for (std::size_t i = 0; i < network_.size(); ++i) {
            const Neuron& n = network_[i];
            palette[i] = {output_colour(n.red), output_colour(n.green), output_colour(n.blue), output_alpha(n.alpha)};
            map_[i] = {static_cast<double>(palette[i].alpha), static_cast<double>(gamma_[palette[i].red]),
                       static_cast<double>(gamma_[palette[i].green]), static_cast<double>(gamma_[palette[i].blue])};
        }
        sort_by_green(palette);
        build_green_index();
        return palette;
    }

    int map_pixel(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const
    {
        const Sample pixel = make_sample(gamma_, blue, green, red, 255);
        int up = green_index_[static_cast<std::size_t>(pixel.green)];
        int down = up - 1;
        int best = 0;
        double best_distance = no_distance;
        // Walks outward from the pixel's green; the map is sorted by green, so once the green
        // difference alone exceeds the best distance nothing further can be closer.
        auto look_at = [&](int entry) {
            const Neuron& m = map_[static_cast<std::size_t>(entry)];
            double distance = square(m.green - pixel.green) * pixel.weight;
            if (distance > best_distance)
                return false;
            distance += square(m.blue - pixel.blue) * pixel.weight + square(m.red - pixel.red) * pixel.weight +
                        square(m.alpha - pixel.alpha);
            if (distance < best_distance) {
                best_distance = distance;
                best = entry;
            }
            return true;
        };
        while (up < netsize_ || down >= 0) {
            if (up < netsize_ && !look_at(up++))
                break;
            if (down >= 0 && !look_at(down--))
                break;
        }
        return best;
    }

private:
    static double square(double value) { return value * value; }

    static std::size_t sampling_step(std::size_t bytes)
    {
        for (std::size_t prime : {499u, 491u, 487u})
            if (bytes % prime != 0)
                return prime;
        return 503;
    }

    static std::uint8_t output_colour(double value)
    {
        if (value < 0)
            return 0;
        return static_cast<std::uint8_t>(std::min(255.0, std::floor(std::pow(value / 255.0, gamma_exponent) * 256.0)));
    }
    static std::uint8_t output_alpha(double value)
    {
        return static_cast<std::uint8_t>(std::clamp(std::floor(value / 255.0 * 256.0), 0.0, 255.0));
    }

    void update_radius_weights(int rad, double alpha)
    {
        radius_weights_.assign(static_cast<std::size_t>(rad), 0.0);
        for (int k = 0; k < rad; ++k)
            radius_weights_[static_cast<std::size_t>(k)] = std::floor(((rad * rad - k * k) * 256 / (rad * rad)) * alpha);
    }

    // Index of the neuron whose distance less its bias is smallest; also updates the
    // frequencies and biases that keep every neuron in use.
    int contest(const Sample& sample)
    {
        double best_distance = no_distance, best_biased_distance = no_distance;
        int best = 0, best_biased = 0;
        for (int i = 0; i < netsize_; ++i) {
            const auto index = static_cast<std::size_t>(i);
            const Neuron& n = network_[index];
            const double distance = std::fabs(n.red - sample.red) * sample.weight +
                                    std::fabs(n.green - sample.green) * sample.weight +
                                    std::fabs(n.blue - sample.blue) * sample.weight + std::fabs(n.alpha - sample.alpha);
            if (distance < best_distance) {
                best_distance = distance;
                best = i;
            }
            const double biased_distance = distance - bias_[index];
            if (biased_distance < best_biased_distance) {
                best_biased_distance = biased_distance;
                best_biased = i;
            }
            const double loss = frequency_[index] * beta;
            frequency_[index] -= loss;
            bias_[index] += loss * beta_gamma;
        }
        frequency_[static_cast<std::size_t>(best)] += beta;
        bias_[static_cast<std::size_t>(best)] -= 1.0;
        return best_biased;
    }

    // The winner moves toward the sample by alpha / 1024 of the difference.
    void move_neuron(int index, double alpha, const Sample& sample)
    {
        Neuron& n = network_[static_cast<std::size_t>(index)];
        n.alpha -= alpha * (n.alpha - sample.alpha) / initial_alpha;
        n.red -= alpha * (n.red - sample.red) / initial_alpha;
        n.green -= alpha * (n.green - sample.green) / initial_alpha;
        n.blue -= alpha * (n.blue - sample.blue) / initial_alpha;
    }

    void move_neighbours(int rad, int centre, const Sample& sample)
    {
        const int low = std::max(centre - rad, -1);
        const int high = std::min(centre + rad, netsize_);
        int above = centre + 1, below = centre - 1;
        std::size_t distance = 1;
        while (above < high || below > low) {
            const double weight = radius_weights_[distance++];
            if (above < high)
                move_by_weight(network_[static_cast<std::size_t>(above++)], weight, sample);
            if (below > low)
                move_by_weight(network_[static_cast<std::size_t>(below--)], weight, sample);
        }
    }

    static void move_by_weight(Neuron& n, double weight, const Sample& sample)
    {
        n.alpha -= weight * (n.alpha - sample.alpha) / neighbour_bias;
        n.red -= weight * (n.red - sample.red) / neighbour_bias;
        n.green -= weight * (n.green - sample.green) / neighbour_bias;
        n.blue -= weight * (n.blue - sample.blue) / neighbour_bias;
    }

    // Selection sort by the map's green; for each position the first smallest green wins.
    void sort_by_green(std::vector<PaletteColour>& palette)
    {
        for (std::size_t i = 0; i < map_.size(); ++i) {
            std::size_t smallest = i;
            for (std::size_t j = i + 1; j < map_.size(); ++j)
                if (map_[j].green < map_[smallest].green)
                    smallest = j;
            std::swap(map_[i], map_[smallest]);
            std::swap(palette[i], palette[smallest]);
        }
    }

    // For each green value, the map position where the search starts.
    void build_green_index()
    {
        int previous = 0, start = 0;
        for (int i = 0; i < netsize_; ++i) {
            const int green = static_cast<int>(map_[static_cast<std::size_t>(i)].green);
            if (green != previous) {
                green_index_[static_cast<std::size_t>(previous)] = (start + i) / 2;
                for (int k = previous + 1; k < green; ++k)
                    green_index_[static_cast<std::size_t>(k)] = i;
                previous = green;
                start = i;
            }
        }
        green_index_[static_cast<std::size_t>(previous)] = (start + netsize_ - 1) / 2;
        for (int k = previous + 1; k < 256; ++k)
            green_index_[static_cast<std::size_t>(k)] = netsize_ - 1;
    }

    int netsize_;
    const GammaTable& gamma_;
    std::vector<Neuron> network_;
    std::vector<double> frequency_;
    std::vector<double> bias_;
    std::vector<double> radius_weights_;
    std::vector<Neuron> map_;
    std::array<int, 256> green_index_{};
};

bool is_bright(const std::uint8_t* bgr)
{
    return 0.2126 * bgr[2] + 0.7152 * bgr[1] + 0.0722 * bgr[0] > luminance_threshold;
}

template <class IndexOf>
void pack_rows(const EncodeRequest& request, QuantizedImage& result, IndexOf index_of)
{
    for (int y = 0; y < request.height; ++y) {
        const std::uint8_t* source = request.image_row(y);
        std::uint8_t* row = result.rows.data() + static_cast<std::size_t>(y) * result.row_bytes;
        for (int x = 0; x < request.width; ++x)
            pack_sample(row, x, request.depth, index_of(source + 3 * x));
    }
}

// The 24-bit rows as 4-byte pixels with alpha 255, in buffer order without gaps.
std::vector<std::uint8_t> working_image(const EncodeRequest& request)
{
    std::vector<std::uint8_t> image(4 * static_cast<std::size_t>(request.width) * static_cast<std::size_t>(request.height));
    std::uint8_t* out = image.data();
    for (int row = 0; row < request.height; ++row) {
        const std::uint8_t* in = request.pixels + static_cast<std::size_t>(row) * request.stride;
        for (int x = 0; x < request.width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    }
    return image;
}

void quantize(const EncodeRequest& request, QuantizedImage& result)
{
    const int entries = 1 << request.depth;
    result.row_bytes = (static_cast<std::size_t>(request.width) * static_cast<std::size_t>(request.depth) + 7) / 8;
    result.rows.assign(result.row_bytes * static_cast<std::size_t>(request.height), 0);
    if (request.depth == 1) {
        result.palette = {{0, 0, 0, 255}, {255, 255, 255, 255}};
        pack_rows(request, result, [](const std::uint8_t* bgr) { return is_bright(bgr) ? 1 : 0; });
        return;
    }
    const GammaTable gamma = make_gamma_table();
    NeuQuant network(entries, gamma);
    network.learn(working_image(request));
    result.palette = network.build_palette();
    pack_rows(request, result, [&](const std::uint8_t* bgr) { return network.map_pixel(bgr[0], bgr[1], bgr[2]); });
}

} // namespace

bool quantize_palette(const EncodeRequest& request, QuantizedImage& result)
{
    if ((request.depth != 1 && request.depth != 2 && request.depth != 4 && request.depth != 8) ||
        request.width < 1 || request.height < 1)
        return false;
    try {
        quantize(request, result);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace pictavo
