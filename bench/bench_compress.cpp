// SPDX-License-Identifier: GPL-3.0-or-later
// Local compression on the corpus: the photos (jpg/) and the artwork PNGs (png-art/) resized to
// 1000 px as a normal run does, each written plain, optimised and (PNG) with the lossy palette,
// beside the reference tools run on the plain outputs in the same run (jpegtran, zopflipng,
// pngquant); the deflate back ends on the same filtered rows; and the peak memory of one
// process writing each kind of output. Times are processor time, the median of BENCH_REPEATS
// runs (default 3); zopflipng and zopfli run once, being slow.
#include "app/allocator_tuning.h"
#include "app/resize_geometry.h"
#include "bench/measure.h"
#include "image/image_load.h"
#include "image/image_save.h"
#include "image/plugins.h"
#include "image/png_filters.h"
#include "image/png_reduction.h"
#include "image/zlib_stream.h"

#include <time.h>
#include <unistd.h>
#include <zlib.h>
#include <zopfli/zopfli.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace pictavo;

constexpr int LONG_SIDE = 1000;
constexpr int QUALITY = 6;

// The targets.
constexpr double JPEG_SAVING_TARGET = 4.5;      // per cent smaller than plain
constexpr double JPEG_TIME_TARGET = 1.3;        // times the plain whole-run time
constexpr double PNG_SAVING_TARGET = 15.0;
constexpr double PNG_TIME_TARGET = 3.0;
constexpr double PALETTE_BYTES_TARGET = 1.10;   // times pngquant's bytes

struct Variant {
    const char* name;
    EncodeOptions options;
};

EncodeOptions options_of(bool optimize, bool lossy_palette)
{
    EncodeOptions options;
    options.optimize = optimize;
    options.lossy_palette = lossy_palette;
    return options;
}

const std::vector<Variant> jpeg_variants = {{"plain", options_of(false, false)}, {"optimize", options_of(true, false)}};
const std::vector<Variant> png_variants = {{"plain", options_of(false, false)},
                                           {"optimize", options_of(true, false)},
                                           {"palette", options_of(false, true)},
                                           {"palette+opt", options_of(true, true)}};

double thread_cpu_ms()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Reads the file resized so that its longer side is 1000 px, as the engine's normal mode does.
bool load_resized(const std::string& path, ImageObject& image)
{
    const SizeChoice choose = [](const ImageHeader& header) -> std::optional<ImageSize> {
        const ResizePlan plan = plan_resize(1, header.width, header.height, LONG_SIDE, LONG_SIDE);
        return plan.resize ? std::optional<ImageSize>(ImageSize{plan.width, plan.height}) : std::nullopt;
    };
    return image_read_file_sized(path, choose, image) == ImageError::None;
}

std::vector<std::string> files_in(const std::string& folder, const char* extension)
{
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == extension)
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Blue, green, red, alpha of pixel i (top row first) of a 24- or 32-bit image.
std::array<int, 4> pixel(const ImageObject& image, int x, int y)
{
    const std::uint8_t* p = image.pixels.image_row(y) + x * image.pixels.bytes_per_pixel();
    return {p[0], p[1], p[2], image.pixels.depth() == 32 ? p[3] : 255};
}

bool same_pixels(const ImageObject& a, const ImageObject& b)
{
    if (a.width != b.width || a.height != b.height)
        return false;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (pixel(a, x, y) != pixel(b, x, y))
                return false;
    return true;
}

// Peak signal-to-noise ratio in dB over colour premultiplied by alpha, and alpha when the
// reference has it.
double psnr(const ImageObject& reference, const ImageObject& test)
{
    const bool alpha = reference.pixels.depth() == 32;
    double squares = 0;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            const auto a = pixel(reference, x, y), b = pixel(test, x, y);
            for (int c = 0; c < 3; ++c) {
                const double difference = a[c] * a[3] / 255.0 - b[c] * b[3] / 255.0;
                squares += difference * difference;
            }
            if (alpha)
                squares += (a[3] - b[3]) * (a[3] - b[3]);
        }
    const double mean = squares / (reference.width * reference.height * (alpha ? 4.0 : 3.0));
    return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

bool decode(const std::vector<std::uint8_t>& bytes, ImageObject& image)
{
    return image_decode(bytes.data(), bytes.size(), image) == ImageError::None;
}

bool write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

struct ToolRun {
    bool ok = false;
    std::size_t bytes = 0;
    double cpu_ms = 0;
    double psnr = 0;
};

ToolRun run_tool(const std::vector<std::string>& argv, const std::string& output)
{
    std::fflush(stdout);  // the child would write what is buffered once more
    std::filesystem::remove(output);
    const bench::ProgramRun run = bench::run_program_measured(argv);
    ToolRun tool;
    std::error_code error;
    tool.bytes = std::filesystem::file_size(output, error);
    tool.ok = run.ok && !error;
    tool.cpu_ms = run.cpu_ms;
    return tool;
}

struct FileFigures {
    std::string name;
    std::vector<std::size_t> bytes;       // per variant
    std::vector<double> psnr;             // per variant, against the plain output's pixels
    std::vector<int> palette_colours;     // per variant; 0 for true colour
    std::vector<int> palette_quality;     // per variant, libimagequant's
    bool identical = true;                // optimize decodes to the plain pixels
    std::map<std::string, ToolRun> tools;
};

struct RunTimes {
    double read_ms = 0;
    std::vector<double> encode_ms;
    std::map<std::string, double> tool_ms;
};

struct SetResult {
    std::vector<FileFigures> files;
    std::vector<RunTimes> runs;
};

const std::string tool_folder = "/tmp/pictavo-bench-compress";

void run_tools(std::uint32_t code, const std::string& plain_path, const std::string& stem, const ImageObject& reference,
               bool first_run, FileFigures& figures, RunTimes& times)
{
    std::map<std::string, ToolRun> runs;
    if (code == IMAGE_CODE_JPEG) {
        const std::string out = stem + "-jpegtran.jpg";
        runs["jpegtran"] = run_tool({"/usr/bin/jpegtran", "-copy", "all", "-optimize", "-progressive", "-outfile", out,
                                     plain_path}, out);
    } else {
        const std::string quantized = stem + "-pngquant.png";
        runs["pngquant"] = run_tool({"/usr/bin/pngquant", "--force", "--output", quantized, plain_path}, quantized);
        ImageObject decoded;
        if (first_run && runs["pngquant"].ok && decode(bench::read_file(quantized), decoded))
            runs["pngquant"].psnr = psnr(reference, decoded);
        if (first_run) {
            const std::string zopfli = stem + "-zopflipng.png";
            runs["zopflipng"] = run_tool({"/usr/bin/zopflipng", "-y", plain_path, zopfli}, zopfli);
        }
    }
    for (auto& [tool, run] : runs) {
        times.tool_ms[tool] += run.cpu_ms;
        if (first_run)
            figures.tools[tool] = run;
    }
}

// What the first run keeps of one variant's output: its size and palette, how close it is to
// the plain output (whose file the tools read), and whether optimize kept every pixel.
void record_variant(std::size_t v, const Variant& variant, const std::vector<std::uint8_t>& bytes,
                    const EncodeOutcome& outcome, const std::string& plain_path, ImageObject& plain_pixels,
                    FileFigures& figures)
{
    ImageObject decoded;
    decode(bytes, decoded);
    if (v == 0) {
        write_bytes(plain_path, bytes);
        figures.psnr[v] = 99;
        plain_pixels = std::move(decoded);
    } else {
        figures.psnr[v] = psnr(plain_pixels, decoded);
        if (variant.options.optimize && !variant.options.lossy_palette)
            figures.identical = figures.identical && same_pixels(plain_pixels, decoded);
    }
    figures.bytes[v] = bytes.size();
    figures.palette_colours[v] = outcome.palette_colours;
    figures.palette_quality[v] = outcome.palette_quality;
}

// One pass over the set: every variant and the tools on every file.
void run_set_once(const std::vector<std::string>& files, std::uint32_t code, const std::vector<Variant>& variants,
                  bool first_run, SetResult& result)
{
    RunTimes times;
    times.encode_ms.assign(variants.size(), 0);
    for (std::size_t f = 0; f < files.size(); ++f) {
        FileFigures& figures = result.files[f];
        const std::string stem = tool_folder + "/" + figures.name;
        const std::string plain_path = stem + (code == IMAGE_CODE_JPEG ? ".jpg" : ".png");
        ImageObject image;
        const double start = thread_cpu_ms();
        if (!load_resized(files[f], image))
            continue;
        times.read_ms += thread_cpu_ms() - start;
        ImageObject plain_pixels;
        for (std::size_t v = 0; v < variants.size(); ++v) {
            std::vector<std::uint8_t> bytes;
            EncodeOutcome outcome;
            const double encode_start = thread_cpu_ms();
            image_encode(image, code, QUALITY, variants[v].options, bytes, &outcome);
            times.encode_ms[v] += thread_cpu_ms() - encode_start;
            if (first_run)
                record_variant(v, variants[v], bytes, outcome, plain_path, plain_pixels, figures);
        }
        run_tools(code, plain_path, stem, plain_pixels, first_run, figures, times);
    }
    result.runs.push_back(times);
}

double median_of(const std::vector<RunTimes>& runs, const std::function<double(const RunTimes&)>& value)
{
    std::vector<double> values;
    for (const RunTimes& run : runs)
        values.push_back(value(run));
    return bench::median(values);
}

// The median over the runs in which the tool ran (zopflipng runs in the first only).
double tool_median(const std::vector<RunTimes>& runs, const std::string& tool)
{
    std::vector<double> values;
    for (const RunTimes& run : runs)
        if (run.tool_ms.count(tool))
            values.push_back(run.tool_ms.at(tool));
    return bench::median(values);
}

double saving(std::size_t plain, std::size_t other)
{
    return plain ? 100.0 * (1.0 - static_cast<double>(other) / static_cast<double>(plain)) : 0;
}

const char* verdict(bool met) { return met ? "met" : "NOT met"; }

void print_file_table(const SetResult& result, const std::vector<Variant>& variants, const std::vector<std::string>& tools)
{
    std::printf("%-22s", "file");
    for (const Variant& variant : variants)
        std::printf(" %12s", variant.name);
    for (const std::string& tool : tools)
        std::printf(" %12s", tool.c_str());
    std::printf("\n");
    for (const FileFigures& file : result.files) {
        std::printf("%-22s", file.name.c_str());
        for (std::size_t v = 0; v < variants.size(); ++v)
            std::printf(" %12zu", file.bytes[v]);
        for (const std::string& tool : tools)
            std::printf(" %12zu", file.tools.count(tool) ? file.tools.at(tool).bytes : 0);
        std::printf("%s\n", file.identical ? "" : "  PIXELS DIFFER");
    }
}

std::size_t total_bytes(const SetResult& result, std::size_t variant)
{
    std::size_t total = 0;
    for (const FileFigures& file : result.files)
        total += file.bytes[variant];
    return total;
}

std::size_t total_tool_bytes(const SetResult& result, const std::string& tool)
{
    std::size_t total = 0;
    for (const FileFigures& file : result.files)
        total += file.tools.count(tool) ? file.tools.at(tool).bytes : 0;
    return total;
}

// Optimize against plain: bytes, encode time and whole-run time (read and resize included).
void print_optimize_summary(const SetResult& result, std::size_t variant, const char* tool, double saving_target,
                            double time_target)
{
    const std::size_t plain = total_bytes(result, 0), optimised = total_bytes(result, variant);
    const double read_ms = median_of(result.runs, [](const RunTimes& r) { return r.read_ms; });
    const double plain_ms = median_of(result.runs, [](const RunTimes& r) { return r.encode_ms[0]; });
    const double optimised_ms = median_of(result.runs, [&](const RunTimes& r) { return r.encode_ms[variant]; });
    const double tool_ms = tool_median(result.runs, tool);
    const double whole_ratio = (read_ms + optimised_ms) / (read_ms + plain_ms);
    std::size_t identical = 0;
    for (const FileFigures& file : result.files)
        identical += file.identical ? 1 : 0;
    std::printf("bytes: plain %zu, optimize %zu (%.1f %% smaller), %s %zu (%.1f %% smaller)\n", plain, optimised,
                saving(plain, optimised), tool, total_tool_bytes(result, tool), saving(plain, total_tool_bytes(result, tool)));
    std::printf("time: decode+resize %.0f ms; encode plain %.0f ms, optimize %.0f ms (%.2f x); "
                "decode+resize+encode %.2f x; %s on the plain files %.0f ms\n",
                read_ms, plain_ms, optimised_ms, optimised_ms / plain_ms, whole_ratio, tool, tool_ms);
    std::printf("pixels identical after optimize: %zu of %zu\n", identical, result.files.size());
    std::printf("target >= %.1f %% smaller: %s; <= %.1f x plain time: %s\n", saving_target,
                verdict(saving(plain, optimised) >= saving_target), time_target, verdict(whole_ratio <= time_target));
}

void print_palette_table(const SetResult& result)
{
    std::printf("%-22s %12s %8s %8s %8s %12s %8s\n", "file", "palette+opt", "colours", "quality", "PSNR", "pngquant",
                "PSNR");
    for (const FileFigures& file : result.files)
        std::printf("%-22s %12zu %8d %8d %8.2f %12zu %8.2f\n", file.name.c_str(), file.bytes[3], file.palette_colours[3],
                    file.palette_quality[3], file.psnr[3], file.tools.at("pngquant").bytes, file.tools.at("pngquant").psnr);
}

void print_palette_summary(const SetResult& result, std::size_t variant)
{
    const std::size_t ours = total_bytes(result, variant), pngquant = total_tool_bytes(result, "pngquant");
    double our_psnr = 0, their_psnr = 0;
    int true_colour = 0, at_least_as_close = 0;
    for (const FileFigures& file : result.files) {
        our_psnr += file.psnr[variant];
        their_psnr += file.tools.at("pngquant").psnr;
        true_colour += file.palette_colours[variant] == 0 ? 1 : 0;
        at_least_as_close += file.psnr[variant] >= file.tools.at("pngquant").psnr ? 1 : 0;
    }
    const double count = static_cast<double>(result.files.size());
    const double ms = median_of(result.runs, [&](const RunTimes& r) { return r.encode_ms[variant]; });
    const double plain_ms = median_of(result.runs, [](const RunTimes& r) { return r.encode_ms[0]; });
    const double tool_ms = tool_median(result.runs, "pngquant");
    std::printf("%s: %zu bytes = %.3f x pngquant's %zu; mean PSNR %.2f dB against pngquant's %.2f dB "
                "(at least as close on %d of %zu); %d kept true colour (floor %d); encode %.0f ms (%.2f x plain), "
                "pngquant %.0f ms\n",
                png_variants[variant].name, ours, static_cast<double>(ours) / static_cast<double>(pngquant), pngquant,
                our_psnr / count, their_psnr / count, at_least_as_close, result.files.size(), true_colour,
                PALETTE_QUALITY_FLOOR, ms, ms / plain_ms, tool_ms);
    std::printf("target within %.0f %% of pngquant's bytes at equal or better PSNR: %s\n",
                (PALETTE_BYTES_TARGET - 1) * 100,
                verdict(static_cast<double>(ours) <= PALETTE_BYTES_TARGET * static_cast<double>(pngquant) &&
                        our_psnr >= their_psnr));
}

SetResult run_set(const std::vector<std::string>& files, std::uint32_t code, const std::vector<Variant>& variants)
{
    SetResult result;
    for (const std::string& file : files) {
        FileFigures figures;
        figures.name = std::filesystem::path(file).stem().string();
        figures.bytes.assign(variants.size(), 0);
        figures.psnr.assign(variants.size(), 0);
        figures.palette_colours.assign(variants.size(), 0);
        figures.palette_quality.assign(variants.size(), 0);
        result.files.push_back(figures);
    }
    const int repeats = bench::environment_count("BENCH_REPEATS", 3);
    for (int run = 0; run < repeats; ++run)
        run_set_once(files, code, variants, run == 0, result);
    return result;
}

// The request the PNG encoder gets for an image at its source depth.
EncodeRequest request_for(const ImageObject& image)
{
    EncodeRequest request;
    request.pixels = image.pixels.data();
    request.width = image.pixels.width();
    request.height = image.pixels.height();
    request.stride = image.pixels.stride();
    request.flags = ROWS_BOTTOM_UP;
    request.depth = image.pixels.depth();
    return request;
}

struct Backend {
    const char* name;
    std::function<std::size_t(const std::vector<std::uint8_t>&)> compress;
    std::size_t bytes = 0;
    double ms = 0;
};

std::size_t zlib_size(const std::vector<std::uint8_t>& data, int strategy)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15, 8, strategy);
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    const std::size_t size = stream.total_out;
    deflateEnd(&stream);
    return size;
}

std::size_t libdeflate_size(const std::vector<std::uint8_t>& data, int level)
{
    ZlibCompressor compressor(level);
    std::vector<std::uint8_t> out;
    return compressor.compress(data, out) ? out.size() : 0;
}

std::size_t zopfli_size(const std::vector<std::uint8_t>& data)
{
    ZopfliOptions options;
    ZopfliInitOptions(&options);
    unsigned char* out = nullptr;
    size_t size = 0;
    ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, data.data(), data.size(), &out, &size);
    std::free(out);
    return size;
}

// The deflate back ends on the rows the optimiser would filter most often: the image's first
// exact form with the minimum-sum filter choice.
void print_deflate_comparison(const std::vector<std::string>& files)
{
    std::vector<Backend> backends = {
        {"zlib 9", [](const auto& d) { return zlib_size(d, Z_DEFAULT_STRATEGY); }},
        {"zlib 9 filtered", [](const auto& d) { return zlib_size(d, Z_FILTERED); }},
        {"libdeflate 1", [](const auto& d) { return libdeflate_size(d, 1); }},
        {"libdeflate 6", [](const auto& d) { return libdeflate_size(d, 6); }},
        {"libdeflate 9", [](const auto& d) { return libdeflate_size(d, 9); }},
        {"libdeflate 10", [](const auto& d) { return libdeflate_size(d, 10); }},
        {"libdeflate 11", [](const auto& d) { return libdeflate_size(d, 11); }},
        {"libdeflate 12", [](const auto& d) { return libdeflate_size(d, 12); }},
        {"zopfli 15 iterations", zopfli_size},
    };
    for (const std::string& file : files) {
        ImageObject image;
        if (!load_resized(file, image))
            continue;
        const EncodeRequest request = request_for(image);
        const int channels = image.pixels.depth() == 32 ? 4 : 3;
        const PixelCensus census = take_pixel_census(request, channels);
        PngRaster raster;
        std::vector<std::uint8_t> filtered;
        if (!make_exact_raster(request, channels, census, exact_forms(census, true).front(), raster))
            continue;
        filter_rows(raster, FilterChoice::MinimumSum, 0, raster.height, filtered);
        for (Backend& backend : backends) {
            const double start = thread_cpu_ms();
            backend.bytes += backend.compress(filtered);
            backend.ms += thread_cpu_ms() - start;
        }
    }
    std::printf("deflate on the same filtered rows (first exact form, minimum-sum filters):\n");
    for (const Backend& backend : backends)
        std::printf("  %-22s %10zu bytes (%5.1f %% of zlib 9) %8.0f ms\n", backend.name, backend.bytes,
                    100.0 * static_cast<double>(backend.bytes) / static_cast<double>(backends[0].bytes), backend.ms);
}

// The plain 1000 px outputs the first run left for the tools.
std::vector<std::string> plain_outputs(const SetResult& result, const char* extension)
{
    std::vector<std::string> files;
    for (const FileFigures& file : result.files)
        files.push_back(tool_folder + "/" + file.name + extension);
    return files;
}

// Peak resident memory of one process that reads, resizes (when larger) and writes every file
// in one variant, as one worker of a run does.
void print_memory(const std::vector<std::string>& files, const char* set, const std::vector<Variant>& variants)
{
    std::fflush(stdout);
    std::vector<long> peaks;
    const std::string report = tool_folder + "/peak.txt";
    for (std::size_t v = 0; v < variants.size(); ++v) {
        std::vector<std::string> argv = {std::filesystem::read_symlink("/proc/self/exe").string(), "--memory-run", set,
                                         std::to_string(v), report};
        argv.insert(argv.end(), files.begin(), files.end());
        std::filesystem::remove(report);
        bench::run_program_measured(argv);
        const std::vector<std::uint8_t> text = bench::read_file(report);
        peaks.push_back(std::atol(std::string(text.begin(), text.end()).c_str()));
    }
    std::printf("peak memory of one process (%s):", files.front().rfind(tool_folder, 0) == 0 ? "1000 px plain outputs"
                                                                                                : "corpus files");
    for (std::size_t v = 0; v < variants.size(); ++v)
        std::printf(" %s %.1f MiB (%.2f x)", variants[v].name, peaks[v] / 1024.0,
                    static_cast<double>(peaks[v]) / static_cast<double>(peaks[0]));
    std::printf("\n");
}

// The process's own peak resident memory in KiB (VmHWM). The rusage of a child counts the
// memory its parent had when it forked, so the child reads it itself.
long own_peak_kib()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// --memory-run SET VARIANT REPORT FILE...: writes every file in the variant, then its peak
// memory into REPORT.
int memory_run(int argc, char** argv)
{
    const bool jpeg = std::strcmp(argv[2], "jpg") == 0;
    const Variant& variant = (jpeg ? jpeg_variants : png_variants).at(static_cast<std::size_t>(std::atoi(argv[3])));
    for (int i = 5; i < argc; ++i) {
        ImageObject image;
        std::vector<std::uint8_t> bytes;
        if (!load_resized(argv[i], image) ||
            image_encode(image, jpeg ? IMAGE_CODE_JPEG : IMAGE_CODE_PNG, QUALITY, variant.options, bytes) != ImageError::None)
            return 1;
    }
    const std::string peak = std::to_string(own_peak_kib());
    return write_bytes(argv[4], std::vector<std::uint8_t>(peak.begin(), peak.end())) ? 0 : 1;
}

void run_jpeg(const std::string& corpus)
{
    const auto files = files_in(corpus + "/jpg", ".jpg");
    if (files.empty()) {
        std::printf("no photos in %s/jpg: run bench/make-corpus.sh\n", corpus.c_str());
        return;
    }
    std::printf("== jpg/: %zu photos to %d px at quality %d (processor time, median of runs)\n", files.size(),
                LONG_SIDE, QUALITY);
    const SetResult result = run_set(files, IMAGE_CODE_JPEG, jpeg_variants);
    print_file_table(result, jpeg_variants, {"jpegtran"});
    print_optimize_summary(result, 1, "jpegtran", JPEG_SAVING_TARGET, JPEG_TIME_TARGET);
    print_memory(files, "jpg", jpeg_variants);
    print_memory(plain_outputs(result, ".jpg"), "jpg", jpeg_variants);
}

void run_png(const std::string& corpus)
{
    const auto files = files_in(corpus + "/png-art", ".png");
    if (files.empty()) {
        std::printf("no artwork PNGs in %s/png-art: run bench/make-corpus.sh\n", corpus.c_str());
        return;
    }
    std::printf("\n== png-art/: %zu artwork PNGs to %d px (processor time, median of runs)\n", files.size(), LONG_SIDE);
    const SetResult result = run_set(files, IMAGE_CODE_PNG, png_variants);
    print_file_table(result, png_variants, {"zopflipng", "pngquant"});
    print_optimize_summary(result, 1, "zopflipng", PNG_SAVING_TARGET, PNG_TIME_TARGET);
    print_palette_table(result);
    print_palette_summary(result, 2);
    print_palette_summary(result, 3);
    print_memory(files, "png-art", png_variants);
    print_memory(plain_outputs(result, ".png"), "png-art", png_variants);
    print_deflate_comparison(files);
}

} // namespace

int main(int argc, char** argv)
{
    keep_large_buffers_in_heap();
    register_jpeg_and_png_codecs();
    if (argc >= 5 && std::strcmp(argv[1], "--memory-run") == 0)
        return memory_run(argc, argv);
    const char* corpus_variable = std::getenv("CORPUS");
    const std::string corpus = corpus_variable ? corpus_variable : "/tmp/corpus";
    std::filesystem::create_directories(tool_folder);
    run_jpeg(corpus);
    run_png(corpus);
    return 0;
}
