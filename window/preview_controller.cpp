// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/preview_controller.h"

#include <chrono>
#include <utility>

namespace pictavo {

PreviewController::~PreviewController()
{
    if (worker_.joinable())
        worker_.join();
}

void PreviewController::open(const std::string& source_path, const ImageSettings& settings)
{
    const bool fresh = !toolkit_.preview_open() || source_path != source_path_;
    toolkit_.open_preview(PREVIEW_TITLE, PREVIEW_CHOOSE_CAPTION);
    if (!fresh && settings == settings_)
        return;
    source_path_ = source_path;
    settings_ = settings;
    if (fresh) {
        PreviewContent working;
        working.note = PREVIEW_WORKING_NOTE;
        toolkit_.show_preview(working);
    }
    start();
}

void PreviewController::settings_changed(const ImageSettings& settings)
{
    if (!toolkit_.preview_open() || settings == settings_)
        return;
    settings_ = settings;
    start();
}

void PreviewController::start()
{
    if (worker_.joinable()) {
        wanted_ = true; // started again once the work in progress is done
        return;
    }
    wanted_ = false;
    std::shared_ptr<const PreparedImage> reuse;
    if (prepared_ && prepared_key_ == preparation_key(source_path_, settings_))
        reuse = prepared_;
    done_.store(false);
    worker_ = std::thread([this, path = source_path_, settings = settings_, reuse = std::move(reuse)]() mutable {
        PreviewResult result = make_preview(path, settings, std::move(reuse));
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            finished_ = std::move(result);
        }
        done_.store(true);
    });
}

void PreviewController::poll()
{
    if (!worker_.joinable() || !done_.load())
        return;
    worker_.join();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        shown_ = std::move(finished_);
        finished_.reset();
    }
    if (shown_ && shown_->prepared) {
        prepared_ = shown_->prepared;
        prepared_key_ = shown_->key;
    }
    if (shown_ && toolkit_.preview_open())
        toolkit_.show_preview(shown_->content);
    if (wanted_ && toolkit_.preview_open())
        start();
}

void PreviewController::finish()
{
    while (worker_.joinable()) {
        if (done_.load())
            poll();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace pictavo
