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
#include <optional>
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

// The service and the metadata tool on the staged output, in their fixed order. Both replace
// the temporary through renames of their own, so its lock is taken again after each; false when
// it could not be (the temporary is no longer this run's to finish).
bool send_and_tag(SharedRun& run, MetadataSession& metadata, const PlannedImage& image, AtomicFile& staged,
                  ImageResult& result)
{
    const std::string working = staged.temporary_path();
    compress_output(run, working, result);
    if (!staged.relock())
        return false;
    // A kept source carries its own tags already.
    if (run.job.metadata_copy == 1 && result.outcome != ImageOutcome::Kept
        && !metadata.copy(metadata_copy_of(image, working, result.shape))) {
        note_failure(result, Failure{FailureReason::MetadataFailed});
        remove_metadata_tool_leftover(working);
    }
    return staged.relock();
}

// One image's output while its steps run: the staged temporary and, under a size limit, the
// prepared image, so that an output the later steps pushed over the limit can be encoded again.
struct OutputWork {
    AtomicFile staged;
    std::optional<PreparedImage> prepared;
    std::int64_t encoded_bytes = -1; // the staged file as the encoder wrote it
};

ImageResult write_output(SharedRun& run, const PlannedImage& image, OutputWork& output, std::int64_t size_limit)
{
    const ImageSettings& settings = run.image_settings;
    if (settings.size_limit <= 0 || settings.resize_mode == RESIZE_UPLOAD_ORIGINALS)
        return write_image_output(settings, image.source_path, image.output_path, output.staged);
    if (!output.prepared) {
        output.prepared.emplace();
        if (ImageResult result = prepare_image(settings, image.source_path, *output.prepared);
            result.outcome != ImageOutcome::Written)
            return result;
    }
    ImageResult result = write_prepared_image(settings, *output.prepared, image.output_path, size_limit, output.staged);
    output.encoded_bytes = file_size(output.staged.temporary_path());
    return result;
}

// The staged output written and sent and tagged; under a size limit, written once more with
// the growth of the later steps taken off the limit when they pushed it over. False when the
// temporary was lost.
bool write_send_and_tag(SharedRun& run, MetadataSession& metadata, const PlannedImage& image, OutputWork& output,
                        ImageResult& result)
{
    const std::int64_t size_limit = run.image_settings.size_limit;
    result = write_output(run, image, output, size_limit);
    if (!has_output(result))
        return true;
    if (!send_and_tag(run, metadata, image, output.staged, result))
        return false;
    const std::int64_t tagged = file_size(output.staged.temporary_path());
    if (!output.prepared || output.encoded_bytes < 0 || tagged <= size_limit)
        return true;
    const std::int64_t room = size_limit - (tagged - output.encoded_bytes);
    if (room <= 0)
        return true;
    output.staged.discard();
    result = write_output(run, image, output, room);
    return !has_output(result) || send_and_tag(run, metadata, image, output.staged, result);
}

// An output of the source's format and size that came out larger than the source gives way to
// the source's own bytes.
bool keep_source_if_smaller(SharedRun& run, const PlannedImage& image, AtomicFile& staged, ImageResult& result)
{
    const OutputShape& shape = result.shape;
    if (!run.job.compression.only_smaller || !shape.source_format || !shape.source_size || result.source_bytes < 0
        || file_size(staged.temporary_path()) <= result.source_bytes)
        return true;
    staged.discard();
    int error = 0;
    if (file_copy_staged(image.source_path, image.output_path, staged, &error) == 0) {
        result = failed_image(write_failure_of(error));
        return false;
    }
    result.outcome = ImageOutcome::Kept;
    result.failure = {};
    result.encoded = {};
    return true;
}

// The dates, the size limit's last word on the final file, and the move into place.
void finish_output(SharedRun& run, const PlannedImage& image, AtomicFile& staged, ImageResult& result)
{
    const std::string working = staged.temporary_path();
    if (run.job.date_copy == 1 && !copy_dates(image.source_path, working))
        note_failure(result, Failure{FailureReason::DatesFailed});
    const std::int64_t bytes = file_size(working);
    if (const std::int64_t limit = run.image_settings.size_limit; limit > 0 && bytes > limit)
        note_failure(result, Failure{FailureReason::OverSizeLimit, 0, CompressionFailure::None, limit});
    result.output_bytes = std::max<std::int64_t>(bytes, -1);
    if (!staged.commit()) {
        result = failed_image(write_failure_of(staged.error()));
        staged.discard();
    }
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
    const std::int64_t source_bytes = file_size(image.source_path);
    OutputWork output;
    const bool staged_kept = write_send_and_tag(run, metadata, image, output, result);
    output.prepared.reset();
    AtomicFile& staged = output.staged;
    result.source_bytes = source_bytes;
    if (has_output(result)) {
        if (!staged_kept) {
            result = failed_image(write_failure_of(staged.error()));
            staged.discard();
        } else if (keep_source_if_smaller(run, image, staged, result)) {
            finish_output(run, image, staged, result);
        }
    }
    result.source_bytes = source_bytes;
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
            result.output_path = image.output_path;
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
        if (result.outcome == ImageOutcome::Kept)
            ++report.kept;
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
        const ImageSettings image_settings = image_settings_of(job);
        const RunPlan plan = plan_selected_run(job.input_folder, job.output_folder, options,
                                               {job.inputs, image_settings.format});
        const int workers = worker_count(options.workers, plan.images.size());
        const int removed = remove_abandoned_temporaries(plan, options);
        events.push(RunStarted{static_cast<std::int64_t>(plan.images.size()), plan.folder_count, workers, removed});
        const int upload_slots = std::min(workers, UPLOAD_SLOTS_MAXIMUM);
        SharedRun run{job, options, image_settings, plan, events, UploadGate(upload_slots),
                      std::vector<ImageResult>(plan.images.size())};
        const int started = run_workers(run, workers);
        report = make_report(plan, run, started);
        report.temporaries_removed = removed;
    } catch (const std::exception&) { // no memory for the plan: the run ends with what it has
    }
    events.push(RunFinished{std::move(report)});
}

} // namespace pictavo
