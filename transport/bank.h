// The particle bank of a worker: growth, push and pop. A banked particle is
// born at the current position and in the current cell of the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/hostdevice.h"
#include "core/task.h"
#include "core/vector.h"
#include "transport/host_hooks.h"

// Results of CTask::Check_nBanked and BankRoom.
constexpr int32_t kBankRoomAvailable = 0;
constexpr int32_t kBankGrown = -1;
constexpr int32_t kBankFull = 1;  // fatal

// The reallocation that grows the bank arrays; tests replace it to make a
// growth fail.
using BankReallocFunction = void* (*)(void* block, size_t bytes);
namespace transport {
extern BankReallocFunction bankRealloc;
}  // namespace transport

// Grows the bank arrays of a CPU worker to hold `need` entries (transport/
// bank.cpp): kBankGrown, or kBankFull with the message printed.
int32_t GrowBank(TASKSTATE& t, int32_t need);

// Room for n more entries. A request beyond kMaxBankedParticles is fatal; a
// CPU worker's bank grows in steps of kBankGrowth up to that, a device task's
// staging stack is sized at set-up and a full one is fatal. Returns kBankRoomAvailable,
// kBankGrown or kBankFull (the message printed; the caller's step returns
// kStepFatal).
TQ_CPU_GPU inline int32_t BankRoom(TASKSTATE& t, int32_t n) {
  const int32_t need = t.nBanked + n;
  if (need > kMaxBankedParticles) {
    printf("\nFatal error in thread No. %d: number of banked particles exceeds %d.\n", t.threadNo + 1,
           kMaxBankedParticles);
    return kBankFull;
  }
  if (need > t.maxBanked) t.maxBanked = need;
  if (need <= t.bankCapacity) return kBankRoomAvailable;
#if !defined(__CUDA_ARCH__)
  if (t.onDevice == 0) return GrowBank(t, need);
#endif
  // A device task's staging stack has a fixed size (its particles move into
  // the device's pool after each stage).
  printf("\nFatal error in task No. %d: number of banked particles exceeds %d.\n", t.threadNo + 1, t.bankCapacity);
  return kBankFull;
}

// Pushes one particle of energy E (eV), kind, origin, momentum vector `dir`
// (eV), weight and forcing state. Returns kBankFull (fatal, nothing written)
// when the bank cannot take it; the step then returns kStepFatal at once.
TQ_CPU_GPU inline int32_t PushParticle(TASKSTATE& t, double E, uint8_t kind, uint8_t org, VECTOR dir, double weight,
                                       int16_t iForced) {
  if (BankRoom(t, 1) > 0) return kBankFull;
  PARTICLEBANK& b = t.bank;
  const int32_t i = t.nBanked;
  b.en[i] = E;
  b.p[i] = kind;
  b.org[i] = org;
  if (b.wt != nullptr) {
    b.wt[i] = weight;
    b.iForced[i] = iForced;
  }
  if (b.positionsStored != 0) {
    t.pcCursor = b.pc + i;
    t.pcCursor->pos = t.pc.pos;
    t.pcCursor->dir = dir;
    if (b.voxelIndex != nullptr) {
      b.voxelIndex[i] = t.voxelIndex;
      b.cellIndex[i] = t.cellIndex;
    }
    if (b.maxRadius != nullptr) {
      b.maxRadius[i] = t.maxRadius;
      b.centerFree[i] = t.centerFree;
    }
  }
  StoreSharedCount(t.nBanked, t.nBanked + 1);
  if (t.trackData != nullptr) HookTrackSecondary(t, org, E);
  return kBankRoomAvailable;
}

// The same on a CPU worker's record, which also raises its fatal-error flag
// when the bank is full.
inline int32_t PushParticle(CTask& task, double E, uint8_t kind, uint8_t org, VECTOR dir, double weight,
                            int16_t iForced) {
  const int32_t result = PushParticle(static_cast<TASKSTATE&>(task), E, kind, org, dir, weight, iForced);
  if (result == kBankFull) task.fatalError.store(1, std::memory_order_release);
  return result;
}
