// SPDX-License-Identifier: GPL-3.0-or-later
// What the whole-run benchmarks share: times, file reading, the JPEG codec floor on plain
// libjpeg-turbo, and a program run with its wall time, CPU time and peak memory.
#pragma once

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point start);

// The positive number in an environment variable, or fallback.
int environment_count(const char* name, int fallback);

std::vector<std::uint8_t> read_file(const std::string& path);

bool write_jpeg(const std::string& path, const std::uint8_t* pixels, int width, int height, int quality,
                J_COLOR_SPACE space);

// A full decode to blue-green-red rows; empty when the data is no JPEG.
std::vector<std::uint8_t> decode_jpeg(const std::vector<std::uint8_t>& bytes, int& width, int& height);

// Every few source pixels taken to make a small picture; its content hardly matters for the
// encoder's time, and picking costs next to nothing.
std::vector<std::uint8_t> pick_small(const std::vector<std::uint8_t>& pixels, int width, int height,
                                     int small_width, int small_height);

// The codec floor for one JPEG: read the file, decode it fully, encode a picture 1000 pixels
// wide at quality 60 to output_path.
bool jpeg_floor_file(const std::string& path, const std::string& output_path);

struct ProgramRun {
    bool ok = false;          // started and exited with status 0
    double wall_ms = 0;
    double cpu_ms = 0;        // user and system time of the program and the children it waited for
    long peak_rss_kib = 0;    // the largest resident set of the program or one of those children
};

// Runs argv[0] with the arguments, standard output to /dev/null; path_variable, when not empty,
// replaces PATH for it.
ProgramRun run_program_measured(const std::vector<std::string>& argv, const std::string& path_variable = {});

double median(std::vector<double> values);

} // namespace bench
