// The CTask record's construction, its particle bank (growth and pop), its
// list of random-number streams and the worker thread's entry.
#include "transport/bank.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/allocation.h"
#include "core/constants.h"
#include "core/relaxed_access.h"
#include "core/stream_control.h"
#include "geometry/source_services.h"
#include "geometry/tracker_arrays.h"
#include "transport/tally_scoring.h"
#include "transport/tracks.h"

namespace {

void* ReallocBlock(void* block, size_t bytes) { return std::realloc(block, bytes); }

// Allocates or resizes one bank array to `capacity` entries through
// bankRealloc; on failure the array is left as it was and false returned.
template <typename T>
bool ResizeArray(T*& array, int32_t capacity) {
  void* grown = transport::bankRealloc(array, static_cast<size_t>(capacity) * sizeof(T));
  if (grown == nullptr) return false;
  array = static_cast<T*>(grown);
  return true;
}

// Resizes every array that is present; the coordinate array only when
// positions are stored (it holds a single entry otherwise).
bool ResizeBank(PARTICLEBANK& b, int32_t capacity) {
  bool ok = ResizeArray(b.en, capacity) && ResizeArray(b.p, capacity) && ResizeArray(b.org, capacity);
  if (ok && b.wt != nullptr) ok = ResizeArray(b.wt, capacity) && ResizeArray(b.iForced, capacity);
  if (ok && b.positionsStored != 0) ok = ResizeArray(b.pc, capacity);
  if (ok && b.voxelIndex != nullptr) ok = ResizeArray(b.voxelIndex, capacity) && ResizeArray(b.cellIndex, capacity);
  if (ok && b.maxRadius != nullptr) ok = ResizeArray(b.maxRadius, capacity) && ResizeArray(b.centerFree, capacity);
  return ok;
}

// Allocates an array of n entries at construction (set-up: an exhausted heap
// ends the run with the allocation message).
template <typename T>
T* NewArray(int32_t n, const char* what) {
  return static_cast<T*>(CheckedMalloc(static_cast<size_t>(n) * sizeof(T), what));
}

void AllocateBank(PARTICLEBANK& b, const Constants& k) {
  b.en = NewArray<double>(kBankGrowth, "particle bank");
  b.p = NewArray<uint8_t>(kBankGrowth, "particle bank");
  b.org = NewArray<uint8_t>(kBankGrowth, "particle bank");
  b.positionsStored = k.trackPos != 0 ? 1 : 0;
  b.pc = NewArray<PARTICLECOORD>(b.positionsStored != 0 ? kBankGrowth : 1, "particle bank");
  if (k.interactionForcing != 0) {
    b.wt = NewArray<double>(kBankGrowth, "particle bank");
    b.iForced = NewArray<int16_t>(kBankGrowth, "particle bank");
  }
  if (k.complexGeometry != 0) {
    b.voxelIndex = NewArray<int32_t>(kBankGrowth, "particle bank");
    b.cellIndex = NewArray<int16_t>(kBankGrowth, "particle bank");
    if (k.storeFreeMotionRadius != 0) {
      b.maxRadius = NewArray<double>(kBankGrowth, "particle bank");
      b.centerFree = NewArray<VECTOR>(kBankGrowth, "particle bank");
    }
  }
}

void FreeBank(PARTICLEBANK& b) {
  std::free(b.en);
  std::free(b.p);
  std::free(b.org);
  std::free(b.pc);
  std::free(b.wt);
  std::free(b.iForced);
  std::free(b.voxelIndex);
  std::free(b.cellIndex);
  std::free(b.maxRadius);
  std::free(b.centerFree);
  b = PARTICLEBANK{};
}

}  // namespace

namespace transport {
BankReallocFunction bankRealloc = ReallocBlock;
}  // namespace transport

CTask::CTask(bool allocate) {
  bankCapacity = kBankGrowth;
  if (!allocate) return;
  // Whole cache lines of its own: the statistics are written at every event.
  constexpr size_t kLine = 64;
  constexpr size_t kStatsBytes = (sizeof(INTERACTIONSTATS) + kLine - 1) / kLine * kLine;
  stats = static_cast<INTERACTIONSTATS*>(std::aligned_alloc(kLine, kStatsBytes));
  if (stats == nullptr) AllocationFailed("interaction statistics", kStatsBytes);
  std::memset(stats, 0, kStatsBytes);
  curStats = stats;
  AllocateBank(bank, GetConstants());
  pcCursor = bank.pc;
}

CTask::~CTask() {
  std::free(stats);
  std::free(streamList);
  FreeBank(bank);
  FreeTrackerWork(tracker);
}

int32_t GrowBank(TASKSTATE& t, int32_t need) {
  int32_t capacity = t.bankCapacity;
  while (capacity < need) capacity += kBankGrowth;
  if (capacity > kMaxBankedParticles) capacity = kMaxBankedParticles;
  const ptrdiff_t cursor = t.pcCursor - t.bank.pc;
  const bool grown = ResizeBank(t.bank, capacity);
  t.pcCursor = t.bank.pc + cursor;
  if (!grown) {
    printf("\nFatal error in thread No. %d: memory for %d banked particles could not be allocated.\n", t.threadNo + 1,
           capacity);
    return kBankFull;
  }
  t.bankCapacity = capacity;
  return kBankGrown;
}

// Room for n more entries (BankRoom); a full bank is fatal for the worker.
int32_t CTask::Check_nBanked(int32_t n) {
  const int32_t result = BankRoom(*this, n);
  if (result == kBankFull) fatalError.store(1, std::memory_order_release);
  return result;
}

// Takes the top entry of the bank into the particle. With an empty bank the
// history's particles are exhausted: nBanked becomes negative and the history
// counts as finished. Returns 0, or 1 when the particle cannot be placed in
// the geometry (fatal).
int32_t CTask::ReadBankedParticle() {
  TrackBeforePop(*this);
  DecrementRelaxed(nBanked);
  if (nBanked < 0) {
    IncrementRelaxed(stats->slot[statslot::nHistoriesDone].n);
    return 0;
  }
  E = bank.en[nBanked];
  kind = bank.p[nBanked];
  org = bank.org[nBanked];
  TrackAfterPop(*this, nBanked);
  if (bank.wt != nullptr) {
    weight = bank.wt[nBanked];
    iForced = bank.iForced[nBanked];
  }
  // Without positions the particle keeps the coordinates that the record holds.
  if (bank.positionsStored == 0) return 0;
  pc = bank.pc[nBanked];
  ResetPlaneTallyDistances(*this, TallyKindOf(kind));
  if (bank.voxelIndex != nullptr) {
    voxelIndex = bank.voxelIndex[nBanked];
    cellIndex = bank.cellIndex[nBanked];
    if (bank.maxRadius != nullptr) {
      maxRadius = bank.maxRadius[nBanked];
      centerFree = bank.centerFree[nBanked];
    }
    EnterCellOfVoxelSlot(*this, bank.maxRadius == nullptr);
  }
  return 0;
}

bool CTask::SetStreamList(const int32_t* streams, int32_t n) {
  int32_t* list = static_cast<int32_t*>(std::realloc(streamList, static_cast<size_t>(n > 0 ? n : 1) * sizeof(int32_t)));
  if (list == nullptr) return false;
  streamList = list;
  for (int32_t i = 0; i < n; ++i) streamList[i] = streams[i];
  StoreRelaxed(nStreams, n);
  streamCursor = 0;
  if (n > 0) StoreRelaxed(iStream, streamList[0]);
  return true;
}

// Removes from the list the streams whose source particles are all done (or
// taken over by the devices), except the stream of a running history.
void CTask::DropFinishedStreams() {
  const int64_t share = static_cast<int64_t>(CpuParticleShare());
  int32_t i = 0;
  while (i < nStreams) {
    const int32_t s = streamList[i];
    const bool historyRunning = state >= 0 && s == iStream;
    if (historyRunning || static_cast<int64_t>(StreamControlOf(s).nextParticle) < share) {
      ++i;
      continue;
    }
    StreamControlOf(s).task = kStreamFinished;
    for (int32_t j = i + 1; j < nStreams; ++j) streamList[j - 1] = streamList[j];
    DecrementRelaxed(nStreams);
    if (i < streamCursor) {
      --streamCursor;
    } else if (i == streamCursor) {
      streamCursor = 0;
      if (nStreams > 0) StoreRelaxed(iStream, streamList[0]);
    }
  }
}

void ThreadFunc(void* arg) {
  CTask& task = core::tasks[*static_cast<const int*>(arg)];
  if (task.nStreams > 0 && task.stopRequest.load(std::memory_order_acquire) == 0) task.RunHistories();
  task.running.store(0, std::memory_order_release);
}
