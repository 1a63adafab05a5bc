// SPDX-License-Identifier: GPL-3.0-or-later
// The controls of the main window: every one with its kind, place, size and caption, in the
// order they are created.
#pragma once

#include "pictavo_version.h"
#include "toolkit/toolkit.h"

#include <array>
#include <cstddef>
#include <utility>

namespace pictavo {

enum class WindowControl {
    processButton,
    inputFrame,
    inputSelectButton,
    inputPathBox,
    inputOpenButton,
    outputFrame,
    outputSelectButton,
    outputPathBox,
    overwriteNote,
    outputOpenButton,
    optionsFrame,
    keepFrame,
    keepOriginalBox,
    normalFrame,
    normalResizeBox,
    normalSizeField,
    normalSizeLabel,
    fillFitFrame,
    fillFitBox,
    fillWidthField,
    fillHeightField,
    fillWidthLabel,
    fillHeightLabel,
    uniformFrame,
    uniformBox,
    uniformWidthField,
    uniformHeightField,
    uniformWidthLabel,
    uniformHeightLabel,
    copyFrame,
    copyLabel,
    exifBox,
    datesBox,
    qualityFrame,
    qualityField,
    qualityRangeLabel,
    tinifyBox,
    apiKeyField,
    apiKeyLabel,
    uploadOriginalsBox,
    statusLine,
    donateLink,
    manualLink,
    progressBar,
    skipExistingBox, // in the free place left of statusLine; no defined control moves for it
    // Local compression, in a row of their own below everything else.
    optimizeBox,
    pngPaletteBox,
    onlySmallerBox,
    maxSizeLabel,
    maxSizeField,
    maxSizeUnitLabel,
    previewButton, // between the links and PROCESS
    // Output format beside the quality, in the free part of its frame; the box for more kinds of
    // sources in the free middle of the bottom row.
    formatLabel,
    formatChoice,
    extraInputsBox,
};

constexpr std::size_t WINDOW_CONTROL_COUNT = static_cast<std::size_t>(WindowControl::extraInputsBox) + 1;

// How the window looks before anything was done: the defined window, grown downward by the
// row of local compression.
constexpr int WINDOW_WIDTH = 910;
constexpr int WINDOW_HEIGHT = 495;
constexpr const char* WINDOW_CAPTION = "Pictavo - PTV - v" PICTAVO_VERSION;
constexpr Rgb WINDOW_COLOUR{240, 240, 240};
constexpr Rgb WHITE{255, 255, 255};
constexpr Rgb BLACK{0, 0, 0};
constexpr const char* PROCESS_CAPTION = "PROCESS";
constexpr const char* STOP_CAPTION = "Stop";          // PROCESS during a run
constexpr const char* STOPPING_CAPTION = "Stopping...."; // once Stop was pressed, until the run ends
constexpr const char* SKIP_EXISTING_CAPTION = "Skip existing outputs";
constexpr const char* SHOW_RESULTS_CAPTION = "Show Results";
constexpr const char* PREVIEW_HINT = "One image of the input folder as the current settings make it, before and after";
constexpr const char* NO_PREVIEW_TEXT = "Choose an input folder with images first: the preview shows one of them.";
constexpr const char* RESULTS_TITLE = "PTV Results";
constexpr const char* RESULTS_FILTER_CAPTION = "Show only failures";
constexpr const char* SAVE_REPORT_CAPTION = "Save Report\u2026";
constexpr const char* MAX_SIZE_HINT = "Every output at most this many kilobytes, metadata included; empty for no limit";
constexpr const char* FORMAT_HINT = "The format of every output; Same writes each image in its source's format";
constexpr const char* EXTRA_INPUTS_CAPTION = "Also WebP/AVIF inputs";
// The format drop-down's choices, in the order of OutputFormat.
constexpr std::array<const char*, 5> FORMAT_CHOICES = {"Same", "JPEG", "PNG", "WebP", "AVIF"};
constexpr const char* DONATE_HINT = "I am saving for a modern PC,  Help...";
constexpr const char* TITLE_FONT_FACE = "Arial";
constexpr int TITLE_FONT_POINTS = 12;
constexpr const char* EXIFTOOL_MISSING_HINT = "exiftool was not found; install libimage-exiftool-perl";

struct ControlLayout {
    WindowControl name;
    ControlSpec spec;
    bool title_font = false;  // the bold Arial font instead of the message font
    bool white = false;       // white background
};

// In creation order; entry i describes WindowControl i.
const std::array<ControlLayout, WINDOW_CONTROL_COUNT>& window_layout();

// The keyboard focus order: each frame's controls as they are read, from the input and output
// folders through the options to PROCESS, the step that comes last.
constexpr std::array<WindowControl, 28> TAB_ORDER = {
    WindowControl::inputSelectButton,  WindowControl::inputOpenButton,   WindowControl::outputSelectButton,
    WindowControl::outputOpenButton,   WindowControl::skipExistingBox,   WindowControl::keepOriginalBox,
    WindowControl::normalResizeBox,
    WindowControl::normalSizeField,    WindowControl::fillFitBox,        WindowControl::fillWidthField,
    WindowControl::fillHeightField,    WindowControl::uniformBox,        WindowControl::uniformWidthField,
    WindowControl::uniformHeightField, WindowControl::exifBox,           WindowControl::datesBox,
    WindowControl::qualityField,       WindowControl::formatChoice,      WindowControl::tinifyBox,
    WindowControl::uploadOriginalsBox, WindowControl::apiKeyField,       WindowControl::optimizeBox,
    WindowControl::pngPaletteBox,      WindowControl::onlySmallerBox,    WindowControl::extraInputsBox,
    WindowControl::maxSizeField,       WindowControl::previewButton,     WindowControl::processButton,
};

// Labels whose line is centred on the control beside them.
constexpr std::array<std::pair<WindowControl, WindowControl>, 11> LABELS_BESIDE = {{
    {WindowControl::overwriteNote, WindowControl::outputSelectButton},
    {WindowControl::normalSizeLabel, WindowControl::normalSizeField},
    {WindowControl::fillWidthLabel, WindowControl::fillWidthField},
    {WindowControl::fillHeightLabel, WindowControl::fillHeightField},
    {WindowControl::uniformWidthLabel, WindowControl::uniformWidthField},
    {WindowControl::uniformHeightLabel, WindowControl::uniformHeightField},
    {WindowControl::qualityRangeLabel, WindowControl::qualityField},
    {WindowControl::apiKeyLabel, WindowControl::apiKeyField},
    {WindowControl::maxSizeLabel, WindowControl::maxSizeField},
    {WindowControl::maxSizeUnitLabel, WindowControl::maxSizeField},
    {WindowControl::formatLabel, WindowControl::formatChoice},
}};

} // namespace pictavo
