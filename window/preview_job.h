// SPDX-License-Identifier: GPL-3.0-or-later
// One image made as a run makes it, in memory, for the preview window: the pixels the encoder
// is given, the output file's bytes and that file decoded again.
#pragma once

#include "app/image_task.h"
#include "toolkit/preview_content.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pictavo {

// What decides the prepared pixels; a change of anything else (quality, compression) only
// needs a new encode.
struct PreparationKey {
    std::string source_path;
    int resize_mode = 0;
    std::int32_t target_width = 0;
    std::int32_t target_height = 0;
    bool keep_orientation = false;
    OutputFormat format = OutputFormat::Same; // decides the encoder, and whether JPEG is read as planes
    bool operator==(const PreparationKey&) const = default;
};
PreparationKey preparation_key(const std::string& source_path, const ImageSettings& settings);

struct PreviewResult {
    PreviewContent content;
    std::vector<std::uint8_t> output; // the output file as a run writes it before the service and metadata steps
    std::shared_ptr<const PreparedImage> prepared; // to reuse while its key holds; null on failure
    PreparationKey key;
};

// Makes the preview of the image at source_path with settings. prepared, when not null, is the
// image already prepared for the same key. Never throws; a failure says why in the note.
PreviewResult make_preview(const std::string& source_path, const ImageSettings& settings,
                           std::shared_ptr<const PreparedImage> prepared);

// The image's pixels as the preview window takes them: red, green, blue, alpha, top row first.
PreviewPicture preview_picture(const ImageObject& image);
PreviewPicture preview_picture(const YcbcrPlanes& planes);

} // namespace pictavo
