// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the preview window: which image it shows with which settings, the
// work that makes its pictures on a thread of its own, and handing them over when they are done.
//
// Everything here is called on the window's thread. The one worker thread gets copies of what
// it needs and a prepared image that nobody changes (shared, immutable), and leaves its result
// under the lock; poll() takes it from there.
#pragma once

#include "toolkit/toolkit.h"
#include "window/preview_job.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pictavo {

constexpr const char* PREVIEW_TITLE = "PTV Preview";
constexpr const char* PREVIEW_CHOOSE_CAPTION = "Choose Image\u2026";
constexpr const char* PREVIEW_WORKING_NOTE = "Making the preview\u2026";

class PreviewController {
public:
    explicit PreviewController(Toolkit& toolkit) : toolkit_(toolkit) {}
    ~PreviewController();
    PreviewController(const PreviewController&) = delete;
    PreviewController& operator=(const PreviewController&) = delete;

    // Opens (or raises) the window on the image with the settings and starts making it.
    void open(const std::string& source_path, const ImageSettings& settings);
    // While the window is open: a new preview when the settings differ from the last ones.
    void settings_changed(const ImageSettings& settings);
    bool is_open() { return toolkit_.preview_open(); }
    const std::string& source_path() const { return source_path_; }

    // Hands finished work to the window and starts the work that waited for it. Often, on the
    // window's thread.
    void poll();
    // poll() until no work is left (for tests and for leaving).
    void finish();
    // The preview shown last, if any.
    const std::optional<PreviewResult>& shown() const { return shown_; }

private:
    void start();

    Toolkit& toolkit_;
    std::string source_path_;
    ImageSettings settings_;
    bool wanted_ = false; // settings or image changed while the worker was busy
    std::shared_ptr<const PreparedImage> prepared_;
    PreparationKey prepared_key_;
    std::optional<PreviewResult> shown_;

    std::thread worker_;
    std::mutex mutex_;
    std::optional<PreviewResult> finished_; // under mutex_
    std::atomic<bool> done_{false};
};

} // namespace pictavo
