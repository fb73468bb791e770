// The division of the histories not yet started between the CPU and the
// devices afresh, in proportion to what each has finished so far (balance_CUDA
// 1): a participant that has finished at least one history per task is
// measured and shares the rest by its speed; one that has not keeps half of
// its histories not yet started.
#pragma once

#include <cstdint>
#include <vector>

struct BALANCEPARTICIPANT {
  uint64_t started = 0;   // histories started so far
  uint64_t finished = 0;  // histories finished so far
  uint64_t share = 0;     // its share until now (at least started)
  uint64_t nTasks = 0;    // finished histories that make it measured
  bool fixed = false;     // keeps its share (no workers, or a device that cannot take another share)
};

// The new shares: participant 0 is the CPU, the others are the devices in
// slot order. Each new share is at least the participant's started
// histories, a fixed participant keeps its share, and the shares add up to N
// whenever the old ones did: when no participant is measured the histories
// stay where they were.
std::vector<uint64_t> RedivideHistories(uint64_t N, const std::vector<BALANCEPARTICIPANT>& participants);

// Spreads `histories` over k quotas, (histories / k) each and one more to
// the first (histories mod k): the history quotas of the CPU records that
// share the CPU's histories still to start.
std::vector<int64_t> SpreadQuotas(uint64_t histories, int32_t k);
