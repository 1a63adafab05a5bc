// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/window_layout.h"

#include <string>

namespace pictavo {
namespace {

using C = WindowControl;
using K = ControlKind;

ControlLayout make(C name, K kind, int x, int y, int width, int height, std::string caption)
{
    ControlLayout layout{name, {}, false, false};
    layout.spec.kind = kind;
    layout.spec.x = x;
    layout.spec.y = y;
    layout.spec.width = width;
    layout.spec.height = height;
    layout.spec.caption = std::move(caption);
    return layout;
}

ControlLayout bold(ControlLayout layout)
{
    layout.title_font = true;
    return layout;
}

ControlLayout white(ControlLayout layout)
{
    layout.white = true;
    return layout;
}

ControlLayout bordered(ControlLayout layout)
{
    layout.spec.bordered = true;
    return layout;
}

// Alt with the letter clicks the control. Each letter is used once in the window; the second
// "Select Folder" and "Open Folder" take a later letter of their caption.
ControlLayout key(char letter, ControlLayout layout)
{
    layout.spec.mnemonic = letter;
    return layout;
}

ControlLayout drop_down(C name, int x, int y, int width, int height)
{
    ControlLayout layout = make(name, K::DropDown, x, y, width, height, "");
    layout.spec.choices.assign(FORMAT_CHOICES.begin(), FORMAT_CHOICES.end());
    return layout;
}

ControlLayout link(C name, int x, int y, int width, int height, std::string caption)
{
    ControlLayout layout = make(name, K::Link, x, y, width, height, std::move(caption));
    layout.spec.hover_colour = BLACK;
    layout.spec.underlined = true;
    return layout;
}

std::array<ControlLayout, WINDOW_CONTROL_COUNT> build_layout()
{
    return {{
        key('P', bold(make(C::processButton, K::Button, 330, 360, 200, 60, PROCESS_CAPTION))),
        bold(make(C::inputFrame, K::Frame, 10, 10, 540, 130, "Input")),
        key('S', make(C::inputSelectButton, K::Button, 20, 50, 100, 25, "Select Folder")),
        white(bordered(make(C::inputPathBox, K::Text, 20, 90, 510, 25, ""))),
        key('O', make(C::inputOpenButton, K::Button, 430, 50, 100, 25, "Open Folder")),
        bold(make(C::outputFrame, K::Frame, 10, 160, 540, 130, "Output")),
        key('l', make(C::outputSelectButton, K::Button, 20, 200, 100, 25, "Select Folder")),
        white(bordered(make(C::outputPathBox, K::Text, 20, 240, 510, 25, ""))),
        make(C::overwriteNote, K::Text, 140, 206, 220, 25, "Files will be overwritten in this folder"),
        key('e', make(C::outputOpenButton, K::Button, 430, 200, 100, 25, "Open Folder")),
        bold(make(C::optionsFrame, K::Frame, 570, 10, 330, 430, "Options")),
        make(C::keepFrame, K::Frame, 580, 40, 310, 50, ""),
        key('K', make(C::keepOriginalBox, K::CheckBox, 590, 54, 180, 25, "Keep Original Dimensions")),
        make(C::normalFrame, K::Frame, 580, 100, 310, 80, ""),
        key('N', make(C::normalResizeBox, K::CheckBox, 590, 114, 180, 25, "Normal Resize")),
        white(make(C::normalSizeField, K::Field, 590, 150, 40, 20, "1000")),
        make(C::normalSizeLabel, K::Text, 640, 150, 100, 20, "Width - Height"),
        make(C::fillFitFrame, K::Frame, 580, 190, 100, 110, ""),
        key('F', make(C::fillFitBox, K::CheckBox, 590, 204, 80, 25, "Fill - Fit")),
        white(make(C::fillWidthField, K::Field, 590, 240, 40, 20, "1000")),
        white(make(C::fillHeightField, K::Field, 590, 270, 40, 20, "667")),
        make(C::fillWidthLabel, K::Text, 640, 240, 40, 20, "Width"),
        make(C::fillHeightLabel, K::Text, 640, 270, 40, 20, "Height"),
        make(C::uniformFrame, K::Frame, 690, 190, 100, 110, ""),
        key('U', make(C::uniformBox, K::CheckBox, 700, 204, 80, 25, "Uniform")),
        white(make(C::uniformWidthField, K::Field, 700, 240, 40, 20, "1000")),
        white(make(C::uniformHeightField, K::Field, 700, 270, 40, 20, "667")),
        make(C::uniformWidthLabel, K::Text, 750, 240, 40, 20, "Width"),
        make(C::uniformHeightLabel, K::Text, 750, 270, 40, 20, "Height"),
        make(C::copyFrame, K::Frame, 800, 190, 90, 110, ""),
        make(C::copyLabel, K::Text, 810, 210, 40, 20, "Copy"),
        key('x', make(C::exifBox, K::CheckBox, 820, 236, 50, 20, "Exif")),
        key('D', make(C::datesBox, K::CheckBox, 820, 266, 50, 20, "Dates")),
        make(C::qualityFrame, K::Frame, 580, 310, 310, 50, "JPG Quality"),
        make(C::qualityField, K::Field, 590, 330, 20, 20, "6"),
        make(C::qualityRangeLabel, K::Text, 620, 330, 30, 20, "1-10"),
        key('t', make(C::tinifyBox, K::CheckBox, 590, 370, 160, 25, "Upload to tinify.com")),
        make(C::apiKeyField, K::Field, 590, 400, 240, 25, ""),
        make(C::apiKeyLabel, K::Text, 840, 400, 50, 20, "API Key"),
        key('a', make(C::uploadOriginalsBox, K::CheckBox, 770, 370, 120, 25, "Upload Originals")),
        make(C::statusLine, K::Text, 230, 300, 180, 25, "No images found for processing"),
        bold(link(C::donateLink, 46, 340, 100, 20, "DONATE")),
        link(C::manualLink, 46, 390, 100, 25, "Online PTV Manual"),
        make(C::progressBar, K::ProgressBar, 20, 434, 510, 20, ""),
        key('i', make(C::skipExistingBox, K::CheckBox, 20, 294, 200, 25, SKIP_EXISTING_CAPTION)),
        key('m', make(C::optimizeBox, K::CheckBox, 20, 464, 100, 25, "Optimize")),
        key('G', make(C::pngPaletteBox, K::CheckBox, 130, 464, 110, 25, "PNG palette")),
        key('y', make(C::onlySmallerBox, K::CheckBox, 250, 464, 130, 25, "Only if smaller")),
        make(C::maxSizeLabel, K::Text, 590, 464, 60, 25, "Max size"),
        white(make(C::maxSizeField, K::Field, 655, 466, 60, 20, "")),
        make(C::maxSizeUnitLabel, K::Text, 725, 464, 30, 25, "KB"),
        key('v', make(C::previewButton, K::Button, 190, 375, 110, 30, "Preview")),
        make(C::formatLabel, K::Text, 690, 330, 45, 20, "Format"),
        drop_down(C::formatChoice, 740, 328, 80, 24),
        key('W', make(C::extraInputsBox, K::CheckBox, 390, 464, 190, 25, EXTRA_INPUTS_CAPTION)),
    }};
}

} // namespace

const std::array<ControlLayout, WINDOW_CONTROL_COUNT>& window_layout()
{
    static const std::array<ControlLayout, WINDOW_CONTROL_COUNT> layout = build_layout();
    return layout;
}

} // namespace pictavo
