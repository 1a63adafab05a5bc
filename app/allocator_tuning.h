// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps large pixel buffers in the process's heap between images.
#pragma once

namespace pictavo {

// A run allocates and frees buffers of tens of megabytes for every image. By default the C
// allocator maps each such block afresh and unmaps it on release, so the kernel zero-fills
// every page again on first touch: for a 12-megapixel photo that costs about as much as
// resizing it. Raising the thresholds keeps the blocks in the heap, and the next image reuses
// the same memory. Call once at start-up, before any image is loaded.
void keep_large_buffers_in_heap();

} // namespace pictavo
