// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of an image as a decoder delivers them one at a time, as an area resize reads them:
// a ring of the few rows the resize needs at once, each decoded when it is first asked for,
// so the whole image is never held.
#pragma once

#include "image/area_resample.h"
#include "image/image_error.h"
#include "image/image_plugin.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace pictavo {

class DecodedRows final : public AreaSource {
public:
    // For the image whose header the decoder has read into context; it must have decode_row.
    // window_rows: the most rows the resize asks for together (area_rows_at_once).
    DecodedRows(DecodeContext& context, const ImageDecoder& decoder, int window_rows);

    // Whether the ring could be allocated; without it no row can be given.
    bool ready() const { return ring_ != nullptr; }
    // After a failure, or for a row that has left the ring, some row of the ring: the failure
    // is in error().
    const std::uint8_t* row(int index) override;
    // Decodes the rows not asked for yet, so that the decoder has read all its data. The
    // first failure, or ImageError::None.
    ImageError finish();
    ImageError error() const { return error_; }

private:
    std::uint8_t* slot(int index) const;
    void decode_through(int index);

    struct FreeDeleter {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };
    DecodeContext& context_;
    const ImageDecoder& decoder_;
    int window_rows_;
    std::size_t stride_;
    std::unique_ptr<std::uint8_t, FreeDeleter> ring_;
    int decoded_ = 0;  // rows 0 .. decoded_ - 1 came from the decoder, the last window_rows_ are kept
    ImageError error_ = ImageError::None;
};

} // namespace pictavo
