// The two sorts of the tracks file: the tracks by source-particle number and
// the records of one track by generation, then creation point. Both run in
// O(n log n) without recursion and permute an index array alongside the keys.
#pragma once

#include <cstdint>

#include "core/track_records.h"

// Sets index[i] = i, then sorts keys ascending as signed 64-bit numbers,
// permuting index alongside (equal keys keep their order). False when the
// scratch memory cannot be allocated (nothing is changed then).
bool SortKeys(int32_t n, int64_t* keys, int32_t* index);

// Sort key of a record: point in the low half, generation in the high half,
// compared as an unsigned number.
uint64_t CollisionRecordKey(const COLLISIONRECORD& record);

// Sets index[i] = i, then sorts the first n records of the slot ascending by
// their keys, moving whole records and permuting index alongside (equal keys
// keep their order). False when the scratch memory cannot be allocated.
bool SortCollisionRecords(const TRACKSLOT& slot, int32_t n, int32_t* index);
