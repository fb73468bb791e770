// The photon part of a worker's CTask record: the cross sections of the
// current material at the current energy with their cache key, the per-element
// lookup hints and energy-dependent set-ups of the interactions, the state of
// the three rejection loops (so that a loop left on a stop request resumes
// where it was) and the vacancy stack of the atomic-relaxation cascade.
// Plain data, written only by the worker that owns the record.
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "core/material.h"

constexpr int kMaxVacancies = 100;  // capacity of the relaxation cascade's vacancy stack

// The photon interactions, in the order in which a draw selects them.
enum PhotonInteraction : int32_t {
  kPhotonCoherent = 0,
  kPhotonIncoherent = 1,
  kPhotonPhotoelectric = 2,
  kPhotonPair = 3,
};

// The order of a table's values, found at its first use: from point `from`
// on the values never fall (rising) or never rise, and the smallest and
// largest of the points 0..from. A form factor falls and a scattering
// function rises, apart from a few points at small x in some tables.
struct TABLEORDER {
  double headLow = 0.0;   // smallest value of the points 0..from
  double headHigh = 0.0;  // largest value of the points 0..from
  int16_t from = -1;      // -1: not looked at yet
  uint8_t rising = 0;
};

// One element's photon cross sections and interaction set-ups; each set-up is
// valid for the energy stored with it (negative: none yet).
struct PHOTONELEMENTCACHE {
  // Cross sections at the material cache's energy.
  double sigma_coh = 0.0;    // barn; negative when coherent scattering is off
  double sigma_incoh = 0.0;  // barn
  double total = 0.0;        // barn
  double cumulative = 0.0;   // running sum of fraction * total over the material's elements, cm^2
  double shellCumulative[kMaxDesignator] = {};  // sigma_coh + sigma_incoh + photoionization of subshells 0..i, barn
  // Interval hints of the lookups.
  int16_t hintCoh = 0;
  int16_t hintIncoh = 0;
  int16_t hintPair = 0;
  int16_t hintFormFactor = 0;
  int16_t hintScattering = 0;
  int16_t hintAnomReal = 0;
  int16_t hintAnomImag = 0;
  int16_t hintPairShare = 0;
  int16_t hintShell[kMaxDesignator] = {};
  int16_t hintPhotoionUnion = 0;
  TABLEORDER ffOrder;  // order of the form factor's values
  TABLEORDER sfOrder;  // order of the scattering function's values
  // Coherent scattering set-up.
  double cohE = -1.0;         // eV
  double anomReal = 0.0;      // f'(E)
  double anomImag2 = 0.0;     // f''(E)^2
  double invFmax2 = 0.0;      // 1 / majorant of (F + f')^2 + f''^2
  double halfXmax = 0.0;      // 0.5 k constFact_coh, 1/angstrom
  double cohUmax = 0.0;       // largest u = x^2 reachable at cohE, (k constFact_coh)^2, 1/angstrom^2
  double cohCumMax = 0.0;     // integral of (F + f')^2 + f''^2 over u in [0, cohUmax], 1/angstrom^2
  int16_t cohLastInterval = -1;  // form-factor interval holding cohUmax; ffN - 1 beyond the grid, -1 below it
  // Incoherent scattering set-up.
  double incohE = -1.0;       // eV
  double k = 0.0;             // E / m c^2
  double twoK = 0.0;
  double invK = 0.0;
  double kSquared = 0.0;
  double halfInvSmax = 0.0;   // 0.5 / majorant of S(x)
  // Pair-production sharing set-up.
  double pairE = -1.0;        // eV
  int16_t pairInterval = 0;   // interval of pp_Eprim holding pairE
  double pairFraction = 0.0;  // position of pairE in that interval
};

// Material cross sections of earlier lookups, kept by energy: a history's
// source energy and the fluorescence lines of its atoms recur between other
// energies, and a lookup sums tables over every subshell of every element.
// One entry holds, per element of the material in its order, sigma_coh,
// sigma_incoh, total, cumulative and per subshell its sum and interval (as
// PHOTONELEMENTCACHE); materials whose values do not fit are not kept. The
// entries form sets of two chosen by the energy; a new lookup replaces the
// entry of its set used less recently. Owned by a CPU worker's record (a
// device task has none).
constexpr int kLookupCacheValues = 256;
constexpr int kLookupCacheSetBits = 5;
constexpr int kLookupCacheSets = 1 << kLookupCacheSetBits;
constexpr int kLookupCacheWays = 2;
struct PHOTONLOOKUPENTRY {
  const MATERIAL* keyMaterial = nullptr;  // none
  double keyEnergy = -2.0;                // eV
  int32_t keyKind = -2;
  double sigma_tot = 0.0;
  double sigma_scat = 0.0;
  double values[kLookupCacheValues] = {};
  int16_t intervals[kLookupCacheValues] = {};  // the subshell intervals, element after element
};
static_assert(kLookupCacheWays == 2, "the replacement keeps one bit per set");
struct PHOTONLOOKUPCACHE {
  PHOTONLOOKUPENTRY entries[kLookupCacheSets][kLookupCacheWays];
  uint8_t recentWay[kLookupCacheSets] = {};  // per set, the way used last
};

struct PHOTONSTATE {
  // Material cross sections and their cache key.
  double sigma_tot = 0.0;   // per atom of the material, cm^2
  double sigma_scat = 0.0;  // coherent + incoherent part, cm^2
  double lnE = 0.0;
  const MATERIAL* keyMaterial = nullptr;  // none yet
  double keyEnergy = -2.0;                // eV
  int32_t keyKind = -2;
  PHOTONELEMENTCACHE elements[kMaxElements];  // by global element index
  PHOTONLOOKUPCACHE* lookups = nullptr;       // earlier lookups by energy; null: none kept
  // The collision chosen and its bookkeeping.
  int32_t element = 0;          // global element index
  int32_t interaction = kPhotonCoherent;
  int32_t shell = -1;           // subshell index (file order of the element), -1 for coherent
  double xDraw = 0.0;           // the draw against the element's cross sections, barn
  double E0 = 0.0;              // photon energy before the collision, eV
  int32_t electronFlag = 0;     // 0 none, 1 an electron was set in motion, -1 and the photon has ended
  int32_t bankEntry = -1;       // Compton electron: -1 none, 0 in the record, 1 banked
  uint8_t notFollowed = 0;      // secondary photons are not followed
  // Rejection loops.
  double mu = 0.0;              // cosine of the scattering angle being tried
  double eps = 1.0;             // k' / k of the incoherent try
  int32_t cohRejections = 0;    // coherent rejections in a row with a negligible form factor
  int32_t tries = 0;            // rejected tries of the current coherent, incoherent or Doppler loop
  int32_t dopplerFirst = 0;     // first subshell bound below E
  double T = 0.0;               // energy transfer of the incoherent scattering, eV
  uint8_t pzMaxKnown[kMaxDesignator] = {};
  double pzMax[kMaxDesignator] = {};  // largest momentum projection per subshell, atomic units
  // Atomic relaxation.
  // The vacancies as a count per subshell designator: the cascade fills the
  // one with the smallest designator, and vacancies of one designator cannot
  // be told apart. Count 0 holds those of a designator at or below 0.
  int32_t nVacancies = 0;                     // vacancies held, at most kMaxVacancies
  uint64_t vacancyMask = 0;                   // bit d set while vacancyCount[d] > 0
  uint8_t vacancyCount[kMaxDesignator] = {};  // vacancies per designator
  int32_t vacanciesBeyond = 0;                // vacancies of a designator of kMaxDesignator or more
  int32_t nTransitionsDone = 0;          // transitions of the cascade so far
  int32_t relaxElement = 0;              // global element index of the relaxing atom
  uint64_t droppedVacancies = 0;         // vacancies lost to a full stack (energy left deposited)
};
