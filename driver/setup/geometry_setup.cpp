#include "driver/setup/geometry_setup.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>

#include "core/randgen.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/precision_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/input/options.h"
#include "geometry/cell_volumes.h"
#include "geometry/geometry_tables.h"
#include "geometry/setup_progress.h"
#include "geometry/surface_functions.h"
#include "platform/threads.h"

namespace setup {
GEOMETRYSETUPRESULT geometrySetUpResult;
}  // namespace setup

namespace {

constexpr double kMaxInitialVoxels = 1e7;     // boxes of the plane grid
constexpr double kMaxBlocksOfPoints = 9e8;    // blocks of random points of all cell volumes
constexpr double kPlaneSetSeparation = 10.0;  // sets closer than this many precisions per plane are refused
constexpr double kVolumeTolerance = 0.01;     // relative difference of a given volume that draws a warning
constexpr double kVolumeSigmas = 10.0;        // standard deviations of that warning

GEOMETRYSETUPRESULT& R() { return setup::geometrySetUpResult; }
int32_t Cells() { return directives::geometry.nCells; }
const CELL& CellAt(int32_t c) { return directives::geometry.cell[static_cast<size_t>(c)]; }

// ---------------------------------------------------------------------------
// Point budget of the cell volumes

void PrintHint(bool given, const char* text) {
  if (!given) printf("\n       Use the \"%s", text);
}

Status CheckPointBudget() {
  GEOMETRYSETUPOPTIONS& o = directives::geometrySetup;
  const bool volumeSource = directives::source.sourcePositionType == kSourcePositionVolume;
  if (o.nRandCellVolume % o.randBlockSize != 0) {
    printf(
        "Error: The number of random points for determining the cell volume (%d) is not a multiple of the block size "
        "(%d).",
        static_cast<int>(o.nRandCellVolume), static_cast<int>(o.randBlockSize));
    PrintHint(o.randBlockSizeGiven, "RAND_BLOCK_SIZE\" keyword to set the block size.");
    PrintHint(o.nRandCellVolumeGiven,
              "N_RAND_CELL_VOLUME\" keyword to set the minimum number of random points for determining the cell "
              "volume.");
    PrintHint(o.nRandTotalVolumeGiven,
              "N_RAND_TOTAL_VOLUME\" keyword to set the minimum total number of random points for determining the "
              "cell volumes.");
    printf("\n");
    return kInputError;
  }
  if (volumeSource && o.nRandSourceVolume % o.nRandCellVolume != 0) {
    printf(
        "Error: The number of random points for determining the source cell volume (%d) is not a multiple of the "
        "number of random points for determining the volume of non-source cells (%d).",
        static_cast<int>(o.nRandSourceVolume), static_cast<int>(o.nRandCellVolume));
    PrintHint(o.nRandCellVolumeGiven,
              "N_RAND_CELL_VOLUME\" keyword to set the minimum number of random points for determining the volume of "
              "non-source cells.");
    PrintHint(o.nRandSourceVolumeGiven,
              "N_RAND_SOURCE_VOLUME\" keyword to set the minimum number of random points for determining the source "
              "cell volume.");
    PrintHint(o.nRandTotalVolumeGiven,
              "N_RAND_TOTAL_VOLUME\" keyword to set the minimum total number of random points for determining the "
              "cell volumes.");
    printf("\n");
    return kInputError;
  }

  // Objects: cells, a union counting once.
  int64_t objects = Cells();
  for (int32_t u = 0; u < directives::geometry.nUnions; ++u)
    objects += 1 - directives::geometry.unionData[static_cast<size_t>(u)].nCells;
  const auto totalPoints = [&] {
    int64_t t = static_cast<int64_t>(o.nRandCellVolume) * objects;
    if (volumeSource) t += static_cast<int64_t>(o.nRandSourceVolume) - o.nRandCellVolume;
    return t;
  };
  int64_t total = totalPoints();
  const double ratio = static_cast<double>(o.nRandTotalVolume) / static_cast<double>(total);
  if (ratio > 1.0) {
    const uint32_t oldBlock = o.randBlockSize;
    o.randBlockSize = static_cast<uint32_t>(oldBlock * ratio + 0.5);
    o.nRandCellVolume = o.nRandCellVolume / oldBlock * o.randBlockSize;
    o.nRandSourceVolume = o.nRandSourceVolume / oldBlock * o.randBlockSize;
    total = totalPoints();
  }
  if (static_cast<double>(total) / o.randBlockSize > kMaxBlocksOfPoints) {
    printf(
        "Error: The maximum possible total number of random points for determining the cell volumes (%lld) is "
        "greater than 9 * 10^8 * RAND_BLOCK_SIZE.\n",
        static_cast<long long>(total));
    return kInputError;
  }
  return kOk;
}

// ---------------------------------------------------------------------------
// Plane sets and coordinates

const char* const kAxisLetter[3] = {"X", "Y", "Z"};

PLANESET* SetsOf(int32_t a) { return a == 0 ? directives::xSet : a == 1 ? directives::ySet : directives::zSet; }
int32_t& SetCountOf(int32_t a) {
  return a == 0 ? directives::nXsets : a == 1 ? directives::nYsets : directives::nZsets;
}

// Sorts the sets of an axis by start, checks their separation and lays the
// planes out: first plane indices, spacings, the last set a single plane.
Status CompletePlaneSets(int32_t a) {
  PLANESET* set = SetsOf(a);
  const int32_t n = SetCountOf(a);
  const double precision = directives::geometryPrecision.distancePrecision;
  for (int32_t i = 1; i < n; ++i) {
    int32_t smallest = i;
    for (int32_t j = i + 1; j < n; ++j) {
      if (set[j].start < set[smallest].start) smallest = j;
    }
    std::swap(set[i], set[smallest]);
  }
  for (int32_t i = 2; i < n; ++i) {
    const PLANESET& prev = set[i - 1];
    const PLANESET& next = set[i];
    if (next.start - prev.start > kPlaneSetSeparation * precision * prev.nPlanes) continue;
    if (next.start == prev.start) {
      printf("Error: The starting values of two sets of %s coordinate planes are equal to each other (%.15g).\n",
             kAxisLetter[a], prev.start);
    } else {
      printf(
          "Error: The starting values of two sets of %s coordinate planes are too close to each other (%.15g and "
          "%.15g).\n",
          kAxisLetter[a], prev.start, next.start);
    }
    return kInputError;
  }
  set[0].nPlanes = 0;
  set[0].firstPlane = 0;
  for (int32_t i = 1; i < n; ++i) {
    set[i].firstPlane = set[i - 1].firstPlane + set[i - 1].nPlanes;
    if (i + 1 < n) set[i].spacing = (set[i + 1].start - set[i].start) / set[i].nPlanes;
  }
  if (n > 1) set[n - 1].nPlanes = 1;
  AXISPLANES& ax = R().axis[a];
  ax.coord.clear();
  for (int32_t i = 1; i < n; ++i) {
    for (int32_t k = 0; k < set[i].nPlanes; ++k) ax.coord.push_back(set[i].start + k * set[i].spacing);
  }
  return kOk;
}

Status LayOutPlanes() {
  bool anySet = false;
  for (int32_t a = 0; a < 3; ++a) anySet = anySet || SetCountOf(a) > 1;
  if (directives::geometry.nSurfaces > 5 && !anySet) {
    printf(
        "Warning: There are no sets of coordinate planes defined. The processing time could be shortened "
        "significantly by defining the sets of planes, which reduces the number of intersections with bounding "
        "surfaces that have to be checked when tracking the particles. Use keywords \"COORD_X\", \"COORD_Y\" and "
        "\"COORD_Z\" for defining the sets of coordinate planes.\n");
  }
  for (int32_t a = 0; a < 3; ++a) {
    if (Status s = CompletePlaneSets(a)) return s;
  }
  double boxes = 1.0;
  for (int32_t a = 0; a < 3; ++a) boxes *= R().axis[a].nPlanes() + 1.0;
  if (boxes > kMaxInitialVoxels) {
    printf("Error: The initial number of voxels (%g) is greater than %d.\n", boxes,
           static_cast<int>(kMaxInitialVoxels));
    return kInputError;
  }
  return kOk;
}

// ---------------------------------------------------------------------------
// Cell sides, brackets and interior points

GeometryAnalysis Analysis() {
  GeometryAnalysis g = AnalysisTables();
  for (int32_t a = 0; a < 3; ++a) {
    g.planeCellSide[a] = R().axis[a].cellSide.empty() ? nullptr : R().axis[a].cellSide.data();
    g.nPlanes[a] = R().axis[a].nPlanes();
  }
  return g;
}

bool AllAxesHavePlanes() {
  for (int32_t a = 0; a < 3; ++a) {
    if (R().axis[a].nPlanes() <= 1) return false;
  }
  return true;
}

void TakeTestPoints() {
  R().testPoint.assign(static_cast<size_t>(Cells()), TESTPOINT{});
  for (int32_t c = 0; c < Cells(); ++c) {
    const CELL& cell = CellAt(c);
    const int8_t kind = cell.interiorPointKind == kPointInterior ? 1 : cell.interiorPointKind == kPointVertex ? -1 : 0;
    R().testPoint[static_cast<size_t>(c)] = TESTPOINT{cell.interiorPoint, kind};
  }
}

void ComputeBrackets() {
  for (int32_t a = 0; a < 3; ++a) {
    R().bracket[a].assign(static_cast<size_t>(Cells()), BRACKET{});
    for (int32_t c = 0; c < Cells(); ++c) R().bracket[a][static_cast<size_t>(c)] = CellBracket(R().axis[a], Cells(), c);
  }
}

// Whether p lies strictly inside every half-space of cell c.
bool StrictlyInside(int32_t c, VECTOR p) {
  const CELL& cell = CellAt(c);
  for (int k = 0; k < cell.nSurf; ++k) {
    if (!(cell.senses[k] * DistanceToSurface(&p, &directives::geometry.surf[cell.surfaces[k]]) >
          directives::geometryPrecision.distancePrecision))
      return false;
  }
  return true;
}

// Random points in the cell's bracket box until one lies inside the cell and
// outside its '#' cells.
bool SearchInteriorPoint(int32_t c, CRandGen& rng, VECTOR* found) {
  const GEOMETRYSETUPOPTIONS& o = directives::geometrySetup;
  const uint32_t points = c == directives::source.sourceCell ? o.nRandSourceVolume : o.nRandCellVolume;
  const CELLARRAYS& arrays = directives::geometry.cellArrays[static_cast<size_t>(c)];
  for (uint32_t i = 0; i < points; ++i) {
    VECTOR p;
    double* comp[3] = {&p.x, &p.y, &p.z};
    for (int32_t a = 0; a < 3; ++a) {
      const BRACKET& b = R().bracket[a][static_cast<size_t>(c)];
      const double lo = R().axis[a].coord[static_cast<size_t>(b.lower)];
      const double hi = R().axis[a].coord[static_cast<size_t>(b.upper)];
      *comp[a] = lo + rng.random() * (hi - lo);
    }
    if (!StrictlyInside(c, p)) continue;
    const bool inInner = std::any_of(arrays.innerCells.begin(), arrays.innerCells.end(),
                                     [&](int32_t inner) { return StrictlyInside(inner, p); });
    if (inInner) continue;
    *found = p;
    return true;
  }
  return false;
}

void WarnOpenSide(int32_t c, uint8_t reason) {
  if (reason == kNoTestPoint) {
    printf(
        "Warning: Position of cell %d relative to some coordinate planes could not be determined, because no point "
        "inside the cell has been found.\n",
        CellAt(c).number);
  } else if (reason == kTestPointOnPlane) {
    printf(
        "Warning: Position of cell %d relative to some coordinate planes could not be determined, because the test "
        "point belongs to the coordinate plane.\n",
        CellAt(c).number);
  }
}

void FindPlaneSides() {
  TakeTestPoints();
  const GeometryAnalysis g = AnalysisTables();
  const bool openAllowed = AllAxesHavePlanes();
  std::vector<uint8_t> reason(static_cast<size_t>(Cells()), kSideKnown);
  for (int32_t a = 0; a < 3; ++a) {
    BuildAxisPlanes(g, directives::geometry.nSurfaces, a, R().testPoint.data(),
                    directives::geometryPrecision.distancePrecision, openAllowed, &R().axis[a], reason.data());
  }
  ComputeBrackets();
  if (!openAllowed) {
    for (int32_t c = 0; c < Cells(); ++c) WarnOpenSide(c, reason[static_cast<size_t>(c)]);
    return;
  }

  // Interior points of the cells with open sides, then the sides settled.
  CRandGen rng;
  rng.RandomInitialise(input::runOptions.seed, 1);
  for (int32_t c = 0; c < Cells(); ++c) {
    if (reason[static_cast<size_t>(c)] == kSideKnown) continue;
    TESTPOINT& t = R().testPoint[static_cast<size_t>(c)];
    VECTOR p;
    if (SearchInteriorPoint(c, rng, &p)) {
      t = TESTPOINT{p, 1};
      directives::geometry.analysisStatus[static_cast<size_t>(c)] = 0;
    }
    uint8_t settled = kSideKnown;
    for (int32_t a = 0; a < 3; ++a)
      SettleOpenSides(c, Cells(), a, t, directives::geometryPrecision.distancePrecision, &R().axis[a], &settled);
    WarnOpenSide(c, settled);
  }
  ComputeBrackets();
}

// ---------------------------------------------------------------------------
// Enclosure

void ComputeDepths() {
  for (int32_t c = 0; c < Cells(); ++c) {
    int32_t depth = 0;
    for (int32_t e = CellAt(c).enclosingCell; e >= 0 && depth <= Cells(); e = CellAt(e).enclosingCell) ++depth;
    directives::geometry.cell[static_cast<size_t>(c)].depth = depth;
  }
}

// Each union member that lies inside a cell also counts as inside the
// enclosing cells of the other members.
void ShareUnionEnclosures() {
  for (int32_t u = 0; u < directives::geometry.nUnions; ++u) {
    const CELLUNION& un = directives::geometry.unionData[static_cast<size_t>(u)];
    for (int i = 0; i < un.nCells; ++i) {
      const int32_t m = un.cells[i];
      if (CellAt(m).enclosingCell < 0) continue;
      for (int j = 0; j < un.nCells; ++j) {
        const int32_t e = CellAt(un.cells[j]).enclosingCell;
        if (j == i || e < 0) continue;
        std::vector<int32_t>& inner = directives::geometry.cellArrays[static_cast<size_t>(e)].innerCells;
        if (std::find(inner.begin(), inner.end(), m) != inner.end()) continue;
        inner.push_back(m);
        BindCellArrays(e);
      }
    }
  }
}

Status CheckEnclosures(uint8_t* undecided) {
  const GeometryAnalysis g = Analysis();
  for (int32_t c = 0; c < Cells(); ++c) {
    const CELL& cell = CellAt(c);
    for (int32_t k = 0; k < cell.innerCellCount; ++k) {
      const int32_t inner = cell.innerCells[k];
      double precision = directives::geometryPrecision.distancePrecision;
      if (CellInsideCell(g, inner, c, undecided, &precision)) continue;
      printf("Geometry error: Cell %d is not completely inside cell %d.\n", CellAt(inner).number, cell.number);
      return kInputError;
    }
  }
  ComputeDepths();
  ShareUnionEnclosures();
  return kOk;
}

// ---------------------------------------------------------------------------
// Voxel data

Status BuildVoxelData() {
  const int32_t n[3] = {R().axis[0].nPlanes(), R().axis[1].nPlanes(), R().axis[2].nPlanes()};
  std::vector<BOXRECORD> boxes(static_cast<size_t>(n[0] + 1) * (n[1] + 1) * (n[2] + 1));
  VoxelDataProblem problem{};
  std::vector<VOXELTHREADDATA> work = DivideVoxelWork(n, directives::geometrySetup.nThreadsGeom,
                                                      directives::geometryPrecision.distancePrecision, &problem);
  const int32_t workers = static_cast<int32_t>(work.size());
  directives::geometry.surf.resize(static_cast<size_t>(directives::geometry.nSurfaces) +
                                   6 * static_cast<size_t>(workers));
  auto running = std::make_unique<std::atomic<uint8_t>[]>(static_cast<size_t>(workers));
  problem.analysis = Analysis();
  problem.surf = directives::geometry.surf.data();
  problem.analysis.surf = problem.surf;
  problem.nSurfaces = directives::geometry.nSurfaces;
  for (int32_t a = 0; a < 3; ++a) problem.axis[a] = &R().axis[a];
  problem.boxes = boxes.data();
  problem.geomThreadRunning = running.get();
  problem.console = stdout;
  R().nGeometryWorkers = workers;

  RestartSetupProgress(&geometry::setupProgress, SetupProgressClock(), false);
  for (int32_t i = 1; i < workers; ++i) {
    running[static_cast<size_t>(i)].store(1, std::memory_order_release);
    if (!StartThread(VoxelDataThread, &work[static_cast<size_t>(i)], i + 1)) return kInputError;
  }
  running[0].store(1, std::memory_order_release);
  VoxelDataThread(&work[0]);
  for (int32_t i = 1; i < workers; ++i) {
    while (running[static_cast<size_t>(i)].load(std::memory_order_acquire) != 0) YieldThread();
  }
  for (const VOXELTHREADDATA& w : work)
    directives::geometryPrecision.distancePrecision =
        std::max(directives::geometryPrecision.distancePrecision, w.precision);

  RestartSetupProgress(&geometry::setupProgress, SetupProgressClock(), false);
  MergeVoxels(n, &boxes, &R().voxels,
              [](int64_t done, int64_t total) { ShowSetupProgress(kPhaseMergeVoxels, done, total); });
  return kOk;
}

// ---------------------------------------------------------------------------
// Pair check: no two cells may share a region, unless one lies inside the
// other, both belong to one union, or the region is a cell listed inside one.

// Outcomes of the analysis of a pair.
enum PairVerdict { kPairApart, kPairIntersect, kPairOpen };

// The overlap box of two cells' brackets, per axis.
struct OVERLAPBOX {
  BRACKET axis[3];
  bool anyFound = false;
  bool empty = false;
};

OVERLAPBOX OverlapBox(int32_t i, int32_t j) {
  OVERLAPBOX box;
  for (int32_t a = 0; a < 3; ++a) {
    const BRACKET& bi = R().bracket[a][static_cast<size_t>(i)];
    const BRACKET& bj = R().bracket[a][static_cast<size_t>(j)];
    BRACKET& b = box.axis[a];
    b.lowerFound = bi.lowerFound || bj.lowerFound;
    b.upperFound = bi.upperFound || bj.upperFound;
    b.lower = std::max(bi.lowerFound ? bi.lower : -1, bj.lowerFound ? bj.lower : -1);
    b.upper =
        std::min(bi.upperFound ? bi.upper : R().axis[a].nPlanes(), bj.upperFound ? bj.upper : R().axis[a].nPlanes());
    box.anyFound = box.anyFound || b.lowerFound || b.upperFound;
    if (b.lowerFound && b.upperFound && b.lower >= b.upper) box.empty = true;
  }
  return box;
}

// Whether one cell lies inside the other (compared at equal depth up the
// chain of enclosures) or both belong to one union.
bool PairExempt(int32_t i, int32_t j) {
  const int32_t ui = CellAt(i).unionIndex;
  if (ui >= 0 && ui == CellAt(j).unionIndex) return true;
  int32_t deep = CellAt(i).depth > CellAt(j).depth ? i : j;
  const int32_t shallow = deep == i ? j : i;
  while (deep >= 0 && CellAt(deep).depth > CellAt(shallow).depth) deep = CellAt(deep).enclosingCell;
  return deep == shallow;
}

// One pass over a region list: redundant entries dropped, then the analysis.
PairVerdict AnalysePass(const GeometryAnalysis& g, int32_t pass, std::vector<uint16_t> list, std::vector<int8_t> senses,
                        double* precision) {
  uint8_t notParameterised = 0;
  std::vector<bool> redundant(list.size(), false);
  for (size_t a = 0; a < list.size(); ++a) {
    for (size_t b = a + 1; b < list.size(); ++b) {
      const int r = SurfacePairRelation(g, list.data(), static_cast<int>(a), static_cast<int>(b), senses.data(),
                                        *precision, &notParameterised);
      if (r == 0) return kPairApart;
      if (r == -1) redundant[a] = true;
      if (r == -2) redundant[b] = true;
    }
  }
  size_t kept = 0;
  for (size_t k = 0; k < list.size(); ++k) {
    if (redundant[k]) continue;
    list[kept] = list[k];
    senses[kept] = senses[k];
    ++kept;
  }
  if (kept <= 1) return pass == 0 ? kPairIntersect : kPairOpen;
  VECTOR point;
  uint8_t kind = 0;
  const int result = AnalyzeCell(g, static_cast<int>(kept), list.data(), senses.data(), &point, &kind, precision);
  if (result == kRegionEmpty || (result == kRegionUndecided && notParameterised == 0)) return kPairApart;
  if (result > 0 && pass == 0) return kPairIntersect;
  return kPairOpen;
}

// The box planes of the overlap box, as the six set-up surfaces behind the
// regular ones (entered with sense -1: the region above the lower and below
// the upper bracketing plane).
void AppendBoxPlanes(const OVERLAPBOX& box, std::vector<uint16_t>* list, std::vector<int8_t>* senses) {
  for (int32_t a = 0; a < 3; ++a) {
    const BRACKET& b = box.axis[a];
    for (int32_t side = 0; side < 2; ++side) {
      if (!(side == 0 ? b.lowerFound : b.upperFound)) continue;
      const int32_t index = directives::geometry.nSurfaces + 2 * a + side;
      SURFACE& s = directives::geometry.surf[static_cast<size_t>(index)];
      const VECTOR axis = a == 0 ? VECTOR{1, 0, 0} : a == 1 ? VECTOR{0, 1, 0} : VECTOR{0, 0, 1};
      const double c = R().axis[a].coord[static_cast<size_t>(side == 0 ? b.lower : b.upper)];
      s = SURFACE{};
      s.type = kSurfacePlane;
      s.macrobody = -1;
      s.axis = side == 0 ? -axis : axis;
      s.point = c * axis;
      s.offset = -Dot(s.axis, s.point);
      list->push_back(static_cast<uint16_t>(index));
      senses->push_back(-1);
    }
  }
}

void AppendCell(int32_t c, std::vector<uint16_t>* list, std::vector<int8_t>* senses) {
  const CELL& cell = CellAt(c);
  list->insert(list->end(), cell.surfaces, cell.surfaces + cell.nSurf);
  senses->insert(senses->end(), cell.senses, cell.senses + cell.nSurf);
}

// The grid test of a pair the passes left open: the voxels of the overlap
// box (the slab beyond the last plane included) must never hold either cell
// alone nor both together.
PairVerdict ScanOverlapBox(const OVERLAPBOX& box, int32_t i, int32_t j) {
  int32_t from[3], to[3];
  bool single = true;
  for (int32_t a = 0; a < 3; ++a) {
    from[a] = box.axis[a].lowerFound ? box.axis[a].lower + 1 : 0;
    to[a] = box.axis[a].upperFound ? box.axis[a].upper : R().axis[a].nPlanes();
    if (to[a] < from[a]) return kPairOpen;
    single = single && to[a] == from[a];
  }
  if (single) return kPairOpen;
  const int32_t n[3] = {R().axis[0].nPlanes(), R().axis[1].nPlanes(), R().axis[2].nPlanes()};
  for (int32_t x = from[0]; x <= to[0]; ++x) {
    for (int32_t y = from[1]; y <= to[1]; ++y) {
      for (int32_t z = from[2]; z <= to[2]; ++z) {
        const VOXEL& v =
            R().voxels.voxels[static_cast<size_t>(R().voxels.index[static_cast<size_t>(BoxIndex(n, x, y, z))])];
        if (v.containerCell == i || v.containerCell == j) return kPairOpen;
        const bool hasI = std::find(v.cells, v.cells + v.nCells, i) != v.cells + v.nCells;
        const bool hasJ = std::find(v.cells, v.cells + v.nCells, j) != v.cells + v.nCells;
        if (hasI && hasJ) return kPairOpen;
      }
    }
  }
  return kPairApart;
}

// Whether the common region of i and j is one of their '#' cells.
bool IntersectionIsAnInnerCell(const GeometryAnalysis& g, int32_t i, int32_t j, uint8_t* undecided) {
  double precision = directives::geometryPrecision.distancePrecision;
  for (int32_t k = 0; k < CellAt(i).innerCellCount; ++k) {
    if (CellsOverlap(g, j, CellAt(i).innerCells[k], undecided, &precision)) return true;
  }
  for (int32_t k = 0; k < CellAt(j).innerCellCount; ++k) {
    if (CellsOverlap(g, i, CellAt(j).innerCells[k], undecided, &precision)) return true;
  }
  return false;
}

Status CheckPairs(uint8_t* undecided) {
  const int32_t level = directives::geometrySetup.checkForIntersections;
  const GeometryAnalysis g = Analysis();
  const int64_t pairs = static_cast<int64_t>(Cells()) * (Cells() + 1) / 2;
  int64_t done = 0;
  RestartSetupProgress(&geometry::setupProgress, SetupProgressClock(), true);
  for (int32_t i = 0; i < Cells(); ++i) {
    for (int32_t j = i + 1; j < Cells(); ++j) {
      if (++done % 10 == 0) ShowSetupProgress(kPhaseOverlapCheck, done, pairs);
      if (PairExempt(i, j)) continue;
      const OVERLAPBOX box = OverlapBox(i, j);
      if (box.empty) continue;
      const int32_t passes = level == 1 || !box.anyFound ? 1 : 3;
      PairVerdict verdict = kPairOpen;
      double precision = directives::geometryPrecision.distancePrecision;
      for (int32_t pass = 0; pass < passes && verdict == kPairOpen; ++pass) {
        std::vector<uint16_t> list;
        std::vector<int8_t> senses;
        if (pass != 2) AppendCell(i, &list, &senses);
        if (pass != 1) AppendCell(j, &list, &senses);
        if (pass != 0) AppendBoxPlanes(box, &list, &senses);
        verdict = AnalysePass(g, pass, std::move(list), std::move(senses), &precision);
      }
      if (verdict == kPairOpen && level == 3 && box.anyFound) verdict = ScanOverlapBox(box, i, j);
      if (verdict == kPairOpen) *undecided = 1;
      if (verdict != kPairIntersect || IntersectionIsAnInnerCell(g, i, j, undecided)) continue;
      printf("Geometry error: Cells %d and %d intersect.\n", CellAt(i).number, CellAt(j).number);
      return kInputError;
    }
  }
  if (*undecided) {
    printf(
        "Warning: Some pairs of cells could not be checked for intersection, because some edges of the possible "
        "intersection region could not be parameterized.\n");
  }
  return kOk;
}

// ---------------------------------------------------------------------------
// Cell volumes

VoxelGrid Grid() {
  VOXELTABLE& v = R().voxels;
  return VoxelGrid{directives::xSet,         directives::ySet,      directives::zSet,         directives::nXsets,
                   directives::nYsets,       directives::nZsets,    R().axis[0].coord.data(), R().axis[1].coord.data(),
                   R().axis[2].coord.data(), R().axis[0].nPlanes(), R().axis[1].nPlanes(),    R().axis[2].nPlanes(),
                   v.voxels.data(),          v.planes.data()};
}

// Volume of a voxel's box, or -1 when a side is not bounded by a plane.
double VoxelVolume(const VOXEL& v) {
  const int32_t first[3] = {v.firstX, v.firstY, v.firstZ};
  const int32_t extra[3] = {v.extraX, v.extraY, v.extraZ};
  double volume = 1.0;
  for (int32_t a = 0; a < 3; ++a) {
    const AXISPLANES& ax = R().axis[a];
    const int32_t last = first[a] + extra[a];  // the upper plane of slab `last` has index last
    if (first[a] == 0 || last >= ax.nPlanes()) return -1.0;
    volume *= ax.coord[static_cast<size_t>(last)] - ax.coord[static_cast<size_t>(first[a] - 1)];
  }
  return volume;
}

// The cell that stands for c in the volumes: its union's first cell, or c.
int32_t VolumeOwner(int32_t c) {
  const int32_t u = CellAt(c).unionIndex;
  return u >= 0 ? directives::geometry.unionData[static_cast<size_t>(u)].cells[0] : c;
}

// The lower (upper false) or upper corner of a bounded voxel's box.
VECTOR VoxelCorner(const VOXEL& v, bool upper) {
  const int32_t first[3] = {v.firstX, v.firstY, v.firstZ};
  const int32_t extra[3] = {v.extraX, v.extraY, v.extraZ};
  double c[3];
  for (int32_t a = 0; a < 3; ++a)
    c[a] = R().axis[a].coord[static_cast<size_t>(upper ? first[a] + extra[a] : first[a] - 1)];
  return VECTOR{c[0], c[1], c[2]};
}

// Widens the box of cell c to hold lo .. hi.
void WidenBox(int32_t c, VECTOR lo, VECTOR hi) {
  GEOMETRYSETUPRESULT& r = R();
  const size_t i = static_cast<size_t>(c);
  if (!r.boxSet[i]) {
    r.boxMin[i] = lo;
    r.boxMax[i] = hi;
    r.boxSet[i] = 1;
    return;
  }
  r.boxMin[i] = VECTOR{std::min(r.boxMin[i].x, lo.x), std::min(r.boxMin[i].y, lo.y), std::min(r.boxMin[i].z, lo.z)};
  r.boxMax[i] = VECTOR{std::max(r.boxMax[i].x, hi.x), std::max(r.boxMax[i].y, hi.y), std::max(r.boxMax[i].z, hi.z)};
}

struct VOLUMEPREP {
  std::vector<std::vector<int32_t>> partial;    // [nCells] partial voxels of each owner
  std::vector<std::vector<double>> cumulative;  // [nCells] cumulative volumes of those
};

void WarnGivenVolume(int32_t owner, double given, double estimate, bool sigmas) {
  const int32_t u = CellAt(owner).unionIndex;
  const char* kind = u >= 0 ? "union of cells" : "cell";
  const int32_t id = u >= 0 ? directives::geometry.unionData[static_cast<size_t>(u)].identifier : CellAt(owner).number;
  printf(
      "Warning: the user-specified volume of %s No. %d differs from the estimated volume by more than %g %s (the "
      "volumes are %g and %g, respectively).\n",
      kind, id, sigmas ? kVolumeSigmas : 1.0, sigmas ? "standard deviations" : "%", given, estimate);
}

double GivenVolume(int32_t owner) { return directives::geometry.givenCellVolume[static_cast<size_t>(owner)]; }

Status PrepareVolumes(VOLUMEPREP* prep) {
  GEOMETRYSETUPRESULT& r = R();
  const size_t nc = static_cast<size_t>(Cells());
  r.completeVolume.assign(nc, 0.0);
  r.partialVolume.assign(nc, 0.0);
  r.volumeComputable.assign(nc, 1);
  r.boxSet.assign(nc, 0);
  r.boxMin.assign(nc, VECTOR{});
  r.boxMax.assign(nc, VECTOR{});
  r.cellVolume.assign(nc, -1.0);
  r.cellVolumeSigma.assign(nc, 0.0);
  prep->partial.assign(nc, {});
  prep->cumulative.assign(nc, {});
  const bool volumeSource = directives::source.sourcePositionType == kSourcePositionVolume;
  const int32_t sourceOwner = volumeSource ? VolumeOwner(directives::source.sourceCell) : -1;
  std::vector<int32_t> lastListed(nc, -1);
  RestartSetupProgress(&geometry::setupProgress, SetupProgressClock(), false);
  const int32_t nv = static_cast<int32_t>(r.voxels.voxels.size());
  for (int32_t i = 0; i < nv; ++i) {
    if (i % 10 == 0) ShowSetupProgress(kPhasePrepareVolumes, i, nv);
    const VOXEL& v = r.voxels.voxels[static_cast<size_t>(i)];
    const double volume = VoxelVolume(v);
    for (int j = 0; j < v.nCells; ++j) {
      const int32_t owner = VolumeOwner(v.cells[j]);
      if (volume < 0.0) {
        r.volumeComputable[static_cast<size_t>(owner)] = 0;
        if (owner == sourceOwner) {
          printf("Error: The source cell is not bracketed by X-, Y- and Z-coordinate planes.\n");
          return kInputError;
        }
        continue;
      }
      if (v.containerCell >= 0) {
        directives::geometry.analysisStatus[static_cast<size_t>(v.cells[j])] = 0;
        WidenBox(owner, VoxelCorner(v, false), VoxelCorner(v, true));
        r.completeVolume[static_cast<size_t>(owner)] += volume;
        if (owner == sourceOwner) r.sourceCompleteVoxels.push_back(i);
        continue;
      }
      if (lastListed[static_cast<size_t>(owner)] == i) continue;  // a union's members share the voxel
      lastListed[static_cast<size_t>(owner)] = i;
      std::vector<double>& cum = prep->cumulative[static_cast<size_t>(owner)];
      if (cum.empty()) cum.push_back(0.0);
      prep->partial[static_cast<size_t>(owner)].push_back(i);
      r.partialVolume[static_cast<size_t>(owner)] += volume;
      cum.push_back(r.partialVolume[static_cast<size_t>(owner)]);
      if (owner == sourceOwner) r.sourcePartialVoxels.push_back(i);
    }
  }

  // Exact volumes of cells without shared voxels.
  for (size_t c = 0; c < nc; ++c) {
    if (VolumeOwner(static_cast<int32_t>(c)) != static_cast<int32_t>(c)) continue;
    if (!r.volumeComputable[c] || !prep->partial[c].empty()) continue;
    const double exact = r.completeVolume[c];
    const double given = GivenVolume(static_cast<int32_t>(c));
    if (given < 0.0) {
      r.cellVolume[c] = exact;
    } else {
      r.cellVolume[c] = given;
      if (std::fabs(given / exact - 1.0) > kVolumeTolerance)
        WarnGivenVolume(static_cast<int32_t>(c), given, exact, false);
    }
  }

  // The source tables: complete voxels first, then the partial ones.
  if (volumeSource) {
    r.sourceCumulative.assign(1, 0.0);
    for (int32_t i : r.sourceCompleteVoxels)
      r.sourceCumulative.push_back(r.sourceCumulative.back() + VoxelVolume(r.voxels.voxels[static_cast<size_t>(i)]));
    for (int32_t i : r.sourcePartialVoxels)
      r.sourceCumulative.push_back(r.sourceCumulative.back() + VoxelVolume(r.voxels.voxels[static_cast<size_t>(i)]));
    const double half = 0.5 * r.sourceCumulative.back();
    r.sourceStartVoxel = 0;
    for (size_t k = 0; k < r.sourceCumulative.size(); ++k) {
      if (r.sourceCumulative[k] < half) r.sourceStartVoxel = static_cast<int32_t>(k);
    }
  }
  return kOk;
}

Status EstimateVolumes(VOLUMEPREP& prep) {
  GEOMETRYSETUPRESULT& r = R();
  const size_t nc = static_cast<size_t>(Cells());
  std::vector<int32_t> nCellVoxels(nc, 0);
  std::vector<const int32_t*> cellVoxels(nc, nullptr);
  std::vector<const double*> cumulative(nc, nullptr);
  std::vector<uint8_t> wanted(nc, 0);
  for (size_t c = 0; c < nc; ++c) {
    nCellVoxels[c] = static_cast<int32_t>(prep.partial[c].size());
    cellVoxels[c] = prep.partial[c].empty() ? nullptr : prep.partial[c].data();
    cumulative[c] = prep.cumulative[c].empty() ? nullptr : prep.cumulative[c].data();
    wanted[c] = r.volumeComputable[c] && !prep.partial[c].empty();
    if (!r.volumeComputable[c]) nCellVoxels[c] = 0;
  }
  const GEOMETRYSETUPOPTIONS& o = directives::geometrySetup;
  CellVolumeProblem p{};
  p.geometry =
      GeometryTables{directives::geometry.surf.data(), directives::geometry.cell.data(), Grid(),
                     directives::geometryPrecision.distancePrecision, directives::geometryPrecision.anglePrecision};
  p.unionData = directives::geometry.unionData.data();
  p.nCells = Cells();
  p.nCellVoxels = nCellVoxels.data();
  p.cellVoxels = cellVoxels.data();
  p.cellVoxelCumulative = cumulative.data();
  p.cellVoxelTotal = r.partialVolume.data();
  p.volumeWanted = wanted.data();
  p.RAND_BLOCK_SIZE = o.randBlockSize;
  p.N_RAND_CELL_VOLUME = o.nRandCellVolume;
  p.N_RAND_SOURCE_VOLUME = o.nRandSourceVolume;
  p.sourcePositionType = directives::source.sourcePositionType;
  p.sourceCell =
      directives::source.sourcePositionType == kSourcePositionVolume ? VolumeOwner(directives::source.sourceCell) : 0;
  p.SEED = input::runOptions.seed;

  const int64_t blocks = CellVolumeBlockCount(p);
  const int32_t workers = static_cast<int32_t>(std::max<int64_t>(1, std::min<int64_t>(o.nThreadsGeom, blocks)));
  auto running = std::make_unique<std::atomic<uint8_t>[]>(static_cast<size_t>(workers));
  p.geomThreadRunning = running.get();
  struct WORKERARRAYS {
    std::vector<uint8_t> boxStarted;
    std::vector<int32_t> notYetHit;
    std::vector<uint64_t> hits;
    std::vector<VECTOR> lo, hi;
  };
  std::vector<WORKERARRAYS> arrays(static_cast<size_t>(workers));
  std::vector<VOLUMETHREADDATA> work(static_cast<size_t>(workers));
  for (int32_t w = 0; w < workers; ++w) {
    WORKERARRAYS& a = arrays[static_cast<size_t>(w)];
    a.boxStarted.assign(nc, 0);
    a.notYetHit.assign(nc, 0);
    a.hits.assign(nc, 0);
    a.lo.assign(nc, VECTOR{});
    a.hi.assign(nc, VECTOR{});
    VOLUMETHREADDATA& d = work[static_cast<size_t>(w)];
    d = VOLUMETHREADDATA{};
    d.threadNumber = w;
    CellVolumeBlockRange(blocks, workers, w, &d.firstBlock, &d.lastBlock);
    d.problem = &p;
    d.boxStarted = a.boxStarted.data();
    d.notYetHit = a.notYetHit.data();
    d.hitCount = a.hits.data();
    d.hitMin = a.lo.data();
    d.hitMax = a.hi.data();
  }
  RestartSetupProgress(&geometry::setupProgress, SetupProgressClock(), false);
  for (int32_t i = 1; i < workers; ++i) {
    running[static_cast<size_t>(i)].store(1, std::memory_order_release);
    if (!StartThread(CellVolumeThread, &work[static_cast<size_t>(i)], i + 1)) return kInputError;
  }
  running[0].store(1, std::memory_order_release);
  CellVolumeThread(&work[0]);
  for (int32_t i = 1; i < workers; ++i) {
    while (running[static_cast<size_t>(i)].load(std::memory_order_acquire) != 0) YieldThread();
  }
  if (geometry::setupProgress.lastLineLength > 0) printf("%*s\r", geometry::setupProgress.lastLineLength, "");
  std::vector<uint64_t> hits(nc, 0);
  std::vector<VECTOR> lo(nc), hi(nc);
  CombineCellVolumes(p, work.data(), workers, blocks, nullptr, hits.data(), lo.data(), hi.data(), nullptr);
  for (size_t c = 0; c < nc; ++c) {
    if (hits[c] > 0) WidenBox(static_cast<int32_t>(c), lo[c], hi[c]);
  }

  // Estimates: complete volume + partial volume x fraction of points inside.
  for (size_t c = 0; c < nc; ++c) {
    if (!wanted[c] || VolumeOwner(static_cast<int32_t>(c)) != static_cast<int32_t>(c)) continue;
    const double n = static_cast<double>(static_cast<int32_t>(c) == p.sourceCell &&
                                                 directives::source.sourcePositionType == kSourcePositionVolume
                                             ? o.nRandSourceVolume
                                             : o.nRandCellVolume);
    const double fraction = static_cast<double>(hits[c]) / n;
    const double estimate = r.partialVolume[c] * fraction + r.completeVolume[c];
    const double sigma = r.partialVolume[c] * std::sqrt(fraction * (1.0 - fraction) / n);
    const double given = GivenVolume(static_cast<int32_t>(c));
    if (given < 0.0) {
      r.cellVolume[c] = estimate;
      r.cellVolumeSigma[c] = sigma;
      continue;
    }
    r.cellVolume[c] = given;
    if (estimate == 0.0) continue;
    if (kVolumeSigmas * sigma > kVolumeTolerance * estimate) {
      if (std::fabs(given - estimate) > kVolumeSigmas * sigma)
        WarnGivenVolume(static_cast<int32_t>(c), given, estimate, true);
    } else if (std::fabs(given / estimate - 1.0) > kVolumeTolerance) {
      WarnGivenVolume(static_cast<int32_t>(c), given, estimate, false);
    }
  }
  if (directives::source.sourcePositionType == kSourcePositionVolume) {
    const size_t s = static_cast<size_t>(p.sourceCell);
    printf("Estimated source point sampling efficiency = %g %%.\n",
           100.0 * r.cellVolume[s] / (r.partialVolume[s] + r.completeVolume[s]));
  }
  return kOk;
}

void WarnAnalysisCodes() {
  for (int32_t c = 0; c < Cells(); ++c) {
    const int32_t code = directives::geometry.analysisStatus[static_cast<size_t>(c)];
    const int32_t id = CellAt(c).number;
    if (code == -1) {
      printf(
          "Warning: The volume of cell %d might be zero (geometry of that cell could not be checked completely, "
          "because some of the edges could not be parameterized).\n",
          id);
    } else if (code == -2) {
      printf(
          "Warning: An interior point of cell %d has not been found (only a surface point has been found). It "
          "could be because of a user error in specification of the cell geometry, or because of a highly "
          "irregular shape of the cell.\n",
          id);
    } else if (code == -3) {
      printf(
          "Warning: The geometry check of cell %d could not be completed. An interior point of the cell has not "
          "been found. It could be because of a user error in specification of the cell geometry, or because of "
          "a highly irregular shape of the cell.\n",
          id);
    }
  }
}

}  // namespace

void ResetGeometrySetUp() {
  setup::geometrySetUpResult = GEOMETRYSETUPRESULT{};
  geometry::hostGeometryTables = GeometryTables{};
}

Status SetUpComplexGeometry() {
  ResetGeometrySetUp();
  if (Cells() == 0) {
    printf("Error: There are no cells defined.\n");
    return kInputError;
  }
  if (Status s = CheckPointBudget()) return s;
  if (Status s = LayOutPlanes()) return s;
  FindPlaneSides();
  uint8_t undecided = 0;  // a pair or an enclosure rests on an undecided analysis
  if (Status s = CheckEnclosures(&undecided)) return s;
  if (Status s = BuildVoxelData()) return s;
  if (directives::geometrySetup.checkForIntersections != 0) {
    if (Status s = CheckPairs(&undecided)) return s;
  }
  VOLUMEPREP prep;
  if (Status s = PrepareVolumes(&prep)) return s;
  if (Status s = EstimateVolumes(prep)) return s;
  WarnAnalysisCodes();
  // The tracker's view of the tables, read-only from here on.
  geometry::hostGeometryTables =
      GeometryTables{directives::geometry.surf.data(), directives::geometry.cell.data(), Grid(),
                     directives::geometryPrecision.distancePrecision, directives::geometryPrecision.anglePrecision};
  return kOk;
}
