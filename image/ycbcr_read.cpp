// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/ycbcr_read.h"

#include "image/area_resample.h"
#include "image/jpeg_decoder.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

namespace pictavo {
namespace {

// The most rows of one component that one group holds: a sampling factor is at most 4.
constexpr int max_group_rows = 4 * 8;

// The stream's luma rows as the resize asks for them, decoded a group at a time; the chroma
// rows of every group go into whole planes on the way.
class StreamedPlanes final : public AreaSource {
public:
    StreamedPlanes(DecodeContext& context, const PlaneLayout& layout, int window_rows)
        : AreaSource(layout.width[0], layout.height[0], 8, RowOrder::TopDown),
          context_(context),
          layout_(layout),
          ring_rows_(window_rows + layout.group_rows[0])
    {
        const auto usable = [](int rows) { return rows >= 1 && rows <= max_group_rows; };
        const bool valid =
            window_rows >= 1 && std::all_of(layout.group_rows.begin(), layout.group_rows.end(), usable);
        if (!valid)
            return;
        ring_ = SamplePlane::create(layout.width[0], ring_rows_, layout.room[0]);
        blue_ = SamplePlane::create(layout.width[1], layout.height[1], layout.room[1]);
        red_ = SamplePlane::create(layout.width[2], layout.height[2], layout.room[2]);
        const int widest = *std::max_element(layout.room.begin(), layout.room.end());
        filler_ = SamplePlane::create(widest, 1);
    }

    bool ready() const { return !ring_.empty() && !blue_.empty() && !red_.empty() && !filler_.empty(); }

    // A row the ring no longer holds, or one outside the image, would be a resize reading
    // against its order: it is refused rather than answered with another row's samples.
    const std::uint8_t* row(int index) override
    {
        if (index < 0 || index >= height() || index < decoded_ - ring_rows_) {
            if (error_ == ImageError::None)
                error_ = ImageError::Corrupt;
            return ring_.row(0);
        }
        while (error_ == ImageError::None && decoded_ <= index)
            decode_group();
        return ring_.row(index % ring_rows_);
    }

    // Decodes the groups not asked for yet: the chroma planes are then whole, and the decoder
    // has read all its data. The first failure, or ImageError::None.
    ImageError finish()
    {
        while (error_ == ImageError::None && groups_ < layout_.groups)
            decode_group();
        return error_;
    }

    SamplePlane& blue() { return blue_; }
    SamplePlane& red() { return red_; }

private:
    // Where row r of a component goes: its plane's row, or the filler past the height.
    std::uint8_t* luma_row(int r) { return r < height() ? ring_.row(r % ring_rows_) : filler_.row(0); }
    static std::uint8_t* chroma_row(SamplePlane& plane, SamplePlane& filler, int r)
    {
        return r < plane.height() ? plane.row(r) : filler.row(0);
    }

    void decode_group()
    {
        std::uint8_t* luma[max_group_rows];
        std::uint8_t* blue[max_group_rows];
        std::uint8_t* red[max_group_rows];
        for (int i = 0; i < layout_.group_rows[0]; ++i)
            luma[i] = luma_row(decoded_ + i);
        for (int i = 0; i < layout_.group_rows[1]; ++i)
            blue[i] = chroma_row(blue_, filler_, groups_ * layout_.group_rows[1] + i);
        for (int i = 0; i < layout_.group_rows[2]; ++i)
            red[i] = chroma_row(red_, filler_, groups_ * layout_.group_rows[2] + i);
        std::uint8_t* const* const rows[3] = {luma, blue, red};
        if (groups_ >= layout_.groups || !jpeg_read_plane_group(context_, rows)) {
            error_ = context_.error != ImageError::None ? context_.error : ImageError::Corrupt;
            return;
        }
        decoded_ += layout_.group_rows[0];
        ++groups_;
    }

    DecodeContext& context_;
    PlaneLayout layout_;
    int ring_rows_;
    SamplePlane ring_;
    SamplePlane blue_;
    SamplePlane red_;
    SamplePlane filler_;  // takes the rows past a plane's height
    int decoded_ = 0;     // luma rows 0 .. decoded_ - 1 came from the decoder
    int groups_ = 0;
    ImageError error_ = ImageError::None;
};

ImageError planes_sized(const std::uint8_t* data, std::size_t size, const SizeChoice& choose, ImageObject& image)
{
    DecodeContext context;
    context.plugin = &jpeg_decoder_plugin;
    context.data = data;
    context.size = size;
    if (!jpeg_check_planes(context))
        return context.error != ImageError::None ? context.error : ImageError::Unsupported;
    const ImageHeader header{context.width, context.height, known_orientation(context), IMAGE_CODE_JPEG};
    const std::optional<ImageSize> chosen = choose ? choose(header) : std::nullopt;
    if (!chosen || chosen->width < 1 || chosen->height < 1 || chosen->width > max_image_dimension ||
        chosen->height > max_image_dimension)
        return ImageError::Unsupported;
    PlaneLayout layout;
    if (!jpeg_start_planes(context, layout))
        return context.error != ImageError::None ? context.error : ImageError::Corrupt;
    auto resized = std::make_shared<YcbcrPlanes>();
    resized->luma = SamplePlane::create(chosen->width, chosen->height);
    resized->blue = SamplePlane::create(chroma_length_420(chosen->width), chroma_length_420(chosen->height));
    resized->red = SamplePlane::create(chroma_length_420(chosen->width), chroma_length_420(chosen->height));
    StreamedPlanes stored(context, layout, area_rows_at_once(layout.height[0], chosen->height));
    if (resized->empty() || !stored.ready())
        return ImageError::OutOfMemory;
    const bool luma_done = area_resample(stored, resized->luma);
    if (const ImageError error = stored.finish(); error != ImageError::None)
        return error;
    if (!luma_done || !area_resample(stored.blue(), resized->blue) || !area_resample(stored.red(), resized->red))
        return ImageError::OutOfMemory;
    image.width = static_cast<std::int16_t>(chosen->width);
    image.height = static_cast<std::int16_t>(chosen->height);
    image.depth = 24;
    image.source_depth = 24;
    image.plugin_code = IMAGE_CODE_JPEG;
    image.frame_count = 1;
    image.orientation = static_cast<std::uint8_t>(header.orientation);
    image.colour = std::move(context.colour);
    image.ycbcr = std::move(resized);
    return ImageError::None;
}

} // namespace

ImageError decode_ycbcr_sized(const std::uint8_t* data, std::size_t size, const SizeChoice& choose, ImageObject& image)
{
    try {
        return planes_sized(data, size, choose, image);
    } catch (const std::bad_alloc&) {
        return ImageError::OutOfMemory;
    }
}

} // namespace pictavo
