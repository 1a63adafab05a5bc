// SPDX-License-Identifier: GPL-3.0-or-later
// Parallel-run benchmark on the photo corpus (bench/make-corpus.sh; CORPUS, default /tmp/corpus).
//
// On jpg12/ (ten 12 MP photos), in alternating rounds:
//   floor N:   N processes, each doing the codec floor (full libjpeg-turbo decode, 1000 px
//              quality-60 encode) on its share of the files; floor 1 the same in one process,
//              so that floor 1 / floor N shows how far N processes scale on this machine;
//   jobs 1:    pictavo-cli --jobs 1 (Normal Resize 1000, quality 6);
//   jobs N:    pictavo-cli --jobs N, with its peak resident memory.
// On jpg/ (the real photos as shipped), at --jobs N: the plain run against --exif --dates, with
// the number of exiftool processes each run started (counted by a wrapper put first on PATH) and
// the processor time of each run, its tool processes included.
// Each figure is the median of the rounds.
//
// PICTAVO_BENCH_WORKERS sets N (default: the processors this process may use),
// PICTAVO_BENCH_ROUNDS the rounds (5), PICTAVO_BENCH_IMAGES how many photos of each folder
// are used (all).
#include "app/allocator_tuning.h"
#include "bench/measure.h"
#include "sys/processors.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace bench;

// The first count photos of a corpus folder, linked into a folder of their own, so that the
// runs see exactly these and write nothing into the corpus.
std::vector<std::string> photos_of(const fs::path& corpus_folder, const fs::path& run_folder, int count)
{
    std::vector<fs::path> all;
    for (const auto& entry : fs::directory_iterator(corpus_folder))
        if (entry.path().extension() == ".jpg")
            all.push_back(entry.path());
    std::sort(all.begin(), all.end());
    if (count > 0 && static_cast<std::size_t>(count) < all.size())
        all.resize(static_cast<std::size_t>(count));
    fs::remove_all(run_folder);
    fs::create_directories(run_folder);
    std::vector<std::string> files;
    for (const fs::path& photo : all) {
        const fs::path link = run_folder / photo.filename();
        std::error_code error;
        fs::create_hard_link(photo, link, error);
        if (error)
            fs::copy_file(photo, link);
        files.push_back(link.string());
    }
    return files;
}

// N processes, each doing the floor's work on every N-th file; the wall time of all of them.
double floor_milliseconds(const std::vector<std::string>& files, int processes, const fs::path& scratch)
{
    const auto start = Clock::now();
    std::vector<pid_t> children;
    for (int k = 0; k < processes; ++k) {
        const pid_t child = fork();
        if (child == 0) {
            bool ok = true;
            const std::string output = (scratch / ("floor-" + std::to_string(k) + ".jpg")).string();
            const auto step = static_cast<std::size_t>(processes);
            for (std::size_t i = static_cast<std::size_t>(k); i < files.size(); i += step)
                ok = jpeg_floor_file(files[i], output) && ok;
            _exit(ok ? 0 : 1);
        }
        if (child > 0)
            children.push_back(child);
    }
    bool ok = static_cast<int>(children.size()) == processes;
    for (const pid_t child : children) {
        int status = 0;
        ok = waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
    }
    return ok ? milliseconds_since(start) : -1;
}

ProgramRun cli_run(const fs::path& input, const fs::path& output, int jobs, bool exif_and_dates,
                   const std::string& path_variable = {})
{
    fs::remove_all(output);
    fs::create_directories(output);
    std::vector<std::string> argv = {PICTAVO_CLI_PATH, "--quiet", "--jobs", std::to_string(jobs), "--mode", "normal",
                                     "--size", "1000", "--quality", "6"};
    if (exif_and_dates) {
        argv.push_back("--exif");
        argv.push_back("--dates");
    }
    argv.push_back(input.string());
    argv.push_back(output.string());
    return run_program_measured(argv, path_variable);
}

// A wrapper named exiftool that counts its starts in a file, then becomes the real tool.
std::string counting_tool_path(const fs::path& scratch, const fs::path& count_file)
{
    std::string real;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    for (std::size_t start = 0; start <= folders.size() && real.empty();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const fs::path candidate = fs::path(folders.substr(start, end - start)) / "exiftool";
        if (access(candidate.c_str(), X_OK) == 0)
            real = candidate.string();
        start = end + 1;
    }
    if (real.empty())
        return {};
    const fs::path bin = scratch / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "exiftool") << "#!/bin/sh\necho >> '" << count_file.string() << "'\nexec '" << real
                                    << "' \"$@\"\n";
    fs::permissions(bin / "exiftool", fs::perms::owner_all);
    return bin.string() + ":" + folders;
}

int lines_of(const fs::path& file)
{
    std::ifstream in(file);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

struct Series {
    std::vector<double> values;
    bool ok = true;
    void add(double value)
    {
        ok = ok && value >= 0;
        values.push_back(value);
    }
    double middle() const { return ok ? median(values) : -1; }
};

void verdict(const char* what, double value, double limit, bool at_most)
{
    const bool met = value >= 0 && (at_most ? value <= limit : value >= limit);
    std::printf("  %-44s %8.2f   target %s %.2f: %s\n", what, value, at_most ? "<=" : ">=", limit,
                met ? "met" : "NOT met");
}

} // namespace

int main()
{
    pictavo::keep_large_buffers_in_heap();
    const char* corpus_setting = std::getenv("CORPUS");
    const fs::path corpus = corpus_setting && *corpus_setting ? corpus_setting : "/tmp/corpus";
    if (!fs::is_directory(corpus / "jpg12") || !fs::is_directory(corpus / "jpg")) {
        std::printf("no photo corpus in %s: build it with bench/make-corpus.sh\n", corpus.c_str());
        return 1;
    }
    const int workers = environment_count("PICTAVO_BENCH_WORKERS", pictavo::usable_processor_count());
    const int rounds = environment_count("PICTAVO_BENCH_ROUNDS", 5);
    const int images = environment_count("PICTAVO_BENCH_IMAGES", 0);
    const fs::path scratch = fs::temp_directory_path() / "pictavo-bench-parallel";
    fs::create_directories(scratch);
    const auto large = photos_of(corpus / "jpg12", scratch / "in-12mp", images);
    const auto real = photos_of(corpus / "jpg", scratch / "in-real", images);
    for (const auto& path : large)
        read_file(path); // into the page cache before the first round
    std::printf("%zu 12 MP photos, %zu real photos, N = %d, %d rounds\n", large.size(), real.size(), workers, rounds);
    std::fflush(stdout);

    const fs::path starts_file = scratch / "exiftool-starts";
    const std::string counting_path = counting_tool_path(scratch, starts_file);
    Series floor_1, floor_n, jobs_1, jobs_n, plain, exif, plain_cpu, exif_cpu;
    long peak_rss_kib = 0;
    int most_tool_starts = 0;
    for (int round = 0; round < rounds; ++round) {
        floor_n.add(floor_milliseconds(large, workers, scratch));
        floor_1.add(floor_milliseconds(large, 1, scratch));
        const ProgramRun one = cli_run(scratch / "in-12mp", scratch / "out", 1, false);
        jobs_1.add(one.ok ? one.wall_ms : -1);
        const ProgramRun many = cli_run(scratch / "in-12mp", scratch / "out", workers, false);
        jobs_n.add(many.ok ? many.wall_ms : -1);
        peak_rss_kib = std::max(peak_rss_kib, many.peak_rss_kib);
        const ProgramRun bare = cli_run(scratch / "in-real", scratch / "out", workers, false);
        plain.add(bare.ok ? bare.wall_ms : -1);
        plain_cpu.add(bare.ok ? bare.cpu_ms : -1);
        fs::remove(starts_file);
        const fs::path output = scratch / "out";
        const ProgramRun tagged =
            counting_path.empty() ? ProgramRun{} : cli_run(scratch / "in-real", output, workers, true, counting_path);
        exif.add(tagged.ok ? tagged.wall_ms : -1);
        exif_cpu.add(tagged.ok ? tagged.cpu_ms : -1);
        most_tool_starts = std::max(most_tool_starts, lines_of(starts_file));
    }

    const double large_count = static_cast<double>(large.size());
    const double real_count = static_cast<double>(real.size());
    std::printf("medians, ms per 12 MP photo: floor 1 %.1f, floor N %.1f, jobs 1 %.1f, jobs N %.1f\n",
                floor_1.middle() / large_count, floor_n.middle() / large_count, jobs_1.middle() / large_count,
                jobs_n.middle() / large_count);
    std::printf("medians, ms per real photo at jobs N: plain %.1f, --exif --dates %.1f; "
                "processor time %.1f and %.1f\n",
                plain.middle() / real_count, exif.middle() / real_count, plain_cpu.middle() / real_count,
                exif_cpu.middle() / real_count);
    std::printf("  floor 1 / floor N (how far N processes scale here) %.2f\n", floor_1.middle() / floor_n.middle());
    verdict("jobs N / N-process floor", jobs_n.middle() / floor_n.middle(), 1.10, true);
    verdict("jobs 1 / jobs N", jobs_1.middle() / jobs_n.middle(), 1.8, false);
    verdict("--exif --dates / plain at jobs N (goal 1.5)", exif.middle() / plain.middle(), 1.7, true);
    verdict("exiftool starts in one run", most_tool_starts, workers, true);
    verdict("peak RSS at jobs N, MiB", static_cast<double>(peak_rss_kib) / 1024.0, 120, true);
    return floor_1.ok && floor_n.ok && jobs_1.ok && jobs_n.ok && plain.ok && exif.ok ? 0 : 1;
}
