// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/run_report_json.h"

#include "app/image_formats.h"
#include "app/json_writer.h"
#include "image/image_object.h"
#include "pictavo_version.h"

namespace pictavo {
namespace {

// The format of an output the run wrote or kept; null for a copy and for no output.
const char* format_name(const ImageResult& result)
{
    if (!has_output(result))
        return nullptr;
    for (const OutputFormat format : {OutputFormat::Jpeg, OutputFormat::Png, OutputFormat::Webp, OutputFormat::Avif})
        if (encoder_of(format) == result.shape.encoder)
            return output_format_name(format);
    return nullptr;
}

std::string size_pair(std::int64_t width, std::int64_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

void write_settings(JsonWriter& json, const JobSettings& job, const RunOptions& options, const RunReport& report)
{
    const auto number = [](const std::string& text) { return text_to_integer(text); };
    json.key("settings");
    json.begin_object();
    json.member("mode", resize_mode_name(job.resize_mode));
    json.member("size", number(job.normal_size_text));
    json.member("fill", size_pair(number(job.fill_width_text), number(job.fill_height_text)));
    json.member("uniform", size_pair(number(job.uniform_width_text), number(job.uniform_height_text)));
    json.member("quality", job.jpeg_quality);
    json.member("exif", job.metadata_copy == 1);
    json.member("dates", job.date_copy == 1);
    json.member("tinify", job.tinify_upload == 1);
    json.member("skip_existing", options.skip_existing);
    json.member("update", options.update);
    json.member("optimize", job.compression.optimize);
    json.member("png_palette", job.compression.png_palette);
    json.member("only_smaller", job.compression.only_smaller);
    json.member("format", output_format_name(job.output_format));
    json.member("inputs", input_kinds_text(job.inputs));
    json.member("lossless", job.lossless);
    if (job.compression.size_limit > 0)
        json.member("max_size_bytes", job.compression.size_limit);
    else
        json.null_member("max_size_bytes");
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
    json.member("kept", report.kept);
    json.member("not_processed", images - report.processed);
    json.member("stopped", report.stopped);
    json.member("service_failed", report.service_failed);
    if (report.compression_count >= 0)
        json.member("compressions_this_month", static_cast<std::int64_t>(report.compression_count));
    else
        json.null_member("compressions_this_month");
    json.member("temporary_files_removed", report.temporaries_removed);
    const ByteTotals bytes = byte_totals(report);
    json.member("source_bytes", bytes.source_bytes);
    json.member("output_bytes", bytes.output_bytes);
    json.end_object();
}

// A count, or null for -1 (not known or not applicable).
void optional_count(JsonWriter& json, const char* name, std::int64_t count)
{
    if (count >= 0)
        json.member(name, count);
    else
        json.null_member(name);
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
    optional_count(json, "source_bytes", result.source_bytes);
    optional_count(json, "output_bytes", result.output_bytes);
    // The output's format, and what its encoder chose: its quality on its own scale (1..100;
    // as jpeg_quality too for a JPEG) and the colours of a lossy palette.
    if (const char* format = format_name(result); format != nullptr)
        json.member("format", format);
    else
        json.null_member("format");
    const std::int64_t quality = result.encoded.native_quality > 0 ? result.encoded.native_quality : -1;
    optional_count(json, "quality", quality);
    optional_count(json, "jpeg_quality", result.shape.encoder == IMAGE_CODE_JPEG ? quality : -1);
    optional_count(json, "palette_colours", result.encoded.lossy_palette ? result.encoded.palette_colours : -1);
    json.member("milliseconds", result.milliseconds);
    json.end_object();
}

} // namespace

std::string run_report_json(const JobSettings& job, const RunOptions& options, const RunReport& report)
{
    JsonWriter json;
    json.begin_object();
    json.member("program", "pictavo-cli");
    json.member("version", PICTAVO_VERSION);
    json.member("input_folder", job.input_folder);
    json.member("output_folder", job.output_folder);
    write_shard(json, options.shard);
    write_settings(json, job, options, report);
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
