// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_save.h"
#include "image/plugins.h"
#include "image_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <thread>

namespace pictavo {
namespace {

TEST(ImageLoad, DecodersAndEncodersAreRegisteredOnceInOrder)
{
    register_jpeg_and_png_codecs();
    register_jpeg_and_png_codecs();
    std::vector<std::uint32_t> decoders, encoders;
    for (const ImageDecoder* decoder : image_decoders())
        decoders.push_back(decoder->code);
    for (const ImageEncoder* encoder : image_encoders())
        encoders.push_back(encoder->code);
    const std::vector<std::uint32_t> order = {IMAGE_CODE_BMP, IMAGE_CODE_JPEG, IMAGE_CODE_PNG};
    EXPECT_EQ(decoders, order);
    EXPECT_EQ(encoders, order);
    EXPECT_EQ(find_encoder(IMAGE_CODE_JPEG)->encode32, nullptr);
}

TEST(ImageLoad, FailureToReadKeepsTheImageAndFailureToDecodeEmptiesTheNumber)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    const std::string good = test::testdata("png/pngsuite/basn2c08.png");
    ASSERT_NE(image_load(0, good), 0u);
    EXPECT_EQ(image_load(0, folder.path("missing.png")), 0u);
    EXPECT_EQ(image_load(0, folder.root()), 0u);  // a folder cannot be read as a file
    EXPECT_EQ(image_width(0), 32);

    folder.write("empty.png", "");
    folder.write("short.png", "\x89PN");
    folder.write("text.jpg", "this is not an image at all");
    for (const char* name : {"empty.png", "short.png", "text.jpg"}) {
        ASSERT_NE(image_load(0, good), 0u);
        EXPECT_EQ(image_load(0, folder.path(name)), 0u) << name;
        EXPECT_EQ(image_width(0), 0) << name;
        EXPECT_EQ(image_height(0), 0) << name;
    }
    EXPECT_EQ(image_width(7), 0);  // never used
}

TEST(ImageLoad, UnnumberedImagesAnswerToTheirReference)
{
    test::CodecsRegistered registered;
    const ImageHandle reference = image_load(IMAGE_ANY, test::testdata("png/pngsuite/basn0g08.png"));
    ASSERT_NE(reference, 0u);
    const auto number = static_cast<ImageNumber>(reference);
    EXPECT_EQ(image_width(number), 32);
    EXPECT_EQ(image_lookup(number)->source_depth, 8);
    // Reloading under the reference replaces that image; a failed decode removes it.
    const std::uint8_t junk[] = {1, 2, 3, 4};
    EXPECT_EQ(image_load_memory(number, junk, sizeof junk), 0u);
    EXPECT_EQ(image_width(number), 0);
}

TEST(ImageLoad, ThreadsLoadWithTheirOwnDecodeContexts)
{
    test::CodecsRegistered registered;
    const auto jpeg = test::read_bytes(test::testdata("jpeg/testorig.jpg"));
    const auto png = test::read_bytes(test::testdata("png/pngsuite/basn6a08.png"));
    std::vector<std::thread> threads;
    std::array<int, 4> loaded{};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const auto& bytes = t % 2 ? jpeg : png;
            for (int i = 0; i < 10; ++i)
                loaded[static_cast<std::size_t>(t)] += image_load_memory(10 + t, bytes.data(), bytes.size()) != 0;
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(loaded, (std::array<int, 4>{10, 10, 10, 10}));
    EXPECT_EQ(image_width(11), 227);
    EXPECT_EQ(image_width(12), 32);
    image_free(IMAGE_ANY);
}

// An icon directory with the given entries, each a bitmap of size x size pixels.
std::vector<std::uint8_t> make_icon(int size, const std::vector<int>& bit_counts)
{
    std::vector<std::uint8_t> bytes = {0, 0, 1, 0, static_cast<std::uint8_t>(bit_counts.size()), 0};
    std::vector<std::vector<std::uint8_t>> bitmaps;
    for (int bits : bit_counts) {
        std::vector<std::uint8_t> bitmap(40, 0);
        bitmap[0] = 40;
        bitmap[4] = static_cast<std::uint8_t>(size);
        bitmap[8] = static_cast<std::uint8_t>(2 * size);  // colour rows and mask rows
        bitmap[12] = 1;
        bitmap[14] = static_cast<std::uint8_t>(bits);
        if (bits <= 8)
            bitmap.resize(bitmap.size() + 4u * (1u << bits), 0x40);
        const std::size_t stride = (static_cast<std::size_t>(size * bits) + 31) / 32 * 4;
        bitmap.resize(bitmap.size() + stride * static_cast<std::size_t>(size), 0x80);
        bitmap.resize(bitmap.size() + 4 * static_cast<std::size_t>(size), 0);  // mask
        bitmaps.push_back(bitmap);
    }
    std::size_t offset = 6 + 16 * bit_counts.size();
    for (std::size_t i = 0; i < bitmaps.size(); ++i) {
        const std::uint32_t length = static_cast<std::uint32_t>(bitmaps[i].size());
        const std::uint8_t entry[16] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size), 0, 0, 1, 0,
                                        static_cast<std::uint8_t>(bit_counts[i]), 0,
                                        static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8), 0, 0,
                                        static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8), 0, 0};
        bytes.insert(bytes.end(), entry, entry + 16);
        offset += length;
    }
    for (const auto& bitmap : bitmaps)
        bytes.insert(bytes.end(), bitmap.begin(), bitmap.end());
    return bytes;
}

TEST(ImageLoad, IconDataBecomesAnIconImageThatSaveRefuses)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    const auto icon = make_icon(16, {8, 24, 4});
    ASSERT_NE(image_load_memory(0, icon.data(), icon.size()), 0u);
    const ImageObject& image = *image_lookup(0);
    EXPECT_TRUE(image.is_icon);
    EXPECT_EQ(image.plugin_code, IMAGE_CODE_ICON);
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(image.height, 16);
    EXPECT_EQ(image.source_depth, 24);  // the highest bit count of that size
    EXPECT_EQ(test::pixel_at(0, 3, 3), (std::array<int, 4>{0x80, 0x80, 0x80, 255}));
    EXPECT_EQ(image_save(0, folder.path("icon.png"), IMAGE_CODE_PNG), 0);
    EXPECT_EQ(image_save(0, folder.path("icon.bmp"), IMAGE_CODE_BMP, 7, 24), 0);
    EXPECT_TRUE(folder.entries().empty());

    auto broken = icon;
    broken[6 + 12] = 0xF0;  // first entry's offset beyond the data
    broken[6 + 13] = 0xFF;
    EXPECT_EQ(image_load_memory(0, broken.data(), broken.size()), 0u);
    const std::uint8_t empty_directory[] = {0, 0, 1, 0, 0, 0};
    EXPECT_EQ(image_load_memory(0, empty_directory, sizeof empty_directory), 0u);
    EXPECT_EQ(image_width(0), 0);
}

} // namespace
} // namespace pictavo
