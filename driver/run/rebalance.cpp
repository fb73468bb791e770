#include "driver/run/rebalance.h"

#include <cstddef>

namespace {

bool Measured(const BALANCEPARTICIPANT& p) { return !p.fixed && p.finished >= p.nTasks && p.finished > 0; }

uint64_t NotStarted(const BALANCEPARTICIPANT& p) { return p.share > p.started ? p.share - p.started : 0; }

}  // namespace

std::vector<uint64_t> RedivideHistories(uint64_t N, const std::vector<BALANCEPARTICIPANT>& participants) {
  const size_t n = participants.size();
  std::vector<uint64_t> shares(n);
  uint64_t started = 0;
  uint64_t W = 0;
  for (const BALANCEPARTICIPANT& p : participants) {
    started += p.started;
    if (Measured(p)) W += p.finished;
  }
  // Nobody measured: nobody's speed is known, and halving the shares of all
  // would leave histories to no one. The histories stay where they were.
  if (W == 0 || started >= N) {
    for (size_t i = 0; i < n; ++i) shares[i] = participants[i].share;
    return shares;
  }
  uint64_t rest = N - started;
  for (size_t i = 0; i < n; ++i) {
    const BALANCEPARTICIPANT& p = participants[i];
    if (Measured(p)) continue;
    const uint64_t kept = p.fixed ? NotStarted(p) : NotStarted(p) / 2;
    shares[i] = p.started + kept;
    rest = rest > kept ? rest - kept : 0;
  }
  const double perFinished = 1.0 / static_cast<double>(W);
  for (size_t i = 0; i < n; ++i) {
    const BALANCEPARTICIPANT& p = participants[i];
    if (!Measured(p)) continue;
    shares[i] = p.started +
                static_cast<uint64_t>(static_cast<double>(p.finished) * perFinished * static_cast<double>(rest) + 0.5);
  }
  uint64_t total = 0;
  for (uint64_t s : shares) total += s;
  // Rounding: the measured participants take the missing histories one by
  // one, the CPU first; the surplus is given back by those above their
  // started histories.
  while (total < N) {
    for (size_t i = 0; i < n && total < N; ++i) {
      if (!Measured(participants[i])) continue;
      ++shares[i];
      ++total;
    }
  }
  while (total > N) {
    bool gave = false;
    for (size_t i = 0; i < n && total > N; ++i) {
      if (participants[i].fixed || shares[i] <= participants[i].started) continue;
      --shares[i];
      --total;
      gave = true;
    }
    if (!gave) break;
  }
  return shares;
}

std::vector<int64_t> SpreadQuotas(uint64_t histories, int32_t k) {
  std::vector<int64_t> quotas(static_cast<size_t>(k > 0 ? k : 0));
  if (k <= 0) return quotas;
  const uint64_t each = histories / static_cast<uint64_t>(k);
  const uint64_t extra = histories % static_cast<uint64_t>(k);
  for (int32_t r = 0; r < k; ++r) {
    quotas[static_cast<size_t>(r)] = static_cast<int64_t>(each + (static_cast<uint64_t>(r) < extra ? 1 : 0));
  }
  return quotas;
}
