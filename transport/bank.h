// The particle bank of a CTask: growth, push and pop. A banked particle is
// born at the current position and in the current cell of the record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/relaxed_access.h"
#include "core/task.h"
#include "core/vector.h"
#include "transport/tracks.h"

// Results of CTask::Check_nBanked.
constexpr int32_t kBankRoomAvailable = 0;
constexpr int32_t kBankGrown = -1;
constexpr int32_t kBankFull = 1;  // fatal: the record's fatalError is set

// The reallocation that grows the bank arrays; tests replace it to make a
// growth fail.
using BankReallocFunction = void* (*)(void* block, size_t bytes);
extern BankReallocFunction bankRealloc;

// Pushes one particle of energy E (eV), kind, origin, momentum vector `dir`
// (eV), weight and forcing state. Returns kBankFull (fatal, nothing written)
// when the bank cannot take it; the history loop then returns at once.
inline int32_t PushParticle(CTask& task, double E, uint8_t kind, uint8_t org, VECTOR dir, double weight,
                            int16_t iForced) {
  if (task.Check_nBanked(1) > 0) return kBankFull;
  PARTICLEBANK& b = task.bank;
  const int32_t i = task.nBanked;
  b.en[i] = E;
  b.p[i] = kind;
  b.org[i] = org;
  if (b.wt != nullptr) {
    b.wt[i] = weight;
    b.iForced[i] = iForced;
  }
  if (b.positionsStored != 0) {
    task.pcCursor = b.pc + i;
    task.pcCursor->pos = task.pc.pos;
    task.pcCursor->dir = dir;
    if (b.voxelIndex != nullptr) {
      b.voxelIndex[i] = task.voxelIndex;
      b.cellIndex[i] = task.cellIndex;
    }
    if (b.maxRadius != nullptr) {
      b.maxRadius[i] = task.maxRadius;
      b.centerFree[i] = task.centerFree;
    }
  }
  IncrementRelaxed(task.nBanked);
  if (task.trackData != nullptr) TrackSecondary(task, org, E);
  return kBankRoomAvailable;
}
