// SPDX-License-Identifier: GPL-3.0-or-later
// Resize cost next to decoding: a libjpeg-turbo decode of a 4000 x 3000 quality-90 JPEG of a
// generated natural-looking picture, the 24-bit area-averaging resize and the 32-bit cubic
// resize of that picture to 1000 x 750. Prints the median of several runs of each and the
// ratios resize / decode, all measured in this one run. A resize is timed whole (image_resize,
// which also allocates the result and releases the 4000 x 3000 pixels) and as the resampling
// alone. Times are the CPU time of this thread
// (user and system, page faults included), so that other work on a shared machine does not
// blur them; every step runs on this one thread. Like the program, the benchmark first keeps
// large buffers in the heap, so releasing and allocating pixels reuses memory already mapped.
#include "app/allocator_tuning.h"
#include "image/area_resample.h"
#include "image/cubic_resample.h"
#include "image/image_resize.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

using namespace pictavo;

constexpr int width = 4000;
constexpr int height = 3000;
constexpr int new_width = 1000;
constexpr int new_height = 750;
constexpr int repetitions = 11;

// RGB rows, top first: a sky-to-ground gradient, soft blobs of colour, a few hard-edged
// shapes, fine texture in the lower half and mild noise.
std::vector<unsigned char> make_picture()
{
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    unsigned noise = 12345;
    for (int y = 0; y < height; ++y) {
        const double v = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            double r = 90 + 120 * v + 30 * std::sin(6.1 * u + 2.3 * v);
            double g = 140 - 40 * v + 35 * std::sin(4.7 * v - 3.1 * u) * std::cos(2.9 * u);
            double b = 220 - 150 * v + 20 * std::cos(5.3 * u * v);
            if (v > 0.55) { // grass-like texture
                const double texture = 25 * std::sin(x * 0.37 + 7 * std::sin(y * 0.05)) * std::sin(y * 0.21 + x * 0.013);
                r += 0.5 * texture;
                g += texture;
                b += 0.3 * texture;
            }
            const double dx = u - 0.3;
            const double dy = v - 0.35;
            if (dx * dx + dy * dy < 0.01) { // a disc
                r = 240 - 60 * dy * 10;
                g = 200;
                b = 60;
            }
            if (u > 0.6 && u < 0.8 && v > 0.3 && v < 0.7) { // a building with windows
                const bool window = (x / 40) % 3 != 0 && (y / 50) % 3 != 0;
                r = window ? 230 : 120;
                g = window ? 220 : 100;
                b = window ? 150 : 90;
            }
            noise = noise * 1664525u + 1013904223u;
            const double grain = static_cast<double>((noise >> 24) % 9) - 4;
            unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(r + grain, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(g + grain, 0.0, 255.0));
            p[2] = static_cast<unsigned char>(std::clamp(b + grain, 0.0, 255.0));
        }
    }
    return rgb;
}

struct Compressor {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    Compressor()
    {
        info.err = jpeg_std_error(&error);
        jpeg_create_compress(&info);
    }
    ~Compressor() { jpeg_destroy_compress(&info); }
};

struct Decompressor {
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    Decompressor()
    {
        info.err = jpeg_std_error(&error);
        jpeg_create_decompress(&info);
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

std::vector<unsigned char> encode(const std::vector<unsigned char>& rgb)
{
    Compressor compressor;
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&compressor.info, &bytes, &size);
    compressor.info.image_width = width;
    compressor.info.image_height = height;
    compressor.info.input_components = 3;
    compressor.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compressor.info);
    jpeg_set_quality(&compressor.info, 90, TRUE);
    jpeg_start_compress(&compressor.info, TRUE);
    while (compressor.info.next_scanline < compressor.info.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(&rgb[compressor.info.next_scanline * width * 3u]);
        jpeg_write_scanlines(&compressor.info, &row, 1);
    }
    jpeg_finish_compress(&compressor.info);
    std::vector<unsigned char> jpeg(bytes, bytes + size);
    std::free(bytes);
    return jpeg;
}

// A full decode as the image loader does it: accurate integer DCT, fancy upsampling, RGB out.
void decode(const std::vector<unsigned char>& jpeg, std::vector<unsigned char>& rgb)
{
    Decompressor decompressor;
    jpeg_mem_src(&decompressor.info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&decompressor.info, TRUE);
    decompressor.info.dct_method = JDCT_ISLOW;
    decompressor.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decompressor.info);
    while (decompressor.info.output_scanline < decompressor.info.output_height) {
        JSAMPROW row = &rgb[decompressor.info.output_scanline * width * 3u];
        jpeg_read_scanlines(&decompressor.info, &row, 1);
    }
    jpeg_finish_decompress(&decompressor.info);
}

double thread_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// An image from the decoded picture at depth 24 or 32 (alpha varying across the picture).
void make_image_number(const std::vector<unsigned char>& rgb, int depth, ImageNumber number)
{
    ImageObject* image = image_allocate(number);
    image->pixels = PixelBuffer::create(width, height, depth);
    image->width = width;
    image->height = height;
    image->depth = static_cast<std::int8_t>(depth);
    image->source_depth = static_cast<std::int8_t>(depth);
    image->plugin_code = IMAGE_CODE_JPEG;
    image->frame_count = 1;
    const int pixel_bytes = depth / 8;
    for (int y = 0; y < height; ++y) {
        unsigned char* out = image->pixels.image_row(y);
        const unsigned char* in = &rgb[static_cast<std::size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            out[x * pixel_bytes] = in[x * 3 + 2];
            out[x * pixel_bytes + 1] = in[x * 3 + 1];
            out[x * pixel_bytes + 2] = in[x * 3];
            if (pixel_bytes == 4)
                out[x * 4 + 3] = static_cast<unsigned char>(255 - (x + y) % 64);
        }
    }
}

// One series of measurements: its median and the median of its ratios to the decode time
// of the same repetition.
struct Series {
    std::vector<double> times;
    std::vector<double> ratios;
};

// Times one resize of image `number` to the target size: image_resize on a fresh copy
// (allocating the result and releasing the old pixels included), then the resampler alone
// into a buffer made beforehand.
bool time_resize(ImageNumber number, bool (*resampler)(const PixelBuffer&, PixelBuffer&), PixelBuffer& destination,
                 double decode_time, Series& whole, Series& resampling)
{
    if (!image_copy(number, 1))
        return false;
    double start = thread_seconds();
    const ImageHandle handle = image_resize(1, new_width, new_height);
    const double whole_time = thread_seconds() - start;
    start = thread_seconds();
    const bool done = resampler(image_lookup(number)->pixels, destination);
    const double resampling_time = thread_seconds() - start;
    whole.times.push_back(whole_time);
    whole.ratios.push_back(whole_time / decode_time);
    resampling.times.push_back(resampling_time);
    resampling.ratios.push_back(resampling_time / decode_time);
    return handle != 0 && done;
}

void print_series(const char* name, const Series& series, const char* target)
{
    std::printf("%-30s %8.2f ms  ratio %.3f%s\n", name, median(series.times) * 1e3, median(series.ratios), target);
}

} // namespace

int main()
{
    keep_large_buffers_in_heap();
    const std::vector<unsigned char> picture = make_picture();
    const std::vector<unsigned char> jpeg = encode(picture);
    std::vector<unsigned char> decoded(picture.size());
    decode(jpeg, decoded);
    make_image_number(decoded, 24, 10);
    make_image_number(decoded, 32, 11);
    PixelBuffer area_destination = PixelBuffer::create(new_width, new_height, 24);
    PixelBuffer cubic_destination = PixelBuffer::create(new_width, new_height, 32);
    // Every repetition measures all steps, so that each ratio compares times taken under the
    // same load.
    Series decoding, area, area_resampling, cubic, cubic_resampling;
    for (int i = 0; i < repetitions; ++i) {
        const double start = thread_seconds();
        decode(jpeg, decoded);
        const double decode_time = thread_seconds() - start;
        decoding.times.push_back(decode_time);
        if (!time_resize(10, area_resample, area_destination, decode_time, area, area_resampling)
            || !time_resize(11, cubic_resample, cubic_destination, decode_time, cubic, cubic_resampling)) {
            std::printf("resize failed\n");
            return 1;
        }
    }
    image_free(IMAGE_ANY);

    std::printf("JPEG %dx%d quality 90: %zu bytes; medians of %d repetitions, thread CPU time\n", width, height,
                jpeg.size(), repetitions);
    std::printf("large buffers kept in the heap, as the program does at start-up\n");
    print_series("decode (libjpeg-turbo)", {decoding.times, {1.0}}, "");
    print_series("area 24-bit -> 1000x750", area, " (target <= 0.15)");
    print_series("  resampling alone", area_resampling, "");
    print_series("cubic 32-bit -> 1000x750", cubic, " (target <= 1.0)");
    print_series("  resampling alone", cubic_resampling, "");
    return 0;
}
