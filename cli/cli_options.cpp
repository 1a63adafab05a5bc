// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include "app/byte_sizes.h"
#include "app/folder_scan.h"
#include "cli/shard_option.h"

#include <optional>

namespace pictavo {

namespace {

// Plain decimal digits only, so that "8e3", "-5" or "12px" are refused rather than guessed.
std::optional<long> whole_number(const std::string& text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Options that make no sense together; "" when none.
std::string conflicting_options(const CliOptions& options)
{
    if (options.skip_existing && options.update)
        return "--update and --skip-existing cannot be used together: --update keeps what is up to date, "
               "--skip-existing keeps every output that exists";
    if (options.shard_count && !options.shard_auto)
        return "--shard-count goes with --shard auto (with --shard K/N the count is N)";
    if (options.null_separated && options.files_from.empty())
        return "--null goes with --files-from";
    if (options.mode == RESIZE_UPLOAD_ORIGINALS && options.compression != CompressionSettings{})
        return "--mode upload copies the files unchanged, so --optimize, --png-palette, --only-smaller "
               "and --max-size do not apply to it";
    if (options.mode == RESIZE_UPLOAD_ORIGINALS && options.format != OutputFormat::Same)
        return "--mode upload copies the files unchanged, in their own format; --format does not apply to it";
    if (options.lossless && options.format != OutputFormat::Webp)
        return "--lossless writes PNG sources as lossless WebP files; it needs --format webp";
    return {};
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    CliParse parse();

private:
    bool option(const std::string& argument);
    bool value_of(const std::string& name, std::string& value);
    bool number_in_range(const std::string& name, const std::string& text, std::int64_t minimum,
                         std::int64_t maximum, int& out);
    bool size_pair(const std::string& name, const std::string& text, int& width, int& height);
    bool fail(const std::string& message)
    {
        if (error_.empty())
            error_ = message;
        return false;
    }

    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
    std::optional<std::string> inline_value_;
    CliOptions options_;
    std::vector<std::string> folders_;
    bool help_ = false;
    bool version_ = false;
    std::string error_;
};

CliParse Parser::parse()
{
    bool options_ended = false;
    while (next_ < arguments_.size()) {
        const std::string argument = arguments_[next_++];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && argument.size() > 1 && argument[0] == '-') {
            if (!option(argument))
                break;
        } else {
            folders_.push_back(argument);
        }
    }
    CliParse result;
    result.options = options_;
    if (help_) {
        result.action = CliAction::Help;
    } else if (version_) {
        result.action = CliAction::Version;
    } else if (!error_.empty()) {
        result.error = error_;
    } else if (folders_.size() != 2) {
        result.error = folders_.size() < 2 ? "an input folder and an output folder are needed"
                                           : "too many arguments: only an input and an output folder are taken";
    } else if (options_.mode == RESIZE_UPLOAD_ORIGINALS && !options_.tinify) {
        result.error = "--mode upload only copies files for the compression service; it needs --tinify";
    } else if (const std::string conflict = conflicting_options(options_); !conflict.empty()) {
        result.error = conflict;
    } else {
        result.action = CliAction::Run;
        result.options.input_folder = folders_[0];
        result.options.output_folder = folders_[1];
    }
    return result;
}

bool Parser::option(const std::string& argument)
{
    std::string name = argument;
    inline_value_.reset();
    if (const auto equals = argument.find('='); equals != std::string::npos && argument.rfind("--", 0) == 0) {
        name = argument.substr(0, equals);
        inline_value_ = argument.substr(equals + 1);
    }
    const bool takes_value = name == "--mode" || name == "--size" || name == "--fill" ||
                             name == "--uniform" || name == "--quality" || name == "--key" ||
                             name == "--service-url" || name == "--jobs" || name == "--report" ||
                             name == "--max-size" || name == "--progress" || name == "--shard" ||
                             name == "--shard-count" || name == "--files-from" || name == "--format" ||
                             name == "--inputs";
    if (inline_value_ && !takes_value)
        return fail(name + " takes no value");

    std::string value;
    if (takes_value && !value_of(name, value))
        return false;

    if (name == "--help" || name == "-h") {
        help_ = true;
    } else if (name == "--version") {
        version_ = true;
    } else if (name == "--exif") {
        options_.exif = true;
    } else if (name == "--dates") {
        options_.dates = true;
    } else if (name == "--keep-orientation") {
        options_.keep_orientation = true;
    } else if (name == "--tinify") {
        options_.tinify = true;
    } else if (name == "--yes" || name == "-y") {
        options_.yes = true;
    } else if (name == "--quiet" || name == "-q") {
        options_.quiet = true;
    } else if (name == "--skip-existing") {
        options_.skip_existing = true;
    } else if (name == "--progress") {
        if (value != "bar" && value != "lines" && value != "none")
            return fail("unknown --progress '" + value + "': use bar, lines or none");
        options_.progress = value;
    } else if (name == "--optimize") {
        options_.compression.optimize = true;
    } else if (name == "--png-palette") {
        options_.compression.png_palette = true;
    } else if (name == "--only-smaller") {
        options_.compression.only_smaller = true;
    } else if (name == "--lossless") {
        options_.lossless = true;
    } else if (name == "--format") {
        const std::optional<OutputFormat> format = output_format_named(value);
        if (!format)
            return fail("unknown --format '" + value + "': use same, jpeg, png, webp or avif");
        options_.format = *format;
    } else if (name == "--inputs") {
        const std::optional<InputKinds> kinds = input_kinds_named(value);
        if (!kinds)
            return fail("--inputs takes kinds of files joined by commas, from jpeg, png, webp and avif "
                        "(for example jpeg,png,webp,avif), not '" + value + "'");
        options_.inputs = *kinds;
    } else if (name == "--max-size") {
        const std::optional<std::int64_t> bytes = parse_byte_size(value);
        if (!bytes || *bytes < SIZE_LIMIT_MINIMUM || *bytes > SIZE_LIMIT_MAXIMUM)
            return fail("--max-size takes a size from 1K to 256M: whole digits, then K (1024 bytes) or "
                        "M (1024K) or nothing for bytes, for example 200K; not '" + value + "'");
        options_.compression.size_limit = *bytes;
        options_.max_size_text = value;
    } else if (name == "--update") {
        options_.update = true;
    } else if (name == "--null" || name == "-0") {
        options_.null_separated = true;
    } else if (name == "--files-from") {
        if (value.empty())
            return fail("--files-from needs a file (or - for standard input)");
        options_.files_from = value;
    } else if (name == "--shard") {
        options_.shard_auto = value == "auto";
        options_.shard.reset();
        if (options_.shard_auto)
            return true;
        const ShardChoice choice = parse_shard(value);
        if (!choice.shard)
            return fail(choice.error);
        options_.shard = choice.shard;
    } else if (name == "--shard-count") {
        options_.shard_count = parse_shard_count(value);
        if (!options_.shard_count)
            return fail("--shard-count must be a whole number from 1 to " + std::to_string(SHARD_COUNT_MAXIMUM) +
                        ", not '" + value + "'");
    } else if (name == "--report") {
        // Every input and output of a run has an image's name, so a report never takes one's place.
        if (value.empty() || value.back() == '/' || format_of_file_name(value) != OutputFormat::Same)
            return fail("--report needs a file name that is not an image's (for example run.json), not '" +
                        value + "'");
        options_.report_path = value;
    } else if (name == "--mode") {
        for (const ResizeModeName& known : RESIZE_MODE_NAMES)
            if (value == known.name) {
                options_.mode = known.mode;
                return true;
            }
        return fail("unknown --mode '" + value + "': use keep, normal, fill, uniform or upload");
    } else if (name == "--size") {
        return number_in_range(name, value, SIZE_MINIMUM, SIZE_MAXIMUM, options_.size);
    } else if (name == "--fill") {
        return size_pair(name, value, options_.fill_width, options_.fill_height);
    } else if (name == "--uniform") {
        return size_pair(name, value, options_.uniform_width, options_.uniform_height);
    } else if (name == "--quality") {
        return number_in_range(name, value, QUALITY_MINIMUM, QUALITY_MAXIMUM, options_.quality);
    } else if (name == "--jobs") {
        return number_in_range(name, value, 1, WORKERS_MAXIMUM, options_.jobs);
    } else if (name == "--key") {
        if (utf16_length(value) != API_KEY_LENGTH)
            return fail("--key must be exactly 32 characters long");
        options_.key = value;
        options_.key_given = true;
    } else if (name == "--service-url") {
        if (value.empty())
            return fail("--service-url needs an address");
        options_.service_url = value;
    } else {
        return fail("unknown option " + name);
    }
    return true;
}

bool Parser::value_of(const std::string& name, std::string& value)
{
    if (inline_value_) {
        value = *inline_value_;
        return true;
    }
    if (next_ >= arguments_.size())
        return fail(name + " needs a value");
    value = arguments_[next_++];
    return true;
}

bool Parser::number_in_range(const std::string& name, const std::string& text, std::int64_t minimum,
                             std::int64_t maximum, int& out)
{
    const std::optional<long> value = whole_number(text);
    if (!value || *value < minimum || *value > maximum)
        return fail(name + " must be a whole number from " + std::to_string(minimum) + " to " +
                    std::to_string(maximum) + ", not '" + text + "'");
    out = static_cast<int>(*value);
    return true;
}

bool Parser::size_pair(const std::string& name, const std::string& text, int& width, int& height)
{
    const auto cross = text.find_first_of("xX");
    if (cross == std::string::npos)
        return fail(name + " takes WIDTHxHEIGHT, for example 1000x667, not '" + text + "'");
    int new_width = 0;
    int new_height = 0;
    if (!number_in_range(name + " width", text.substr(0, cross), SIZE_MINIMUM, SIZE_MAXIMUM, new_width) ||
        !number_in_range(name + " height", text.substr(cross + 1), SIZE_MINIMUM, SIZE_MAXIMUM, new_height))
        return false;
    width = new_width;
    height = new_height;
    return true;
}

} // namespace

CliParse parse_cli_arguments(const std::vector<std::string>& arguments)
{
    return Parser(arguments).parse();
}

std::string cli_help_text()
{
    return R"(Usage: pictavo-cli [options] INPUT_FOLDER OUTPUT_FOLDER
       pictavo-cli merge-reports OUT.json REPORT.json...

Processes every .jpg, .jpeg and .png file (any case) in INPUT_FOLDER and all of its
sub-folders (--inputs adds .webp and .avif files), and writes each result with the same name
and the same relative path into OUTPUT_FOLDER, whose sub-folders are created first. Folders
whose names begin with a dot are skipped with everything in them. JPEG files stay JPEG and
PNG files stay PNG unless --format says otherwise. Files of the same name already in
OUTPUT_FOLDER are replaced (kept with --skip-existing); both folders must exist.

Example: make 800-pixel copies of a photo folder, keeping the camera data and file dates:
  pictavo-cli --size 800 --exif --dates ~/Pictures/trip ~/Pictures/trip-small

What to do with each image (--mode, default normal):
  --mode normal      scale so that the longer side is --size pixels (smaller images are
                     enlarged); the proportions are kept
  --mode keep        keep the size, only re-encode (JPEG at --quality)
  --mode fill        resize to exactly --fill WIDTHxHEIGHT, proportions not kept; portrait
                     images get HEIGHTxWIDTH so that they stay portrait
  --mode uniform     scale to cover --uniform WIDTHxHEIGHT, then cut the centred rectangle
                     of that size; every output is exactly that size
  --mode upload      copy the files unchanged and send them to the compression service
                     (needs --tinify)

Sizes and quality (out-of-range values are refused, not corrected):
  --size N           longer side for normal mode, 12 to 8000 (default 1000)
  --fill WxH         size for fill mode, each side 12 to 8000 (default 1000x667)
  --uniform WxH      size for uniform mode, each side 12 to 8000 (default 1000x667)
  --quality Q        JPEG quality 1 (smallest files) to 10 (best), default 6; WebP and AVIF
                     outputs get about the same visual quality on their own scales. It does
                     not apply to PNG files: colour PNGs are written without loss, palette
                     and grey PNGs with a palette of as many colours as their bit depth allows

Formats (by default each output has its source's format):
  --format F         write every output as F: same (default), jpeg, png, webp or avif. The
                     output keeps its relative path and takes F's extension (a/x.jpg becomes
                     a/x.webp). Where two sources would meet at one name (x.jpg and x.png
                     as x.webp), the first in folder order keeps it and the other fails:
                     no output is written twice. Transparency stays in PNG, WebP and AVIF;
                     JPEG has none, so transparent parts are laid on white
  --lossless         with --format webp: PNG sources become lossless WebP files, every
                     pixel kept (other sources stay lossy)
  --inputs LIST      the kinds of files taken as sources, from jpeg, png, webp and avif
                     joined by commas (default jpeg,png); jpeg,png,webp,avif also takes
                     .webp and .avif files. An animated WebP and an AVIF image sequence
                     without a still image fail as a kind of image this program cannot read

Smaller files, made on this computer (all off by default):
  --optimize         smaller files with exactly the same pixels: JPEG with optimised
                     Huffman tables and progressive scans, PNG in its smallest exact
                     colour type with the best row filters and compression
  --png-palette      colour PNGs become 8-bit palette PNGs (transparency kept) where the
                     palette keeps them close to the original; others stay true colour
  --max-size SIZE    make every output at most SIZE bytes (200000, 200K, 2M; K is 1024
                     bytes, M is 1024K; 1K to 256M), metadata included: JPEG, WebP and
                     AVIF at the highest quality up to --quality that fits (a lossless WebP
                     first when asked for), PNG optimised, then as a palette, then with
                     fewer colours. An output that cannot fit is written at its smallest
                     and counted as failed
  --only-smaller     where an output has its source's format and size (--mode keep, or a
                     resize that changed nothing) but would be larger than the source,
                     write the source's own bytes instead ("kept"); never where --format
                     gives the output another format than its source's
  Every number is written in plain decimal digits and nothing else: no sign, no blanks,
  no unit and no other base ("800", not "+800", " 800", "800px" or "0x320"); W and H are
  joined by an x (1000x667).

Extra steps after each image, in this order:
  --tinify           send each result to the tinify.com compression service and replace it
                     with the compressed file. The service key is --key if given, else the
                     environment variable PICTAVO_TINIFY_KEY if set, else the first line of
                     kestro.api.txt in $XDG_CONFIG_HOME/pictavo/ (by default
                     ~/.config/pictavo/), where the window stores it (32 characters). After
                     the first failed exchange no further images are sent.
  --key KEY          the 32-character service key to use instead of the key file. Every
                     user of this computer can read it in the list of running processes;
                     PICTAVO_TINIFY_KEY or the key file keep it to yourself
  --service-url URL  the service's shrink address (default https://api.tinify.com/shrink)
  --exif             copy the metadata of each source into its result with exiftool (looked
                     for on PATH, then beside pictavo-cli; never in the current folder);
                     WebP and AVIF results get the EXIF and XMP tags, not IPTC
  --dates            give each result the source file's dates

Other options:
  --keep-orientation keep the pixels as stored: by default a photo whose file says it is
                     turned (an EXIF orientation) is turned upright before it is sized, and
                     --exif then gives the result orientation 1 and its own size
  --jobs N           process N images at a time, 1 to 256 (default: one per processor this
                     program may use); --jobs 1 takes them one by one in folder order. The
                     outputs and the final result are the same for every N
  --skip-existing    leave every output that exists already as it is (not written again,
                     not sent, tagged or dated) and count it as skipped: a run that was
                     stopped goes on where it ended
  --update           like --skip-existing, but an output whose source was changed after
                     it (modification time, whole seconds) is done again
  --report FILE      write a JSON report to FILE at the end of the run, stopped or not:
                     the settings, the totals and one record per image (its path below
                     INPUT_FOLDER, result, reason, source and output size, the output's
                     format, the quality or palette used, and milliseconds). FILE is
                     replaced only by a complete report and may not have an image's name;
                     {shard} and {count} in it become K and N of --shard (0 and 1 without)
  --yes, -y          do not ask before writing into the input folder or inside it; without
                     it the question is asked on a terminal, and refused otherwise
  --progress STYLE   how progress shows on standard error: bar (one line redrawn in
                     place: images done, images per second, time left, bytes saved and
                     the file), lines (a line per image) or none; the default is bar on
                     a terminal and lines otherwise
  --quiet, -q        no scan line and no progress
  --help, -h         show this help
  --version          show the version

Large trees on several machines (a Slurm array, a Kubernetes Indexed Job, GNU parallel;
see docs/cluster.md):
  --shard K/N        take only shard K of N, counted from 0: the images whose path below
                     INPUT_FOLDER hashes to K (FNV-1a 64, mod N). The N runs K = 0..N-1,
                     on any machines and at any time, take every image exactly once; each
                     creates the whole output folder tree and removes only the leftover
                     temporary files of its own images
  --shard auto       K and N from the scheduler running this task, the first found of:
                     PICTAVO_SHARD_INDEX and _COUNT, Slurm SLURM_ARRAY_TASK_ID and _COUNT
                     (an array 0..N-1), AWS_BATCH_JOB_ARRAY_INDEX and _SIZE, Kubernetes
                     JOB_COMPLETION_INDEX, CLOUD_RUN_TASK_INDEX and _COUNT, Google Cloud
                     BATCH_TASK_INDEX and _COUNT; the line before the run says which
  --shard-count N    N for --shard auto where the scheduler gives none (Kubernetes) or its
                     own is not the run's (a Slurm array of only the failed indices)
  --files-from FILE  process the images listed in FILE (- for standard input), one path
                     below INPUT_FOLDER a line, instead of walking the tree; blank lines,
                     CR LF line ends and paths listed twice are fine. A path that is
                     absolute, climbs out with .., lies in a hidden folder, is not an image's
                     name or does not exist fails with its reason
  --null, -0         the list's paths each end with a NUL byte instead of a line break, so
                     that a name may hold one
  merge-reports OUT.json REPORT.json...
                     check that the reports are one run's complete set (one for each shard
                     0..N-1 of the same N and settings, no image twice), write OUT.json with
                     the summed totals, the failures and every image in path order, and list
                     the failures; exit 0 when every image succeeded, 1 when some failed or
                     were not processed, 2 when the set is not complete or not one run's

Output: "Found N images in M folders" and the progress go to standard error, and so
does "pictavo-cli: PATH: REASON" the moment an image fails (also with --quiet). The
result ("N Images done.", every failed file with its reason, a service error, the
service's count of compressions this month, the bytes saved) goes to standard output.

Stopping: Ctrl-C (SIGINT) or SIGTERM lets the images in progress finish, starts no new
one and ends with "Stopped: N of M images done."; a second one ends the program at once,
removing the files it was writing. An output appears only once it is written, sent,
tagged and dated as asked, so every output there is complete; no temporary file stays
behind, and each run removes those that an ended program left.

Exit status: 0 every image succeeded, 1 some images failed (their metadata or dates
included) or the service failed, 2 wrong options, missing folders, no images, or the
question answered no, 130 stopped by SIGINT, 143 stopped by SIGTERM.
)";
}

} // namespace pictavo
