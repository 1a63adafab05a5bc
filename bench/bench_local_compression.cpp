// SPDX-License-Identifier: GPL-3.0-or-later
// Local compression, whole runs of pictavo-cli on the corpus (bench/make-corpus.sh; CORPUS,
// default /tmp/corpus), --jobs 1, in alternating rounds:
//   jpg/ (real photos) to 1000 px at quality 6: plain, --optimize, --max-size 100K, and
//        --max-size 100K --optimize;
//   png-art/ (artwork PNGs) to 1000 px: plain, --optimize, --png-palette and --max-size 150K.
// For each: the median wall and processor time, the bytes of all outputs, the peak resident
// memory, and time and bytes against the plain run of the same folder; for --max-size also how
// many outputs are over the limit (none should be). PICTAVO_BENCH_ROUNDS sets the rounds (3).
#include "bench/measure.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace bench;

struct Variant {
    const char* folder;  // below the corpus
    const char* name;
    std::vector<std::string> options;
    std::int64_t limit = 0; // the --max-size in bytes, 0 for none
};

struct Figures {
    std::vector<double> wall;
    std::vector<double> cpu;
    long peak_kib = 0;
    std::int64_t bytes = 0;
    int outputs = 0;
    int over_limit = 0;
    bool ok = true;
};

// Sums the outputs of a run (and counts those above limit).
void count_outputs(const fs::path& folder, std::int64_t limit, Figures& figures)
{
    figures.bytes = 0;
    figures.outputs = 0;
    figures.over_limit = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        const auto size = static_cast<std::int64_t>(entry.file_size());
        figures.bytes += size;
        ++figures.outputs;
        figures.over_limit += limit > 0 && size > limit ? 1 : 0;
    }
}

} // namespace

int main()
{
    const std::string corpus = std::getenv("CORPUS") ? std::getenv("CORPUS") : "/tmp/corpus";
    if (!fs::is_directory(corpus + "/jpg") || !fs::is_directory(corpus + "/png-art")) {
        std::printf("bench_local_compression: %s/jpg and %s/png-art are needed (make bench builds them)\n",
                    corpus.c_str(), corpus.c_str());
        return 0;
    }
    const std::vector<Variant> variants = {
        {"jpg", "plain", {}},
        {"jpg", "--optimize", {"--optimize"}},
        {"jpg", "--max-size 100K", {"--max-size", "100K"}, 100 * 1024},
        {"jpg", "--max-size 100K --optimize", {"--max-size", "100K", "--optimize"}, 100 * 1024},
        {"png-art", "plain", {}},
        {"png-art", "--optimize", {"--optimize"}},
        {"png-art", "--png-palette", {"--png-palette"}},
        {"png-art", "--max-size 150K", {"--max-size", "150K"}, 150 * 1024},
    };
    const int rounds = environment_count("PICTAVO_BENCH_ROUNDS", 3);
    const fs::path out = fs::temp_directory_path() / "pictavo-bench-local-compression";
    std::vector<Figures> figures(variants.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < variants.size(); ++i) {
            const Variant& variant = variants[i];
            fs::remove_all(out);
            fs::create_directories(out);
            std::vector<std::string> argv = {PICTAVO_CLI_PATH, "--jobs", "1", "--quiet", "--size", "1000"};
            argv.insert(argv.end(), variant.options.begin(), variant.options.end());
            argv.push_back(corpus + "/" + variant.folder);
            argv.push_back(out.string());
            const ProgramRun run = run_program_measured(argv);
            Figures& f = figures[i];
            // A run whose outputs missed the limit exits 1; the count below says how many.
            f.ok = f.ok && (run.ok || variant.limit > 0);
            f.wall.push_back(run.wall_ms);
            f.cpu.push_back(run.cpu_ms);
            f.peak_kib = std::max(f.peak_kib, run.peak_rss_kib);
            count_outputs(out, variant.limit, f);
        }
    }
    fs::remove_all(out);

    std::printf("%-9s %-28s %9s %9s %11s %8s %8s %9s %5s\n", "corpus", "run", "wall ms", "cpu ms", "bytes",
                "time x", "bytes x", "peak MiB", "over");
    std::size_t plain = 0;
    for (std::size_t i = 0; i < variants.size(); ++i) {
        if (std::string(variants[i].name) == "plain")
            plain = i;
        const Figures& f = figures[i];
        const Figures& base = figures[plain];
        std::printf("%-9s %-28s %9.0f %9.0f %11lld %8.2f %8.3f %9.1f %5d%s\n", variants[i].folder, variants[i].name,
                    median(f.wall), median(f.cpu), static_cast<long long>(f.bytes),
                    median(f.cpu) / median(base.cpu), static_cast<double>(f.bytes) / static_cast<double>(base.bytes),
                    static_cast<double>(f.peak_kib) / 1024.0, f.over_limit, f.ok ? "" : "  (a run failed)");
    }
    return 0;
}
