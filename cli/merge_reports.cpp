// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/merge_reports.h"

#include "app/shard.h"
#include "cli/cli_main.h"
#include "cli/json_reader.h"
#include "app/json_writer.h"
#include "pictavo_version.h"
#include "sys/atomic_file.h"
#include "sys/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

namespace pictavo {
namespace {

constexpr const char* MERGE_USAGE = "pictavo-cli merge-reports OUT.json REPORT.json...";

// Settings that may differ between the shards of one run: the workers of each machine, and how
// a shard run again for its failures treated the outputs that were there.
constexpr std::string_view SETTINGS_PER_SHARD[] = {"jobs", "skip_existing", "update"};

// The service counts the compressions of the key's month across every shard, so the merged
// figure is the highest one seen, not a sum.
constexpr std::string_view MONTHLY_COUNT = "compressions_this_month";

// One image's record as a report holds it.
struct ImageEntry {
    std::string path;
    std::string reason;        // "" when the record has none
    std::string code;          // "" when the record has none
    std::string_view record;   // the record's JSON text
    std::size_t report = 0;    // which report it came from
    bool failed = false;
    bool not_processed = false;
};

struct ShardReport {
    std::string name;
    Shard shard;
    std::string_view input_folder;  // JSON text
    std::string_view output_folder; // JSON text
    std::string_view settings;      // JSON text
    std::vector<std::pair<std::string, std::string_view>> compared_settings;
    std::vector<std::pair<std::string, JsonValue>> totals;
};

// A failure of the command: what to print, and the exit status.
struct Refusal {
    std::string message;
    int status = EXIT_USAGE;
};

std::optional<Refusal> read_document(const std::string& name, std::string& text)
{
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return Refusal{name + ": " + std::strerror(errno)};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::size_t>(size) > REPORT_BYTES_MAXIMUM)
        return Refusal{name + ": not a report of pictavo-cli (larger than " +
                       std::to_string(REPORT_BYTES_MAXIMUM >> 20) + " MiB)"};
    in.seekg(0);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof())
        return Refusal{name + ": could not be read"};
    return std::nullopt;
}

const JsonValue* member_of(const JsonValue& object, std::string_view name, JsonValue::Kind kind)
{
    const JsonValue* found = object.find(name);
    return found != nullptr && found->is(kind) ? found : nullptr;
}

// The shard a report names; an unsharded run is shard 0 of 1.
std::optional<Shard> shard_of_report(const JsonValue& document)
{
    const JsonValue* shard = document.find("shard");
    if (shard == nullptr)
        return std::nullopt;
    if (shard->is(JsonValue::Kind::Null))
        return Shard{0, 1};
    const JsonValue* index = member_of(*shard, "index", JsonValue::Kind::Integer);
    const JsonValue* count = member_of(*shard, "count", JsonValue::Kind::Integer);
    const JsonValue* rule = member_of(*shard, "rule", JsonValue::Kind::String);
    if (index == nullptr || count == nullptr || rule == nullptr || rule->text != SHARD_RULE || count->integer < 1
        || count->integer > SHARD_COUNT_MAXIMUM || index->integer < 0 || index->integer >= count->integer)
        return std::nullopt;
    return Shard{static_cast<std::uint32_t>(index->integer), static_cast<std::uint32_t>(count->integer)};
}

std::optional<ImageEntry> image_entry(const JsonValue& record, std::size_t report)
{
    const JsonValue* path = member_of(record, "path", JsonValue::Kind::String);
    const JsonValue* result = member_of(record, "result", JsonValue::Kind::String);
    if (path == nullptr || result == nullptr)
        return std::nullopt;
    ImageEntry entry;
    entry.path = path->text;
    if (const JsonValue* reason = member_of(record, "reason", JsonValue::Kind::String))
        entry.reason = reason->text;
    if (const JsonValue* code = member_of(record, "code", JsonValue::Kind::String))
        entry.code = code->text;
    entry.record = record.source;
    entry.report = report;
    entry.failed = result->text == "failed";
    entry.not_processed = result->text == "not_processed";
    return entry;
}

// Takes one report apart; its images go to images.
std::optional<Refusal> take_report(const std::string& name, std::string_view text, std::size_t number,
                                   ShardReport& report, std::vector<ImageEntry>& images)
{
    const Refusal foreign{name + ": not a report of pictavo-cli"};
    const std::optional<JsonValue> document = read_json(text);
    if (!document)
        return foreign;
    const JsonValue* program = member_of(*document, "program", JsonValue::Kind::String);
    const JsonValue* settings = member_of(*document, "settings", JsonValue::Kind::Object);
    const JsonValue* totals = member_of(*document, "totals", JsonValue::Kind::Object);
    const JsonValue* records = member_of(*document, "images", JsonValue::Kind::Array);
    const JsonValue* input = document->find("input_folder");
    const JsonValue* output = document->find("output_folder");
    if (program == nullptr || program->text != "pictavo-cli" || settings == nullptr || totals == nullptr
        || records == nullptr || input == nullptr || output == nullptr)
        return foreign;
    const std::optional<Shard> shard = shard_of_report(*document);
    if (!shard)
        return Refusal{name + ": its shard is not one of \"" + std::string(SHARD_RULE) + "\""};
    report.name = name;
    report.shard = *shard;
    report.input_folder = input->source;
    report.output_folder = output->source;
    report.settings = settings->source;
    for (const auto& [key, value] : settings->members)
        if (std::find(std::begin(SETTINGS_PER_SHARD), std::end(SETTINGS_PER_SHARD), key) == std::end(SETTINGS_PER_SHARD))
            report.compared_settings.emplace_back(key, value.source);
    for (const auto& [key, value] : totals->members) {
        JsonValue total = value;
        total.source = {};
        report.totals.emplace_back(key, std::move(total));
    }
    for (const JsonValue& record : records->items) {
        std::optional<ImageEntry> entry = image_entry(record, number);
        if (!entry)
            return foreign;
        images.push_back(std::move(*entry));
    }
    return std::nullopt;
}

std::string numbers_list(const std::vector<std::uint32_t>& numbers)
{
    constexpr std::size_t shown = 20;
    std::string text;
    for (std::size_t i = 0; i < std::min(numbers.size(), shown); ++i)
        text += (i > 0 ? ", " : "") + std::to_string(numbers[i]);
    if (numbers.size() > shown)
        text += " and " + std::to_string(numbers.size() - shown) + " more";
    return text;
}

// One report for each shard 0..N-1 of one N, all made with the same settings.
std::optional<Refusal> check_set(const std::vector<ShardReport>& reports)
{
    const ShardReport& first = reports.front();
    std::vector<const ShardReport*> by_index(first.shard.count, nullptr);
    for (const ShardReport& report : reports) {
        if (report.shard.count != first.shard.count)
            return Refusal{"the reports are not of one run: " + first.name + " is of " + std::to_string(first.shard.count)
                           + " shards, " + report.name + " of " + std::to_string(report.shard.count)};
        if (const ShardReport* earlier = by_index[report.shard.index])
            return Refusal{earlier->name + " and " + report.name + " are both " + "the report of shard "
                           + std::to_string(report.shard.index) + " of " + std::to_string(report.shard.count)};
        by_index[report.shard.index] = &report;
        if (report.compared_settings != first.compared_settings)
            return Refusal{"the reports are not of one run: " + first.name + " and " + report.name
                           + " were made with different settings"};
    }
    std::vector<std::uint32_t> missing;
    for (std::uint32_t index = 0; index < first.shard.count; ++index)
        if (by_index[index] == nullptr)
            missing.push_back(index);
    if (!missing.empty())
        return Refusal{"the set is not complete: the report of shard " + numbers_list(missing) + " of "
                       + std::to_string(first.shard.count) + " is missing"};
    return std::nullopt;
}

std::optional<Refusal> add_total(std::pair<std::string, JsonValue>& sum, const JsonValue& value, const std::string& name)
{
    JsonValue& total = sum.second;
    using Kind = JsonValue::Kind;
    if (value.is(Kind::Null))
        return std::nullopt;
    if (total.is(Kind::Null)) {
        total = value;
    } else if (total.kind != value.kind) {
        return Refusal{name + ": its total " + sum.first + " is not of the kind the other reports have"};
    } else if (total.is(Kind::Boolean)) {
        total.boolean = total.boolean || value.boolean;
    } else if (total.is(Kind::Integer) && sum.first == MONTHLY_COUNT) {
        total.integer = std::max(total.integer, value.integer);
    } else if (total.is(Kind::Integer)) {
        if (__builtin_add_overflow(total.integer, value.integer, &total.integer))
            return Refusal{name + ": its total " + sum.first + " is out of range"};
    }
    return std::nullopt;
}

std::optional<Refusal> sum_totals(const std::vector<ShardReport>& reports,
                                  std::vector<std::pair<std::string, JsonValue>>& sums)
{
    for (const ShardReport& report : reports) {
        for (const auto& [key, value] : report.totals) {
            auto sum = std::find_if(sums.begin(), sums.end(), [&key = key](const auto& entry) { return entry.first == key; });
            if (sum == sums.end()) {
                sums.emplace_back(key, JsonValue{});
                sum = sums.end() - 1;
            }
            if (auto refusal = add_total(*sum, value, report.name))
                return refusal;
        }
    }
    return std::nullopt;
}

// Images in path order (bytes), each once.
std::optional<Refusal> sort_images(std::vector<ImageEntry>& images, const std::vector<ShardReport>& reports)
{
    std::sort(images.begin(), images.end(), [](const ImageEntry& a, const ImageEntry& b) { return a.path < b.path; });
    const auto twice = std::adjacent_find(images.begin(), images.end(),
                                          [](const ImageEntry& a, const ImageEntry& b) { return a.path == b.path; });
    if (twice == images.end())
        return std::nullopt;
    const std::string& first = reports[twice->report].name;
    const std::string& second = reports[std::next(twice)->report].name;
    return Refusal{"the reports are not of one run: " + twice->path + " is in " +
                   (first == second ? first + " twice" : "both " + first + " and " + second)};
}

void write_total(JsonWriter& json, const std::string& name, const JsonValue& value)
{
    switch (value.kind) {
    case JsonValue::Kind::Integer: json.member(name, value.integer); break;
    case JsonValue::Kind::Boolean: json.member(name, value.boolean); break;
    case JsonValue::Kind::String: json.member(name, value.text); break;
    default: json.null_member(name); break;
    }
}

std::string merged_json(const std::vector<ShardReport>& reports, const std::vector<ImageEntry>& images,
                        const std::vector<std::pair<std::string, JsonValue>>& totals)
{
    const ShardReport& first = reports.front();
    JsonWriter json;
    json.begin_object();
    json.member("program", "pictavo-cli");
    json.member("version", PICTAVO_VERSION);
    json.key("merged_reports");
    json.begin_array();
    for (const ShardReport& report : reports)
        json.value(report.name);
    json.end_array();
    json.null_member("shard");
    json.key("shards");
    json.begin_object();
    json.member("count", static_cast<std::int64_t>(first.shard.count));
    json.member("rule", SHARD_RULE);
    json.end_object();
    json.key("input_folder");
    json.json_value(first.input_folder);
    json.key("output_folder");
    json.json_value(first.output_folder);
    json.key("settings");
    json.json_value(first.settings);
    json.key("totals");
    json.begin_object();
    for (const auto& [name, value] : totals)
        write_total(json, name, value);
    json.end_object();
    json.key("failures");
    json.begin_array();
    for (const ImageEntry& image : images) {
        if (!image.failed)
            continue;
        json.begin_object();
        json.member("path", image.path);
        json.member("reason", image.reason);
        json.member("code", image.code);
        json.end_object();
    }
    json.end_array();
    json.key("images");
    json.begin_array();
    for (const ImageEntry& image : images)
        json.json_value(image.record);
    json.end_array();
    json.end_object();
    return json.text();
}

bool same_file(const std::string& a, const std::string& b)
{
    const auto identity = file_identity(a);
    return a == b || (identity && identity == file_identity(b));
}

// Reads, checks and merges; the merged report's text.
std::optional<Refusal> merge(const std::string& out, const std::vector<std::string>& names, std::string& merged,
                             std::vector<ImageEntry>& images, bool& service_failed)
{
    for (const std::string& name : names)
        if (same_file(out, name))
            return Refusal{out + " is one of the reports to merge; the merged report needs a name of its own"};
    // Sized once: the views of every report point into these texts.
    std::vector<std::string> documents(names.size());
    std::vector<ShardReport> reports(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (auto refusal = read_document(names[i], documents[i]))
            return refusal;
        if (auto refusal = take_report(names[i], documents[i], i, reports[i], images))
            return refusal;
    }
    std::vector<std::pair<std::string, JsonValue>> totals;
    if (auto refusal = check_set(reports))
        return refusal;
    if (auto refusal = sum_totals(reports, totals))
        return refusal;
    for (const auto& [name, value] : totals)
        service_failed = service_failed || (name == "service_failed" && value.is(JsonValue::Kind::Boolean) && value.boolean);
    if (auto refusal = sort_images(images, reports))
        return refusal;
    std::vector<ShardReport> in_shard_order = reports;
    std::sort(in_shard_order.begin(), in_shard_order.end(),
              [](const ShardReport& a, const ShardReport& b) { return a.shard.index < b.shard.index; });
    merged = merged_json(in_shard_order, images, totals);
    return std::nullopt;
}

} // namespace

int merge_reports_main(const std::vector<std::string>& arguments, const CliStreams& streams)
{
    if (!arguments.empty() && (arguments.front() == "--help" || arguments.front() == "-h")) {
        std::fprintf(streams.out, "Usage: %s\n", MERGE_USAGE);
        return EXIT_ALL_DONE;
    }
    if (arguments.size() < 2) {
        std::fprintf(streams.err,
                     "pictavo-cli: merge-reports needs the merged report's name and the reports to merge\n"
                     "Usage: %s\n",
                     MERGE_USAGE);
        return EXIT_USAGE;
    }
    const std::string& out = arguments.front();
    std::string merged;
    std::vector<ImageEntry> images;
    bool service_failed = false;
    if (const auto refusal = merge(out, {arguments.begin() + 1, arguments.end()}, merged, images, service_failed)) {
        std::fprintf(streams.err, "pictavo-cli: merge-reports: %s\n", refusal->message.c_str());
        return refusal->status;
    }
    if (const int error = write_whole_file(out, merged); error != 0) {
        std::fprintf(streams.err, "pictavo-cli: merge-reports: %s could not be written: %s\n", out.c_str(),
                     std::strerror(error));
        return EXIT_SOME_FAILED;
    }
    std::int64_t failed = 0;
    std::int64_t not_processed = 0;
    for (const ImageEntry& image : images) {
        if (image.failed) {
            ++failed;
            std::fprintf(streams.err, "pictavo-cli: %s: %s\n", image.path.c_str(), image.reason.c_str());
        }
        not_processed += image.not_processed ? 1 : 0;
    }
    std::fprintf(streams.out, "Merged %zu reports: %zu images, %lld failed, %lld not processed.\n",
                 arguments.size() - 1, images.size(), static_cast<long long>(failed),
                 static_cast<long long>(not_processed));
    if (service_failed)
        std::fprintf(streams.out, "The compression service failed in at least one shard.\n");
    return failed > 0 || not_processed > 0 || service_failed ? EXIT_SOME_FAILED : EXIT_ALL_DONE;
}

} // namespace pictavo
