#include "language/memory_access.h"

#include <cstring>

#include "language/compiler.h"
#include "language/integer_conversion.h"

namespace {

// [begin, begin + length) inside [regionBegin, regionBegin + regionBytes),
// written so that no sum can wrap around.
bool Inside(uintptr_t begin, size_t length, const void* regionBegin, size_t regionBytes) {
  uintptr_t first = reinterpret_cast<uintptr_t>(regionBegin);
  if (regionBegin == nullptr || begin < first) return false;
  uintptr_t offset = begin - first;
  return offset <= regionBytes && length <= regionBytes - offset;
}

bool InsideValueBuffers(const Compiler& language, uintptr_t begin, size_t length) {
  for (const auto& record : language.programs) {
    const CProgramCode& code = record->code;
    size_t slots = static_cast<size_t>(code.slotCount < code.valueCapacity ? code.slotCount : code.valueCapacity);
    if (slots > 0 && Inside(begin, length, code.values, slots * sizeof(double))) return true;
  }
  return false;
}

// The values of activations that nested ones of the same program suspend.
bool InsideSuspendedSlots(const Compiler& language, uintptr_t begin, size_t length) {
  for (const SUSPENDEDSLOTS& saved : language.suspendedSlots) {
    size_t slots = static_cast<size_t>(saved.slotCount);
    if (slots > 0 && Inside(begin, length, saved.values, slots * sizeof(double))) return true;
  }
  return false;
}

bool InsideArrays(const Compiler& language, uintptr_t begin, size_t length) {
  for (const ARRAYINFO& array : language.arrays) {
    if (Inside(begin, length, array.data, static_cast<size_t>(array.byteSize))) return true;
  }
  return false;
}

}  // namespace

bool LanguageMemoryContains(const Compiler& language, uintptr_t begin, size_t length) {
  size_t globalBytes = static_cast<size_t>(language.nGlobalParameters) * sizeof(double);
  return Inside(begin, length, language.systemValues, sizeof language.systemValues) ||
         (globalBytes > 0 && Inside(begin, length, language.globalValues, globalBytes)) ||
         InsideValueBuffers(language, begin, length) || InsideSuspendedSlots(language, begin, length) ||
         InsideArrays(language, begin, length);
}

bool AddressFromValue(double value, uintptr_t* address) {
  uint64_t integer;
  if (!IntegerPartOfHalfUp(value, &integer)) return false;
  *address = static_cast<uintptr_t>(integer);
  return true;
}

bool ReadLanguageDouble(const Compiler& language, double addressValue, double* value) {
  uintptr_t address;
  if (!AddressFromValue(addressValue, &address)) return false;
  if (!LanguageMemoryContains(language, address, sizeof(double))) return false;
  std::memcpy(value, reinterpret_cast<const void*>(address), sizeof(double));  // any alignment
  return true;
}

bool CopyLanguageBytes(const Compiler& language, double destinationValue, double sourceValue, size_t n) {
  uintptr_t destination, source;
  if (!AddressFromValue(destinationValue, &destination) || !AddressFromValue(sourceValue, &source)) return false;
  if (!LanguageMemoryContains(language, destination, n) || !LanguageMemoryContains(language, source, n)) {
    return false;
  }
  std::memmove(reinterpret_cast<void*>(destination), reinterpret_cast<const void*>(source), n);
  return true;
}
