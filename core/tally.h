// Tally binning ranges and surface-crossing (plane) tallies, and the bin
// rules that the scoring applies to them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"
#include "core/vector.h"

// Binning quantities, by code.
enum TallyQuantity : int32_t {
  kQuantityE = 0, kQuantityTheta = 1, kQuantityMu = 2, kQuantityR = 3,
  kQuantityPhi = 4, kQuantityX = 5, kQuantityY = 6,
};
constexpr int kQuantityCount = 7;
constexpr int kFirstPositionQuantity = kQuantityR;   // R, PHI, X, Y depend on the crossing point

// Particle-kind classes of plane tallies: ETALLY, PTALLY, TALLY.
enum TallyClass : int32_t { kElectronTallies = 0, kPhotonTallies = 1, kAllParticleTallies = 2 };
constexpr int kTallyClassCount = 3;

constexpr int kMaxRangesPerQuantity = 100;
constexpr int kMaxRangeBins = 10000;
constexpr int kMaxPlaneTalliesPerClass = 100;
constexpr int kMaxStackedPlanes = 1000;
constexpr int kMaxTablesPerKind = 20;             // 1-D or 2-D tables of one tally set
constexpr int64_t kMaxBinsPerClass = 10000000;
constexpr int kOriginTypeCount = 12;              // particle origin codes 0..11
constexpr int kRangeNameSize = 16;                // "THETA2147483647" and its terminator

// Target kinds of a control tally.
enum TargetErrorKind : int32_t { kNoTarget = -1, kAvgErr = 0, kMinErr = 1, kMaxErr = 2 };

// One binning range: bins equal intervals from lower to upper.
struct TALLYRANGE {
  char name[kRangeNameSize];   // E, E2, THETA15 ...; compared without regard to case
  int32_t bins;                // 1..10000
  double lower;                // lower limit (eV, rad, cm or none)
  double upper;                // upper limit
  double invWidth;             // bins per unit: bins / (upper - lower)
};

static_assert(offsetof(TALLYRANGE, name) == 0);
static_assert(offsetof(TALLYRANGE, bins) == 16);
static_assert(offsetof(TALLYRANGE, lower) == 24);
static_assert(offsetof(TALLYRANGE, upper) == 32);
static_assert(offsetof(TALLYRANGE, invWidth) == 40);
static_assert(sizeof(TALLYRANGE) == 48);

struct TALLYTABLE1D {
  int16_t quantity;    // quantity code
  int16_t range;       // index of the range within its quantity
};

struct TALLYTABLE2D {
  int16_t quantity1, range1;   // varies fastest in the bin index
  int16_t quantity2, range2;
};

// One set of plane tallies: a plane or a stack of parallel planes, with its
// 1-D and 2-D tables.
struct PLANETALLY {
  int32_t number;                                  // n of TALLY<n>; 0 without a number
  uint8_t orgEnabled[kOriginTypeCount];            // 1: particles of that origin are scored
  VECTOR refPoint;                                 // point on the base plane, cm
  VECTOR normal;                                   // unit normal
  double offset;                                   // -(normal . refPoint)
  double spacing;                                  // interplane distance, 0 for one plane
  int32_t nParallel;                               // stacked planes, 1..1000
  int32_t n1D;                                     // 1-D tables, at most 20
  int32_t n2D;                                     // 2-D tables, at most 20
  double limLow[kQuantityCount];                   // LIM bounds
  double limHigh[kQuantityCount];
  uint8_t limOn[kQuantityCount];                   // 1: the quantity has LIM bounds
  int16_t nQuantities;                             // quantities used by tables or LIM
  int16_t nDirQuantities;                          // position in quantity[] of the first position quantity
  int16_t quantity[kQuantityCount];                // used quantity codes, ascending
  int16_t nRangesOf[kQuantityCount];               // distinct ranges of each quantity used
  int16_t rangeIndex[kQuantityCount][kMaxRangesPerQuantity];  // their rangeData indices
  TALLYTABLE1D oneDimDef[kMaxTablesPerKind];
  TALLYTABLE2D twoDimDef[kMaxTablesPerKind];
  int32_t oneDimSlot[kMaxTablesPerKind];           // number of each table among the class's 1-D tables (plane 0)
  int32_t twoDimSlot[kMaxTablesPerKind];
  VECTOR axisX;                                    // unit in-plane axis: origin of PHI, direction of X
  double auxValue;                                 // filled by the geometry set-up
  double extent;                                   // (nParallel - 1) spacing
  uint8_t eFlux;                                   // also score the energy flux
  uint8_t writeDuringRun;                          // write the tally file during the run
  uint8_t runFlag;                                 // used by the run monitor
  double runValue;                                 // used by the run monitor
  double outputInterval;                           // seconds between writings during the run
};

static_assert(offsetof(PLANETALLY, number) == 0);
static_assert(offsetof(PLANETALLY, orgEnabled) == 4);
static_assert(offsetof(PLANETALLY, refPoint) == 16);
static_assert(offsetof(PLANETALLY, normal) == 40);
static_assert(offsetof(PLANETALLY, offset) == 64);
static_assert(offsetof(PLANETALLY, spacing) == 72);
static_assert(offsetof(PLANETALLY, nParallel) == 80);
static_assert(offsetof(PLANETALLY, n1D) == 84);
static_assert(offsetof(PLANETALLY, n2D) == 88);
static_assert(offsetof(PLANETALLY, limLow) == 96);
static_assert(offsetof(PLANETALLY, limHigh) == 152);
static_assert(offsetof(PLANETALLY, limOn) == 208);
static_assert(offsetof(PLANETALLY, nQuantities) == 216);
static_assert(offsetof(PLANETALLY, nDirQuantities) == 218);
static_assert(offsetof(PLANETALLY, quantity) == 220);
static_assert(offsetof(PLANETALLY, nRangesOf) == 234);
static_assert(offsetof(PLANETALLY, rangeIndex) == 248);
static_assert(offsetof(PLANETALLY, oneDimDef) == 1648);
static_assert(offsetof(PLANETALLY, twoDimDef) == 1728);
static_assert(offsetof(PLANETALLY, oneDimSlot) == 1888);
static_assert(offsetof(PLANETALLY, twoDimSlot) == 1968);
static_assert(offsetof(PLANETALLY, axisX) == 2048);
static_assert(offsetof(PLANETALLY, auxValue) == 2072);
static_assert(offsetof(PLANETALLY, extent) == 2080);
static_assert(offsetof(PLANETALLY, eFlux) == 2088);
static_assert(offsetof(PLANETALLY, writeDuringRun) == 2089);
static_assert(offsetof(PLANETALLY, runFlag) == 2090);
static_assert(offsetof(PLANETALLY, runValue) == 2096);
static_assert(offsetof(PLANETALLY, outputInterval) == 2104);
static_assert(sizeof(PLANETALLY) == 2112);

// A tally that the run monitor watches: written during the run or carrying a
// target relative standard deviation.
struct CONTROLTALLY {
  int32_t index;        // the tally's index in its table
  int32_t targetKind;   // TargetErrorKind
  double target;        // target relative standard deviation
};

// Tolerance of the bin rules, in units of the bin width: a value within it of
// a bin edge belongs to the bin below (top-closed bins).
constexpr double kBinEdgeTolerance = 1e-12;

// Bin of a value in a range of top-closed bins (lower + k w, lower + (k+1) w]:
// a value exactly at the lower limit is outside, one exactly at the upper
// limit is in the last bin. Returns -1 outside. Pulse-height and cell-entry
// tallies use this rule.
TQ_CPU_GPU inline int TopClosedBin(double value, double lower, double invWidth, int bins) {
  const double x = (value - lower) * invWidth;
  if (!(x > kBinEdgeTolerance && x <= bins + kBinEdgeTolerance)) return -1;
  int k = static_cast<int>(x);
  if (k > 0 && x <= k + kBinEdgeTolerance) --k;
  return k;
}

// Bin of a value in a range of a plane tally: the top-closed rule, except
// that a value at the lower limit (within the tolerance) is in the first bin,
// so that crossings at R = 0 or THETA = 0 (an uncollided pencil beam through
// the reference point) are counted rather than lost.
TQ_CPU_GPU inline int PlaneTallyBin(double value, double lower, double invWidth, int bins) {
  const double x = (value - lower) * invWidth;
  if (!(x >= -kBinEdgeTolerance && x <= bins + kBinEdgeTolerance)) return -1;
  if (x <= kBinEdgeTolerance) return 0;
  int k = static_cast<int>(x);
  if (k > 0 && x <= k + kBinEdgeTolerance) --k;
  return k;
}

TQ_CPU_GPU inline int PlaneTallyBin(double value, const TALLYRANGE& range) {
  return PlaneTallyBin(value, range.lower, range.invWidth, range.bins);
}
TQ_CPU_GPU inline int TopClosedBin(double value, const TALLYRANGE& range) {
  return TopClosedBin(value, range.lower, range.invWidth, range.bins);
}
