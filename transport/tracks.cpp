// Track recording: slots, chunked record and point arrays, generations.
#include "transport/tracks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/stream_control.h"

namespace {

template <typename T>
bool Grow(T*& array, int64_t n) {
  void* grown = std::realloc(array, static_cast<size_t>(n > 0 ? n : 1) * sizeof(T));
  if (grown == nullptr) return false;
  array = static_cast<T*>(grown);
  return true;
}

bool Recording(const CTask& task) {
  return task.trackData != nullptr && task.trackData->tracked != 0 && task.trackData->slots[task.trackData->iSlot].nPoints >= 1;
}

int32_t ChunkSize() { return core::trackOptions.CHUNKSIZE_TRACKS; }

int32_t FirstPointChunkSize() {
  const TRACKOPTIONS& o = core::trackOptions;
  return o.NCOLLISIONS_TRACK < o.CHUNKSIZE_TRACKS ? o.NCOLLISIONS_TRACK : o.CHUNKSIZE_TRACKS;
}


// Generation within MAXGEN_TRACKS (compared as unsigned, so -1 is no limit).
bool GenerationRecorded(int64_t generation) {
  return generation >= 0 && static_cast<uint64_t>(generation) <=
                                static_cast<uint64_t>(static_cast<int64_t>(core::trackOptions.MAXGEN_TRACKS));
}

bool AddChunk(COLLISIONRECORD**& chunks, int32_t& n, int32_t size) {
  if (!Grow(chunks, n + 1)) return false;
  chunks[n] = static_cast<COLLISIONRECORD*>(std::calloc(static_cast<size_t>(size), sizeof(COLLISIONRECORD)));
  if (chunks[n] == nullptr) return false;
  ++n;
  return true;
}

bool AddChunk(TRACKPOINT**& chunks, int32_t& n, int32_t size) {
  if (!Grow(chunks, n + 1)) return false;
  chunks[n] = static_cast<TRACKPOINT*>(std::calloc(static_cast<size_t>(size), sizeof(TRACKPOINT)));
  if (chunks[n] == nullptr) return false;
  ++n;
  return true;
}

void FatalTrackMemory(CTask& task) {
  printf("\nFatal error in thread No. %d: memory for the track data could not be allocated.\n", task.threadNo + 1);
  task.fatalError.store(1, std::memory_order_release);
  task.trackData->tracked = 0;
}

// Shortens the last chunks of a finished slot to the entries used.
void ShortenSlot(TRACKSLOT& slot) {
  const int32_t c = ChunkSize();
  const int32_t points = slot.nPoints < 0 ? -slot.nPoints : slot.nPoints;
  if (slot.nPointChunks > 0) {
    const int32_t used = points - (slot.nPointChunks - 1) * c;
    if (used > 0) Grow(slot.pointChunks[slot.nPointChunks - 1], used);
  }
  if (slot.nRecordChunks > 0) {
    const int32_t used = slot.nRecords - (slot.nRecordChunks - 1) * c;
    if (used > 0) Grow(slot.recordChunks[slot.nRecordChunks - 1], used);
  }
}

void FreeSlot(TRACKSLOT& slot) {
  for (int32_t i = 0; i < slot.nRecordChunks; ++i) std::free(slot.recordChunks[i]);
  for (int32_t i = 0; i < slot.nPointChunks; ++i) std::free(slot.pointChunks[i]);
  std::free(slot.recordChunks);
  std::free(slot.pointChunks);
  slot = TRACKSLOT{};
}

// Opens the current slot: first chunks, the source record, counters.
bool OpenSlot(CTask& task) {
  TASKTRACKS& tr = *task.trackData;
  if (tr.iSlot >= tr.nSlotsAllocated) {
    const int32_t n = tr.nSlotsAllocated + core::trackOptions.blockSize;
    if (!Grow(tr.slots, n)) return false;
    for (int32_t i = tr.nSlotsAllocated; i < n; ++i) tr.slots[i] = TRACKSLOT{};
    tr.nSlotsAllocated = n;
  }
  TRACKSLOT& slot = tr.slots[tr.iSlot];
  if (slot.nRecordChunks == 0 && !AddChunk(slot.recordChunks, slot.nRecordChunks, ChunkSize())) return false;
  if (slot.nPointChunks == 0 && !AddChunk(slot.pointChunks, slot.nPointChunks, FirstPointChunkSize())) return false;
  tr.recordMark = ChunkSize();
  tr.pointMark = FirstPointChunkSize();
  slot.recordChunks[0][0] = COLLISIONRECORD{0, 0, 0.0, 0, 1};
  slot.nRecords = 1;
  slot.nPoints = 1;
  tr.curRecord = 0;
  tr.curGeneration = 0;
  if (tr.iSlot + 1 > tr.nSlotsUsed) tr.nSlotsUsed = tr.iSlot + 1;
  return true;
}

}  // namespace

bool TrackRecording(const CTask& task) { return Recording(task); }

COLLISIONRECORD* CollisionRecordAt(const TRACKSLOT& slot, int32_t i) {
  return slot.recordChunks[i / ChunkSize()] + i % ChunkSize();
}

TRACKPOINT* Record40At(const TRACKSLOT& slot, int32_t i) { return slot.pointChunks[i / ChunkSize()] + i % ChunkSize(); }

bool AllocateTaskTracks(CTask& task) {
  task.trackData = new (std::nothrow) TASKTRACKS{};
  return task.trackData != nullptr;
}

void FreeTaskTracks(CTask& task) {
  TASKTRACKS* tr = task.trackData;
  if (tr == nullptr) return;
  for (int32_t i = 0; i < tr->nSlotsAllocated; ++i) FreeSlot(tr->slots[i]);
  std::free(tr->slots);
  std::free(tr->bankRecord);
  delete tr;
  task.trackData = nullptr;
}

void TrackHistoryStart(CTask& task) {
  TASKTRACKS* tr = task.trackData;
  if (tr == nullptr) return;
  // Step 1: a previous track that holds more than its source point keeps its
  // slot; the next history opens a new one.
  bool opened = tr->started == 0;
  if (tr->started != 0 && tr->tracked != 0 && tr->slots[tr->iSlot].nPoints != 1) {
    ShortenSlot(tr->slots[tr->iSlot]);
    ++tr->iSlot;
    opened = true;
  }
  // Step 2: the quota carried from earlier histories joins this stream's.
  core::trackOptions.streamQuota[task.iStream] += tr->carried;
  tr->carried = 0;
  tr->tracked = core::trackOptions.streamDone[task.iStream] < core::trackOptions.streamQuota[task.iStream] ? 1 : 0;
  if (tr->tracked == 0) return;
  // Step 3: a fresh slot, or the reused one, starts with the source record.
  if (opened || tr->slots[tr->iSlot].nPoints == 1) {
    if (!OpenSlot(task)) {
      FatalTrackMemory(task);
      return;
    }
    tr->started = 1;
  }
  // Step 4: the source point.
  TRACKSLOT& slot = tr->slots[tr->iSlot];
  slot.nRecords = 1;
  slot.nPoints = 1;
  tr->curRecord = 0;
  tr->curGeneration = 0;
  COLLISIONRECORD* source = CollisionRecordAt(slot, 0);
  *source = COLLISIONRECORD{0, 0, task.E, 0, 1};
  *Record40At(slot, 0) = TRACKPOINT{0, task.pc.pos.x, task.pc.pos.y, task.pc.pos.z, task.E};
  slot.sourceParticle = StreamControlOf(task.iStream).nextParticle;
}

void TrackHistoryEnd(CTask& task) {
  TASKTRACKS* tr = task.trackData;
  if (tr == nullptr) return;
  const int32_t s = task.iStream;
  if (tr->tracked != 0 && tr->slots[tr->iSlot].nPoints != 1) ++core::trackOptions.streamDone[s];
  tr->carried += core::trackOptions.streamQuota[s] - core::trackOptions.streamDone[s];
  core::trackOptions.streamQuota[s] = core::trackOptions.streamDone[s];
}

void RecordKeptTrackPoint(CTask& task) {
  if (!Recording(task)) return;
  TASKTRACKS& tr = *task.trackData;
  if (!GenerationRecorded(tr.curGeneration)) return;
  TRACKSLOT& slot = tr.slots[tr.iSlot];
  if (slot.nPoints >= tr.pointMark) {
    if (!AddChunk(slot.pointChunks, slot.nPointChunks, ChunkSize())) {
      FatalTrackMemory(task);
      return;
    }
    tr.pointMark += ChunkSize();
  }
  *Record40At(slot, slot.nPoints) =
      TRACKPOINT{static_cast<uint32_t>(tr.curRecord), task.pc.pos.x, task.pc.pos.y, task.pc.pos.z, 0.0};
  ++slot.nPoints;
  ++CollisionRecordAt(slot, tr.curRecord)->nPoints;
}

void FinishKeptTrackPoint(CTask& task) {
  if (!Recording(task)) return;
  TASKTRACKS& tr = *task.trackData;
  if (!GenerationRecorded(tr.curGeneration)) return;
  TRACKSLOT& slot = tr.slots[tr.iSlot];
  Record40At(slot, slot.nPoints - 1)->energy = task.E > 0.0 ? task.E : 0.0;
  if (slot.nPoints == core::trackOptions.NCOLLISIONS_TRACK) CollisionLimitWarning(task);
}

void RecordTrackExit(CTask& task) {
  if (!Recording(task)) return;
  if (task.trackData->slots[task.trackData->iSlot].nPoints == 1 &&
      core::trackOptions.SKIP_TRACKS_WITHOUT_COLLISIONS != 0) {
    return;
  }
  RecordTrackPoint(task);
  FinishTrackPoint(task);
}

void AddCollisionRecord(CTask& task, uint8_t type, double energy) {
  TASKTRACKS& tr = *task.trackData;
  TRACKSLOT& slot = tr.slots[tr.iSlot];
  if (slot.nRecords >= tr.recordMark) {
    if (!AddChunk(slot.recordChunks, slot.nRecordChunks, ChunkSize())) {
      FatalTrackMemory(task);
      return;
    }
    tr.recordMark += ChunkSize();
  }
  const uint32_t generation = CollisionRecordAt(slot, tr.curRecord)->generation + (task.subStep != 0 ? 1u : 0u);
  *CollisionRecordAt(slot, slot.nRecords) =
      COLLISIONRECORD{static_cast<uint32_t>(slot.nPoints - 1), generation, energy, type, 0};
  ++slot.nRecords;
}

// A secondary gets a record when its generation will be recorded: the current
// generation below the limit, or at it while the secondary belongs to the
// current generation (sub-step flag clear).
static bool SecondaryRecorded(const CTask& task) {
  const int64_t g = task.trackData->curGeneration;
  if (g < 0) return false;
  const int64_t limit = core::trackOptions.MAXGEN_TRACKS;
  return limit < 0 || g < limit || (g == limit && task.subStep == 0);
}

void TrackSecondary(CTask& task, uint8_t origin, double energy) {
  if (!Recording(task)) return;
  TASKTRACKS& tr = *task.trackData;
  const int32_t entry = task.nBanked - 1;
  if (entry >= tr.bankRecordCapacity) {
    if (!Grow(tr.bankRecord, task.bankCapacity)) {
      FatalTrackMemory(task);
      return;
    }
    tr.bankRecordCapacity = task.bankCapacity;
  }
  if (SecondaryRecorded(task)) {
    tr.bankRecord[entry] = tr.slots[tr.iSlot].nRecords;
    AddCollisionRecord(task, origin, energy);
  } else {
    tr.bankRecord[entry] = -1;
  }
}

void TrackReplacement(CTask& task, uint8_t origin, double energy) {
  if (!Recording(task)) return;
  TASKTRACKS& tr = *task.trackData;
  if (SecondaryRecorded(task)) {
    const int32_t record = tr.slots[tr.iSlot].nRecords;
    AddCollisionRecord(task, origin, energy);
    tr.curRecord = record;
    tr.curGeneration = CollisionRecordAt(tr.slots[tr.iSlot], record)->generation;
  } else {
    tr.curGeneration = -1;
  }
  task.subStep = 0;
}

void TrackBeforePop(CTask& task) {
  if (!Recording(task) || task.escaped != 0) return;
  TASKTRACKS& tr = *task.trackData;
  if (!GenerationRecorded(tr.curGeneration)) return;
  TRACKSLOT& slot = tr.slots[tr.iSlot];
  if (slot.nPoints > 1) Record40At(slot, slot.nPoints - 1)->energy = 0.0;
}

void TrackAfterPop(CTask& task, int32_t entry) {
  if (!Recording(task)) return;
  TASKTRACKS& tr = *task.trackData;
  const int32_t record = entry < tr.bankRecordCapacity ? tr.bankRecord[entry] : -1;
  tr.curRecord = record;
  tr.curGeneration = record < 0 ? -1 : CollisionRecordAt(tr.slots[tr.iSlot], record)->generation;
}

void CollisionLimitWarning(CTask& task) {
  TASKTRACKS& tr = *task.trackData;
  tr.slots[tr.iSlot].nPoints = -core::trackOptions.NCOLLISIONS_TRACK;
  if (task.collisionWarned != 0) return;
  printf("\nWarning: The number of collisions in a track exceeded %d in thread No. %d.\n",
         core::trackOptions.NCOLLISIONS_TRACK - 2, task.threadNo + 1);
  task.collisionWarned = 1;
}
