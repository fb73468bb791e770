// INTERACTIONSTATS: counts, weights and energies of created particles and of
// events, for photons and for electrons (positrons count with the electrons).
// 161 slots of 64 bits; a slot holds a count (unsigned) or a weight or energy
// sum (double, eV), as its name says. A creation count in slots 10..50 keeps
// its weight sum kWeightSlotOffset slots further on.
#pragma once

#include <cstddef>
#include <cstdint>

union STATSLOT {
  uint64_t n;  // a count
  double e;    // a weight or energy sum (eV)
};

// Named slots; the report and the physics steps own the others.
namespace statslot {
constexpr int eSourceElectrons = 0;
constexpr int eSourcePhotons = 1;
constexpr int eAbsorbed = 2;
constexpr int nSourceElectrons = 3;
constexpr int nSourcePhotons = 4;
constexpr int nSourceInteracted = 5;
constexpr int nHistoriesDone = 6;
constexpr int nSourceEscapeElectrons = 7;
constexpr int nSourceEscapePhotons = 8;
constexpr int nSourceMissed = 9;
constexpr int nPhotonEntries = 47;
constexpr int nElectronEntries = 49;
constexpr int wPhotonEntries = 88;
constexpr int wElectronEntries = 90;
constexpr int ePhotonEntries = 132;
constexpr int eElectronEntries = 134;
constexpr int eHistoryDeposit = 136;
constexpr int kWeightSlotOffset = 41;
constexpr int kSlotCount = 161;
}  // namespace statslot

struct INTERACTIONSTATS {
  STATSLOT slot[statslot::kSlotCount];
};

static_assert(sizeof(STATSLOT) == 8);
static_assert(sizeof(INTERACTIONSTATS) == 161 * 8);
