// Heap blocks of the program's own containers and tables. An exhausted heap is
// reported with the name of what could not be allocated and ends the run with
// exit code 1; no caller ever receives a null block.
#pragma once

#include <cstddef>

// Prints "Error: Memory allocation failed (%s, %zu bytes).\n" and exits with 1.
[[noreturn]] void AllocationFailed(const char* what, size_t bytes);

// malloc that never returns null for a non-zero size.
void* CheckedMalloc(size_t bytes, const char* what);

// realloc that never returns null for a non-zero size; a size of 0 frees the
// block and returns null.
void* CheckedRealloc(void* block, size_t bytes, const char* what);
