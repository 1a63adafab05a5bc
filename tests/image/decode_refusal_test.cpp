// SPDX-License-Identifier: GPL-3.0-or-later
// Files made to cost time or memory must be refused, each with its own reason, or decoded
// cheaply: every file is made here at run time. Time and memory are checked only against generous bounds, as a sanity check.
#include "image_test_support.h"
#include "jpeg_test_support.h"
#include "metadata_test_support.h"
#include "png_test_support.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace pictavo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A kibibyte figure from /proc/self/status ("VmRSS", "VmHWM"); -1 where the host has none.
long status_kib(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Restarts the kernel's count of the peak resident set at the current one.
bool reset_peak_memory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

void put_big16(Bytes& bytes, std::size_t at, unsigned value)
{
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

// The frame header of a JPEG made small, made to claim width x height.
Bytes with_frame_size(Bytes jpeg, unsigned width, unsigned height)
{
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2 || jpeg[i + 1] == 0xC9 || jpeg[i + 1] == 0xCA)) {
            put_big16(jpeg, i + 5, height);
            put_big16(jpeg, i + 7, width);
            return jpeg;
        }
    return {};
}

Bytes grey_jpeg(bool progressive, bool arithmetic, int side = 16)
{
    return test::write_jpeg(Bytes(static_cast<std::size_t>(side * side), 0x80), side, side, JCS_GRAYSCALE, 1,
                            JCS_GRAYSCALE, progressive, arithmetic);
}

// A flat progressive image with its last (tiny) scan repeated scans times more.
Bytes scan_flood(int scans, int side)
{
    const Bytes jpeg = grey_jpeg(true, false, side);
    std::size_t last_scan = 0;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            last_scan = i;
    Bytes flood(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < scans; ++i)
        flood.insert(flood.end(), jpeg.begin() + static_cast<long>(last_scan), jpeg.end() - 2);
    flood.insert(flood.end(), {0xFF, 0xD9});
    return flood;
}

// Signature, a header declaring width x height RGB, a little image data and the trailer.
Bytes png_declaring(std::uint32_t width, std::uint32_t height, std::size_t rows_of_data)
{
    Bytes header(13, 0);
    test::put_big32(header, 0, width);
    test::put_big32(header, 4, height);
    header[8] = 8;
    header[9] = PNG_COLOR_TYPE_RGB;
    const Bytes raw((std::size_t{3} * width + 1) * rows_of_data, 0);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes compressed(size);
    compress(compressed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    compressed.resize(size);
    Bytes file = test::png_signature();
    for (const Bytes& chunk : {test::png_chunk("IHDR", header), test::png_chunk("IDAT", compressed), test::png_chunk("IEND", {})})
        file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

// A small PNG behind a hundred compressed text chunks of 8 MB each.
Bytes png_behind_text_chunks()
{
    const Bytes png = test::write_png(4, 4, PNG_COLOR_TYPE_RGB, 8, Bytes(48, 7));
    const Bytes text(8000000, 'a');
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    Bytes chunk_data = {'k', 0, 0};
    chunk_data.resize(3 + size);
    compress2(chunk_data.data() + 3, &size, text.data(), static_cast<uLong>(text.size()), 9);
    chunk_data.resize(3 + size);
    const Bytes chunk = test::png_chunk("zTXt", chunk_data);
    const std::size_t after_header = 8 + 25;
    Bytes file(png.begin(), png.begin() + after_header);
    for (int i = 0; i < 100; ++i)
        file.insert(file.end(), chunk.begin(), chunk.end());
    file.insert(file.end(), png.begin() + after_header, png.end());
    return file;
}

// The 54 bytes of a 24-bit BMP's headers and no pixels.
Bytes bmp_header_only(std::uint32_t width, std::uint32_t height)
{
    Bytes bmp(54, 0);
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bmp[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bmp[26] = 1;
    bmp[28] = 24;
    return bmp;
}

TEST(DecodeRefusal, HostileFilesCostLittleAndGiveTheirReason)
{
    test::CodecsRegistered registered;
    TestFolder folder;
    const std::string path = folder.path("x.jpg");
    auto write = [&](const Bytes& bytes) { return [&, bytes] { test::write_bytes(path, bytes); }; };
    struct Case {
        const char* what;
        std::function<void()> make;
        ImageError reason;
    };
    const std::vector<Case> cases = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, ImageError::NotAFile},
        {"a socket",
         [&] {
             const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             ASSERT_LT(path.size(), sizeof address.sun_path);
             std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
             ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             ::close(listener);
         },
         ImageError::NotAFile},
        {"a device", [&] { std::filesystem::create_symlink("/dev/null", path); }, ImageError::NotAFile},
        {"a folder", [&] { std::filesystem::create_directory(path); }, ImageError::NotAFile},
        {"a sparse 2 GB file",
         [&] {
             const int file = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
             ASSERT_EQ(::ftruncate(file, off_t{2} << 30), 0);
             ::close(file);
         },
         ImageError::FileTooLarge},
        {"a PNG declaring 20000 x 20000", write(png_declaring(20000, 20000, 100)), ImageError::TooManyPixels},
        {"an arithmetic JPEG declaring 30000 x 30000", write(with_frame_size(grey_jpeg(false, true), 30000, 30000)),
         ImageError::TooManyPixels},
        {"an arithmetic JPEG of a few hundred bytes declaring 10000 x 10000",
         write(with_frame_size(grey_jpeg(false, true), 10000, 10000)), ImageError::CutOff},
        {"a progressive JPEG of over 1000 scans", write(scan_flood(1000, 16)), ImageError::Unsupported},
        {"a progressive JPEG of 300 tiny scans over 4096 x 4096 pixels", write(scan_flood(300, 4096)),
         ImageError::Unsupported},
        {"a BMP header declaring 32767 x 32767", write(bmp_header_only(32767, 32767)), ImageError::TooManyPixels},
        {"a BMP header declaring 16000 x 16000", write(bmp_header_only(16000, 16000)), ImageError::CutOff},
        {"a PNG behind 800 MB of compressed text", write(png_behind_text_chunks()), ImageError::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        c.make();
        const bool memory_known = reset_peak_memory();
        const long resident_before = status_kib("VmRSS");
        const auto start = std::chrono::steady_clock::now();
        ImageObject image;
        EXPECT_EQ(image_read_file(path, image), c.reason);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(image.holds_image(), c.reason == ImageError::None);
        EXPECT_LT(seconds, 5.0);
        if (memory_known && resident_before > 0) {
            EXPECT_LT(status_kib("VmHWM") - resident_before, 300L * 1024);
        }
    }
}

TEST(DecodeRefusal, EveryDecoderFailureCarriesItsReason)
{
    test::CodecsRegistered registered;
    Bytes lossless = grey_jpeg(false, false);
    for (std::size_t i = 2; i + 1 < lossless.size(); ++i)
        if (lossless[i] == 0xFF && lossless[i + 1] == 0xC0) {
            lossless[i + 1] = 0xC3;
            break;
        }
    Bytes bad_table = grey_jpeg(false, false);
    for (std::size_t i = 2; i + 5 < bad_table.size(); ++i)
        if (bad_table[i] == 0xFF && bad_table[i + 1] == 0xDB) {
            bad_table[i + 4] = 0x0F;  // quantization table number 15
            break;
        }
    const std::string text = "this is a text file named like a photo";
    struct Case {
        const char* what;
        Bytes bytes;
        ImageError reason;
    };
    const std::vector<Case> cases = {
        {"text", Bytes(text.begin(), text.end()), ImageError::NotAnImage},
        {"a 12-bit JPEG", test::read_bytes(test::testdata("jpeg/monkey12.jpg")), ImageError::Unsupported},
        {"a lossless JPEG", lossless, ImageError::Unsupported},
        {"a JPEG with a damaged table", bad_table, ImageError::Corrupt},
        {"a PNG whose image data ends early", png_declaring(300, 200, 20), ImageError::CutOff},
        {"a PNG header declaring 40000 x 10", png_declaring(40000, 10, 1), ImageError::TooManyPixels},
        {"a BMP header declaring 40000 x 10", bmp_header_only(40000, 10), ImageError::TooManyPixels},
    };
    for (const Case& c : cases) {
        ImageObject image;
        EXPECT_EQ(image_decode(c.bytes.data(), c.bytes.size(), image), c.reason) << c.what;
        EXPECT_FALSE(image.holds_image()) << c.what;
    }
}

} // namespace
} // namespace pictavo
