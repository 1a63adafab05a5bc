// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the image job and batch run tests: generated image files and a front end that
// records what the run showed.
#pragma once

#include "app/front_end.h"
#include "app/run_report.h"
#include "image/image_load.h"
#include "image/image_object.h"
#include "image/image_save.h"
#include "image/plugins.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pictavo::test {

using Colour = std::array<std::uint8_t, 3>; // blue, green, red

// Writes a width x height image whose pixel (x, y), y from the top, is colour(x, y). JPEG
// files are written at quality 10 (the best).
inline bool write_image(const std::string& path, int width, int height, std::uint32_t code,
                        const std::function<Colour(int, int)>& colour)
{
    register_jpeg_and_png_codecs();
    constexpr ImageNumber scratch = 7;
    ImageObject* image = image_allocate(scratch);
    if (!image)
        return false;
    image->pixels = PixelBuffer::create(width, height, 24);
    if (image->pixels.empty())
        return false;
    image->width = static_cast<std::int16_t>(width);
    image->height = static_cast<std::int16_t>(height);
    image->depth = 24;
    image->source_depth = 24;
    image->frame_count = 1;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image->pixels.image_row(y);
        for (int x = 0; x < width; ++x) {
            const Colour c = colour(x, y);
            row[x * 3 + 0] = c[0];
            row[x * 3 + 1] = c[1];
            row[x * 3 + 2] = c[2];
        }
    }
    const bool saved = image_save(scratch, path, code, 10) != 0;
    image_free(scratch);
    return saved;
}

inline bool write_flat_image(const std::string& path, int width, int height, std::uint32_t code,
                             Colour colour = {90, 140, 200})
{
    return write_image(path, width, height, code, [colour](int, int) { return colour; });
}

struct LoadedSize {
    int width = 0;
    int height = 0;
    std::uint32_t code = 0; // the decoder that read it
    bool operator==(const LoadedSize&) const = default;
};

// Decodes a file to learn its size and format; all zero when it does not decode.
inline LoadedSize loaded_size(const std::string& path)
{
    constexpr ImageNumber scratch = 8;
    LoadedSize size;
    if (image_load(scratch, path)) {
        size = {image_width(scratch), image_height(scratch), image_lookup(scratch)->plugin_code};
        image_free(scratch);
    }
    return size;
}

// The result of the image at relative_path in a run's report; a test failure when it is not there.
inline const ImageResult& result_in(const RunReport& report, const std::string& relative_path)
{
    static const ImageResult none;
    for (const ImageRecord& record : report.images)
        if (record.relative_path == relative_path)
            return record.result;
    ADD_FAILURE() << "not in the report: " << relative_path;
    return none;
}

// Every call the run made on its front end, in order, as text.
class RecordingFrontEnd : public FrontEnd {
public:
    std::vector<std::string> calls;
    std::vector<std::string> messages; // "title|text"
    std::vector<std::string> progress_paths;
    std::vector<std::size_t> finished_indices; // walk-order indices, in the order they finished
    bool answer = true;
    int events_taken = 0;

    void message_box(const std::string& title, const std::string& text, MessageIcon) override
    {
        calls.push_back("message " + title);
        messages.push_back(title + "|" + text);
    }
    bool ask_yes_no(const std::string& title, const std::string&) override
    {
        calls.push_back("ask " + title);
        return answer;
    }
    void take_one_event() override
    {
        ++events_taken;
        calls.push_back("event");
    }
    void pause(int milliseconds) override { calls.push_back("pause " + std::to_string(milliseconds)); }
    void set_busy(bool busy) override { calls.push_back(busy ? "busy" : "idle"); }
    void run_started(const RunStarted& started) override
    {
        calls.push_back("progress 1.." + std::to_string(started.images));
    }
    void image_finished(const ImageFinished& finished) override
    {
        calls.push_back("at " + std::to_string(finished.finished));
        progress_paths.push_back(finished.source_path);
        finished_indices.push_back(finished.index);
    }
    void hide_progress() override { calls.push_back("hide"); }
};

} // namespace pictavo::test
