// Coupled electron-photon transport with real ENDF/B data: every photon and
// electron process on, every secondary followed, whole histories run by the
// history loop. Energy balance history by history.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "core/constants.h"
#include "core/interaction_stats.h"
#include "core/task.h"
#include "tests/transport/electron_fixture.h"
#include "tests/transport/photon_fixture.h"
#include "tests/transport/transport_fixture.h"

namespace {

constexpr double kCuAtomsPerCm3 = 8.96 * 6.02214076e23 / 63.546;
const int kCu[1] = {29};
const double kOne[1] = {1.0};

// Positrons that left the layer in the current history: their 2 m c^2 leaves
// with them, but the escape statistics hold only the kinetic energy.
int positronEscapes = 0;

// The real physics step; notes the escapes of positrons.
int32_t CountingStep(CTask& t) {
  const bool positron = t.kind == kPositron;
  t.escaped = 0;
  const int32_t result = IsPhoton(t.kind) ? t.PhotonStep() : t.ElectronStep();
  if (positron && t.escaped != 0) ++positronEscapes;
  return result;
}

// The energy sums of a history that the balance needs, eV.
struct LEDGER {
  double source = 0.0;     // kinetic energy of the source particle
  double deposit = 0.0;    // absorbed (closed histories) and the open history's deposit
  double escaped = 0.0;    // photons and charged particles that left the layer (kinetic)
  double belowCut = 0.0;   // photons that fell below the photon cutoff
};

LEDGER Read(const CTask& task) {
  const STATSLOT* s = task.stats->slot;
  LEDGER l;
  l.source = s[statslot::eSourceElectrons].e + s[statslot::eSourcePhotons].e;
  l.deposit = s[statslot::eAbsorbed].e + s[statslot::eHistoryDeposit].e;
  l.escaped = s[statslot::ePhotonEscapes].e + s[statslot::eElectronEscapes].e;
  l.belowCut = s[statslot::ePhotonCutoff].e;
  return l;
}

TEST(CoupledHistories, EnergyIsConservedHistoryByHistoryWithEveryProcessOn) {
  struct CASE {
    uint8_t part;
    double w;     // layer thickness, cm: thin enough for charged particles to leave, thick for photons to interact
    double cutP;  // photon cutoff, eV: above the energy of photons scattered back, so that some fall below it
  } cases[] = {{kElectron, 0.05, 1e4}, {kPositron, 0.05, 1e4}, {kPhoton, 2.0, 2.5e5}};
  constexpr double E0 = 1e6, cutE = 1e4;
  constexpr int kHistories = 300;
  for (const CASE& c : cases) {
    SCOPED_TRACE(::testing::Message() << "source kind " << int(c.part));
    ELECTRONPROBLEM problem;
    problem.comptonProfiles = true;
    ASSERT_TRUE(SetElectronProblem(problem, kCu, kOne, 1, kCuAtomsPerCm3, c.w, E0, cutE, c.cutP, 0.0));
    SetPhotonOptions(problem.elements, problem.nElements);
    Constants& k = core::hostConstants;
    k.part = c.part;
    const double restEn2 = 2.0 * k.restEn;
    k.trackPhotonProducedElectrons = 1;

    auto task = std::make_unique<CTask>();
    task->stepOverride = CountingStep;
    STREAMTABLES tables;
    int positronEscapesInAll = 0;
    for (int h = 0; h < kHistories; ++h) {
      // One history per run of the loop, each on a stream of its own seed.
      DealStreams(tables, 1, 1, h + 1);
      GiveStreams(*task, 0, 1, 1);
      positronEscapes = 0;
      const LEDGER before = Read(*task);
      task->RunHistories();
      ASSERT_EQ(task->fatalError.load(), 0);
      const LEDGER after = Read(*task);
      const double source = after.source - before.source + (c.part == kPositron ? restEn2 : 0.0);
      const double deposit = after.deposit - before.deposit;
      const double escaped = after.escaped - before.escaped + restEn2 * positronEscapes;
      const double belowCut = after.belowCut - before.belowCut;
      ASSERT_EQ(source, c.part == kPositron ? E0 + restEn2 : E0) << "history " << h;
      ASSERT_NEAR(deposit + escaped + belowCut, source, 1e-9 * source)
          << "history " << h << ": deposit " << deposit << " escaped " << escaped << " below cutoff " << belowCut;
      ASSERT_GE(deposit, -1e-9 * source) << "history " << h;
      positronEscapesInAll += positronEscapes;
    }
    // Every process of both particle kinds took part.
    const STATSLOT* s = task->stats->slot;
    EXPECT_EQ(s[statslot::nHistoriesDone].n, static_cast<uint64_t>(kHistories));
    for (int slot : {statslot::nElastic, statslot::nExcitation, statslot::nElectroionization, statslot::nBremsPhotons,
                     statslot::nKnockOn, statslot::nPhotonEscapes, statslot::nCompton})
      EXPECT_GT(s[slot].n, 0u) << "slot " << slot;
    if (c.part != kPhoton) {
      EXPECT_GT(s[statslot::nElectronEscapes].n, 0u);
    } else {
      EXPECT_GT(s[statslot::nPhotonCutoff].n, 0u);
      EXPECT_GT(s[statslot::nCapture].n, 0u);
    }
    if (c.part == kPositron) {
      EXPECT_GT(s[statslot::nAnnihilation].n, 0u);
      EXPECT_GT(positronEscapesInAll, 0);
    }
  }
}

}  // namespace
