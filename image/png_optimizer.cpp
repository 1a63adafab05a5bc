// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/png_optimizer.h"

#include "image/png_filters.h"
#include "image/png_writer.h"
#include "image/zlib_stream.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>

namespace pictavo {
namespace {

// libdeflate levels. On artwork at 1000 px the fastest level ranks the filter choices within
// half a per cent of what ranking at the final level would give (no middle level ranks
// better) at a sixtieth of its time; the final level is libdeflate's strongest, 1 % smaller
// than level 10 and as small as zopfli within 0.4 %, at a thirtieth of zopfli's time.
constexpr int trial_level = 1;
constexpr int final_level = 12;

// A trial compresses the filtered rows in parts of about this size, so that it holds neither
// the whole filtered image nor its stream; restarting deflate's 32 KiB window at each part
// hardly changes the ranking.
constexpr std::size_t trial_part_bytes = 512 * 1024;

// A chunk's length field holds at most 2^31 - 1 (PNG standard, 5.3).
constexpr std::size_t max_chunk_bytes = 0x7FFFFFFF;

constexpr std::array<FilterChoice, 7> filter_choices = {FilterChoice::None,       FilterChoice::Sub,
                                                        FilterChoice::Up,         FilterChoice::Average,
                                                        FilterChoice::Paeth,      FilterChoice::MinimumSum,
                                                        FilterChoice::Entropy};

void put_big_endian32(std::uint8_t* out, std::size_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

bool write_chunk(const EncodeSink& sink, const char (&type)[5], const std::uint8_t* data, std::size_t size)
{
    std::uint8_t head[8];
    put_big_endian32(head, size);
    for (int i = 0; i < 4; ++i)
        head[4 + i] = static_cast<std::uint8_t>(type[i]);
    std::uint32_t crc = crc32_of(0, head + 4, 4);
    crc = crc32_of(crc, data, size);
    std::uint8_t tail[4];
    put_big_endian32(tail, crc);
    return sink.write(head, sizeof head) && (size == 0 || sink.write(data, size)) && sink.write(tail, sizeof tail);
}

bool write_image_data(const EncodeSink& sink, const std::vector<std::uint8_t>& stream)
{
    std::size_t at = 0;
    do {
        const std::size_t size = std::min(max_chunk_bytes, stream.size() - at);
        if (!write_chunk(sink, "IDAT", stream.data() + at, size))
            return false;
        at += size;
    } while (at < stream.size());
    return write_chunk(sink, "IEND", nullptr, 0);
}

struct Best {
    std::size_t form = 0;
    PngRaster raster;
    FilterChoice choice = FilterChoice::None;
    std::size_t trial_size = 0;  // 0: nothing tried yet
};

struct TrialBuffers {
    std::vector<std::uint8_t> filtered;
    std::vector<std::uint8_t> stream;
};

// The raster's trial size when filtered by choice: the compressed sizes of its parts, added.
// 0 on failure.
std::size_t trial_size(const PngRaster& raster, FilterChoice choice, ZlibCompressor& trial, TrialBuffers& buffers)
{
    const auto rows_per_part = static_cast<int>(std::max<std::size_t>(1, trial_part_bytes / (raster.row_bytes + 1)));
    std::size_t total = 0;
    for (int first = 0; first < raster.height; first += rows_per_part) {
        filter_rows(raster, choice, first, std::min(rows_per_part, raster.height - first), buffers.filtered);
        if (!trial.compress(buffers.filtered, buffers.stream))
            return 0;
        total += buffers.stream.size();
    }
    return total;
}

// Tries every filter choice on raster; when one of them beats best, best takes the raster.
bool try_filters(std::size_t form, PngRaster& raster, ZlibCompressor& trial, TrialBuffers& buffers, Best& best)
{
    bool improved = false;
    for (const FilterChoice choice : filter_choices) {
        const std::size_t size = trial_size(raster, choice, trial, buffers);
        if (size == 0)
            return false;
        if (best.trial_size == 0 || size < best.trial_size) {
            best.choice = choice;
            best.trial_size = size;
            improved = true;
        }
    }
    if (improved) {
        best.form = form;
        best.raster = std::move(raster);
    }
    return true;
}

// The form and filter choice whose trial compression is smallest; false on failure.
bool find_best(std::size_t form_count, const RasterMaker& make_form, Best& best)
{
    ZlibCompressor trial(trial_level);
    if (!trial.valid())
        return false;
    PngRaster raster;
    TrialBuffers buffers;
    for (std::size_t form = 0; form < form_count; ++form)
        if (!make_form(form, raster) || !try_filters(form, raster, trial, buffers, best))
            return false;
    return best.trial_size > 0;
}

// The best filtering compressed at the final level. The raster's rows are released once
// filtered, before the compressor takes its room.
bool compress_best(Best& best, std::vector<std::uint8_t>& stream)
{
    std::vector<std::uint8_t> filtered;
    filter_rows(best.raster, best.choice, 0, best.raster.height, filtered);
    std::vector<std::uint8_t>().swap(best.raster.rows);
    ZlibCompressor final_compressor(final_level);
    // The strongest level almost always comes out smaller than the fastest one did on the
    // parts, so the stream first gets only that much room.
    return final_compressor.compress(filtered, stream, best.trial_size) || final_compressor.compress(filtered, stream);
}

bool write_smallest(std::size_t form_count, const RasterMaker& make_form, const ColourProfile* colour,
                    const EncodeSink& sink, std::size_t& chosen)
{
    Best best;
    std::vector<std::uint8_t> stream;
    if (!find_best(form_count, make_form, best) || !compress_best(best, stream))
        return false;
    chosen = best.form;
    return png_write_header(best.raster, colour, sink) && write_image_data(sink, stream);
}

} // namespace

bool png_write_smallest(std::size_t form_count, const RasterMaker& make_form, const ColourProfile* colour,
                        const EncodeSink& sink, std::size_t& chosen)
{
    try {
        return write_smallest(form_count, make_form, colour, sink, chosen);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace pictavo
