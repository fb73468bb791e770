#include "platform/memory.h"

#include <sys/mman.h>

void* AllocateZeroedPages(size_t bytes) {
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void* ResizePages(void* block, size_t oldBytes, size_t newBytes) {
  void* moved = mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE);
  return moved == MAP_FAILED ? nullptr : moved;
}

void ReleasePages(void* block, size_t bytes) {
  if (block != nullptr) munmap(block, bytes);
}
