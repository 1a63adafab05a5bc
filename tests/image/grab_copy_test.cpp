// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_resize.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace pictavo {
namespace {

using test::make_image;
using test::pixel_at;

class GrabCopy : public ::testing::Test {
protected:
    void TearDown() override { image_free(IMAGE_ANY); }
};

// Checks that image holds the width x height rectangle of source at (x, y), zero outside.
void expect_rectangle(PixelBuffer& image, PixelBuffer& source, int x, int y)
{
    const int pixel_bytes = source.bytes_per_pixel();
    for (int dy = 0; dy < image.height(); ++dy)
        for (int dx = 0; dx < image.width(); ++dx) {
            const int sx = x + dx;
            const int sy = y + dy;
            const bool inside = sx >= 0 && sy >= 0 && sx < source.width() && sy < source.height();
            for (int c = 0; c < pixel_bytes; ++c)
                ASSERT_EQ(pixel_at(image, dx, dy)[c], inside ? pixel_at(source, sx, sy)[c] : 0)
                    << "pixel " << dx << "," << dy << " byte " << c;
        }
}

TEST_F(GrabCopy, GrabReproducesTheRectangleFromTheTopLeft)
{
    for (int depth : {24, 32}) {
        ImageObject* source = make_image(0, 10, 8, depth);
        source->source_depth = 16;
        const ImageHandle handle = image_grab(0, 2, 3, 1, 4, 5);
        ImageObject* grabbed = image_lookup(2);
        ASSERT_NE(grabbed, nullptr);
        EXPECT_EQ(handle, grabbed->pixel_handle());
        EXPECT_EQ(grabbed->width, 4);
        EXPECT_EQ(grabbed->height, 5);
        EXPECT_EQ(grabbed->depth, depth);
        EXPECT_EQ(grabbed->source_depth, 16);
        EXPECT_EQ(grabbed->plugin_code, 0u);
        EXPECT_EQ(grabbed->frame_count, 1);
        expect_rectangle(grabbed->pixels, source->pixels, 3, 1);
    }
}

TEST_F(GrabCopy, GrabBeyondTheSourceLeavesZeros)
{
    ImageObject* source = make_image(0, 6, 5, 32);
    ASSERT_NE(image_grab(0, 2, 3, 0, 4, 5), 0u); // one column past the right edge
    expect_rectangle(image_lookup(2)->pixels, source->pixels, 3, 0);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(std::memcmp(pixel_at(image_lookup(2)->pixels, 3, y), "\0\0\0\0", 4), 0);

    ASSERT_NE(image_grab(0, 3, -2, -1, 5, 4), 0u);
    expect_rectangle(image_lookup(3)->pixels, source->pixels, -2, -1);
    ASSERT_NE(image_grab(0, 4, 2000000000, -2000000000, 3, 3), 0u);
    expect_rectangle(image_lookup(4)->pixels, source->pixels, 2000000000, -2000000000);
}

TEST_F(GrabCopy, FailedGrabLeavesTheTargetAsItWas)
{
    make_image(0, 6, 5, 24);
    ImageObject* target = make_image(2, 3, 3, 32, 9);
    const ImageHandle handle = target->pixel_handle();
    EXPECT_EQ(image_grab(0, 2, 0, 0, 0, 4), 0u);
    EXPECT_EQ(image_grab(0, 2, 0, 0, 4, -1), 0u);
    EXPECT_EQ(image_grab(0, 2, 0, 0, 40000, 4), 0u);
    EXPECT_EQ(image_grab(1, 2, 0, 0, 2, 2), 0u); // no source
    ASSERT_EQ(image_lookup(2), target);
    EXPECT_EQ(target->pixel_handle(), handle);
    EXPECT_EQ(target->width, 3);
    EXPECT_EQ(target->plugin_code, IMAGE_CODE_JPEG);
}

TEST_F(GrabCopy, GrabIntoItsOwnNumberAndUnnumbered)
{
    ImageObject* source = make_image(0, 6, 5, 24);
    PixelBuffer original = PixelBuffer::create(6, 5, 24);
    std::memcpy(original.data(), source->pixels.data(), original.size_bytes());
    ASSERT_NE(image_grab(0, 0, 1, 2, 3, 2), 0u);
    expect_rectangle(image_lookup(0)->pixels, original, 1, 2);

    const auto reference = static_cast<ImageNumber>(image_grab(0, IMAGE_ANY, 0, 0, 2, 2));
    ASSERT_NE(image_lookup(reference), nullptr);
    EXPECT_EQ(image_width(reference), 2);
    expect_rectangle(image_lookup(reference)->pixels, image_lookup(0)->pixels, 0, 0);
}

TEST_F(GrabCopy, GrabFreeAndCopyBackKeepsTheGrabbedPixels)
{
    make_image(0, 12, 9, 24);
    ASSERT_NE(image_grab(0, 2, 4, 3, 5, 4), 0u);
    PixelBuffer& grabbed = image_lookup(2)->pixels;
    const std::vector<std::uint8_t> expected(grabbed.data(), grabbed.data() + grabbed.size_bytes());
    image_free(0);
    ASSERT_EQ(image_lookup(0), nullptr);

    const ImageHandle handle = image_copy(2, 0);
    ImageObject* copy = image_lookup(0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(handle, copy->pixel_handle());
    EXPECT_NE(copy->pixels.data(), grabbed.data());
    EXPECT_EQ(std::vector<std::uint8_t>(copy->pixels.data(), copy->pixels.data() + copy->pixels.size_bytes()), expected);
    EXPECT_EQ(copy->width, 5);
    EXPECT_EQ(copy->height, 4);
    EXPECT_EQ(copy->plugin_code, 0u);
}

TEST_F(GrabCopy, CopyDuplicatesEveryField)
{
    ImageObject* source = make_image(1, 7, 3, 32);
    source->source_depth = 2;
    source->plugin_code = IMAGE_CODE_PNG;
    make_image(5, 2, 2, 24); // replaced by the copy
    ASSERT_NE(image_copy(1, 5), 0u);
    ImageObject* copy = image_lookup(5);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->width, 7);
    EXPECT_EQ(copy->height, 3);
    EXPECT_EQ(copy->depth, 32);
    EXPECT_EQ(copy->source_depth, 2);
    EXPECT_EQ(copy->plugin_code, IMAGE_CODE_PNG);
    EXPECT_EQ(copy->frame_count, 1);
    EXPECT_EQ(std::memcmp(copy->pixels.data(), source->pixels.data(), source->pixels.size_bytes()), 0);
    copy->pixels.data()[0] ^= 0xFF; // the copy owns its pixels
    EXPECT_NE(copy->pixels.data()[0], source->pixels.data()[0]);

    const auto reference = static_cast<ImageNumber>(image_copy(1, IMAGE_ANY));
    ASSERT_NE(image_lookup(reference), nullptr);
    EXPECT_EQ(image_lookup(reference)->plugin_code, IMAGE_CODE_PNG);
}

TEST_F(GrabCopy, CopyOntoItselfOrFromNothingIsRefused)
{
    ImageObject* image = make_image(0, 4, 4, 24);
    const ImageHandle handle = image->pixel_handle();
    EXPECT_EQ(image_copy(0, 0), 0u);
    ASSERT_EQ(image_lookup(0), image);
    EXPECT_EQ(image->pixel_handle(), handle);

    make_image(3, 2, 2, 24);
    EXPECT_EQ(image_copy(7, 3), 0u); // no source: the target is not touched
    EXPECT_NE(image_lookup(3), nullptr);
}

} // namespace
} // namespace pictavo
