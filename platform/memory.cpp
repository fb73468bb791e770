#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

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

void ZeroPages(void* start, size_t bytes) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = reinterpret_cast<uintptr_t>(start);
  const uintptr_t end = begin + bytes;
  const uintptr_t firstWhole = (begin + page - 1) / page * page;
  const uintptr_t endWhole = end / page * page;
  if (firstWhole >= endWhole) {
    std::memset(start, 0, bytes);
    return;
  }
  std::memset(start, 0, firstWhole - begin);
  std::memset(reinterpret_cast<void*>(endWhole), 0, end - endWhole);
  void* whole = reinterpret_cast<void*>(firstWhole);
  if (madvise(whole, endWhole - firstWhole, MADV_DONTNEED) != 0) std::memset(whole, 0, endWhole - firstWhole);
}
