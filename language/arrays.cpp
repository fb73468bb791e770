// The array table of the Compiler.
#include <cstdio>
#include <cstring>
#include <new>

#include "language/compiler.h"

namespace {

bool ShapeIsValid(int elementType, int dimensionCount, const int32_t* dimensions) {
  if (elementType < 0 || elementType >= kElementTypeCount) return false;
  if (dimensionCount < 1 || dimensionCount > kMaxArrayDimensions) return false;
  for (int k = 0; k < dimensionCount; ++k) {
    if (dimensions[k] < 1 || dimensions[k] > kMaxArrayDimension) return false;
  }
  return true;
}

// Element count of the shape, or -1 beyond the byte limit. Each partial
// product stays below 2^31 * 2^31, so no step can overflow.
int64_t ElementCountWithin(int dimensionCount, const int32_t* dimensions, int elementSize) {
  int64_t count = 1;
  for (int k = 0; k < dimensionCount; ++k) {
    count *= dimensions[k];
    if (count * elementSize > kMaxArrayBytes) return -1;
  }
  return count;
}

}  // namespace

ArrayAddResult Compiler::AddArray(const char* name, int elementType, int dimensionCount, const int32_t* dimensions) {
  if (ArrayCount() >= kMaxArrays) return kArrayTableFull;
  if (!ShapeIsValid(elementType, dimensionCount, dimensions)) return kArrayBadShape;
  int elementSize = elementSizes[elementType];
  int64_t count = ElementCountWithin(dimensionCount, dimensions, elementSize);
  if (count < 0) return kArrayTooLarge;

  ARRAYINFO array{};
  std::snprintf(array.name, sizeof array.name, "%s", name);
  array.dimensionCount = dimensionCount;
  array.elementType = elementType;
  array.elementCount = static_cast<int32_t>(count);
  array.byteSize = static_cast<int32_t>(count * elementSize);
  int32_t stride = 1;
  for (int k = dimensionCount - 1; k >= 0; --k) {
    array.dimensions[k] = dimensions[k];
    array.strides[k] = stride;
    stride = static_cast<int32_t>(static_cast<int64_t>(stride) * dimensions[k]);  // ends at the element count
  }
  array.data = new (std::nothrow) unsigned char[static_cast<size_t>(array.byteSize)]();
  if (array.data == nullptr) return kArrayNoMemory;
  arrays.push_back(array);
  ++nDeclaredArrays;
  return kArrayAdded;
}
