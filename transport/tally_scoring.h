// Plane-crossing tallies: the crossings of a tally plane, or of each plane of
// a stack of equidistant parallel planes, sorted into 1-D and 2-D tables over
// energy, angle and crossing position. Scored into the worker's own record
// after every move of the current particle.
//
// A point lying on plane j counts as above it: a step crosses plane j upwards
// when d_old < j s <= d_new and downwards when d_new < j s <= d_old, so a step
// that ends on a plane and the next one that starts there count it once.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/hostdevice.h"
#include "core/physical_constants.h"
#include "core/tally.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "core/vector.h"

namespace plane_tally {

// Signed distance of r from the base plane of a tally, cm.
TQ_CPU_GPU inline double PlaneDistance(const PLANETALLY& t, VECTOR r) { return Dot(r, t.normal) + t.offset; }

// Smallest plane index whose distance j s lies strictly above d (0 when d is
// below plane 0). The comparisons use the same products j s as the tests.
TQ_CPU_GPU inline int32_t FirstPlaneAbove(double d, double s) {
  if (d < 0.0) return 0;
  double q = floor(d / s);
  if (q > 2.0e9) q = 2.0e9;
  int32_t j = static_cast<int32_t>(q);
  while (j > 0 && (j - 1) * s > d) --j;
  while (j * s <= d) ++j;
  return j;
}

// Largest plane index whose distance j s is at most d (-1 when d is below plane 0).
TQ_CPU_GPU inline int32_t LastPlaneAtOrBelow(double d, double s) { return FirstPlaneAbove(d, s) - 1; }

// The planes crossed by a move from d_old to d_new (or to infinity when the
// particle escapes), as j_lo..j_hi; false when none.
TQ_CPU_GPU inline bool CrossedPlanes(const PLANETALLY& t, double dOld, double dNew, bool up, bool escaped,
                                     int32_t* jLo, int32_t* jHi) {
  const int32_t last = t.nParallel - 1;
  if (t.nParallel <= 1) {
    // One plane at distance 0.
    bool crossed;
    if (up) {
      crossed = dOld < 0.0 && (escaped || 0.0 <= dNew);
    } else {
      crossed = 0.0 <= dOld && (escaped || dNew < 0.0);
    }
    *jLo = 0;
    *jHi = 0;
    return crossed;
  }
  const double s = t.spacing;
  int32_t lo, hi;
  if (up) {  // d_old < j s <= d_new
    lo = FirstPlaneAbove(dOld, s);
    hi = escaped || dNew > t.extent ? last : LastPlaneAtOrBelow(dNew, s);
  } else {   // d_new < j s <= d_old
    lo = escaped ? 0 : FirstPlaneAbove(dNew, s);
    hi = dOld > t.extent ? last : LastPlaneAtOrBelow(dOld, s);
  }
  if (lo < 0) lo = 0;
  if (hi > last) hi = last;
  *jLo = lo;
  *jHi = hi;
  return lo <= hi;
}

// LIM test: the value must lie in [low, high]; like the bins of a range, a
// value at the lower bound is accepted so that THETA = 0 or R = 0 is kept.
TQ_CPU_GPU inline bool WithinLimits(const PLANETALLY& t, int q, double v) {
  if (t.limOn[q] == 0) return true;
  return v >= t.limLow[q] && v <= t.limHigh[q];
}

// PHI in the convention of a range or bound that starts below 0: (-pi, pi].
TQ_CPU_GPU inline double PhiFor(double phi, double lower) { return lower < 0.0 && phi >= kPi ? phi - kTwoPi : phi; }

// Bins of value v in every range of quantity q that the tally uses; true when
// one of them holds it.
TQ_CPU_GPU inline bool BinRanges(const PLANETALLY& t, const TALLYTABLES& tt, TASKSTATE& task, int q, double v) {
  bool any = false;
  int16_t* bins = task.rangeBin[q];
  for (int i = 0; i < t.nRangesOf[q]; ++i) {
    const int r = t.rangeIndex[q][i];
    const TALLYRANGE& range = tt.rangeData[q][r];
    const double value = q == kQuantityPhi ? PhiFor(v, range.lower) : v;
    const int k = PlaneTallyBin(value, range);
    bins[r] = static_cast<int16_t>(k);
    any = any || k >= 0;
  }
  return any;
}

// Position quantities of a crossing point q (relative to the reference point,
// in the plane): R, PHI, X, Y.
struct CROSSINGPOSITION {
  double R, PHI, X, Y;
};

TQ_CPU_GPU inline CROSSINGPOSITION PositionOf(const PLANETALLY& t, VECTOR q) {
  CROSSINGPOSITION p{0.0, 0.0, 0.0, 0.0};
  const double rho = Norm(q);
  p.R = rho;
  if (rho == 0.0) return p;
  const double x = Dot(q, t.axisX);
  const bool negativeSide = Dot(Cross(t.axisX, q), t.normal) < 0.0;
  double c = x / rho;
  c = c > 1.0 ? 1.0 : (c < -1.0 ? -1.0 : c);
  const double phi = acos(c);
  const double y = sqrt(fmax(0.0, rho * rho - x * x));
  p.X = x;
  p.PHI = negativeSide ? kTwoPi - phi : phi;
  p.Y = negativeSide ? -y : y;
  return p;
}

TQ_CPU_GPU inline double PositionValue(const CROSSINGPOSITION& p, int q) {
  switch (q) {
    case kQuantityR: return p.R;
    case kQuantityPhi: return p.PHI;
    case kQuantityX: return p.X;
    default: return p.Y;
  }
}

// The tables of one plane of a tally for one crossing.
TQ_CPU_GPU inline void ScoreTables(const PLANETALLY& t, const TALLYTABLES& tt, TASKSTATE& task, int row, int32_t plane,
                                   double sign, double E, double w, double w2, bool weighted) {
  for (int i = 0; i < t.n1D; ++i) {
    const int q = t.oneDimDef[i].quantity;
    const int k = task.rangeBin[q][t.oneDimDef[i].range];
    if (k < 0) continue;
    const int32_t slot = t.oneDimSlot[i] + plane * t.n1D;
    const int32_t half = tt.oneDimHalf[row][t.oneDimSlot[i]];
    const bool unsignedTable = q == kQuantityTheta || q == kQuantityMu;
    const double f = unsignedTable ? 1.0 : sign;
    if (weighted) {
      double* a = task.oneDimTallies_wt[row][slot];
      a[k] += f * w;
      a[half + k] += w2;
      if (t.eFlux != 0) task.oneDimTallies_E[row][slot][k] += f * w * E;
    } else {
      const int32_t at = f < 0.0 ? half + k : k;
      task.oneDimTallies[row][slot][at] += f < 0.0 ? -1 : 1;
      if (t.eFlux != 0) task.oneDimTallies_E[row][slot][at] += f * E;
    }
  }
  for (int i = 0; i < t.n2D; ++i) {
    const TALLYTABLE2D& def = t.twoDimDef[i];
    const int k1 = task.rangeBin[def.quantity1][def.range1];
    const int k2 = task.rangeBin[def.quantity2][def.range2];
    if (k1 < 0 || k2 < 0) continue;
    const int k = k1 + tt.rangeData[def.quantity1][def.range1].bins * k2;
    const int32_t slot = t.twoDimSlot[i] + plane * t.n2D;
    const int32_t half = tt.twoDimHalf[row][t.twoDimSlot[i]];
    const bool unsignedTable = def.quantity1 == kQuantityTheta || def.quantity1 == kQuantityMu ||
                               def.quantity2 == kQuantityTheta || def.quantity2 == kQuantityMu;
    const double f = unsignedTable ? 1.0 : sign;
    if (weighted) {
      double* a = task.twoDimTallies_wt[row][slot];
      a[k] += f * w;
      a[half + k] += w2;
      if (t.eFlux != 0) task.twoDimTallies_E[row][slot][k] += f * w * E;
    } else {
      const int32_t at = f < 0.0 ? half + k : k;
      task.twoDimTallies[row][slot][at] += f < 0.0 ? -1 : 1;
      if (t.eFlux != 0) task.twoDimTallies_E[row][slot][at] += f * E;
    }
  }
}

// Scores the crossings of planes jLo..jHi of one tally of class `row` by
// the move that ended at the particle's current position (dNew from plane
// 0, c the momentum's component along the normal).
TQ_CPU_GPU inline void ScoreCrossedPlanes(const PLANETALLY& t, const TALLYTABLES& tt, TASKSTATE& task, int row,
                                          double c, double dNew, int32_t jLo, int32_t jHi) {
  const bool weighted = task.bank.wt != nullptr;
  const double w2 = weighted ? task.weight * task.weight : 1.0;
  const VECTOR& dirVec = task.pc.dir;  // momentum vector, length p
  const bool up = c > 0.0;
  // Direction quantities, once per tally.
  const double sign = up ? 1.0 : -1.0;
  const double E = task.E;
  const double w = weighted ? task.weight : 1.0;
  bool anyDirectionBin = false;
  double mu = 0.0;
  if (t.nDirQuantities > 0 && (t.quantity[0] != kQuantityE || t.nDirQuantities > 1)) mu = c / Norm(dirVec);
  for (int i = 0; i < t.nDirQuantities; ++i) {
    const int q = t.quantity[i];
    const double v = q == kQuantityE ? E : (q == kQuantityTheta ? acos(mu > 1.0 ? 1.0 : (mu < -1.0 ? -1.0 : mu)) : mu);
    if (!WithinLimits(t, q, v)) return;
    if (BinRanges(t, tt, task, q, v)) anyDirectionBin = true;
  }
  const bool hasPosition = t.nDirQuantities < t.nQuantities;
  if (!hasPosition) {
    if (!anyDirectionBin) return;
    for (int32_t j = jLo; j <= jHi; ++j) ScoreTables(t, tt, task, row, j, sign, E, w, w2, weighted);
    return;
  }

  // The straight path meets plane 0 at r0 (relative to the reference point);
  // each further plane shifts the crossing by D.
  const VECTOR r0 = task.pc.pos - (dNew / c) * dirVec - t.refPoint;
  const VECTOR shift = t.spacing * ((1.0 / c) * dirVec - t.normal);
  for (int32_t j = jLo; j <= jHi; ++j) {
    const CROSSINGPOSITION p = PositionOf(t, r0 + static_cast<double>(j) * shift);
    bool passed = true;
    bool anyBin = anyDirectionBin;
    for (int i = t.nDirQuantities; i < t.nQuantities && passed; ++i) {
      const int q = t.quantity[i];
      const double v = PositionValue(p, q);
      passed = WithinLimits(t, q, q == kQuantityPhi ? PhiFor(v, t.limLow[q]) : v);
      if (passed && BinRanges(t, tt, task, q, v)) anyBin = true;
    }
    if (!passed || !anyBin) continue;
    ScoreTables(t, tt, task, row, j, sign, E, w, w2, weighted);
  }
}

// One tally of class `row` against the move that ended at the particle's
// current position; dOld is the stored distance, updated here. Called after
// every move: the test is kept small enough to be inlined, the scoring of a
// crossing (rare by comparison) is a call.
TQ_CPU_GPU inline void ScoreTally(const PLANETALLY& t, const TALLYTABLES& tt, TASKSTATE& task, int row, double* dOld) {
  if (t.orgEnabled[task.org] == 0) return;
  const double c = Dot(task.pc.dir, t.normal);
  // Parallel to the planes, or beyond the stack and moving away.
  if (c == 0.0 || (*dOld < 0.0 && c < 0.0) || (*dOld > t.extent && c > 0.0)) return;
  const double dPrev = *dOld;
  const double dNew = PlaneDistance(t, task.pc.pos);
  *dOld = dNew;
  int32_t jLo = 0, jHi = -1;
  if (!CrossedPlanes(t, dPrev, dNew, c > 0.0, task.escaped != 0, &jLo, &jHi)) return;
  ScoreCrossedPlanes(t, tt, task, row, c, dNew, jLo, jHi);
}

// Distance of d (the position's distance from plane 0) from the nearest
// value at which the tests of ScoreTally and CrossedPlanes decide otherwise:
// the planes, 0 and the extent (a distance on one of them has no room), or 0
// when the stored distance dOld lies on another side of one of them.
TQ_CPU_GPU inline double RoomBetweenPlanes(const PLANETALLY& t, double dOld, double d) {
  if (!(t.extent >= 0.0) || d != d) return 0.0;
  if (d < 0.0) return dOld < 0.0 ? -d : 0.0;
  if (d > t.extent) return dOld > t.extent ? d - t.extent : 0.0;
  if (t.nParallel <= 1 || d == t.extent) return 0.0;
  // Between planes j - 1 and j, as FirstPlaneAbove tells them apart.
  const double s = t.spacing;
  const int32_t j = FirstPlaneAbove(d, s);
  const double lower = (j - 1) * s;
  const double upper = j * s;
  if (dOld < lower || dOld >= upper) return 0.0;
  return fmin(d - lower, upper - d);
}

// Radius of the ball around r in which no position can change the decisions
// of the tally: its room shrunk by a margin far above the rounding of the
// distances, and divided by |n|_1 >= |n|, which bounds the change of the
// distance per cm of displacement.
TQ_CPU_GPU inline double ClearRadius(const PLANETALLY& t, double dOld, VECTOR r) {
  const double d = PlaneDistance(t, r);
  const double room = RoomBetweenPlanes(t, dOld, d);
  const double scale = 1.0 + fabs(r.x) + fabs(r.y) + fabs(r.z) + fabs(t.offset) + t.extent + room;
  const double n1 = fabs(t.normal.x) + fabs(t.normal.y) + fabs(t.normal.z);
  return (room - 1.0e-12 * scale) / n1;
}

}  // namespace plane_tally

// Row of a particle kind among the plane-tally classes: 0 electrons and
// positrons, 1 photons.
TQ_CPU_GPU inline int32_t TallyKindOf(uint8_t particleKind) { return IsPhoton(particleKind) ? 1 : 0; }

// Stores the signed distances of the particle's position from every tally
// plane of its class (row kind) and of the TALLY class. Called when a particle
// starts (source, popped from the bank) or takes over a record in place
// (another kind or origin), before its first move.
TQ_CPU_GPU inline void ResetPlaneTallyDistances(TASKSTATE& task, int32_t kind) {
  const TALLYTABLES& tt = GetTallyTables();
  if (!tt.planeTalliesPresent) return;
  task.planeTallyClear2 = 0.0;
  const int rows[2] = {kind, kAllParticleTallies};
  for (int p = 0; p < 2; ++p) {
    for (int32_t i = 0; i < tt.nPlaneTalliesTot[rows[p]]; ++i) {
      task.planeTallyDistance[p][i] = plane_tally::PlaneDistance(tt.tallyData[rows[p]][i], task.pc.pos);
    }
  }
}

// After a full test of the tallies at an electron's or positron's position:
// the ball around it in which every tally's stored distance and the distance
// of any position lie on the same sides of all planes, 0 and the extent.
// While the particle (of the same origin) ends its moves inside, each tally
// would either keep its distance or store one of the same sides, and score
// nothing: the tests can be skipped without changing a single decision.
// Tallies that do not score the particle's origin never change.
TQ_CPU_GPU inline void SetPlaneTallyClearBall(TASKSTATE& task, int32_t kind) {
  const TALLYTABLES& tt = GetTallyTables();
  const int rows[2] = {kind, kAllParticleTallies};
  double radius = 1.0e300;
  for (int p = 0; p < 2; ++p) {
    const int row = rows[p];
    const int32_t n = tt.nPlaneTalliesTot[row];
    const PLANETALLY* tallies = tt.tallyData[row];
    for (int32_t i = 0; i < n && radius > 0.0; ++i) {
      if (tallies[i].orgEnabled[task.org] == 0) continue;
      const double r = plane_tally::ClearRadius(tallies[i], task.planeTallyDistance[p][i], task.pc.pos);
      if (!(r >= radius)) radius = r;  // a NaN leaves no ball
    }
  }
  task.planeTallyAnchor = task.pc.pos;
  task.planeTallyAnchorOrg = task.org;
  task.planeTallyClear2 = radius > 0.0 ? radius * radius : 0.0;
}

// Scores the plane crossings of the move that has just brought the particle
// to task.pc.pos (with task.escaped set, its flight to infinity). kind is 0
// for electrons and positrons, 1 for photons. Call after every move, only when
// GetTallyTables().planeTalliesPresent.
TQ_CPU_GPU inline void UpdatePlaneTallies(TASKSTATE& task, int32_t kind) {
  const TALLYTABLES& tt = GetTallyTables();
  const int rows[2] = {kind, kAllParticleTallies};
  for (int p = 0; p < 2; ++p) {
    // Counts and tables read once: the scoring writes through the task,
    // which the compiler cannot tell apart from them.
    const int row = rows[p];
    const int32_t n = tt.nPlaneTalliesTot[row];
    const PLANETALLY* tallies = tt.tallyData[row];
    double* distances = task.planeTallyDistance[p];
    for (int32_t i = 0; i < n; ++i) plane_tally::ScoreTally(tallies[i], tt, task, row, &distances[i]);
  }
  // A photon's flights are long beside its distances from the planes: a ball
  // would seldom hold its next move.
  if (kind == kElectronTallies) {
    SetPlaneTallyClearBall(task, kind);
  } else {
    task.planeTallyClear2 = 0.0;
  }
}

// True while the move that has just ended stays in the ball of the last full
// test (an escape always takes the full test).
TQ_CPU_GPU inline bool InsidePlaneTallyClearBall(const TASKSTATE& task) {
  const VECTOR d = task.pc.pos - task.planeTallyAnchor;
  return Dot(d, d) < task.planeTallyClear2 && task.escaped == 0 && task.org == task.planeTallyAnchorOrg;
}

// The plane crossings of the move that has just ended (the caller's hook
// after every move and in every escape).
TQ_CPU_GPU inline void ScorePlaneCrossings(TASKSTATE& task) {
  const TALLYTABLES& tt = GetTallyTables();
  if (!tt.planeTalliesPresent) return;
  // A kind without tallies of its class (electrons in a photon problem)
  // leaves at once.
  const int32_t kind = TallyKindOf(task.kind);
  if (tt.nPlaneTalliesTot[kind] == 0 && tt.nPlaneTalliesTot[kAllParticleTallies] == 0) return;
  if (kind == kElectronTallies && InsidePlaneTallyClearBall(task)) return;
  UpdatePlaneTallies(task, kind);
}
