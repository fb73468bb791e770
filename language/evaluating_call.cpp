#include "language/evaluating_call.h"

#include <cstring>

#include "language/compiler.h"
#include "language/memory_access.h"

int SPECIALCALL::SlotOf(int k) const {
  const double* p = Operand(k);
  uintptr_t address = reinterpret_cast<uintptr_t>(p);
  uintptr_t first = reinterpret_cast<uintptr_t>(code->values);
  if (code->values == nullptr || address < first) return -1;
  uintptr_t slot = (address - first) / sizeof(double);
  if ((address - first) % sizeof(double) != 0 || slot >= static_cast<uintptr_t>(code->slotCount)) return -1;
  return static_cast<int>(slot);
}

bool SPECIALCALL::Reference(int k, VALUEDESCRIPTOR* descriptor) const {
  int slot = SlotOf(k);
  return slot >= 0 && code->ReadDescriptor(slot, descriptor);
}

double* SPECIALCALL::Result() const { return code->values + code->resultSlots.Items<int32_t>()[instruction]; }

void SPECIALCALL::SetResultReference(const VALUEDESCRIPTOR& descriptor) const {
  code->WriteDescriptor(code->resultSlots.Items<int32_t>()[instruction], descriptor);
}

SPECIALOUTCOME BuiltinFailure(int subCode, bool goOn) { return {goOn ? 0 : 1, kBuiltinError, 0, subCode}; }

SPECIALOUTCOME ArrayFailure(int arrayIndex, int subCode) { return {1, kArrayReferenceError, arrayIndex, subCode}; }

int64_t ElementsLeft(const ARRAYINFO& array, const unsigned char* data, int elementSize) {
  const unsigned char* first = static_cast<const unsigned char*>(array.data);
  if (first == nullptr || data < first || elementSize <= 0) return 0;
  int64_t offset = data - first;
  if (offset >= array.byteSize || offset % elementSize != 0) return 0;
  return (array.byteSize - offset) / elementSize;
}

bool ReadArrayArgument(const SPECIALCALL& call, int k, ARRAYARGUMENT* argument) {
  VALUEDESCRIPTOR descriptor{};
  if (!call.Reference(k, &descriptor) || DescriptorKind(descriptor) != kReferenceArray) return false;
  *argument = ARRAYARGUMENT{};
  argument->index = descriptor.objectIndex;
  argument->level = DescriptorLevel(descriptor);
  argument->offset = descriptor.offset;
  uintptr_t address = 0;
  AddressFromValue(call.Value(k), &address);
  argument->data = reinterpret_cast<unsigned char*>(address);
  if (argument->index >= call.language->ArrayCount()) return true;  // a built-in array: no elements here
  const ARRAYINFO& array = call.language->arrays[argument->index];
  argument->array = &array;
  if (argument->data == nullptr) return true;
  int size = call.language->elementSizes[array.elementType];
  int64_t left = ElementsLeft(array, argument->data, size);
  if (left == 0) {
    argument->outside = true;
    return true;
  }
  int64_t extent = static_cast<int64_t>(array.dimensions[array.dimensionCount - 1]) - argument->offset;
  if (extent < 0) extent = 0;
  argument->extent = static_cast<int>(extent < left ? extent : left);
  return true;
}
