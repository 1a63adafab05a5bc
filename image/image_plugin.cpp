// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_plugin.h"

#include <new>

namespace pictavo {

const std::uint8_t* EncodeRequest::image_row(int y) const
{
    return pixels + buffer_row_index(y, height, flags) * stride;
}

bool EncodeSink::write(const void* bytes, std::size_t count) const
{
    if (file)
        return std::fwrite(bytes, 1, count, file) == count;
    if (!memory)
        return false;
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    try {
        memory->insert(memory->end(), first, first + count);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

} // namespace pictavo
