// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_report.h"

#include "cli/json_writer.h"
#include "pictavo_version.h"

namespace pictavo {
namespace {

const char* result_name(const ImageResult& result)
{
    if (counts_as_failed(result))
        return "failed";
    switch (result.outcome) {
    case ImageOutcome::Written: return "written";
    case ImageOutcome::Skipped: return "skipped";
    case ImageOutcome::Failed: return "failed";
    case ImageOutcome::NotProcessed: break;
    }
    return "not_processed";
}

std::string size_pair(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

void write_settings(JsonWriter& json, const CliOptions& options, const RunReport& report)
{
    json.key("settings");
    json.begin_object();
    json.member("mode", mode_name(options.mode));
    json.member("size", options.size);
    json.member("fill", size_pair(options.fill_width, options.fill_height));
    json.member("uniform", size_pair(options.uniform_width, options.uniform_height));
    json.member("quality", options.quality);
    json.member("exif", options.exif);
    json.member("dates", options.dates);
    json.member("tinify", options.tinify);
    json.member("skip_existing", options.skip_existing);
    json.member("update", options.update);
    json.member("jobs", report.workers);
    json.end_object();
}

// Which share of the tree the run took, for merging the reports of a run's shards.
void write_shard(JsonWriter& json, const std::optional<Shard>& shard)
{
    if (!shard) {
        json.null_member("shard");
        return;
    }
    json.key("shard");
    json.begin_object();
    json.member("index", static_cast<std::int64_t>(shard->index));
    json.member("count", static_cast<std::int64_t>(shard->count));
    json.member("rule", SHARD_RULE);
    json.end_object();
}

void write_totals(JsonWriter& json, const RunReport& report)
{
    const auto images = static_cast<std::int64_t>(report.images.size());
    json.key("totals");
    json.begin_object();
    json.member("images", images);
    json.member("done", report.processed);
    json.member("failed", report.failed);
    json.member("skipped", report.skipped);
    json.member("not_processed", images - report.processed);
    json.member("stopped", report.stopped);
    json.member("service_failed", report.service_failed);
    if (report.compression_count >= 0)
        json.member("compressions_this_month", static_cast<std::int64_t>(report.compression_count));
    else
        json.null_member("compressions_this_month");
    json.member("temporary_files_removed", report.temporaries_removed);
    json.end_object();
}

void write_record(JsonWriter& json, const ImageRecord& record)
{
    const ImageResult& result = record.result;
    const Failure& failure = result.failure;
    json.begin_object();
    json.member("path", record.relative_path);
    json.member("result", result_name(result));
    if (failure.reason != FailureReason::None) {
        json.member("reason", failure_text(failure));
        json.member("code", failure_code(failure.reason));
    } else {
        json.null_member("reason");
        json.null_member("code");
    }
    if (failure.reason == FailureReason::ServiceFailed)
        json.member("service_status", failure.service_status);
    if (result.output_bytes >= 0)
        json.member("output_bytes", result.output_bytes);
    else
        json.null_member("output_bytes");
    json.member("milliseconds", result.milliseconds);
    json.end_object();
}

} // namespace

std::string run_report_json(const CliOptions& options, const JobSettings& job, const RunReport& report)
{
    JsonWriter json;
    json.begin_object();
    json.member("program", "pictavo-cli");
    json.member("version", PICTAVO_VERSION);
    json.member("input_folder", job.input_folder);
    json.member("output_folder", job.output_folder);
    write_shard(json, options.shard);
    write_settings(json, options, report);
    write_totals(json, report);
    json.key("images");
    json.begin_array();
    for (const ImageRecord& record : report.images)
        write_record(json, record);
    json.end_array();
    json.end_object();
    return json.text();
}

} // namespace pictavo
