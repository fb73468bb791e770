#include "core/allocation.h"

#include <cstdio>
#include <cstdlib>

void AllocationFailed(const char* what, size_t bytes) {
  printf("Error: Memory allocation failed (%s, %zu bytes).\n", what, bytes);
  fflush(stdout);
  std::exit(1);
}

void* CheckedMalloc(size_t bytes, const char* what) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) AllocationFailed(what, bytes);
  return block;
}

void* CheckedRealloc(void* block, size_t bytes, const char* what) {
  if (bytes == 0) {
    std::free(block);
    return nullptr;
  }
  void* resized = std::realloc(block, bytes);
  if (resized == nullptr) AllocationFailed(what, bytes);
  return resized;
}
