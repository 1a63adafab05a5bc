// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_engine.h"

#include "app/compression_client.h"
#include "app/image_task.h"
#include "app/run_plan.h"
#include "app/run_selection.h"
#include "app/upload_gate.h"
#include "sys/atomic_file.h"
#include "sys/file_dates.h"
#include "sys/files.h"
#include "sys/processors.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>
#include <vector>

namespace pictavo {
namespace {

// What the workers of one run share. Everything is read-only during the run except the atomics,
// the gate (locked inside) and results, whose slot i only the worker that took image i writes.
struct SharedRun {
    const JobSettings& job;
    const RunOptions& options;
    const ImageSettings image_settings;
    const RunPlan& plan;
    RunEventQueue& events;
    UploadGate uploads;
    std::vector<ImageResult> results;
    std::atomic<std::size_t> next_image{0};
    std::atomic<int> tool_starts{0};
    std::atomic<long long> compression_count{-1};

    bool stop_requested() const { return options.stop != nullptr && options.stop->load(); }
};

// A later step's failure is kept when it is the image's first.
void note_failure(ImageResult& result, const Failure& failure)
{
    if (result.failure.reason == FailureReason::None)
        result.failure = failure;
}

// Sends the output to the service while no exchange of the run has failed; the output is
// replaced by the compressed download on success and left as written otherwise.
void compress_output(SharedRun& run, const std::string& output_path, ImageResult& result)
{
    if (run.job.tinify_upload != 1 || !run.uploads.enter())
        return;
    CompressionRequest request;
    request.upload_path = output_path;
    request.result_path = output_path;
    request.api_key = run.job.api_key;
    request.shrink_endpoint = run.options.shrink_endpoint;
    const CompressionResult exchange = compress_file(request);
    run.uploads.leave(!exchange.ok());
    long long seen = run.compression_count.load();
    while (exchange.compression_count > seen
           && !run.compression_count.compare_exchange_weak(seen, exchange.compression_count)) {
    }
    if (!exchange.ok())
        note_failure(result, Failure{FailureReason::ServiceFailed, exchange.http_status, exchange.failure});
}

// All three dates are read before the first is set. A date that could not be read (0) is not
// set, so a missing birth time never stamps 1970 on the output. This host cannot set a birth
// time, so only the other two can fail.
bool copy_dates(const std::string& source_path, const std::string& output_path)
{
    const int kinds[] = {FILE_DATE_CREATED, FILE_DATE_ACCESSED, FILE_DATE_MODIFIED};
    DateValue dates[3];
    for (int i = 0; i < 3; ++i)
        dates[i] = file_date_get(source_path, kinds[i]);
    bool copied = true;
    for (int i = 0; i < 3; ++i)
        if (dates[i] > 0 && file_date_set(output_path, kinds[i], dates[i]) == 0 && kinds[i] != FILE_DATE_CREATED)
            copied = false;
    return copied;
}

MetadataCopy metadata_copy_of(const PlannedImage& image, const std::string& tagged_path, const OutputShape& shape)
{
    MetadataCopy copy;
    copy.source_path = image.source_path;
    copy.output_path = tagged_path;
    copy.shape = shape;
    return copy;
}

// The later steps on the staged output, in their fixed order. The service and the tool replace
// the temporary through renames of their own, so its lock is taken again after each; false
// when it could not be (the temporary is no longer this run's to finish).
bool finish_staged_output(SharedRun& run, MetadataSession& metadata, const PlannedImage& image, AtomicFile& staged,
                          ImageResult& result)
{
    const std::string working = staged.temporary_path();
    compress_output(run, working, result);
    if (!staged.relock())
        return false;
    if (run.job.metadata_copy == 1 && !metadata.copy(metadata_copy_of(image, working, result.shape))) {
        note_failure(result, Failure{FailureReason::MetadataFailed});
        remove_metadata_tool_leftover(working);
    }
    if (!staged.relock())
        return false;
    if (run.job.date_copy == 1 && !copy_dates(image.source_path, working))
        note_failure(result, Failure{FailureReason::DatesFailed});
    result.output_bytes = std::max<std::int64_t>(file_size(working), -1);
    return true;
}

// One image through all its steps. The output is written to a locked temporary beside it and
// sent, tagged and dated there; only then is it put in place, so an output under its name is
// always complete: a run killed between the steps leaves a temporary that the next run sweeps,
// not an output that a --skip-existing run would keep without its compression, tags or dates.
// An earlier file of the output's name is never given this source's compression, tags or dates.
ImageResult process_image(SharedRun& run, MetadataSession& metadata, const PlannedImage& image)
{
    if (image.refused != FailureReason::None)
        return failed_image(image.refused);
    const auto start = std::chrono::steady_clock::now();
    ImageResult result;
    if (const std::int64_t existing = existing_output_to_leave(run.options, image.source_path, image.output_path);
        existing >= 0) {
        result.outcome = ImageOutcome::Skipped;
        result.output_bytes = existing;
        return result;
    }
    AtomicFile staged;
    result = write_image_output(run.image_settings, image.source_path, image.output_path, staged);
    if (result.outcome == ImageOutcome::Written) {
        if (!finish_staged_output(run, metadata, image, staged, result) || !staged.commit()) {
            result = failed_image(write_failure_of(staged.error()));
            staged.discard();
        }
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    result.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return result;
}

void work(SharedRun& run)
{
    MetadataSession metadata(run.job.exiftool_path, run.options.metadata_time_limit);
    const std::size_t count = run.plan.images.size();
    while (!run.stop_requested()) {
        const std::size_t index = run.next_image.fetch_add(1);
        if (index >= count)
            break;
        const PlannedImage& image = run.plan.images[index];
        ImageResult& result = run.results[index];
        try {
            result = process_image(run, metadata, image);
        } catch (const std::exception&) { // no memory for the engine's own texts and lists
            result = failed_image(FailureReason::OutOfMemory);
        }
        try {
            run.events.push(ImageFinished{index, 0, image.source_path, image.relative_path, result});
        } catch (const std::exception&) { // the front end misses one step of progress; the report has it
        }
    }
    metadata.close();
    run.tool_starts += metadata.starts();
}

// The calling thread is one of the workers; when the system gives fewer threads than asked
// for, the run goes on with those it got.
int run_workers(SharedRun& run, int workers)
{
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(static_cast<std::size_t>(workers - 1));
        for (int i = 1; i < workers; ++i)
            helpers.emplace_back([&run] { work(run); });
    } catch (const std::exception&) {
    }
    work(run);
    for (std::thread& helper : helpers)
        helper.join();
    return static_cast<int>(helpers.size()) + 1;
}

RunReport make_report(const RunPlan& plan, SharedRun& run, int workers)
{
    RunReport report;
    report.outcome = RunOutcome::Finished;
    report.folder_count = plan.folder_count;
    report.workers = workers;
    report.images.reserve(plan.images.size());
    for (std::size_t i = 0; i < plan.images.size(); ++i) {
        const ImageResult& result = run.results[i];
        report.images.push_back({plan.images[i].relative_path, result});
        if (result.outcome == ImageOutcome::NotProcessed) {
            report.stopped = true;
            continue;
        }
        ++report.processed;
        if (result.outcome == ImageOutcome::Skipped)
            ++report.skipped;
        if (counts_as_failed(result))
            ++report.failed;
    }
    report.service_failed = run.uploads.failed();
    report.metadata_tool_starts = run.tool_starts.load();
    report.compression_count = run.compression_count.load();
    return report;
}

} // namespace

int worker_count(int requested, std::size_t images)
{
    const int wanted = requested > 0 ? requested : usable_processor_count();
    const auto most = static_cast<int>(std::min<std::size_t>(std::max<std::size_t>(images, 1), WORKERS_MAXIMUM));
    return std::clamp(wanted, 1, most);
}

void execute_run(const JobSettings& job, const RunOptions& options, RunEventQueue& events)
{
    RunReport report;
    report.outcome = RunOutcome::Finished;
    try {
        const RunPlan plan = plan_selected_run(job.input_folder, job.output_folder, options);
        const int workers = worker_count(options.workers, plan.images.size());
        const int removed = remove_abandoned_temporaries(plan, options);
        events.push(RunStarted{static_cast<std::int64_t>(plan.images.size()), plan.folder_count, workers, removed});
        const int upload_slots = std::min(workers, UPLOAD_SLOTS_MAXIMUM);
        SharedRun run{job, options, image_settings_of(job), plan, events, UploadGate(upload_slots),
                      std::vector<ImageResult>(plan.images.size())};
        const int started = run_workers(run, workers);
        report = make_report(plan, run, started);
        report.temporaries_removed = removed;
    } catch (const std::exception&) { // no memory for the plan: the run ends with what it has
    }
    events.push(RunFinished{std::move(report)});
}

} // namespace pictavo
