// Ray tracking through cells and voxels: locating points, entering cells from
// outside, following rays from boundary to boundary, on small hand-built
// geometries with hand-built voxel grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "geometry/ray_tracking.h"
#include "tests/geometry/geometry_test_surfaces.h"
#include "tests/geometry/geometry_test_world.h"

namespace {

using namespace test_world;

constexpr double kLengthTolerance = 1e-9;  // analytic against tracked lengths, cm

VECTOR Unit3(VECTOR v) { return v / Norm(v); }

// Result of one call.
struct Call {
  TrackerState state;
  VECTOR out;
  double distance;
  int16_t surface;
  int status;
};

Call Track(const World& w, TrackerState st, VECTOR start, VECTOR dir, int16_t surface, double maxDistance) {
  Call c{st, {}, -1.0, surface, 0};
  c.status = EntryExitPoint(w.tables, w.work, &c.state, &c.out, &start, &dir, &c.distance, &c.surface, maxDistance);
  return c;
}

Call Locate(const World& w, VECTOR p, VECTOR dir, int16_t surface = -1) {
  return Track(w, TrackerState{-1, -1, 0}, p, dir, surface, 0.0);
}

struct Segment {
  int cell;
  double length;
  VECTOR from;
};

// Follows a ray the way the transport does: locate (or enter), track to the
// boundary, move there, locate again, until the ray leaves the geometry.
// Returns false when a call misbehaves (an unbounded cell, too many steps).
bool Walk(const World& w, VECTOR start, VECTOR dir, std::vector<Segment>* segments, double* gaps = nullptr) {
  TrackerState st{-1, -1, 0};
  int16_t surface = -1;
  VECTOR pos = start;
  for (int step = 0; step < 100; ++step) {
    VECTOR out;
    double d;
    EntryExitPoint(w.tables, w.work, &st, &out, &pos, &dir, &d, &surface, 0.0);
    if (st.cellIndex < 0) return surface == -2;
    if (gaps) *gaps += d;
    pos = out;
    const int cell = w.CellOf(st);
    EntryExitPoint(w.tables, w.work, &st, &out, &pos, &dir, &d, &surface, -1.0);
    if (st.cellIndex >= 0) return false;  // no boundary ahead: the cell would be unbounded
    segments->push_back(Segment{cell, d, pos});
    pos = out;
  }
  return false;
}

// Parameter interval [t0, t1] of the ray inside a sphere; false when it misses.
bool SphereChord(VECTOR centre, double R, VECTOR p, VECTOR u, double* t0, double* t1) {
  const VECTOR w = p - centre;
  const double b = Dot(w, u), c = Dot(w, w) - R * R, disc = b * b - c;
  if (disc <= 0.0) return false;
  *t0 = -b - std::sqrt(disc);
  *t1 = -b + std::sqrt(disc);
  return true;
}

// Interval of the ray inside the box [lo, hi]^3 (slab method).
bool BoxChord(double lo, double hi, VECTOR p, VECTOR u, double* t0, double* t1) {
  *t0 = -INFINITY;
  *t1 = INFINITY;
  const double pc[3] = {p.x, p.y, p.z}, uc[3] = {u.x, u.y, u.z};
  for (int a = 0; a < 3; ++a) {
    if (uc[a] == 0.0) {
      if (pc[a] < lo || pc[a] > hi) return false;
      continue;
    }
    double a0 = (lo - pc[a]) / uc[a], a1 = (hi - pc[a]) / uc[a];
    if (a0 > a1) std::swap(a0, a1);
    *t0 = std::max(*t0, a0);
    *t1 = std::min(*t1, a1);
  }
  return *t0 < *t1;
}

// Interval of the ray inside the cylinder x^2 + y^2 < R^2, |z| < h.
bool CylinderChord(double R, double h, VECTOR p, VECTOR u, double* t0, double* t1) {
  const double A = u.x * u.x + u.y * u.y, B = p.x * u.x + p.y * u.y, C = p.x * p.x + p.y * p.y - R * R;
  if (A == 0.0) return false;
  const double disc = B * B - A * C;
  if (disc <= 0.0) return false;
  *t0 = (-B - std::sqrt(disc)) / A;
  *t1 = (-B + std::sqrt(disc)) / A;
  if (u.z != 0.0) {
    double a0 = (-h - p.z) / u.z, a1 = (h - p.z) / u.z;
    if (a0 > a1) std::swap(a0, a1);
    *t0 = std::max(*t0, a0);
    *t1 = std::min(*t1, a1);
  } else if (std::fabs(p.z) >= h) {
    return false;
  }
  return *t0 < *t1;
}

// Box of nearest and farthest distances from the origin to a voxel's box.
void BoxDistances(const double lo[3], const double hi[3], double* nearest, double* farthest) {
  double n2 = 0.0, f2 = 0.0;
  for (int a = 0; a < 3; ++a) {
    const double c = std::clamp(0.0, lo[a], hi[a]);
    n2 += c * c;
    const double f = std::max(std::fabs(lo[a]), std::fabs(hi[a]));
    f2 += f * f;
  }
  *nearest = std::sqrt(n2);
  *farthest = std::sqrt(f2);
}

const std::vector<double> kSpherePlanes = {-2.5, -1.5, -0.5, 0.5, 1.5, 2.5};

// Two nested spheres about the origin, radii 1 (surface 0) and 2 (surface 1).
// withHash: cell 0 is inside sphere 1 with cell 1 listed after '#' (inner cell,
// depth 1), and the voxels are classified (empty, single cell, containing cell,
// cut). Otherwise cell 0 is the shell {-1, +0} and every voxel lists both cells.
std::unique_ptr<World> NestedSpheres(bool withHash) {
  auto w = std::make_unique<World>();
  w->surf = {MakeSphere(Init(0, 0, 0), 1.0), MakeSphere(Init(0, 0, 0), 2.0)};
  if (withHash) {
    w->AddCell({1}, {-1});
    w->AddCell({0}, {-1}, 0);
  } else {
    w->AddCell({1, 0}, {-1, +1});
    w->AddCell({0}, {-1});
  }
  const std::vector<double> planes[3] = {kSpherePlanes, kSpherePlanes, kSpherePlanes};
  w->Build(planes, [withHash](const double lo[3], const double hi[3], VoxelListing& vs) {
    if (!withHash) return;
    double nearest, farthest;
    BoxDistances(lo, hi, &nearest, &farthest);
    if (nearest > 2.0) {
      vs.cells.clear();
    } else if (farthest < 1.0) {
      vs = VoxelListing{{1}, 0, {0, 1}};
    } else if (nearest > 1.0 && farthest < 2.0) {
      vs = VoxelListing{{0}, 0, {0, 1}};
    } else if (farthest < 2.0) {
      vs = VoxelListing{{0, 1}, -2, {1}};  // cell 0 (slot 0) contains the voxel
    }
  });
  return w;
}

// The box [-2, 2]^3 of planes 0..5 (x -2, x 2, y -2, y 2, z -2, z 2) split by
// plane 6 (x = 0) into cell 0 (x < 0) and cell 1 (x > 0). Grid planes at the
// box faces and at x = 0; each half is one voxel holding its cell only
// (containerCell 0) unless allCells; omitSplit leaves plane 6 out of the
// voxel lists, so each cell ends at the voxel face x = 0.
std::unique_ptr<World> SplitBox(bool allCells, bool omitSplit, bool xPlanes = true) {
  auto w = std::make_unique<World>();
  const VECTOR ex = Init(1, 0, 0), ey = Init(0, 1, 0), ez = Init(0, 0, 1);
  w->surf = {MakePlane(Init(-2, 0, 0), ex), MakePlane(Init(2, 0, 0), ex), MakePlane(Init(0, -2, 0), ey),
             MakePlane(Init(0, 2, 0), ey),  MakePlane(Init(0, 0, -2), ez), MakePlane(Init(0, 0, 2), ez),
             MakePlane(Init(0, 0, 0), ex)};
  w->AddCell({0, 6, 2, 3, 4, 5}, {+1, -1, +1, -1, +1, -1});
  w->AddCell({6, 1, 2, 3, 4, 5}, {+1, -1, +1, -1, +1, -1});
  const std::vector<double> planes[3] = {xPlanes ? std::vector<double>{-2, 0, 2} : std::vector<double>{},
                                         {-2, 2}, {-2, 2}};
  w->Build(planes, [=](const double lo[3], const double hi[3], VoxelListing& vs) {
    bool inside = true;
    for (int a = 0; a < 3; ++a) inside = inside && lo[a] >= -2 && hi[a] <= 2;
    if (!inside && xPlanes) {
      vs.cells.clear();
      return;
    }
    if (omitSplit) vs.omitted = {6};
    if (allCells || !xPlanes) return;
    vs.cells = {lo[0] < 0 ? 0 : 1};
    vs.containerCell = 0;
  });
  return w;
}

// Cylinder x^2 + y^2 < 1 (surface 0) cut by z = +-2, in the box [-2, 2]^3:
// cell 0 the cylinder, cell 1 the rest of the box.
std::unique_ptr<World> CylinderInBox() {
  auto w = std::make_unique<World>();
  const VECTOR ex = Init(1, 0, 0), ey = Init(0, 1, 0), ez = Init(0, 0, 1);
  w->surf = {MakeCylinder(Init(0, 0, 0), ez, 1.0), MakePlane(Init(-2, 0, 0), ex), MakePlane(Init(2, 0, 0), ex),
             MakePlane(Init(0, -2, 0), ey), MakePlane(Init(0, 2, 0), ey), MakePlane(Init(0, 0, -2), ez),
             MakePlane(Init(0, 0, 2), ez)};
  w->AddCell({0, 5, 6}, {-1, +1, -1});
  w->AddCell({1, 2, 3, 4, 5, 6, 0}, {+1, -1, +1, -1, +1, -1, +1});
  const std::vector<double> xy = {-2, -1, 0, 1, 2};
  const std::vector<double> planes[3] = {xy, xy, {-2, 2}};
  w->Build(planes, [](const double lo[3], const double hi[3], VoxelListing& vs) {
    for (int a = 0; a < 3; ++a)
      if (lo[a] < -2 || hi[a] > 2) vs.cells.clear();
  });
  return w;
}

// A slab cell 1.5 < x < 2.5, |y|, |z| < 2 that also lies outside the sphere of
// radius 1 about the origin (surface 0), in one voxel without planes: a ray
// from x = -2 crosses the sphere twice in the void before it enters the cell.
std::unique_ptr<World> VoidSphereThenSlab() {
  auto w = std::make_unique<World>();
  const VECTOR ex = Init(1, 0, 0), ey = Init(0, 1, 0), ez = Init(0, 0, 1);
  w->surf = {MakeSphere(Init(0, 0, 0), 1.0), MakePlane(Init(1.5, 0, 0), ex), MakePlane(Init(2.5, 0, 0), ex),
             MakePlane(Init(0, -2, 0), ey), MakePlane(Init(0, 2, 0), ey), MakePlane(Init(0, 0, -2), ez),
             MakePlane(Init(0, 0, 2), ez)};
  w->AddCell({0, 1, 2, 3, 4, 5, 6}, {+1, +1, -1, +1, -1, +1, -1});
  const std::vector<double> planes[3] = {{}, {}, {}};
  w->Build(planes, [](const double*, const double*, VoxelListing&) {});
  return w;
}

// The box [-2, 2]^3 split at x = 0 into cells 0 and 1 that form one union,
// and cell 2, a cylinder of radius 0.5 about the tilted axis (1, 1, 1) cut by
// the sphere of radius 1.5, listed after '#' in cell 0 (depth 1) and reaching
// into cell 1. Grid planes at -2 .. 2 every unit; every voxel in the box lists
// every cell.
std::unique_ptr<World> UnionWithTiltedCylinder() {
  auto w = std::make_unique<World>();
  const VECTOR ex = Init(1, 0, 0), ey = Init(0, 1, 0), ez = Init(0, 0, 1);
  w->surf = {MakePlane(Init(-2, 0, 0), ex), MakePlane(Init(2, 0, 0), ex),
             MakePlane(Init(0, -2, 0), ey), MakePlane(Init(0, 2, 0), ey),
             MakePlane(Init(0, 0, -2), ez), MakePlane(Init(0, 0, 2), ez),
             MakePlane(Init(0, 0, 0), ex),  MakeCylinder(Init(0.1, 0, 0), Unit3(Init(1, 1, 1)), 0.5),
             MakeSphere(Init(0, 0, 0), 1.5)};
  w->AddCell({0, 6, 2, 3, 4, 5}, {+1, -1, +1, -1, +1, -1});
  w->AddCell({6, 1, 2, 3, 4, 5}, {+1, -1, +1, -1, +1, -1});
  w->AddCell({7, 8}, {-1, -1}, 0);
  w->cells[0].unionIndex = 0;
  w->cells[1].unionIndex = 0;
  const std::vector<double> grid = {-2, -1, 0, 1, 2};
  const std::vector<double> planes[3] = {grid, grid, grid};
  w->Build(planes, [](const double lo[3], const double hi[3], VoxelListing& vs) {
    for (int a = 0; a < 3; ++a)
      if (lo[a] < -2 || hi[a] > 2) vs.cells.clear();
  });
  return w;
}

enum GeometryKind {
  kSpheresHash,
  kSpheresShell,
  kBoxContainer,
  kBoxAllCells,
  kBoxCellEndsAtFace,
  kBoxNoXPlanes,
  kCylinder,
  kVoidSphere,
  kUnionTilted
};

std::unique_ptr<World> MakeWorld(GeometryKind k) {
  switch (k) {
    case kSpheresHash: return NestedSpheres(true);
    case kSpheresShell: return NestedSpheres(false);
    case kBoxContainer: return SplitBox(false, false);
    case kBoxAllCells: return SplitBox(true, false);
    case kBoxCellEndsAtFace: return SplitBox(false, true);
    case kBoxNoXPlanes: return SplitBox(true, false, false);
    case kCylinder: return CylinderInBox();
    case kVoidSphere: return VoidSphereThenSlab();
    case kUnionTilted:
      return UnionWithTiltedCylinder();
  }
  return nullptr;
}

VECTOR Unit(VECTOR v) { return v / Norm(v); }

// ---------------------------------------------------------------- locating

struct LocateCase {
  const char* name;
  GeometryKind geometry;
  VECTOR point, dir;
  int16_t carried;  // surface the point sits on, -1 none
  int cell;         // expected CELL index, -1 none
  int surface;      // expected surface argument
  double distance;  // expected distance
  VECTOR out;       // expected out position
};

TEST(RayTracking, LocatesPointsInsideOnBoundariesAndOutside) {
  const VECTOR px = Init(1, 0, 0), mx = Init(-1, 0, 0), mz = Init(0, 0, -1);
  const LocateCase cases[] = {
      {"inside inner, single-cell voxel", kSpheresHash, Init(0.2, 0.1, 0), px, -1, 1, -2, 0, Init(0.2, 0.1, 0)},
      {"inside shell, containing-cell voxel", kSpheresHash, Init(1.2, 0, 0), px, -1, 0, -1, 0, Init(1.2, 0, 0)},
      {"inside shell, cut voxel", kSpheresHash, Init(0, 1.6, 1.0), px, -1, 0, -2, 0, Init(0, 1.6, 1.0)},
      {"inside shell, explicit senses", kSpheresShell, Init(0, 1.6, 1.0), px, -1, 0, -2, 0, Init(0, 1.6, 1.0)},
      {"on inner sphere heading in", kSpheresShell, Init(1, 0, 0), mx, 0, 1, 0, 0, Init(1, 0, 0)},
      {"on inner sphere heading out", kSpheresShell, Init(1, 0, 0), px, 0, 0, 0, 0, Init(1, 0, 0)},
      {"on inner sphere heading in, '#'", kSpheresHash, Init(0, 1, 0), Init(0, -1, 0), 0, 1, 0, 0, Init(0, 1, 0)},
      {"on outer sphere heading in", kSpheresHash, Init(2, 0, 0), mx, 1, 0, 1, 0, Init(2, 0, 0)},
      {"on outer sphere heading out", kSpheresHash, Init(2, 0, 0), px, 1, -1, -2, 0.5, Init(2, 0, 0)},
      {"outside, ray enters", kSpheresHash, Init(3, 0, 0), mx, -1, 0, 1, 1.0, Init(2, 0, 0)},
      {"outside, ray enters from above", kSpheresShell, Init(0, 0, 3), mz, -1, 0, 1, 1.0, Init(0, 0, 2)},
      {"outside, ray misses", kSpheresHash, Init(-3, 5, 0), px, -1, -1, -2, 5.5, Init(-3, 5, 0)},
      {"outside, ray heads away", kSpheresHash, Init(3, 0, 0), px, -1, -1, -2, 0, Init(3, 0, 0)},
      {"split box, container voxel", kBoxContainer, Init(1, 1, 1), px, -1, 1, -2, 0, Init(1, 1, 1)},
      {"on the split plane heading -x", kBoxAllCells, Init(0, 1, 1), mx, 6, 0, 6, 0, Init(0, 1, 1)},
      {"on the split plane heading +x", kBoxAllCells, Init(0, 1, 1), px, 6, 1, 6, 0, Init(0, 1, 1)},
      {"on the split plane = voxel face, heading -x", kBoxContainer, Init(0, 1, 1), mx, 6, 0, 6, 0, Init(0, 1, 1)},
      {"outside box, enters at a voxel face", kBoxContainer, Init(-3, 1, 1), px, -1, 0, 0, 1.0, Init(-2, 1, 1)},
      {"outside box, no x planes", kBoxNoXPlanes, Init(-3, 1, 1), px, -1, 0, 0, 1.0, Init(-2, 1, 1)},
      {"void sphere crossed twice, then the cell", kVoidSphere, Init(-2, 0, 0), px, -1, 0, 1, 3.5, Init(1.5, 0, 0)},
      {"void sphere crossed once from inside, then the cell", kVoidSphere, Init(0, 0, 0), px, -1, 0, 1, 1.5,
       Init(1.5, 0, 0)},
      {"cylinder, inside", kCylinder, Init(0.5, 0.5, 0), px, -1, 0, -2, 0, Init(0.5, 0.5, 0)},
      {"cylinder, outside enters", kCylinder, Init(-3, 0, 0), px, -1, 1, 1, 1.0, Init(-2, 0, 0)},
  };
  for (const LocateCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto w = MakeWorld(c.geometry);
    const Call r = Locate(*w, c.point, c.dir, c.carried);
    EXPECT_EQ(r.status, kTrackOk);
    EXPECT_EQ(w->CellOf(r.state), c.cell);
    EXPECT_EQ(r.surface, c.surface);
    EXPECT_NEAR(r.distance, c.distance, kLengthTolerance);
    EXPECT_NEAR(Norm(r.out - c.out), 0.0, kLengthTolerance);
    if (c.cell >= 0) {
      EXPECT_TRUE(w->BoxHolds(r.state.voxelIndex, r.out)) << "voxel of the point";
    }
  }
}

TEST(RayTracking, CarriedSurfaceBeatsRoundingAndWarnsOnce) {
  auto w = NestedSpheres(false);
  const VECTOR p = Init(1 + 1e-7, 0, 0);  // named as on sphere 0, but 1e-7 off it
  Call r = Locate(*w, p, Init(-1, 0, 0), 0);
  EXPECT_EQ(w->CellOf(r.state), 1) << "side taken from the direction, not from the point";
  EXPECT_EQ(r.status, kTrackPrecisionWarning);
  EXPECT_EQ(r.state.precisionWarned, 1);
  r = Track(*w, TrackerState{-1, -1, 1}, p, Init(-1, 0, 0), 0, 0.0);
  EXPECT_EQ(w->CellOf(r.state), 1);
  EXPECT_EQ(r.status, kTrackOk) << "the warning is reported once per record";
  r = Locate(*w, p, Init(-1, 0, 0), -1);
  EXPECT_EQ(w->CellOf(r.state), 0) << "without the carried surface the point is outside sphere 0";
}

TEST(RayTracking, WorkArraysTooSmallAreReported) {
  auto w = NestedSpheres(false);
  w->work.nSideWords = 0;
  Call r = Locate(*w, Init(0, 1.6, 1.0), Init(1, 0, 0));
  EXPECT_EQ(r.status, kTrackWorkTooSmall);
  EXPECT_EQ(r.state.cellIndex, -1);
  w->work.nSideWords = 1;
  w->work.nCrossings = 1;  // the ray from outside meets sphere 1 twice
  r = Locate(*w, Init(-2.2, 0, 0), Init(1, 0, 0));
  EXPECT_EQ(r.status, kTrackWorkTooSmall);
}

// ---------------------------------------------------------------- tracking

struct WalkCase {
  const char* name;
  GeometryKind geometry;
  VECTOR start, dir;
  std::vector<std::pair<int, double>> segments;  // (cell, length)
};

TEST(RayTracking, FollowsRaysThroughSeveralCells) {
  const double r3 = 2.0 * std::sqrt(3.0);  // chord of the outer sphere at distance 1 from the centre
  const WalkCase cases[] = {
      {"spheres along x", kSpheresHash, Init(-3, 0, 0), Init(1, 0, 0), {{0, 1}, {1, 2}, {0, 1}}},
      {"spheres along x, shell", kSpheresShell, Init(-3, 0, 0), Init(1, 0, 0), {{0, 1}, {1, 2}, {0, 1}}},
      {"spheres from the centre", kSpheresHash, Init(0, 0, 0), Init(0, 1, 0), {{1, 1}, {0, 1}}},
      {"spheres through voxel corners", kSpheresHash, Init(-3, -3, -3), Unit(Init(1, 1, 1)),
       {{0, 1}, {1, 2}, {0, 1}}},
      {"grazing the inner sphere", kSpheresHash, Init(-3, 1, 0), Init(1, 0, 0), {{0, r3}}},
      {"grazing the inner sphere, shell", kSpheresShell, Init(-3, 0, 1), Init(1, 0, 0), {{0, r3}}},
      {"box halves, container voxels", kBoxContainer, Init(-3, 0.3, 0.2), Init(1, 0, 0), {{0, 2}, {1, 2}}},
      {"box halves, listed voxels", kBoxAllCells, Init(3, 0.3, 0.2), Init(-1, 0, 0), {{1, 2}, {0, 2}}},
      {"box halves, cell ends at face", kBoxCellEndsAtFace, Init(-3, 0.3, 0.2), Init(1, 0, 0), {{0, 2}, {1, 2}}},
      {"box halves, no x planes", kBoxNoXPlanes, Init(-3, 0.3, 0.2), Init(1, 0, 0), {{0, 2}, {1, 2}}},
      {"along the split plane", kBoxAllCells, Init(0, 0.3, -3), Init(0, 0, 1), {{1, 4}}},
      {"along the split plane, container", kBoxContainer, Init(0, 0.3, -3), Init(0, 0, 1), {{1, 4}}},
      {"along a box face", kBoxAllCells, Init(-1, -2, -3), Init(0, 0, 1), {{0, 4}}},
      {"cylinder across", kCylinder, Init(-3, 0, 0), Init(1, 0, 0), {{1, 1}, {0, 2}, {1, 1}}},
      {"grazing the cylinder", kCylinder, Init(-3, 1, 0.5), Init(1, 0, 0), {{1, 4}}},
      {"along the cylinder axis", kCylinder, Init(0.5, 0, -3), Init(0, 0, 1), {{0, 4}}},
      {"cylinder through voxel edges", kCylinder, Init(-3, -3, 0.25), Unit(Init(1, 1, 0)),
       {{1, std::sqrt(8.0) - 1}, {0, 2}, {1, std::sqrt(8.0) - 1}}},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto w = MakeWorld(c.geometry);
    std::vector<Segment> got;
    ASSERT_TRUE(Walk(*w, c.start, c.dir, &got));
    ASSERT_EQ(got.size(), c.segments.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].cell, c.segments[k].first) << "segment " << k;
      EXPECT_NEAR(got[k].length, c.segments[k].second, kLengthTolerance) << "segment " << k;
    }
  }
}

// Tracking rows of the outcome table, each from a start located first.
TEST(RayTracking, TrackingOutcomes) {
  auto w = NestedSpheres(true);
  const VECTOR px = Init(1, 0, 0), mx = Init(-1, 0, 0), py = Init(0, 1, 0), my = Init(0, -1, 0);
  struct Case {
    const char* name;
    VECTOR start, locateDir, dir;
    int16_t carried;
    int startCell;
    double maxDistance;
    int cellAfter;  // CELL index after the call, -1 when a boundary was crossed
    int surface;
    double distance;
    VECTOR out;
  };
  const Case cases[] = {
      {"inner cell to its boundary", Init(0, 0, 0), px, px, -1, 1, -1, -1, 0, 1.0, Init(1, 0, 0)},
      {"maximum inside the first voxel", Init(0, 0, 0), px, px, -1, 1, 0.3, 1, -2, 0.5, Init(0, 0, 0)},
      {"maximum beyond the first face", Init(0, 0, 0), px, px, -1, 1, 0.7, 1, -2, 1.5, Init(0, 0, 0)},
      {"maximum beyond the crossing", Init(0, 0, 0), px, px, -1, 1, 5.0, -1, 0, 1.0, Init(1, 0, 0)},
      {"maximum 0 inside a cell", Init(0, 0, 0), px, px, -1, 1, 0.0, 1, -2, 0.5, Init(0, 0, 0)},
      {"on own boundary moving out", Init(1, 0, 0), mx, px, 0, 1, -1, -1, 0, 0.0, Init(1, 0, 0)},
      {"just outside own boundary moving out", Init(1 + 1e-13, 0, 0), mx, px, 0, 1, -1, -1, 0, 0.0,
       Init(1 + 1e-13, 0, 0)},
      {"on own boundary moving in", Init(1, 0, 0), mx, mx, 0, 1, -1, -1, 0, 2.0, Init(-1, 0, 0)},
      {"outer cell, on the inner cell's boundary moving in", Init(0, 1, 0), py, my, 0, 0, -1, -1, -1, 0.0,
       Init(0, 1, 0)},
      {"outer cell, on the inner cell's boundary moving out", Init(0, 1, 0), py, py, 0, 0, -1, -1, 1, 1.0,
       Init(0, 2, 0)},
      {"outer cell, ray enters the inner cell", Init(0, -1.5, 0), py, py, -1, 0, -1, -1, 0, 0.5, Init(0, -1, 0)},
      {"outer cell, ray misses the inner cell", Init(1.5, -1.5, 0), py, py, -1, 0, -1, -1, 1,
       1.5 + std::sqrt(4 - 2.25), Init(1.5, std::sqrt(4 - 2.25), 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Call located = Locate(*w, c.start, c.locateDir, c.carried);
    ASSERT_EQ(w->CellOf(located.state), c.startCell);
    const Call r = Track(*w, located.state, c.start, c.dir, c.carried, c.maxDistance);
    EXPECT_EQ(w->CellOf(r.state), c.cellAfter);
    EXPECT_EQ(r.surface, c.surface);
    EXPECT_NEAR(r.distance, c.distance, kLengthTolerance);
    EXPECT_NEAR(Norm(r.out - c.out), 0.0, kLengthTolerance);
  }
}

TEST(RayTracking, InnerCellEnteredAtStartIsLocatedNext) {
  auto w = NestedSpheres(true);
  const VECTOR p = Init(0, 1, 0), down = Init(0, -1, 0);
  Call r = Locate(*w, p, Init(0, 1, 0), 0);  // heading out: the outer cell
  ASSERT_EQ(w->CellOf(r.state), 0);
  r = Track(*w, r.state, p, down, 0, -1.0);
  EXPECT_EQ(r.state.cellIndex, -1);
  EXPECT_EQ(r.surface, -1);
  EXPECT_EQ(r.distance, 0.0);
  r = Track(*w, r.state, p, down, 0, 0.0);
  EXPECT_EQ(w->CellOf(r.state), 1) << "the inner cell has the larger depth";
}

TEST(RayTracking, CellEndingAtAVoxelFace) {
  auto w = SplitBox(false, true);
  Call r = Locate(*w, Init(-1, 0.5, 0.5), Init(1, 0, 0));
  ASSERT_EQ(w->CellOf(r.state), 0);
  r = Track(*w, r.state, Init(-1, 0.5, 0.5), Init(1, 0, 0), r.surface, -1.0);
  EXPECT_EQ(r.state.cellIndex, -1);
  EXPECT_EQ(r.surface, -2);
  EXPECT_NEAR(r.distance, 1.0, kLengthTolerance);
  EXPECT_NEAR(Norm(r.out - Init(0, 0.5, 0.5)), 0.0, kLengthTolerance);
  EXPECT_EQ(r.state.voxelIndex, VoxelAt(w->tables.grid, Init(0.5, 0.5, 0.5), Init(1, 0, 0), kDistancePrecision))
      << "the voxel beyond the face";
}

TEST(RayTracking, CrossingOnAVoxelFaceReturnsTheVoxelBeyond) {
  auto w = SplitBox(false, false);
  Call r = Locate(*w, Init(-1, 0.5, 0.5), Init(1, 0, 0));
  r = Track(*w, r.state, Init(-1, 0.5, 0.5), Init(1, 0, 0), r.surface, -1.0);
  EXPECT_EQ(r.state.cellIndex, -1);
  EXPECT_EQ(r.surface, 6);
  EXPECT_NEAR(r.distance, 1.0, kLengthTolerance);
  EXPECT_EQ(r.state.voxelIndex, VoxelAt(w->tables.grid, Init(0.5, 0.5, 0.5), Init(1, 0, 0), kDistancePrecision));
  r = Track(*w, r.state, r.out, Init(1, 0, 0), r.surface, 0.0);
  EXPECT_EQ(w->CellOf(r.state), 1);
  EXPECT_EQ(r.distance, 0.0);
}

// ---------------------------------------------------------------- property

// Random rays from outside: the segments add up to the analytic chords, and
// the midpoint of every segment is located in the cell reported for it.
TEST(RayTracking, RandomRaysMatchAnalyticChords) {
  const uint64_t baseSeed = 0x7a3c2104;
  const GeometryKind kinds[] = {kSpheresHash, kSpheresShell, kCylinder, kBoxContainer, kBoxAllCells};
  for (GeometryKind kind : kinds) {
    auto w = MakeWorld(kind);
    for (int k = 0; k < 300; ++k) {
      const uint64_t seed = baseSeed + 1000 * static_cast<uint64_t>(kind) + k;
      SCOPED_TRACE(testing::Message() << "geometry " << kind << " seed " << seed);
      std::mt19937_64 rng(seed);
      std::normal_distribution<double> gauss;
      std::uniform_real_distribution<double> aim(-2.2, 2.2);
      const VECTOR start = 6.0 * Unit(Init(gauss(rng), gauss(rng), gauss(rng)));
      const VECTOR dir = Unit(Init(aim(rng), aim(rng), aim(rng)) - start);
      std::vector<Segment> segs;
      ASSERT_TRUE(Walk(*w, start, dir, &segs));
      double total = 0.0, inner = 0.0;
      for (const Segment& s : segs) {
        total += s.length;
        if (s.cell == (kind == kCylinder ? 0 : 1)) inner += s.length;
        if (s.length > 1e-9) {
          const VECTOR mid = s.from + (0.5 * s.length) * dir;
          const Call r = Locate(*w, mid, Unit(Init(gauss(rng), gauss(rng), gauss(rng))));
          EXPECT_EQ(w->CellOf(r.state), s.cell);
          EXPECT_EQ(r.distance, 0.0);
        }
      }
      double t0, t1, totalExpected = 0.0, innerExpected = 0.0;
      switch (kind) {
        case kSpheresHash:
        case kSpheresShell:
          if (SphereChord(Init(0, 0, 0), 2.0, start, dir, &t0, &t1)) totalExpected = t1 - t0;
          if (SphereChord(Init(0, 0, 0), 1.0, start, dir, &t0, &t1)) innerExpected = t1 - t0;
          break;
        case kCylinder:
          if (BoxChord(-2, 2, start, dir, &t0, &t1)) totalExpected = t1 - t0;
          if (CylinderChord(1.0, 2.0, start, dir, &t0, &t1)) innerExpected = t1 - t0;
          break;
        default:
          if (BoxChord(-2, 2, start, dir, &t0, &t1)) totalExpected = t1 - t0;
          if (BoxChord(-2, 2, start, dir, &t0, &t1)) {
            // The right half: the part of the chord with x > 0.
            const double tx = dir.x != 0.0 ? -start.x / dir.x : (start.x > 0 ? INFINITY : -INFINITY);
            if (dir.x > 0) innerExpected = t1 - std::clamp(tx, t0, t1);
            else innerExpected = std::clamp(tx, t0, t1) - t0;
          }
          break;
      }
      EXPECT_NEAR(total, totalExpected, kLengthTolerance);
      EXPECT_NEAR(inner, innerExpected, kLengthTolerance);
    }
  }
}

// ---------------------------------------------------------------- oracle

// The cell of p by brute force over every cell's full surface list (the
// deepest of the cells whose senses p satisfies), -1 for none; -2 when p lies
// within 1e-9 of a surface (a boundary point, left out).
int OracleCell(const World& w, VECTOR p) {
  int best = -1;
  for (size_t c = 0; c < w.cells.size(); ++c) {
    bool inside = true;
    for (size_t k = 0; k < w.cellSurfaces[c].size() && inside; ++k) {
      const double f = DistanceToSurface(&p, &w.surf[w.cellSurfaces[c][k]]);
      if (std::fabs(f) < 1e-9) return -2;
      inside = w.cellSenses[c][k] * f > 0.0;
    }
    if (inside && (best < 0 || w.cells[c].depth > w.cells[best].depth)) best = static_cast<int>(c);
  }
  return best;
}

// 10^5 random points in and around each geometry are located as the brute
// force finds them: nested spheres and '#' cells, containing-cell voxels, a
// split box, a cylinder, a void region, a union with a tilted inner cylinder.
TEST(RayTracking, LocatingMatchesABruteForceOracle) {
  const GeometryKind kinds[] = {kSpheresHash, kSpheresShell, kBoxContainer, kBoxAllCells,
                                kCylinder,    kVoidSphere,   kUnionTilted};
  for (GeometryKind kind : kinds) {
    auto w = MakeWorld(kind);
    const uint64_t seed = 0x10ca7e + static_cast<uint64_t>(kind);
    SCOPED_TRACE(testing::Message() << "geometry " << kind << " seed " << seed);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> box(-2.6, 2.6);
    std::normal_distribution<double> gauss;
    int mismatches = 0, located = 0;
    for (int i = 0; i < 100000; ++i) {
      const VECTOR p = Init(box(rng), box(rng), box(rng));
      const int expected = OracleCell(*w, p);
      if (expected == -2) continue;
      const Call r = Locate(*w, p, Unit(Init(gauss(rng), gauss(rng), gauss(rng))));
      // A point outside every cell is reported as outside, wherever its ray goes.
      const int found = r.distance == 0.0 ? w->CellOf(r.state) : -1;
      if (found != expected && ++mismatches <= 5)
        ADD_FAILURE() << "point " << i << " expected " << expected << " found " << found;
      if (found >= 0) ++located;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(located, 1000);
  }
}

}  // namespace
