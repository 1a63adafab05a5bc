// SPDX-License-Identifier: GPL-3.0-or-later
// One source image file into one output file, on values only: decode, resize by the selected
// mode, encode in the source's own format or the one asked for (or copy the file for "Upload
// Originals").
//
// The task owns every image it works with and touches no numbered image or numbered file, so
// any number of tasks run at once, and its output bytes do not depend on what else runs.
#pragma once

#include "app/failure_reason.h"
#include "app/output_shape.h"
#include "app/settings.h"
#include "image/encode_options.h"
#include "image/image_object.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pictavo {

class AtomicFile;

// What the task needs of the job settings.
struct ImageSettings {
    int resize_mode = RESIZE_NORMAL;
    std::int32_t target_width = 1000;
    std::int32_t target_height = 667;
    int quality = static_cast<int>(QUALITY_DEFAULT); // 1..10 for JPEG; passed to PNG as well
    bool keep_orientation = false;                   // size and write the pixels as stored
    EncodeOptions encoding;                          // lossless optimisation, lossy palettes
    std::int64_t size_limit = 0;                     // bytes an encoded output may take; 0: none
    OutputFormat format = OutputFormat::Same;        // of every output; Same: the source's
    bool lossless = false;                           // PNG sources as lossless WebP
    std::vector<std::uint32_t> decoders_left_out;    // formats not read (see image_read_file_sized)

    bool operator==(const ImageSettings&) const = default;
};

// The job settings' values for the task (the target pair as the run took it).
ImageSettings image_settings_of(const JobSettings& job);

enum class ImageOutcome {
    NotProcessed, // the run ended (stopped) before this image was started
    Written,      // the output file holds the processed image (or the copy)
    Failed,       // not decodable, or the save or copy failed; nothing was written
    Skipped,      // its output existed already and was left as it was
    Kept,         // the output would have been larger than its source: the source's bytes were written
};

// An image's result as the run keeps it.
struct ImageResult {
    ImageOutcome outcome = ImageOutcome::NotProcessed;
    // Failed: why. Written: the first later step that failed on the written output (service
    // exchange, metadata, dates), or none.
    Failure failure;
    std::int64_t output_bytes = -1; // the output's final size (Skipped: its size); -1 for none
    std::int64_t source_bytes = -1; // the source file's size; -1 when not known
    std::int64_t milliseconds = 0;  // the whole image, all its steps
    OutputShape shape;
    EncodeOutcome encoded;          // what the encoder did (the quality a size limit chose)
    std::string output_path;        // where the output is, or would have been
};

// Written or kept: an output of this source is in place.
bool has_output(const ImageResult& result);

// The result of an image that failed for reason, before or without any output.
ImageResult failed_image(FailureReason reason);

// The encoder for a path by its lower-cased extension: JPEG for jpg and jpeg, PNG for png,
// WEBP for webp, AVIF for avif, 0 for anything else.
std::uint32_t encoder_for(const std::string& path);

// Writes the output for one source into staged: a written output is left complete in staged's
// temporary beside output_path, for later steps on it, and put in place only by the caller's
// staged.commit(). Only outcome and failure are filled in. A resize the image library refuses
// leaves the image at its size (the cut of "Uniform" is then taken from the unresized image);
// a failed load, cut, save or copy leaves no temporary, and an earlier file at the output path
// stays as it was.
ImageResult write_image_output(const ImageSettings& settings, const std::string& source_path,
                               const std::string& output_path, AtomicFile& staged);

// An image decoded, turned upright and sized as the settings ask, ready to be encoded (once, or
// again with a smaller size limit).
struct PreparedImage {
    ImageObject image;
    OutputShape shape;
    std::uint32_t encoder = 0;
    int source_width = 0; // the source as it is seen: after the turn its orientation asks for
    int source_height = 0;
};

// The first half of write_image_output for an encoded output: a result with outcome Written
// and prepared filled in, or the failure.
ImageResult prepare_image(const ImageSettings& settings, const std::string& source_path, PreparedImage& prepared);

// The second half: encodes the prepared image into staged's temporary for output_path, within
// size_limit bytes when that is not 0 (see encode_within_limit). An output that cannot be made to
// fit is written at its smallest, with the failure OverSizeLimit.
ImageResult write_prepared_image(const ImageSettings& settings, const PreparedImage& prepared,
                                 const std::string& output_path, std::int64_t size_limit, AtomicFile& staged);

// The output file of a prepared image in memory, exactly as write_prepared_image writes it.
struct EncodedOutput {
    FailureReason failure = FailureReason::None; // the encoder failed: no bytes
    std::vector<std::uint8_t> bytes;
    EncodeOutcome encoded;
    bool fits = true; // within the size limit (or none was set)
};
EncodedOutput encode_prepared_image(const ImageSettings& settings, const PreparedImage& prepared,
                                    std::int64_t size_limit);

// The reason for a failed write with the errno error_number.
FailureReason write_failure_of(int error_number);

} // namespace pictavo
