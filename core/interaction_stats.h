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

// The named slots: the one set of names that the physics steps score into
// and the report reads. A count slot c of 10..50 keeps its weight sum in
// slot c + kWeightSlotOffset (WeightOf(c)).
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
// Created particles, all / above the cutoff of their kind (weights at +41).
constexpr int nKnockOn = 10, nKnockOnAbove = 19, eKnockOn = 92, eKnockOnAbove = 99;
constexpr int nAuger = 11, nAugerAbove = 20, eAuger = 93, eAugerAbove = 100;
constexpr int nPhotonAuger = 12, nPhotonAugerAbove = 21, ePhotonAuger = 94, ePhotonAugerAbove = 101;
constexpr int nElectronAuger = 13, nElectronAugerAbove = 22, eElectronAuger = 95, eElectronAugerAbove = 102;
constexpr int nCapture = 14, nCaptureAbove = 23, eCapture = 96, eCaptureAbove = 103;
constexpr int nCompton = 15, nComptonAbove = 24, eCompton = 97, eComptonAbove = 104;
constexpr int nPairParticles = 16, nPairParticlesAbove = 25, ePairParticles = 98, ePairParticlesAbove = 105;
constexpr int nBremsPhotons = 26, nBremsPhotonsAbove = 34, eBremsPhotons = 106, eBremsPhotonsAbove = 113;
constexpr int nRelaxPhotons = 27, nRelaxPhotonsAbove = 35, eRelaxPhotons = 107, eRelaxPhotonsAbove = 114;
constexpr int nXrayPhotons = 28, nXrayPhotonsAbove = 36, eXrayPhotons = 108, eXrayPhotonsAbove = 115;
constexpr int nPhotonFluorPhotons = 29, nPhotonFluorPhotonsAbove = 37, ePhotonFluorPhotons = 109,
              ePhotonFluorPhotonsAbove = 116;  // fluorescence after photon interactions (not printed)
constexpr int nFluor1Photons = 30, nFluor1PhotonsAbove = 38, eFluor1Photons = 110, eFluor1PhotonsAbove = 117;
constexpr int nFluor2Photons = 31, nFluor2PhotonsAbove = 39, eFluor2Photons = 111, eFluor2PhotonsAbove = 118;
constexpr int nComptonFluorPhotons = 32, nComptonFluorPhotonsAbove = 40, eComptonFluorPhotons = 112,
              eComptonFluorPhotonsAbove = 119;
constexpr int nAnnihilationPhotonsAbove = 41, eAnnihilationPhotonsAbove = 120;
// Events (weights at +41) and their energies.
constexpr int nElectronCutoff = 17, eElectronCutoff = 127;
constexpr int nAnnihilation = 18, eAnnihilation = 128;
constexpr int nPhotonCutoff = 33, ePhotonCutoff = 122;
constexpr int nCoherent = 42;
constexpr int nElastic = 43;
constexpr int nExcitation = 44, eExcitation = 130;
constexpr int nElectroionization = 45, eElectroionization = 131;
constexpr int nInelastic = 46;
constexpr int nPhotonEscapes = 48, ePhotonEscapes = 133;
constexpr int nElectronEscapes = 50, eElectronEscapes = 135;
constexpr int eSourceEscapePhotons = 121;    // energy of nSourceEscapePhotons
constexpr int eSourceEscapeElectrons = 126;  // energy of nSourceEscapeElectrons
constexpr int eComptonLoss = 123;            // photon energy lost in incoherent scattering
constexpr int eCaptureLoss = 124;            // photon energy absorbed by the photoelectric effect
constexpr int ePairLoss = 125;               // photon energy absorbed by pair production
constexpr int eBremsLoss = 129;              // electron energy lost to bremsstrahlung
constexpr int nPhotonEntries = 47;
constexpr int nElectronEntries = 49;
constexpr int wPhotonEntries = 88;
constexpr int wElectronEntries = 90;
constexpr int ePhotonEntries = 132;
constexpr int eElectronEntries = 134;
constexpr int eHistoryDeposit = 136;
// Derived totals, added by the report after the run (the transport leaves
// them at 0): created particles of each kind, all and above the cutoff,
// as counts (n), weights (w) and energies (e); and the events of each kind
// that end a particle (loss) or are collisions.
constexpr int nElectronsAll = 137, wElectronsAll = 141, eElectronsAll = 145;
constexpr int nElectronsAbove = 138, wElectronsAbove = 142, eElectronsAbove = 146;
constexpr int nPhotonsAll = 139, wPhotonsAll = 143, ePhotonsAll = 147;
constexpr int nPhotonsAbove = 140, wPhotonsAbove = 144, ePhotonsAbove = 148;
constexpr int nPhotonLoss = 149, wPhotonLoss = 150, ePhotonLoss = 151;
constexpr int nPhotonCollisions = 152, wPhotonCollisions = 153, ePhotonCollisions = 154;
constexpr int nElectronLoss = 155, wElectronLoss = 156, eElectronLoss = 157;
constexpr int nElectronCollisions = 158, wElectronCollisions = 159, eElectronCollisions = 160;
constexpr int kNoEnergy = -1;  // an event without an energy slot
constexpr int kWeightSlotOffset = 41;
constexpr int kSlotCount = 161;
// The weight slot of count slot c (10..50).
constexpr int WeightOf(int c) { return c + kWeightSlotOffset; }
}  // namespace statslot

struct INTERACTIONSTATS {
  STATSLOT slot[statslot::kSlotCount];
};

static_assert(sizeof(STATSLOT) == 8);
static_assert(sizeof(INTERACTIONSTATS) == 161 * 8);
