// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/colour_profile.h"

#include <cstring>

namespace pictavo {

bool icc_profile_describes_rgb(const std::vector<std::uint8_t>& icc)
{
    constexpr std::size_t colour_space_offset = 16;
    return icc.size() >= icc_header_bytes && std::memcmp(icc.data() + colour_space_offset, "RGB ", 4) == 0;
}

} // namespace pictavo
