// SPDX-License-Identifier: GPL-3.0-or-later
// WebP and AVIF outputs against JPEG on the photo corpus ($CORPUS/jpg12, or PICTAVO_BENCH_PHOTOS),
// every photo sized to 1000 px on its longer side as a run with the default settings does.
//
//   quality:  PSNR (of all three channels) and the mean structural similarity (SSIM, of the
//             luma, 8 x 8 windows every 4 pixels) of each encoder's output against the resized
//             photo, median over the photos: JPEG at every program quality, WebP and AVIF at
//             every quality of their own scale; from these, the WebP and AVIF quality whose
//             median PSNR first reaches JPEG's at each program quality (the rule of the table
//             in image/quality_scale.cpp), the one whose median SSIM does, and the table in use;
//   bytes:    JPEG, WebP and AVIF at the program quality 6 through the table in use, with the
//             metrics of each, and cwebp and avifenc at the same settings on the same pictures;
//   runs:     pictavo-cli --jobs 1 --size 1000 over the photos with --format same (JPEG), webp
//             and avif, one after the other in each of PICTAVO_BENCH_ROUNDS rounds (3): median
//             wall and processor time, the median of each round's ratio to its JPEG run, and the
//             peak memory; cwebp and avifenc encoding the resized photos (from PNG files) in the
//             same run.
//
// WebP and AVIF are given the photos as a run gives them, YCbCr planes read from the JPEG
// files; every metric is taken against the resized pixels.
//
// PICTAVO_BENCH_SKIP_CALIBRATION=1 leaves out the quality sweep (the slow part).
#include "app/image_formats.h"
#include "bench/measure.h"
#include "image/avif_encoder.h"
#include "image/image_load.h"
#include "image/image_resize.h"
#include "image/image_save.h"
#include "image/plugins.h"
#include "image/quality_scale.h"
#include "image/webp_encoder.h"
#include "image/ycbcr_read.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace pictavo;
using namespace bench;

constexpr int LONGER_SIDE = 1000;
constexpr int PROGRAM_QUALITY = 6;

struct Metrics {
    double ssim = 0;
    double psnr = 0;
};

std::vector<double> luma_of(const ImageObject& image)
{
    const int bytes = image.pixels.bytes_per_pixel();
    std::vector<double> luma(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.pixels.image_row(y);
        for (int x = 0; x < image.width; ++x)
            luma[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)] =
                0.114 * row[x * bytes] + 0.587 * row[x * bytes + 1] + 0.299 * row[x * bytes + 2];
    }
    return luma;
}

// The mean SSIM of 8 x 8 windows every 4 pixels (the constants of the SSIM paper for 8 bits).
double ssim(const ImageObject& reference, const ImageObject& test)
{
    constexpr int window = 8;
    constexpr int step = 4;
    constexpr double c1 = (0.01 * 255) * (0.01 * 255);
    constexpr double c2 = (0.03 * 255) * (0.03 * 255);
    const std::vector<double> a = luma_of(reference);
    const std::vector<double> b = luma_of(test);
    const auto at = [&](const std::vector<double>& plane, int x, int y) {
        return plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(reference.width) + static_cast<std::size_t>(x)];
    };
    double total = 0;
    long windows = 0;
    for (int top = 0; top + window <= reference.height; top += step)
        for (int left = 0; left + window <= reference.width; left += step) {
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
            for (int y = top; y < top + window; ++y)
                for (int x = left; x < left + window; ++x) {
                    const double va = at(a, x, y), vb = at(b, x, y);
                    sa += va;
                    sb += vb;
                    saa += va * va;
                    sbb += vb * vb;
                    sab += va * vb;
                }
            const double n = window * window;
            const double ma = sa / n, mb = sb / n;
            const double va = saa / n - ma * ma, vb = sbb / n - mb * mb, cov = sab / n - ma * mb;
            total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++windows;
        }
    return windows > 0 ? total / static_cast<double>(windows) : 0;
}

double psnr(const ImageObject& reference, const ImageObject& test)
{
    double squared = 0;
    long samples = 0;
    for (int y = 0; y < reference.height; ++y) {
        const std::uint8_t* p = reference.pixels.image_row(y);
        const std::uint8_t* q = test.pixels.image_row(y);
        for (int x = 0; x < reference.width * 3; ++x, ++samples)
            squared += (p[x] - q[x]) * (p[x] - q[x]);
    }
    const double mse = squared / static_cast<double>(std::max(samples, 1L));
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

Metrics metrics_of(const ImageObject& reference, const std::vector<std::uint8_t>& encoded)
{
    ImageObject decoded;
    if (image_decode(encoded.data(), encoded.size(), decoded) != ImageError::None
        || decoded.width != reference.width || decoded.height != reference.height || decoded.pixels.depth() != 24)
        return {};
    return {ssim(reference, decoded), psnr(reference, decoded)};
}

std::vector<std::string> photo_paths()
{
    const char* folder = std::getenv("PICTAVO_BENCH_PHOTOS");
    const char* corpus = std::getenv("CORPUS");
    const fs::path where = folder ? fs::path(folder) : fs::path(corpus ? corpus : "/tmp/corpus") / "jpg12";
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(where, error))
        if (entry.path().extension() == ".jpg")
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The photo as a run with --size 1000 has it before encoding.
ImageObject resized(const std::string& path)
{
    ImageObject image;
    if (image_read_file(path, image) != ImageError::None)
        return {};
    const double scale = static_cast<double>(LONGER_SIDE) / std::max(image.width, image.height);
    image_resize_object(image, static_cast<int>(std::lround(image.width * scale)),
                        static_cast<int>(std::lround(image.height * scale)));
    return image;
}

// A photo as a run has it before encoding: its pixels, which the JPEG encoder is given and
// every output is measured against, and its YCbCr planes at the same size, which the WebP and
// AVIF encoders are given.
struct Photo {
    ImageObject pixels;
    ImageObject planes;
    const ImageObject& input(std::uint32_t code) const
    {
        return code == IMAGE_CODE_JPEG || !planes.ycbcr ? pixels : planes;
    }
};

Photo prepared_photo(const std::string& path)
{
    Photo photo;
    photo.pixels = resized(path);
    const SizeChoice same_size = [&](const ImageHeader&) {
        return std::optional<ImageSize>(ImageSize{photo.pixels.width, photo.pixels.height});
    };
    const std::vector<std::uint8_t> bytes = read_file(path);
    decode_ycbcr_sized(bytes.data(), bytes.size(), same_size, photo.planes);
    return photo;
}

std::vector<std::uint8_t> encode(const ImageObject& image, std::uint32_t code, int program_quality, int native = 0)
{
    EncodeOptions options;
    options.native_quality = native;
    std::vector<std::uint8_t> bytes;
    image_encode(image, code, program_quality, options, bytes);
    return bytes;
}

struct Sample {
    double ssim = 0;
    double psnr = 0;
    double bytes = 0;
};

Sample median_of(const std::vector<Photo>& photos, std::uint32_t code, int program_quality, int native)
{
    std::vector<double> ssims, psnrs;
    double bytes = 0;
    for (const Photo& photo : photos) {
        const std::vector<std::uint8_t> encoded = encode(photo.input(code), code, program_quality, native);
        const Metrics m = metrics_of(photo.pixels, encoded);
        ssims.push_back(m.ssim);
        psnrs.push_back(m.psnr);
        bytes += static_cast<double>(encoded.size());
    }
    return {median(ssims), median(psnrs), bytes};
}

// The lowest native quality whose median metric reaches the target; the highest when none does.
int lowest_reaching(const std::vector<Sample>& sweep, double target, double Sample::*metric)
{
    for (int native = 1; native <= NATIVE_QUALITY_MAXIMUM; ++native)
        if (sweep[static_cast<std::size_t>(native)].*metric >= target)
            return native;
    return NATIVE_QUALITY_MAXIMUM;
}

// For each program quality, the lowest native quality whose median PSNR reaches JPEG's (the
// table's rule), and for comparison the one whose median SSIM does, each with its bytes
// against JPEG's.
void calibrate(const std::vector<Photo>& photos)
{
    std::vector<Sample> jpeg(11);
    for (int q = 1; q <= 10; ++q)
        jpeg[static_cast<std::size_t>(q)] = median_of(photos, IMAGE_CODE_JPEG, q, 0);
    for (const std::uint32_t code : {IMAGE_CODE_WEBP, IMAGE_CODE_AVIF}) {
        std::vector<Sample> sweep(NATIVE_QUALITY_MAXIMUM + 1);
        int last_quantizer = -1;
        for (int native = 1; native <= NATIVE_QUALITY_MAXIMUM; ++native) {
            // AVIF qualities that give the same quantizer give the same file.
            if (code == IMAGE_CODE_AVIF && avif_quantizer_of(native) == last_quantizer) {
                sweep[static_cast<std::size_t>(native)] = sweep[static_cast<std::size_t>(native - 1)];
                continue;
            }
            last_quantizer = avif_quantizer_of(native);
            sweep[static_cast<std::size_t>(native)] = median_of(photos, code, 0, native);
        }
        std::printf("\n%s against JPEG, median over the photos (bytes: the sum, as a share of JPEG's):\n"
                    "  q  JPEG SSIM / PSNR      same PSNR: quality, SSIM, bytes   same SSIM: quality, PSNR, bytes   in use\n",
                    code == IMAGE_CODE_WEBP ? "WebP" : "AVIF");
        for (int q = 1; q <= 10; ++q) {
            const Sample& target = jpeg[static_cast<std::size_t>(q)];
            const int by_psnr = lowest_reaching(sweep, target.psnr, &Sample::psnr);
            const int by_ssim = lowest_reaching(sweep, target.ssim, &Sample::ssim);
            const Sample& p = sweep[static_cast<std::size_t>(by_psnr)];
            const Sample& s = sweep[static_cast<std::size_t>(by_ssim)];
            std::printf("  %2d  %.4f / %5.2f dB     %3d  %.4f  %.2f x              %3d  %5.2f dB  %.2f x         %3d\n",
                        q, target.ssim, target.psnr, by_psnr, p.ssim, p.bytes / target.bytes, by_ssim, s.psnr,
                        s.bytes / target.bytes, native_quality_of(code, q));
        }
    }
}

bool write_png(const std::string& path, const ImageObject& image)
{
    return image_write(image, path, IMAGE_CODE_PNG, 0) == ImageError::None;
}

// Runs a tool over every PNG, its output beside; total bytes and median metrics of the outputs.
void outside_tool(const char* name, const std::vector<Photo>& photos, const fs::path& folder,
                  const std::vector<std::string>& pngs, const std::function<std::vector<std::string>(const std::string&, const std::string&)>& command)
{
    double bytes = 0, wall = 0, cpu = 0;
    std::vector<double> ssims, psnrs;
    for (std::size_t i = 0; i < pngs.size(); ++i) {
        const std::string output = (folder / ("tool-" + std::to_string(i))).string();
        const ProgramRun run = run_program_measured(command(pngs[i], output));
        if (!run.ok) {
            std::printf("  %-22s failed on %s\n", name, pngs[i].c_str());
            return;
        }
        wall += run.wall_ms;
        cpu += run.cpu_ms;
        const std::vector<std::uint8_t> encoded = read_file(output);
        bytes += static_cast<double>(encoded.size());
        const Metrics m = metrics_of(photos[i].pixels, encoded);
        ssims.push_back(m.ssim);
        psnrs.push_back(m.psnr);
    }
    const double count = static_cast<double>(pngs.size());
    std::printf("  %-22s %9.0f bytes   SSIM %.4f   PSNR %5.2f dB   encode %6.1f ms (cpu %6.1f) per image\n", name,
                bytes / count, median(ssims), median(psnrs), wall / count, cpu / count);
}

void compare_bytes(const std::vector<Photo>& photos, const fs::path& folder)
{
    std::printf("\nAt program quality %d (per image, median metrics against the resized photo):\n", PROGRAM_QUALITY);
    double jpeg_bytes = 0;
    for (const std::uint32_t code : {IMAGE_CODE_JPEG, IMAGE_CODE_WEBP, IMAGE_CODE_AVIF}) {
        const auto start = Clock::now();
        const Sample s = median_of(photos, code, PROGRAM_QUALITY, 0);
        const double per_image_ms = milliseconds_since(start) / static_cast<double>(photos.size());
        if (code == IMAGE_CODE_JPEG)
            jpeg_bytes = s.bytes;
        const double count = static_cast<double>(photos.size());
        std::printf("  %-22s %9.0f bytes   SSIM %.4f   PSNR %5.2f dB   %.2f x JPEG bytes  (encode+decode+metric %.0f ms)\n",
                    code == IMAGE_CODE_JPEG ? "pictavo JPEG q60" : code == IMAGE_CODE_WEBP ? "pictavo WebP" : "pictavo AVIF",
                    s.bytes / count, s.ssim, s.psnr, s.bytes / jpeg_bytes, per_image_ms);
    }
    std::vector<std::string> pngs;
    for (std::size_t i = 0; i < photos.size(); ++i) {
        pngs.push_back((folder / ("photo-" + std::to_string(i) + ".png")).string());
        write_png(pngs.back(), photos[i].pixels);
    }
    const std::string webp_quality = std::to_string(native_quality_of(IMAGE_CODE_WEBP, PROGRAM_QUALITY));
    const std::string quantizer = std::to_string(avif_quantizer_of(native_quality_of(IMAGE_CODE_AVIF, PROGRAM_QUALITY)));
    outside_tool(("cwebp -q " + webp_quality + " -m " + std::to_string(WEBP_METHOD)).c_str(), photos, folder, pngs,
                 [&](const std::string& in, const std::string& out) {
                     return std::vector<std::string>{"/usr/bin/cwebp", "-quiet", "-q", webp_quality, "-m",
                                                     std::to_string(WEBP_METHOD), in, "-o", out};
                 });
    outside_tool(("avifenc -s " + std::to_string(AVIF_ENCODER_SPEED) + " q" + quantizer).c_str(), photos, folder, pngs,
                 [&](const std::string& in, const std::string& out) {
                     return std::vector<std::string>{"/usr/bin/avifenc", "-j", "1", "-s", std::to_string(AVIF_ENCODER_SPEED),
                                                     "--min", quantizer, "--max", quantizer, "-y", "420", in, out};
                 });
}

void compare_runs(const fs::path& folder)
{
    const char* photos = std::getenv("PICTAVO_BENCH_PHOTOS");
    const char* corpus = std::getenv("CORPUS");
    const std::string input = photos ? photos : std::string(corpus ? corpus : "/tmp/corpus") + "/jpg12";
    const int rounds = environment_count("PICTAVO_BENCH_ROUNDS", 3);
    const std::size_t count = photo_paths().size();
    std::printf("\npictavo-cli --jobs 1 --size 1000 over %zu photos, %d rounds of the three runs one after the other;\n"
                "per image: the median, and the median of each round's ratio to its JPEG run:\n",
                count, rounds);
    constexpr std::size_t formats = 3;
    const char* const names[formats] = {"same", "webp", "avif"};
    // Interleaved, so that a machine that slows down or speeds up during the bench weighs on
    // every format alike.
    std::vector<double> walls[formats], cpus[formats];
    long rss[formats] = {};
    for (int round = 0; round < rounds; ++round)
        for (std::size_t f = 0; f < formats; ++f) {
            const fs::path output = folder / (std::string("run-") + names[f]);
            fs::remove_all(output);
            fs::create_directories(output);
            const ProgramRun run = run_program_measured({PICTAVO_CLI_PATH, "--quiet", "--jobs", "1", "--format",
                                                         names[f], input, output.string()});
            if (!run.ok) {
                std::printf("  --format %s failed\n", names[f]);
                return;
            }
            walls[f].push_back(run.wall_ms / static_cast<double>(count));
            cpus[f].push_back(run.cpu_ms / static_cast<double>(count));
            rss[f] = std::max(rss[f], run.peak_rss_kib);
        }
    for (std::size_t f = 0; f < formats; ++f) {
        std::vector<double> wall_ratios, cpu_ratios;
        for (std::size_t r = 0; r < walls[f].size(); ++r) {
            wall_ratios.push_back(walls[f][r] / walls[0][r]);
            cpu_ratios.push_back(cpus[f][r] / cpus[0][r]);
        }
        std::printf("  --format %-5s %7.1f ms (cpu %7.1f ms)   %.2f x JPEG time (cpu %.2f x)   peak %6ld KiB (%.2f x)\n",
                    names[f], median(walls[f]), median(cpus[f]), median(wall_ratios), median(cpu_ratios), rss[f],
                    static_cast<double>(rss[f]) / static_cast<double>(rss[0]));
    }
}

} // namespace

int main()
{
    // Unbuffered: the programs it starts would otherwise inherit what is not yet written.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    register_image_codecs();
    const std::vector<std::string> paths = photo_paths();
    if (paths.empty()) {
        std::printf("no photos: build the corpus (bench/make-corpus.sh) or set PICTAVO_BENCH_PHOTOS\n");
        return 0;
    }
    std::vector<Photo> photos;
    for (const std::string& path : paths)
        photos.push_back(prepared_photo(path));
    const fs::path folder = fs::temp_directory_path() / "pictavo-bench-formats";
    fs::create_directories(folder);
    const char* skip = std::getenv("PICTAVO_BENCH_SKIP_CALIBRATION");
    if (!skip || std::string(skip) != "1")
        calibrate(photos);
    compare_bytes(photos, folder);
    compare_runs(folder);
    fs::remove_all(folder);
    return 0;
}
