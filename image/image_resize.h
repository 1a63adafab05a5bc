// SPDX-License-Identifier: GPL-3.0-or-later
// Resizing, cutting out and duplicating numbered images.
#pragma once

#include "image/image_object.h"

namespace pictavo {

// As a width or height of image_resize: keep the current value.
constexpr int IMAGE_KEEP = -65535;

// Resizes the image under number in place. Mode 0 (smooth) averages the covered area of
// 24-bit images and applies a cubic filter to 32-bit images; any other mode takes the nearest
// source pixel. Returns the image's pixel handle (the unchanged one when the size already
// matches), or 0 on failure, which leaves the image exactly as it was. Icons are refused.
ImageHandle image_resize(ImageNumber number, int width, int height, int mode = 0);
// The same on an image the caller owns; false on failure, which leaves it exactly as it was.
bool image_resize_object(ImageObject& image, int width, int height, int mode = 0);

// Makes a new image under target from the width x height rectangle of source whose top-left
// corner is (x, y), counted from the top-left of the source. Parts of the rectangle outside
// the source stay zero. The target is replaced only once the copy succeeded. Returns the
// result of image_result, or 0.
ImageHandle image_grab(ImageNumber source, ImageNumber target, int x, int y, int width, int height);
// The same between images the caller owns; result is replaced only on success.
bool image_grab_object(const ImageObject& source, int x, int y, int width, int height, ImageObject& result);

// Duplicates source under target (refused when they are the same number). The target is
// released first, so a failed copy leaves it empty. Returns the result of image_result, or 0.
ImageHandle image_copy(ImageNumber source, ImageNumber target);

} // namespace pictavo
