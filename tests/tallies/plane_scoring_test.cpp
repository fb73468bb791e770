// Plane-crossing scoring: which planes a move crosses (a point on a plane
// counts as above it), the signed halves, and the binning of direction and
// position quantities.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/physical_constants.h"
#include "tests/tallies/tally_fixture.h"
#include "transport/tally_scoring.h"

namespace {

// Net count (first half + second half) of bin k of a 1-D table slot.
int64_t Net(const CTask& t, int row, int slot, int k) {
  return t.oneDimTallies[row][slot][k] + t.oneDimTallies[row][slot][core::hostTallyTables.oneDimHalf[row][slot] + k];
}

int64_t Positive(const CTask& t, int row, int slot, int k) { return t.oneDimTallies[row][slot][k]; }
int64_t Negative(const CTask& t, int row, int slot, int k) {
  return t.oneDimTallies[row][slot][core::hostTallyTables.oneDimHalf[row][slot] + k];
}

// A photon of energy E moving along dir (unit), placed at z.
void Place(CTask& t, double z, double dirZ, double E = 1e5) {
  t.kind = kPhoton;
  t.E = E;
  t.org = kOriginSource;
  t.pc.pos = Init(0.0, 0.0, z);
  t.pc.dir = Init(0.0, 0.0, dirZ * E);
  t.escaped = 0;
}

void MoveTo(CTask& t, double z, bool escaped = false) {
  t.pc.pos = Init(t.pc.pos.x, t.pc.pos.y, z);
  t.escaped = escaped ? 1 : 0;
  UpdatePlaneTallies(t, 1);
}

// One PTALLY on z = 0 (or a stack from z = 0), binned in E (one wide bin).
struct EnergyPlaneFixture {
  TallyFixture f;
  explicit EnergyPlaneFixture(int nParallel = 1, double spacing = 0.0) {
    const int e = f.AddRange(kQuantityE, "E", 0.0, 1e6, 1);
    PLANETALLY& t = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0), nParallel, spacing);
    f.Add1D(kPhotonTallies, t, kQuantityE, e);
    f.Finish(kPhotonTallies, t);
    f.Install();
  }
};

struct MoveCase {
  const char* what;
  double zStart, dirZ;
  double zStops[3];   // successive positions; NaN ends the list
  bool escapeLast;
  int64_t positive, negative;  // crossings of the single plane z = 0
};

TEST(PlaneScoring, SinglePlaneCrossingsCountOnce) {
  const double nan = std::nan("");
  const MoveCase cases[] = {
      {"up across", -1.0, 1.0, {1.0, nan, nan}, false, 1, 0},
      {"down across", 1.0, -1.0, {-1.0, nan, nan}, false, 0, 1},
      {"up, ending on the plane, then on", -1.0, 1.0, {0.0, 1.0, nan}, false, 1, 0},
      {"down, ending on the plane, then on", 1.0, -1.0, {0.0, -1.0, nan}, false, 0, 1},
      {"up from a point on the plane", 0.0, 1.0, {1.0, nan, nan}, false, 0, 0},
      {"down from a point on the plane", 0.0, -1.0, {-1.0, nan, nan}, false, 0, 1},
      {"up, ending on the plane, then escaping", -1.0, 1.0, {0.0, 0.0, nan}, true, 1, 0},
      {"escaping upwards from below", -1.0, 1.0, {-0.5, nan, nan}, true, 1, 0},
      {"escaping downwards from above", 1.0, -1.0, {0.5, nan, nan}, true, 0, 1},
      {"escaping away below", -1.0, -1.0, {-2.0, nan, nan}, true, 0, 0},
      {"short steps below", -3.0, 1.0, {-2.0, -1.0, nan}, false, 0, 0},
  };
  for (const MoveCase& c : cases) {
    EnergyPlaneFixture fx;
    TallyTask w;
    Place(w.task, c.zStart, c.dirZ);
    ResetPlaneTallyDistances(w.task, 1);
    int n = 0;
    while (n < 3 && !std::isnan(c.zStops[n])) ++n;
    for (int i = 0; i < n; ++i) MoveTo(w.task, c.zStops[i], c.escapeLast && i == n - 1);
    EXPECT_EQ(Positive(w.task, 1, 0, 0), c.positive) << c.what;
    EXPECT_EQ(Negative(w.task, 1, 0, 0), -c.negative) << c.what;
  }
}

TEST(PlaneScoring, ParallelMoveNeverScoresAndKeepsTheDistance) {
  EnergyPlaneFixture fx;
  TallyTask w;
  Place(w.task, 0.0, 1.0);
  w.task.pc.dir = Init(1e5, 0.0, 0.0);
  w.task.planeTallyDistance[0][0] = -0.25;
  MoveTo(w.task, 0.0);
  EXPECT_EQ(Net(w.task, 1, 0, 0), 0);
  EXPECT_EQ(w.task.planeTallyDistance[0][0], -0.25);
}

// A stack of 5 planes at z = 0, 0.5, ..., 2: the crossings per plane.
TEST(PlaneScoring, StackedPlanesCountEveryPlaneOnce) {
  struct Case {
    const char* what;
    double z0, dirZ;
    double stops[3];
    int nStops;
    bool escape;
    int64_t net[5];
  } cases[] = {
      {"up through the whole stack", -1.0, 1.0, {3.0}, 1, false, {1, 1, 1, 1, 1}},
      {"down through the whole stack", 3.0, -1.0, {-1.0}, 1, false, {-1, -1, -1, -1, -1}},
      {"up ending on plane 2, then on", 0.2, 1.0, {1.0, 1.7}, 2, false, {0, 1, 1, 1, 0}},
      {"up between planes", 0.6, 1.0, {0.9}, 1, false, {0, 0, 0, 0, 0}},
      {"down ending on plane 1, then back up", 1.2, -1.0, {0.5, 0.7}, 2, false, {0, 0, -1, 0, 0}},
      {"escaping up from inside", 0.7, 1.0, {0.8}, 1, true, {0, 0, 1, 1, 1}},
      {"escaping up from plane 2 itself", 1.0, 1.0, {1.0}, 1, true, {0, 0, 0, 1, 1}},
      {"escaping down from plane 2 itself", 1.0, -1.0, {1.0}, 1, true, {-1, -1, -1, 0, 0}},
      {"escaping up from below the stack", -4.0, 1.0, {-3.0}, 1, true, {1, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    EnergyPlaneFixture fx(5, 0.5);
    TallyTask w;
    Place(w.task, c.z0, c.dirZ);
    ResetPlaneTallyDistances(w.task, 1);
    // The direction after a turn follows the sign of the move.
    for (int i = 0; i < c.nStops; ++i) {
      const double from = w.task.pc.pos.z;
      if (c.stops[i] != from) w.task.pc.dir = Init(0, 0, (c.stops[i] > from ? 1.0 : -1.0) * w.task.E);
      MoveTo(w.task, c.stops[i], c.escape && i == c.nStops - 1);
    }
    for (int j = 0; j < 5; ++j) EXPECT_EQ(Net(w.task, 1, j, 0), c.net[j]) << c.what << ", plane " << j + 1;
  }
}

// The sign conventions: a table on MU is unsigned (a downward crossing adds +1
// to the first half); a table on E puts it as -1 into the second half, with
// -E in the energy array.
TEST(PlaneScoring, SignedAndUnsignedHalves) {
  TallyFixture f;
  const int e = f.AddRange(kQuantityE, "E", 0.0, 1e6, 10);
  const int mu = f.AddRange(kQuantityMu, "MU", -1.0, 1.0, 4);
  PLANETALLY& t = f.AddPlane(kAllParticleTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kAllParticleTallies, t, kQuantityE, e);
  f.Add1D(kAllParticleTallies, t, kQuantityMu, mu);
  f.Finish(kAllParticleTallies, t);
  f.Install();
  TallyTask w;
  Place(w.task, 1.0, -1.0, 250000.0);  // bin 2 of E, mu = -1 in bin 0 of MU
  ResetPlaneTallyDistances(w.task, 1);
  MoveTo(w.task, -1.0);
  const CTask& k = w.task;
  EXPECT_EQ(k.oneDimTallies[2][0][2], 0);
  EXPECT_EQ(k.oneDimTallies[2][0][10 + 2], -1);
  EXPECT_EQ(k.oneDimTallies_E[2][0][10 + 2], -250000.0);
  EXPECT_EQ(k.oneDimTallies[2][1][0], 1);
  EXPECT_EQ(k.oneDimTallies[2][1][4 + 0], 0);
  EXPECT_EQ(k.oneDimTallies_E[2][1][0], 250000.0);
}

TEST(PlaneScoring, WeightedModeKeepsSignedWeightsAndSquares) {
  TallyFixture f;
  const int e = f.AddRange(kQuantityE, "E", 0.0, 1e6, 1);
  PLANETALLY& t = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kPhotonTallies, t, kQuantityE, e);
  f.Finish(kPhotonTallies, t);
  f.Install();
  TallyTask w(true);
  Place(w.task, 1.0, -1.0, 1000.0);
  w.task.weight = 0.5;
  ResetPlaneTallyDistances(w.task, 1);
  MoveTo(w.task, -1.0);
  EXPECT_DOUBLE_EQ(w.task.oneDimTallies_wt[1][0][0], -0.5);
  EXPECT_DOUBLE_EQ(w.task.oneDimTallies_wt[1][0][1], 0.25);
  EXPECT_DOUBLE_EQ(w.task.oneDimTallies_E[1][0][0], -500.0);
}

// Crossing points of an oblique escaping flight through a stack: each plane
// gets its own point. Planes z = 0, 1, 2; the photon starts at (0, 0, -1)
// moving along (1, 0, 1)/sqrt 2 and escapes: it crosses at x = 1, 2, 3.
TEST(PlaneScoring, EscapingFlightScoresEachPlaneAtItsOwnPoint) {
  TallyFixture f;
  const int x = f.AddRange(kQuantityX, "X", 0.0, 4.0, 4);
  PLANETALLY& t = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0), 3, 1.0);
  f.Add1D(kPhotonTallies, t, kQuantityX, x);
  f.Finish(kPhotonTallies, t);
  f.Install();
  TallyTask w;
  Place(w.task, -1.0, 1.0);
  const double c = 1e5 / std::sqrt(2.0);
  w.task.pc.dir = Init(c, 0.0, c);
  ResetPlaneTallyDistances(w.task, 1);
  w.task.pc.pos = Init(0.5, 0.0, -0.5);
  w.task.escaped = 1;
  UpdatePlaneTallies(w.task, 1);
  for (int j = 0; j < 3; ++j) {
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Net(w.task, 1, j, k), k == j ? 1 : 0) << "plane " << j << " bin " << k;
  }
}

// A pencil beam along the normal through the reference point: THETA = 0 and
// R = 0 fall into the first bin; PHI, X and Y are 0.
TEST(PlaneScoring, PencilBeamLandsInTheFirstBins) {
  TallyFixture f;
  const int th = f.AddRange(kQuantityTheta, "THETA", 0.0, kPi / 2, 9);
  const int r = f.AddRange(kQuantityR, "R", 0.0, 1.0, 10);
  const int xr = f.AddRange(kQuantityX, "X", -1.0, 1.0, 2);
  PLANETALLY& t = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kPhotonTallies, t, kQuantityTheta, th);
  f.Add1D(kPhotonTallies, t, kQuantityR, r);
  f.Add1D(kPhotonTallies, t, kQuantityX, xr);
  t.limOn[kQuantityTheta] = 1;
  t.limLow[kQuantityTheta] = 0.0;
  t.limHigh[kQuantityTheta] = 0.1;
  f.Finish(kPhotonTallies, t);
  f.Install();
  TallyTask w;
  Place(w.task, -1.0, 1.0);
  ResetPlaneTallyDistances(w.task, 1);
  MoveTo(w.task, 1.0);
  EXPECT_EQ(Net(w.task, 1, 0, 0), 1);
  EXPECT_EQ(Net(w.task, 1, 1, 0), 1);
  EXPECT_EQ(Net(w.task, 1, 2, 0), 1) << "X = 0 is the top of the bin (-1, 0]";
}

// PHI = 345 degrees: as -15 in a range from -20 to 20, as 345 in 0..360.
TEST(PlaneScoring, AzimuthFollowsEachRangesConvention) {
  TallyFixture f;
  const int sym = f.AddRange(kQuantityPhi, "PHI", -20.0 * kPi / 180, 20.0 * kPi / 180, 4);
  const int full = f.AddRange(kQuantityPhi, "PHI2", 0.0, 2 * kPi, 36);
  PLANETALLY& t = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kPhotonTallies, t, kQuantityPhi, sym);
  f.Add1D(kPhotonTallies, t, kQuantityPhi, full);
  f.Finish(kPhotonTallies, t);
  f.Install();
  TallyTask w;
  const double a = 345.0 * kPi / 180;
  Place(w.task, -1.0, 1.0);
  w.task.pc.pos = Init(std::cos(a), std::sin(a), -1.0);
  ResetPlaneTallyDistances(w.task, 1);
  MoveTo(w.task, 1.0);
  EXPECT_EQ(Net(w.task, 1, 0, 0), 1) << "-15 degrees in (-20, -10]";
  EXPECT_EQ(Net(w.task, 1, 1, 34), 1) << "345 degrees in (340, 350]";
}

// A 2-D table E x R: bin k = kE + binsE * kR.
TEST(PlaneScoring, TwoDimensionalBinIndex) {
  TallyFixture f;
  const int e = f.AddRange(kQuantityE, "E", 0.0, 1e6, 4);
  const int r = f.AddRange(kQuantityR, "R", 0.0, 3.0, 3);
  PLANETALLY& t = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add2D(kPhotonTallies, t, kQuantityE, e, kQuantityR, r);
  f.Finish(kPhotonTallies, t);
  f.Install();
  TallyTask w;
  Place(w.task, -1.0, 1.0, 600000.0);      // E bin 2
  w.task.pc.pos = Init(0.0, 2.5, -1.0);    // R = 2.5: bin 2
  ResetPlaneTallyDistances(w.task, 1);
  MoveTo(w.task, 1.0);
  EXPECT_EQ(w.task.twoDimTallies[1][0][2 + 4 * 2], 1);
  EXPECT_EQ(w.task.twoDimTallies_E[1][0][2 + 4 * 2], 600000.0);
  int64_t total = 0;
  for (int k = 0; k < 24; ++k) total += std::llabs(w.task.twoDimTallies[1][0][k]);
  EXPECT_EQ(total, 1);
}

// Origins switched off, LIM bounds and the class rows: an electron scores in
// ETALLY and TALLY rows only.
TEST(PlaneScoring, OriginsLimitsAndClasses) {
  TallyFixture f;
  const int e = f.AddRange(kQuantityE, "E", 0.0, 1e6, 1);
  PLANETALLY& te = f.AddPlane(kElectronTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kElectronTallies, te, kQuantityE, e);
  f.Finish(kElectronTallies, te);
  PLANETALLY& tp = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kPhotonTallies, tp, kQuantityE, e);
  f.Finish(kPhotonTallies, tp);
  PLANETALLY& ta = f.AddPlane(kAllParticleTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kAllParticleTallies, ta, kQuantityE, e);
  ta.orgEnabled[kOriginCompton] = 0;
  ta.limOn[kQuantityE] = 1;
  ta.limLow[kQuantityE] = 0.0;
  ta.limHigh[kQuantityE] = 5e5;
  f.Finish(kAllParticleTallies, ta);
  f.Install();
  struct Case {
    uint8_t origin;
    double E;
    int64_t electronRow, photonRow, allRow;
  } cases[] = {{kOriginSource, 1e5, 1, 0, 1}, {kOriginCompton, 1e5, 1, 0, 0}, {kOriginSource, 6e5, 1, 0, 0}};
  for (const Case& c : cases) {
    TallyTask k;
    Place(k.task, -1.0, 1.0, c.E);
    k.task.kind = kElectron;
    k.task.org = c.origin;
    ResetPlaneTallyDistances(k.task, 0);
    k.task.pc.pos = Init(0, 0, 1.0);
    UpdatePlaneTallies(k.task, 0);
    EXPECT_EQ(Net(k.task, 0, 0, 0), c.electronRow);
    EXPECT_EQ(Net(k.task, 1, 0, 0), c.photonRow);
    EXPECT_EQ(Net(k.task, 2, 0, 0), c.allRow) << "origin " << int(c.origin) << " E " << c.E;
  }
}

// Random walks of short steps among a stack of oblique electron planes, a
// photon plane and a stack of all-particle planes that leaves out one origin.
// Scored through ScorePlaneCrossings, which skips the tests while an
// electron's move stays in the ball of the last full test, every table must
// hold exactly what the full test after every move gives, also when the
// origin or the kind changes on the way; with neither changing, the net count
// of each plane must be the change of the side the walk is on (at or above
// the plane counts as above), whatever the path in between.
TEST(PlaneScoring, SkippedTestsChangeNoCrossing) {
  TallyFixture f;
  const int e = f.AddRange(kQuantityE, "E", 0.0, 1e6, 1);
  const VECTOR oblique = Init(1.0, 2.0, 3.0);  // not of unit length
  PLANETALLY& stack = f.AddPlane(kElectronTallies, Init(0, 0, 0), oblique, Init(1, 0, 0), 6, 0.05);
  f.Add1D(kElectronTallies, stack, kQuantityE, e);
  f.Finish(kElectronTallies, stack);
  PLANETALLY& single = f.AddPlane(kPhotonTallies, Init(0, 0, 0.07), Init(0, 0, -1), Init(1, 0, 0));
  f.Add1D(kPhotonTallies, single, kQuantityE, e);
  f.Finish(kPhotonTallies, single);
  PLANETALLY& all = f.AddPlane(kAllParticleTallies, Init(0.03, 0, 0), Init(1, 0, 0), Init(0, 1, 0), 3, 0.02);
  f.Add1D(kAllParticleTallies, all, kQuantityE, e);
  all.orgEnabled[kOriginCompton] = 0;
  f.Finish(kAllParticleTallies, all);
  f.Install();
  // Side of the walk for plane j of a stack from 0 with spacing s along
  // normal n (distances in units of the normal's length): 1 at or above it.
  auto side = [](VECTOR r, VECTOR n, double offset, int j, double s) { return Dot(r, n) + offset >= j * s ? 1 : 0; };

  enum Change { kNone, kOrigins, kKinds };
  for (const Change change : {kNone, kOrigins, kKinds}) {
    TallyTask skipping, full;
    for (CTask* t : {&skipping.task, &full.task}) {
      Place(*t, 0.0, 1.0);
      t->kind = kElectron;
      t->pc.pos = Init(0.01, 0.02, 0.05);
      ResetPlaneTallyDistances(*t, kElectronTallies);
    }
    const VECTOR start = skipping.task.pc.pos;
    std::mt19937_64 rng(5 + change);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    VECTOR r = start;
    for (int move = 0; move < 40000; ++move) {
      // Isotropic direction, turned back towards the planes when far from them.
      const double mu = 2.0 * uniform(rng) - 1.0;
      const double phi = kTwoPi * uniform(rng);
      const double st = std::sqrt(1.0 - mu * mu);
      VECTOR u = Init(st * std::cos(phi), st * std::sin(phi), mu);
      const VECTOR centre = Init(0.05, 0.05, 0.05);
      if (Dot(r - centre, r - centre) > 0.04 && Dot(u, r - centre) > 0.0) u = -u;
      r = r + (-0.004 * std::log(1.0 - uniform(rng))) * u;
      const bool second = (move / 300) % 2 == 1;
      for (CTask* t : {&skipping.task, &full.task}) {
        t->pc.dir = 1e5 * u;
        t->pc.pos = r;
        t->org = change == kOrigins && second ? kOriginCompton : kOriginSource;
        t->kind = change == kKinds && second ? kPhoton : kElectron;
        t->escaped = 0;
      }
      ScorePlaneCrossings(skipping.task);
      UpdatePlaneTallies(full.task, TallyKindOf(full.task.kind));
    }
    int64_t crossings = 0;
    for (int row = 0; row < kTallyClassCount; ++row) {
      for (int slot = 0; slot < core::hostTallyTables.nOneDimSlots[row]; ++slot) {
        EXPECT_EQ(Positive(skipping.task, row, slot, 0), Positive(full.task, row, slot, 0)) << row << " " << slot;
        EXPECT_EQ(Negative(skipping.task, row, slot, 0), Negative(full.task, row, slot, 0)) << row << " " << slot;
        crossings += Positive(full.task, row, slot, 0);
      }
    }
    EXPECT_GT(crossings, 500);
    if (change != kNone) continue;
    for (int j = 0; j < 6; ++j) {
      EXPECT_EQ(Net(skipping.task, kElectronTallies, j, 0),
                side(r, oblique, 0.0, j, 0.05) - side(start, oblique, 0.0, j, 0.05))
          << "plane " << j;
    }
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(Net(skipping.task, kAllParticleTallies, j, 0),
                side(r, all.normal, all.offset, j, 0.02) - side(start, all.normal, all.offset, j, 0.02))
          << "plane " << j;
    }
  }
}

}  // namespace
