// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/decoded_rows.h"

#include "image/pixel_buffer.h"

namespace pictavo {

DecodedRows::DecodedRows(DecodeContext& context, const ImageDecoder& decoder, int window_rows)
    : AreaSource(context.width, context.height, context.depth, RowOrder::TopDown),
      context_(context),
      decoder_(decoder),
      window_rows_(window_rows),
      stride_(pixel_row_stride(context.width, context.depth))
{
    if (!decoder.decode_row || window_rows < 1 || window_rows > context.height || stride_ == 0 ||
        exceeds_image_limits(context.width, context.height))
        return;
    ring_.reset(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(window_rows), stride_)));
}

std::uint8_t* DecodedRows::slot(int index) const
{
    return ring_.get() + static_cast<std::size_t>(index % window_rows_) * stride_;
}

void DecodedRows::decode_through(int index)
{
    while (error_ == ImageError::None && decoded_ <= index) {
        if (!decoder_.decode_row(context_, slot(decoded_))) {
            error_ = context_.error != ImageError::None ? context_.error : ImageError::Corrupt;
            return;
        }
        ++decoded_;
    }
}

const std::uint8_t* DecodedRows::row(int index)
{
    // A row outside the image, or one the ring no longer holds, would be a resize that reads
    // against its own order; it is refused rather than answered with another row's pixels.
    if (index < 0 || index >= height() || index < decoded_ - window_rows_) {
        if (error_ == ImageError::None)
            error_ = ImageError::Corrupt;
        return ring_.get();
    }
    decode_through(index);
    return slot(index);
}

ImageError DecodedRows::finish()
{
    if (!ready())
        return ImageError::OutOfMemory;
    decode_through(height() - 1);
    return error_;
}

} // namespace pictavo
