// Zero-filled memory taken from the system in whole pages. A page takes
// physical memory only once it is written, so a large record of fixed
// capacities of which one use writes a small part costs that part.
#pragma once

#include <cstddef>

// A zero-filled block of `bytes` bytes, or null when the system refuses.
void* AllocateZeroedPages(size_t bytes);

// Resizes a block of AllocateZeroedPages from oldBytes to newBytes, moving it
// when it cannot grow in place (its pages are moved, not copied; pages added
// are zero). Returns the block's address, or null when the system refuses
// (the block is then unchanged).
void* ResizePages(void* block, size_t oldBytes, size_t newBytes);

// Zeroes bytes bytes at start inside a block of AllocateZeroedPages: the
// whole pages of the range go back to the system (they read as zero and take
// memory again only when written), the partial pages at its ends are cleared.
void ZeroPages(void* start, size_t bytes);

// Returns a block of AllocateZeroedPages (null is ignored) to the system.
void ReleasePages(void* block, size_t bytes);
