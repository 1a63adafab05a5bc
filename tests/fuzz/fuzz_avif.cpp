// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return pictavo::fuzz_decoder(pictavo::IMAGE_CODE_AVIF, data, size);
}
