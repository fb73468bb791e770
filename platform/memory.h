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

// Returns a block of AllocateZeroedPages (null is ignored) to the system.
void ReleasePages(void* block, size_t bytes);
