// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-run benchmark: the command-line front end end to end against the codec floor.
//
// A tree of natural-looking 4000 x 3000 JPEGs (quality 90) and 2000 x 1500 PNGs is generated
// once into a temporary folder (kept between runs). Then, in the same run:
//   floor, JPEG: read the file, full libjpeg-turbo decode, encode a 1000 x 750 image at
//                quality 60 to a file;
//   floor, PNG:  read the file, decode, encode a 1000 x 750 image at level 9, no filter;
//   whole run:   pictavo-cli --jobs 1 --mode normal --size 1000 --quality 6 over each kind's folder.
// It prints ms per image for both and their ratio.
//
// PICTAVO_BENCH_JPEGS and PICTAVO_BENCH_PNGS change the image counts (40 and 10),
// PICTAVO_BENCH_ROUNDS the number of rounds (2), PICTAVO_BENCH_DIR the folder of the tree.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "app/allocator_tuning.h"
#include "bench/measure.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace bench;

constexpr int JPEG_WIDTH = 4000;
constexpr int JPEG_HEIGHT = 3000;
constexpr int PNG_WIDTH = 2000;
constexpr int PNG_HEIGHT = 1500;
constexpr int OUT_WIDTH = 1000;

double cpu_milliseconds(const timeval& user, const timeval& system)
{
    return (user.tv_sec + system.tv_sec) * 1e3 + (user.tv_usec + system.tv_usec) / 1e3;
}

// CPU time used so far by this process (its own threads, not its children).
double own_cpu_milliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpu_milliseconds(usage.ru_utime, usage.ru_stime);
}

// Per image, wall-clock and CPU time. On a shared machine the CPU time is the steadier figure.
struct Timing {
    double wall = -1;
    double cpu = -1;
    bool ok() const { return wall >= 0; }
    void keep_best(const Timing& other)
    {
        if (!other.ok())
            return;
        wall = ok() ? std::min(wall, other.wall) : other.wall;
        cpu = cpu >= 0 ? std::min(cpu, other.cpu) : other.cpu;
    }
};

// Smooth shading, a few hard-edged shapes and fine grain: close enough to a photograph for
// the codecs and the resampler to do the work they do on one.
std::vector<std::uint8_t> natural_picture(int width, int height, unsigned seed)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const double phase = seed * 0.7;
    std::vector<double> across(width), down(height);
    for (int x = 0; x < width; ++x)
        across[x] = std::sin(x * 0.0031 + phase) * 60 + std::sin(x * 0.021 + phase * 2) * 12;
    for (int y = 0; y < height; ++y)
        down[y] = std::cos(y * 0.0043 + phase) * 50 + std::sin(y * 0.017) * 10;
    std::uint32_t noise = 2463534242u + seed;
    const int circle_x = width / 3 + static_cast<int>(seed * 97 % (width / 3));
    const int circle_y = height / 2;
    const int radius = height / 5;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int grain = static_cast<int>(noise & 15) - 8;
            const int dx = x - circle_x;
            const int dy = y - circle_y;
            const bool in_circle = dx * dx + dy * dy < radius * radius;
            const bool in_band = (x / 300 + y / 200) % 7 == 0;
            double base = 120 + across[x] + down[y];
            if (in_circle)
                base = 200 - down[y] * 0.5;
            else if (in_band)
                base -= 50;
            const int r = static_cast<int>(base + grain + across[x] * 0.3);
            const int g = static_cast<int>(base * 0.9 + grain + 10);
            const int b = static_cast<int>(base * 0.7 - down[y] * 0.4 + grain + 30);
            row[x * 3 + 0] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
            row[x * 3 + 1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
            row[x * 3 + 2] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
        }
    }
    return rgb;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool write_png(const std::string& path, const std::uint8_t* pixels, int width, int height, int level,
               bool filtered, bool bgr)
{
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_compression_level(png, level);
    if (!filtered)
        png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (bgr)
        png_set_bgr(png);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        png_write_row(png, pixels + y * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

struct PngReader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t offset = 0;
};

void read_png_bytes(png_structp png, png_bytep out, png_size_t count)
{
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (reader->offset + count > reader->bytes->size())
        png_error(png, "short");
    std::copy_n(reader->bytes->data() + reader->offset, count, out);
    reader->offset += count;
}

std::vector<std::uint8_t> decode_png(const std::vector<std::uint8_t>& bytes, int& width, int& height)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<std::uint8_t> pixels;
    PngReader reader{&bytes};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return {};
    }
    png_set_read_fn(png, &reader, read_png_bytes);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    width = static_cast<int>(png_get_image_width(png, info));
    height = static_cast<int>(png_get_image_height(png, info));
    const std::size_t stride = png_get_rowbytes(png, info);
    pixels.resize(stride * height);
    for (int y = 0; y < height; ++y)
        png_read_row(png, pixels.data() + y * stride, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return pixels;
}

void generate_tree(const fs::path& root, int jpegs, int pngs)
{
    fs::create_directories(root / "jpg");
    fs::create_directories(root / "png");
    for (int i = 0; i < jpegs; ++i) {
        const fs::path path = root / "jpg" / ("photo" + std::to_string(i) + ".jpg");
        if (fs::exists(path))
            continue;
        const auto pixels = natural_picture(JPEG_WIDTH, JPEG_HEIGHT, static_cast<unsigned>(i));
        write_jpeg(path.string() + ".part", pixels.data(), JPEG_WIDTH, JPEG_HEIGHT, 90, JCS_RGB);
        fs::rename(path.string() + ".part", path);
    }
    for (int i = 0; i < pngs; ++i) {
        const fs::path path = root / "png" / ("picture" + std::to_string(i) + ".png");
        if (fs::exists(path))
            continue;
        const auto pixels = natural_picture(PNG_WIDTH, PNG_HEIGHT, static_cast<unsigned>(100 + i));
        write_png(path.string() + ".part", pixels.data(), PNG_WIDTH, PNG_HEIGHT, 6, true, false);
        fs::rename(path.string() + ".part", path);
    }
}

// The first count files of the generated tree, linked into a folder of their own so that the
// whole run sees exactly these (the tree may hold more from an earlier, larger run).
std::vector<std::string> files_of(const fs::path& tree, const fs::path& run_folder, int count, const char* stem,
                                  const char* extension)
{
    fs::remove_all(run_folder);
    fs::create_directories(run_folder);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const std::string name = stem + std::to_string(i) + extension;
        fs::create_hard_link(tree / name, run_folder / name);
        files.push_back((run_folder / name).string());
    }
    return files;
}

Timing jpeg_floor(const std::vector<std::string>& files, const fs::path& scratch)
{
    const auto start = Clock::now();
    const double cpu_start = own_cpu_milliseconds();
    for (const std::string& path : files)
        jpeg_floor_file(path, (scratch / "floor.jpg").string());
    const double count = static_cast<double>(files.size());
    return {milliseconds_since(start) / count, (own_cpu_milliseconds() - cpu_start) / count};
}

Timing png_floor(const std::vector<std::string>& files, const fs::path& scratch)
{
    const auto start = Clock::now();
    const double cpu_start = own_cpu_milliseconds();
    for (const std::string& path : files) {
        int width = 0, height = 0;
        const auto pixels = decode_png(read_file(path), width, height);
        const int small_height = height * OUT_WIDTH / width;
        const auto small = pick_small(pixels, width, height, OUT_WIDTH, small_height);
        write_png((scratch / "floor.png").string(), small.data(), OUT_WIDTH, small_height, 9, false, true);
    }
    const double count = static_cast<double>(files.size());
    return {milliseconds_since(start) / count, (own_cpu_milliseconds() - cpu_start) / count};
}

// Runs the command-line front end over one folder; a failed run gives a timing that is not ok.
Timing whole_run(const fs::path& input, const fs::path& output, int count)
{
    fs::remove_all(output);
    fs::create_directories(output);
    const ProgramRun run = run_program_measured({PICTAVO_CLI_PATH, "--quiet", "--jobs", "1", "--mode", "normal",
                                                 "--size", "1000", "--quality", "6", input.string(),
                                                 output.string()});
    if (!run.ok)
        return {};
    return {run.wall_ms / count, run.cpu_ms / count};
}

void report(const char* kind, int count, const Timing& run, const Timing& floor)
{
    if (!run.ok()) {
        std::printf("%-5s %3d images: the whole run failed\n", kind, count);
        return;
    }
    std::printf("%-5s %3d images: whole run %7.1f ms/image, floor %7.1f ms/image, ratio %.2f "
                "(CPU time: %.1f vs %.1f ms/image, ratio %.2f)\n",
                kind, count, run.wall, floor.wall, run.wall / floor.wall, run.cpu, floor.cpu, run.cpu / floor.cpu);
}

} // namespace

int main()
{
    // The floor gets the same allocator setting as the program, so it is as lean as it can be.
    pictavo::keep_large_buffers_in_heap();
    const int jpegs = environment_count("PICTAVO_BENCH_JPEGS", 40);
    const int pngs = environment_count("PICTAVO_BENCH_PNGS", 10);
    const char* folder = std::getenv("PICTAVO_BENCH_DIR");
    const fs::path root = folder ? fs::path(folder) : fs::temp_directory_path() / "pictavo-bench-tree";
    std::printf("tree: %s (%d JPEGs %dx%d q90, %d PNGs %dx%d)\n", root.c_str(), jpegs, JPEG_WIDTH, JPEG_HEIGHT,
                pngs, PNG_WIDTH, PNG_HEIGHT);
    std::fflush(stdout);
    generate_tree(root, jpegs, pngs);
    const fs::path scratch = root / "scratch";
    fs::create_directories(scratch);

    const auto jpeg_files = files_of(root / "jpg", scratch / "in-jpg", jpegs, "photo", ".jpg");
    const auto png_files = files_of(root / "png", scratch / "in-png", pngs, "picture", ".png");
    // Once through the files first, so that both sides find them in the page cache.
    for (const auto& path : jpeg_files)
        read_file(path);
    // The machine is shared, so each side runs in alternating rounds and keeps its best round.
    const int rounds = environment_count("PICTAVO_BENCH_ROUNDS", 2);
    Timing jpeg_floor_time, jpeg_run_time, png_floor_time, png_run_time;
    for (int round = 0; round < rounds; ++round) {
        jpeg_floor_time.keep_best(jpeg_floor(jpeg_files, scratch));
        jpeg_run_time.keep_best(whole_run(scratch / "in-jpg", scratch / "out-jpg", jpegs));
        png_floor_time.keep_best(png_floor(png_files, scratch));
        png_run_time.keep_best(whole_run(scratch / "in-png", scratch / "out-png", pngs));
    }

    std::printf("Normal Resize 1000, quality 6, pictavo-cli end to end vs codec floor:\n");
    report("JPEG", jpegs, jpeg_run_time, jpeg_floor_time);
    report("PNG", pngs, png_run_time, png_floor_time);
    std::printf("target: JPEG whole run <= 1.25 x floor\n");
    return jpeg_run_time.ok() && png_run_time.ok() ? 0 : 1;
}
