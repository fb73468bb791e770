// Index sorts for the tracks file. A stable merge sort of the index array by
// key (bounded stack, O(n log n) for every input, also the sorted and the
// all-equal ones), then one gather pass that moves the keys or records.
#include "driver/results/track_sort.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "transport/tracks.h"

namespace {

template <typename T>
T* Scratch(int32_t n) {
  return static_cast<T*>(std::malloc(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
}

}  // namespace

bool SortKeys(int32_t n, int64_t* keys, int32_t* index) {
  int64_t* sorted = Scratch<int64_t>(n);
  if (sorted == nullptr) return false;
  for (int32_t i = 0; i < n; ++i) index[i] = i;
  std::stable_sort(index, index + n, [keys](int32_t a, int32_t b) { return keys[a] < keys[b]; });
  for (int32_t i = 0; i < n; ++i) sorted[i] = keys[index[i]];
  if (n > 0) std::memcpy(keys, sorted, static_cast<size_t>(n) * sizeof(int64_t));
  std::free(sorted);
  return true;
}

uint64_t CollisionRecordKey(const COLLISIONRECORD& record) {
  return static_cast<uint64_t>(record.point) | (static_cast<uint64_t>(record.generation) << 32);
}

bool SortCollisionRecords(const TRACKSLOT& slot, int32_t n, int32_t* index) {
  uint64_t* keys = Scratch<uint64_t>(n);
  COLLISIONRECORD* sorted = Scratch<COLLISIONRECORD>(n);
  if (keys == nullptr || sorted == nullptr) {
    std::free(keys);
    std::free(sorted);
    return false;
  }
  for (int32_t i = 0; i < n; ++i) {
    index[i] = i;
    keys[i] = CollisionRecordKey(*CollisionRecordAt(slot, i));
  }
  std::stable_sort(index, index + n, [keys](int32_t a, int32_t b) { return keys[a] < keys[b]; });
  for (int32_t i = 0; i < n; ++i) sorted[i] = *CollisionRecordAt(slot, index[i]);
  for (int32_t i = 0; i < n; ++i) *CollisionRecordAt(slot, i) = sorted[i];
  std::free(keys);
  std::free(sorted);
  return true;
}
