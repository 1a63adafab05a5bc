// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_object.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

TEST(PixelBuffer, LayoutAndLimits)
{
    EXPECT_EQ(pixel_row_stride(1, 24), 4u);
    EXPECT_EQ(pixel_row_stride(5, 24), 16u);
    EXPECT_EQ(pixel_row_stride(5, 32), 20u);
    EXPECT_EQ(pixel_row_stride(33, 1), 8u);
    EXPECT_EQ(pixel_row_stride(9, 4), 8u);
    EXPECT_EQ(pixel_row_stride(5, 8), 8u);
    EXPECT_EQ(pixel_row_stride(3, 16), 8u);

    PixelBuffer buffer = PixelBuffer::create(5, 3, 8); // less than 24 bits gets 24
    ASSERT_FALSE(buffer.empty());
    EXPECT_EQ(buffer.depth(), 24);
    EXPECT_EQ(buffer.stride(), 16u);
    for (std::size_t i = 0; i < buffer.size_bytes(); ++i)
        ASSERT_EQ(buffer.data()[i], 0);
    EXPECT_EQ(buffer.image_row(0), buffer.buffer_row(2)); // bottom-up rows

    EXPECT_TRUE(PixelBuffer::create(0, 3, 24).empty());
    EXPECT_TRUE(PixelBuffer::create(32768, 1, 24).empty());
    EXPECT_FALSE(PixelBuffer::create(32767, 1, 32).empty());
}

TEST(ImageTable, NumberedAndUnnumberedImages)
{
    ImageObject* image = image_allocate(0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image_lookup(0), nullptr); // no pixels yet: the number reads as empty
    image->pixels = PixelBuffer::create(4, 2, 24);
    image->width = 4;
    image->height = 2;
    EXPECT_EQ(image_lookup(0), image);
    EXPECT_EQ(image_width(0), 4);
    EXPECT_EQ(image_height(0), 2);
    EXPECT_EQ(image_result(0, *image), image->pixel_handle());

    ImageObject* any = image_allocate(IMAGE_ANY);
    ASSERT_NE(any, nullptr);
    any->pixels = PixelBuffer::create(1, 1, 32);
    any->width = 1;
    const auto reference = static_cast<ImageNumber>(image_result(IMAGE_ANY, *any));
    EXPECT_EQ(image_lookup(reference), any);
    EXPECT_EQ(image_width(reference), 1);

    image_free(0);
    EXPECT_EQ(image_width(0), 0);
    EXPECT_EQ(image_width(reference), 1);
    image_free(IMAGE_ANY);
    EXPECT_EQ(image_lookup(reference), nullptr);
    image_free(12345); // unknown numbers are ignored
}

} // namespace
} // namespace pictavo
