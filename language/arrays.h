// The user arrays of the language: typed blocks of one to twenty dimensions,
// declared in the ARRAYS block and owned by the Compiler.
#pragma once

#include <cstdint>

constexpr int kMaxArrayDimensions = 20;
constexpr int kMaxArrays = 8191;
constexpr int kArrayNameLength = 1000;           // a name fits on one input line
constexpr int64_t kMaxArrayBytes = 2147483647;   // one byte less than 2 GB
constexpr int32_t kMaxArrayDimension = 2000000000;

// Element types; the code is stored in the record.
enum ArrayElementType : int32_t {
  kElementDouble = 0,
  kElementFloat = 1,
  kElementInt = 2,     // signed 32-bit
  kElementUInt = 3,    // unsigned 32-bit
  kElementInt2 = 4,    // signed 16-bit
  kElementUInt2 = 5,   // unsigned 16-bit
  kElementInt1 = 6,    // signed 8-bit
  kElementUInt1 = 7,   // unsigned 8-bit
};
constexpr int kElementTypeCount = 8;

// One user array. Its elements lie in one zero-filled block in row-major
// order: the last index varies fastest, and zero-based indices i0 .. i(d-1)
// address element i0 strides[0] + ... + i(d-1) strides[d-1].
struct ARRAYINFO {
  char name[kArrayNameLength + 1];          // as declared, trimmed
  int32_t dimensionCount;                   // d, 1..20
  int32_t dimensions[kMaxArrayDimensions];  // extent of each dimension, 1..2000000000
  int32_t strides[kMaxArrayDimensions];     // elements between neighbouring indices; strides[d-1] = 1
  int32_t elementType;                      // ArrayElementType
  void* data;                               // the element block (owned by the Compiler)
  int32_t byteSize;                         // bytes of the block, at most 2147483647
  int32_t elementCount;                     // product of the dimensions
};

// Outcome of adding an array to the Compiler's table.
enum ArrayAddResult {
  kArrayAdded,
  kArrayTableFull,        // 8191 arrays exist already
  kArrayTooLarge,         // more than 2147483647 bytes
  kArrayBadShape,         // a dimension count or extent out of range, or an unknown type
  kArrayNoMemory,         // the block could not be allocated
};

// Size of an array, formed in double precision (each dimension taken as an
// unsigned 32-bit number), so that no product can overflow before the 2 GB
// limit is checked.
struct ARRAYSIZE {
  double elements;  // product of the dimensions
  double bytes;     // elements times the element size
};
ARRAYSIZE ArrayMemorySize(int elementSize, int dimensionCount, const int32_t* dimensions);

// Stores a value into one array element of the given type, converted as the
// language stores every array value: double unchanged; float rounded to
// single precision (beyond its range: an infinity); int, int2, int1 through
// a 32-bit integer truncated toward zero, keeping the low 32, 16 or 8 bits;
// uint through a 64-bit integer, keeping the low 32 bits; uint2, uint1
// through a 32-bit integer, keeping the low 16 or 8 bits. Integers saturate
// at the ends of their intermediate type and a NaN stores 0. Any other type
// stores nothing.
void StoreElement(int elementType, void* element, double value);
