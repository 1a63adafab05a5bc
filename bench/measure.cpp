// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/measure.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

extern char** environ;

namespace bench {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr int FLOOR_WIDTH = 1000;
constexpr int FLOOR_QUALITY = 60;

double cpu_milliseconds(const timeval& user, const timeval& system)
{
    return (user.tv_sec + system.tv_sec) * 1e3 + (user.tv_usec + system.tv_usec) / 1e3;
}

} // namespace

double milliseconds_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int environment_count(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

std::vector<std::uint8_t> read_file(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    File file(std::fopen(path.c_str(), "rb"));
    if (error || !file)
        return {};
    std::vector<std::uint8_t> bytes(size);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    return bytes;
}

bool write_jpeg(const std::string& path, const std::uint8_t* pixels, int width, int height, int quality,
                J_COLOR_SPACE space)
{
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file.get());
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, FALSE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(pixels + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

std::vector<std::uint8_t> decode_jpeg(const std::vector<std::uint8_t>& bytes, int& width, int& height)
{
    if (bytes.size() < 4)
        return {};
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> pixels(stride * height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + info.output_scanline * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return pixels;
}

std::vector<std::uint8_t> pick_small(const std::vector<std::uint8_t>& pixels, int width, int height,
                                     int small_width, int small_height)
{
    std::vector<std::uint8_t> small(static_cast<std::size_t>(small_width) * small_height * 3);
    for (int y = 0; y < small_height; ++y)
        for (int x = 0; x < small_width; ++x) {
            const std::size_t from = (static_cast<std::size_t>(y * height / small_height) * width +
                                      static_cast<std::size_t>(x * width / small_width)) * 3;
            std::copy_n(pixels.data() + from, 3, small.data() + (static_cast<std::size_t>(y) * small_width + x) * 3);
        }
    return small;
}

bool jpeg_floor_file(const std::string& path, const std::string& output_path)
{
    int width = 0, height = 0;
    const auto pixels = decode_jpeg(read_file(path), width, height);
    if (pixels.empty() || width <= 0)
        return false;
    const int small_height = std::max(1, height * FLOOR_WIDTH / width);
    const auto small = pick_small(pixels, width, height, FLOOR_WIDTH, small_height);
    return write_jpeg(output_path, small.data(), FLOOR_WIDTH, small_height, FLOOR_QUALITY, JCS_EXT_BGR);
}

ProgramRun run_program_measured(const std::vector<std::string>& argv, const std::string& path_variable)
{
    std::vector<char*> arguments;
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    std::vector<std::string> environment_texts;
    for (char** entry = environ; *entry; ++entry)
        if (path_variable.empty() || std::strncmp(*entry, "PATH=", 5) != 0)
            environment_texts.emplace_back(*entry);
    if (!path_variable.empty())
        environment_texts.push_back("PATH=" + path_variable);
    std::vector<char*> environment;
    for (std::string& text : environment_texts)
        environment.push_back(text.data());
    environment.push_back(nullptr);

    // Through the launcher, which reports the program's own peak through a pipe.
    int report[2];
    if (pipe(report) != 0)
        return {};
    const std::string report_descriptor = std::to_string(report[1]);
    std::vector<char*> launch = {const_cast<char*>(PICTAVO_BENCH_LAUNCHER_PATH),
                                 const_cast<char*>(report_descriptor.c_str())};
    launch.insert(launch.end(), arguments.begin(), arguments.end());

    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            _exit(127);
        execve(launch[0], launch.data(), environment.data());
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    rusage usage{};
    ProgramRun run;
    const bool waited = child >= 0 && wait4(child, &status, 0, &usage) == child;
    run.wall_ms = milliseconds_since(start);
    char text[32] = {};
    const ssize_t length = read(report[0], text, sizeof text - 1);
    close(report[0]);
    if (!waited || length <= 0)
        return {};
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.cpu_ms = cpu_milliseconds(usage.ru_utime, usage.ru_stime);
    run.peak_rss_kib = std::atol(text);
    return run;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace bench
