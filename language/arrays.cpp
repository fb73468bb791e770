// The array table of the Compiler.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "language/compiler.h"
#include "language/integer_conversion.h"

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

// Single precision of a double: values whose rounding leaves the float range
// become infinities (a plain conversion would be undefined there).
float ToSinglePrecision(double value) {
  // Halfway between FLT_MAX and 2^128: from here on the rounding gives infinity.
  constexpr double kFloatOverflow = (2.0 - 0x1p-24) * 0x1p127;
  if (value >= kFloatOverflow) return HUGE_VALF;
  if (value <= -kFloatOverflow) return -HUGE_VALF;
  return static_cast<float>(value);
}

template <typename T>
void StoreAs(void* element, T value) {
  std::memcpy(element, &value, sizeof value);
}

}  // namespace

ARRAYSIZE ArrayMemorySize(int elementSize, int dimensionCount, const int32_t* dimensions) {
  double elements = 1.0;
  for (int k = 0; k < dimensionCount; ++k) elements *= static_cast<double>(static_cast<uint32_t>(dimensions[k]));
  return {elements, elements * elementSize};
}

void StoreElement(int elementType, void* element, double value) {
  int32_t narrow = 0;
  int64_t wide = 0;
  IntegerPart(value, &narrow);
  IntegerPart(value, &wide);
  uint32_t bits = static_cast<uint32_t>(narrow);
  switch (elementType) {
    case kElementDouble:
      StoreAs(element, value);
      break;
    case kElementFloat:
      StoreAs(element, ToSinglePrecision(value));
      break;
    case kElementInt:
      StoreAs(element, narrow);
      break;
    case kElementUInt:
      StoreAs(element, static_cast<uint32_t>(static_cast<uint64_t>(wide)));
      break;
    case kElementInt2:
      StoreAs(element, static_cast<int16_t>(static_cast<uint16_t>(bits)));
      break;
    case kElementUInt2:
      StoreAs(element, static_cast<uint16_t>(bits));
      break;
    case kElementInt1:
      StoreAs(element, static_cast<int8_t>(static_cast<uint8_t>(bits)));
      break;
    case kElementUInt1:
      StoreAs(element, static_cast<uint8_t>(bits));
      break;
    default:
      break;
  }
}

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
