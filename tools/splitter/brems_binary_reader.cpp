#include "tools/splitter/brems_binary_reader.h"

#include <bit>

namespace {

// Reads `size` bytes and assembles them as a little-endian unsigned number, so
// the file reads the same on hosts of either byte order.
bool ReadLittleEndian(FILE* input, int size, uint64_t* bits) {
  unsigned char bytes[8];
  if (std::fread(bytes, 1, size, input) != static_cast<size_t>(size)) return false;
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  *bits = value;
  return true;
}

}  // namespace

int ReadBinaryDouble(FILE* input, double* value) {
  uint64_t bits;
  if (!ReadLittleEndian(input, 8, &bits)) return 0;
  *value = std::bit_cast<double>(bits);
  return 1;
}

int ReadBinaryInt32(FILE* input, int32_t* value) {
  uint64_t bits;
  if (!ReadLittleEndian(input, 4, &bits)) return 0;
  *value = std::bit_cast<int32_t>(static_cast<uint32_t>(bits));
  return 1;
}
