// What a device stage needs of the scheduler beyond its task and the context
// of its step (STAGECONTEXT, device_stages.h): the fatal-error path, the banked-
// particle pool of the device in its two forms (per-task stacks of pool slots
// in banking modes 0 and 1, one ring in mode 2) and the start of a new
// history from the task's streams or from the device's share.
//
// Owners of pool and ring slots are stored as task number + 1, and the status
// record's `error` as the failing task's number + 1: task number 0 is a task
// like any other, and 0 means "free" and "no error".
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/hostdevice.h"
#include "core/task.h"
#include "gpu/device_atomics.h"
#include "gpu/device_globals.h"
#include "gpu/device_records.h"
#include "gpu/device_stages.h"

// Results of the bank operations.
constexpr int32_t kBankDone = 0;    // banked, or read
constexpr int32_t kBankEmpty = 1;   // a read found nothing to read
constexpr int32_t kBankFatal = -1;  // a fatal error was raised; the stage returns -1

// The fatal-error path of a stage: stops the block, records the task in the
// status record and tells whether this is the device's first fatal error,
// whose message the caller prints.
TQ_CPU_GPU inline bool RaiseFatalError(const DEVICETASK& task, STAGECONTEXT& c) {
  AtomicExchange(c.blockStop, 1);
  const int32_t previous = AtomicExchange(TaskGlobals().status.error, task.control.taskNo + 1);
  return previous <= 0;
}

// The owner mark of a task's slots.
TQ_CPU_GPU inline int32_t SlotOwner(const DEVICETASK& task) { return task.control.taskNo + 1; }

// Writes the particle (the task's position, cell and free-motion data with the
// given energy, kind, origin, momentum, weight and forcing state) into slot i
// of the pool, array by array as the options call for them.
TQ_CPU_GPU inline void WriteSlot(const DEVICEBANK& b, int64_t i, const TASKSTATE& t, double E, uint8_t kind,
                                 uint8_t org, VECTOR dir, double weight, int16_t iForced) {
  b.en[i] = E;
  b.p[i] = kind;
  b.org[i] = org;
  if (b.wt != nullptr) {
    b.wt[i] = weight;
    b.iForced[i] = iForced;
  }
  if (b.pc != nullptr) {
    b.pc[i].pos = t.pc.pos;
    b.pc[i].dir = dir;
  }
  if (b.voxelIndex != nullptr) {
    b.voxelIndex[i] = t.voxelIndex;
    b.cellIndex[i] = t.cellIndex;
  }
  if (b.maxRadius != nullptr) {
    b.maxRadius[i] = t.maxRadius;
    b.centerFree[i] = t.centerFree;
  }
}

// The particle of slot i becomes the task's particle.
TQ_CPU_GPU inline void ReadSlot(const DEVICEBANK& b, int64_t i, TASKSTATE& t) {
  t.E = b.en[i];
  t.kind = b.p[i];
  t.org = b.org[i];
  if (b.wt != nullptr) {
    t.weight = b.wt[i];
    t.iForced = b.iForced[i];
  }
  if (b.pc != nullptr) t.pc = b.pc[i];
  if (b.voxelIndex != nullptr) {
    t.voxelIndex = b.voxelIndex[i];
    t.cellIndex = b.cellIndex[i];
  }
  if (b.maxRadius != nullptr) {
    t.maxRadius = b.maxRadius[i];
    t.centerFree = b.centerFree[i];
  }
}

// Banking modes 0 and 1: claims a free pool slot for the task, pushes it on
// the task's stack and writes the particle into it.
TQ_CPU_GPU inline int32_t BankInPool(DEVICETASK& task, STAGECONTEXT& c, double E, uint8_t kind, uint8_t org, VECTOR dir,
                                     double weight, int16_t iForced) {
  TASKGLOBALS& g = TaskGlobals();
  DEVICETASKCONTROL& k = task.control;
  const int32_t banked = k.nSlots;
  if (banked + 1 > g.maxBanked_allowed) {
    if (RaiseFatalError(task, c)) {
      printf("\nFatal error in task No. %d: number of banked particles exceeds %d.\n", task.control.taskNo + 1,
             g.maxBanked_allowed);
    }
    return kBankFatal;
  }
  if (banked + 1 > k.maxSlots) k.maxSlots = banked + 1;
  if (banked + 1 > k.thread->maxBanked) k.thread->maxBanked = banked + 1;
  const unsigned long long slots = static_cast<unsigned long long>(g.maxBanked_tot);
  int64_t slot = -1;
  for (unsigned long long tries = 0; tries < slots && slot < 0; ++tries) {
    const int64_t i = static_cast<int64_t>(AtomicAdd(&g.startPosBanked, 1ull) % slots);
    if (AtomicCompareExchange(&g.bank.taskBanked[i], 0, SlotOwner(task)) == 0) slot = i;
  }
  if (slot < 0) {
    if (RaiseFatalError(task, c)) {
      printf("\nFatal error in task No. %d: no free slot for banking a new particle.\n", task.control.taskNo + 1);
    }
    return kBankFatal;
  }
  k.slots[banked] = slot;
  k.nSlots = banked + 1;
  WriteSlot(g.bank, slot, task.t, E, kind, org, dir, weight, iForced);
  return kBankDone;
}

// Banking modes 0 and 1: pops the task's last banked particle into the task
// and frees its slot.
TQ_CPU_GPU inline int32_t ReadFromPool(DEVICETASK& task, STAGECONTEXT& c) {
  TASKGLOBALS& g = TaskGlobals();
  DEVICETASKCONTROL& k = task.control;
  if (k.nSlots <= 0) return kBankEmpty;
  const int64_t slot = k.slots[k.nSlots - 1];
  --k.nSlots;
  ReadSlot(g.bank, slot, task.t);
  if (AtomicCompareExchange(&g.bank.taskBanked[slot], SlotOwner(task), 0) != SlotOwner(task)) {
    if (RaiseFatalError(task, c)) printf("\nFatal error in a CUDA device when removing a particle.\n");
    return kBankFatal;
  }
  return kBankDone;
}

// Banking mode 2: writes the particle at the ring's next write position. A
// position whose slot still holds an unread particle is skipped (a write
// failure, repaired by the host between launches); the ring is full when the
// write position comes within one slot of a whole turn ahead of the read
// position, and at the latest after a whole turn of skipped positions.
TQ_CPU_GPU inline int32_t BankInRing(DEVICETASK& task, STAGECONTEXT& c, double E, uint8_t kind, uint8_t org, VECTOR dir,
                                     double weight, int16_t iForced) {
  TASKGLOBALS& g = TaskGlobals();
  const unsigned long long slots = static_cast<unsigned long long>(g.maxBanked_tot);
  for (unsigned long long tries = 0;; ++tries) {
    const unsigned long long w = AtomicAdd(g.status.nextWritePos, 1ull);
    if (tries >= slots || w + 1 >= *g.status.nextReadPos + slots) {
      if (RaiseFatalError(task, c)) {
        printf(
            "\nFatal error in CUDA device No. %d when storing a banked particle: number of banked particles exceeds "
            "the maximum allowed number.\n",
            DeviceConstants().device + 1);
      }
      return kBankFatal;
    }
    const int64_t slot = static_cast<int64_t>(w % slots);
    if (g.bank.taskBanked[slot] != 0) {
      ++task.control.thread->nWriteFailures;
      continue;
    }
    WriteSlot(g.bank, slot, task.t, E, kind, org, dir, weight, iForced);
    DeviceMemoryFence();
    if (AtomicCompareExchange(&g.bank.taskBanked[slot], 0, SlotOwner(task)) != 0) {
      if (RaiseFatalError(task, c)) {
        printf(
            "\nFatal error in CUDA device No. %d when storing a banked particle: another banked particle data "
            "overwritten.\n",
            DeviceConstants().device + 1);
      }
      return kBankFatal;
    }
    return kBankDone;
  }
}

// Banking mode 2: reads the particle at the ring's next read position, which
// stays the read margin behind the write position. A slot reserved but not
// yet published is a read failure: nothing is read.
TQ_CPU_GPU inline int32_t ReadFromRing(DEVICETASK& task, STAGECONTEXT& c) {
  TASKGLOBALS& g = TaskGlobals();
  const unsigned long long slots = static_cast<unsigned long long>(g.maxBanked_tot);
  const unsigned long long margin = *g.margin_CUDA > 0 ? static_cast<unsigned long long>(*g.margin_CUDA) : 0ull;
  const unsigned long long writePos = *g.status.nextWritePos;
  if (writePos < margin || *g.status.nextReadPos >= writePos - margin) return kBankEmpty;
  const unsigned long long r = AtomicAdd(g.status.nextReadPos, 1ull);
  const int64_t slot = static_cast<int64_t>(r % slots);
  const int32_t owner = g.bank.taskBanked[slot];
  if (owner < 1) {
    ++task.control.thread->nReadFailures;
    return kBankEmpty;
  }
  ReadSlot(g.bank, slot, task.t);
  if (AtomicCompareExchange(&g.bank.taskBanked[slot], owner, 0) != owner) {
    if (RaiseFatalError(task, c)) printf("\nFatal error in a CUDA device when removing a particle.\n");
    return kBankFatal;
  }
  return kBankDone;
}

// Banks one particle in the device's pool or ring.
TQ_CPU_GPU inline int32_t BankParticle(DEVICETASK& task, STAGECONTEXT& c, double E, uint8_t kind, uint8_t org,
                                       VECTOR dir, double weight, int16_t iForced) {
  return TaskGlobals().heap_CUDA == kHeapRing ? BankInRing(task, c, E, kind, org, dir, weight, iForced)
                                              : BankInPool(task, c, E, kind, org, dir, weight, iForced);
}

// Takes the task's next banked particle: kBankDone, kBankEmpty or kBankFatal.
TQ_CPU_GPU inline int32_t TakeBankedParticle(DEVICETASK& task, STAGECONTEXT& c) {
  return TaskGlobals().heap_CUDA == kHeapRing ? ReadFromRing(task, c) : ReadFromPool(task, c);
}

// The task gives up its streams: their count leaves the device's count of
// active streams, once per task however often the task is asked again.
TQ_CPU_GPU inline void ReleaseStreams(DEVICETASK& task) {
  DEVICETASKCONTROL& k = task.control;
  if (k.streamCursor >= k.nStreams) return;
  const uint32_t active = static_cast<uint32_t>(k.nStreams);
  k.streamCursor = k.nStreams;
  if (TaskGlobals().status.nActStreams != nullptr) AtomicAdd(TaskGlobals().status.nActStreams, 0u - active);
}

// A new history for the task, or none (the task has run out of work). Modes 0
// and 1: the next source particle of the task's current stream, moving on
// from streams that have reached the device's limit; a task with no stream
// left releases its streams and leaves (-1) with next state 27. Mode 2: the
// next of the device's share; when the share is exhausted the task waits in
// state 27 (0). The new history: history state 0, next state 25.
TQ_CPU_GPU inline int32_t StartHistory(DEVICETASK& task) {
  TASKGLOBALS& g = TaskGlobals();
  DEVICETASKCONTROL& k = task.control;
  TASKSTATE& t = task.t;
  k.nextState = kStateReadBanked;
  if (g.heap_CUDA == kHeapRing) {
    if (g.endSimulation != 0 || k.stop != 0) {
      ReleaseStreams(task);
      return 0;
    }
    const unsigned long long n = AtomicAdd(g.status.nParticles, 1ull);
    if (n >= *g.lastParticle) {
      AtomicAdd(g.status.nParticles, ~0ull);
      return 0;
    }
    DeviceMemoryFence();
  } else {
    if (g.endSimulation != 0 || k.stop != 0) {
      ReleaseStreams(task);
      return -1;
    }
    // A task that released its streams before is asked again (banking mode
    // 1 lists it at every launch): it leaves, and is not counted again.
    if (k.streamCursor >= k.nStreams) return -1;
    DEVICESTREAMS& streams = DeviceStreams();
    for (; k.streamCursor < k.nStreams; ++k.streamCursor) {
      const int32_t s = k.streamList[k.streamCursor];
      STREAMCONTROL& control = streams.streamControl[s];
      if (control.task != kStreamFinished && control.nextParticle < *g.lastParticle) {
        control.task = k.taskNo;
        control.nextParticle += g.nStreams_device;
        t.iStream = s;
        if (g.rand_CUDA == 1) t.rng = &streams.randGens[s];
        break;
      }
      control.task = kStreamFinished;
    }
    if (k.streamCursor >= k.nStreams) {
      // Every stream has reached the limit.
      if (g.status.nActStreams != nullptr) AtomicAdd(g.status.nActStreams, 0u - static_cast<uint32_t>(k.nStreams));
      return -1;
    }
  }
  ++task.control.thread->nStartedHistories;
  t.state = kStateFollow;
  k.nextState = kStateSourcePosition;
  return 0;
}

// The end of the task's running history, if one runs: counted in the thread's
// record; the history state becomes -1.
TQ_CPU_GPU inline void EndHistory(DEVICETASK& task) {
  if (task.t.state == kStateHistoryEnded) return;
  ++task.control.thread->nFinishedHistories;
  task.t.state = kStateHistoryEnded;
}

// The read state as far as the scheduler relies on it: the task's next
// banked particle (next state by its kind), else the end of the running
// history and the start of a new one (StartHistory). The caller scores what
// the end of a history scores before it calls this.
TQ_CPU_GPU inline int32_t ReadOrStartHistory(DEVICETASK& task, STAGECONTEXT& c) {
  const int32_t read = TakeBankedParticle(task, c);
  if (read == kBankFatal) return -1;
  if (read == kBankDone) {
    task.control.nextState = IsPhoton(task.t.kind) ? kSigma_phot : kSigma_el;
    return 0;
  }
  EndHistory(task);
  return StartHistory(task);
}
