// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/allocator_tuning.h"

#include <malloc.h>

namespace pictavo {

void keep_large_buffers_in_heap()
{
    // Blocks below 256 MB (a 32-bit image of about 8000 x 8000) come from the heap, and the
    // heap is given back to the system only when 512 MB or more lie free at its top.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
}

} // namespace pictavo
