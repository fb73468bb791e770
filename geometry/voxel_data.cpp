#include "geometry/voxel_data.h"

#include <algorithm>

#include "geometry/setup_progress.h"
#include "geometry/surface_functions.h"

namespace {

constexpr int8_t kNoCode = 127;          // surface not in the box's list
constexpr double kOpenSideStep = 1.0;    // cm beyond the one plane of a half-open axis (plus 100 precisions)
constexpr int32_t kVoxelGrowth = 10000;  // the voxel array grows by this many records

// One bounding plane of a box.
struct BOXPLANE {
  int32_t axis;   // 0 x, 1 y, 2 z
  int32_t plane;  // plane index on the axis
  int8_t sense;   // +1 the box lies above the plane, -1 below
};

// The planes of one box, as region entries over the worker's box-plane surfaces.
struct BOXPLANES {
  BOXPLANE plane[6];
  uint16_t surface[6];  // SURFACE index of the worker's record for the plane
  int8_t sense[6];
  const SURFACE* record[6];
  int32_t n = 0;
  VECTOR interior{};  // a point inside the box
};

VECTOR AxisVector(int32_t a) { return a == 0 ? VECTOR{1, 0, 0} : a == 1 ? VECTOR{0, 1, 0} : VECTOR{0, 0, 1}; }

double& Component(VECTOR& v, int32_t a) { return a == 0 ? v.x : a == 1 ? v.y : v.z; }

// The worker's six box-plane records: planes normal to the axes, through the origin.
void InitialiseBoxPlaneSurfaces(const VoxelDataProblem& p, int32_t t) {
  for (int32_t k = 0; k < 6; ++k) {
    SURFACE s{};
    s.type = kSurfacePlane;
    s.macrobody = -1;
    s.axis = AxisVector(k % 3);
    p.surf[p.nSurfaces + 6 * t + k] = s;
  }
}

// The planes of box (slab[0], slab[1], slab[2]) in the order upper x, lower x,
// upper y, ..., the worker's records moved onto them, and the box's interior point.
BOXPLANES SetBoxPlanes(const VoxelDataProblem& p, int32_t t, const int32_t slab[3], double precision) {
  BOXPLANES b;
  for (int32_t a = 0; a < 3; ++a) {
    const AXISPLANES& ax = *p.axis[a];
    int32_t code = -2;  // -2 no plane, +1 lower only, -1 upper only, 0 both
    double sum = 0.0;
    const int32_t candidates[2][2] = {{slab[a], -1}, {slab[a] - 1, +1}};
    for (const auto& [plane, sense] : candidates) {
      if (plane < 0 || plane >= ax.nPlanes()) continue;
      const int32_t index = p.nSurfaces + 6 * t + (sense < 0 ? a + 3 : a);
      SURFACE& s = p.surf[index];
      const double c = ax.coord[static_cast<size_t>(plane)];
      s.point = VECTOR{0, 0, 0};
      Component(s.point, a) = c;
      s.offset = -c;
      b.plane[b.n] = BOXPLANE{a, plane, static_cast<int8_t>(sense)};
      b.surface[b.n] = static_cast<uint16_t>(index);
      b.sense[b.n] = static_cast<int8_t>(sense);
      b.record[b.n] = &p.surf[index];
      ++b.n;
      code = code == -2 ? sense : code + sense;
      sum += c;
    }
    double& x = Component(b.interior, a);
    const double beyond = kOpenSideStep + 100.0 * precision;
    x = code == 0 ? 0.5 * sum : code == 1 ? sum + beyond : code == -1 ? sum - beyond : 0.0;
  }
  return b;
}

// Side of cell c with respect to the box planes: false when the plane-side
// tables put it wholly beyond one of them. An undecided side (-2) keeps it.
bool CellMayReachBox(const VoxelDataProblem& p, const BOXPLANES& b, int32_t c) {
  const int32_t nCells = p.analysis.nCells;
  for (int32_t j = 0; j < b.n; ++j) {
    const AXISPLANES& ax = *p.axis[b.plane[j].axis];
    const int8_t side = ax.cellSide[static_cast<size_t>(b.plane[j].plane) * nCells + c];
    if ((b.sense[j] < 0 && side == 1) || (b.sense[j] > 0 && side == -1)) return false;
  }
  return true;
}

// The sense of cell c on surface s (its first entry of s), 0 when c has none.
int8_t SenseOf(const CELL& c, uint16_t s) {
  for (int k = 0; k < c.nSurf; ++k) {
    if (c.surfaces[k] == s) return c.senses[k];
  }
  return 0;
}

// BoxSurfaceCode of surface s against the box.
int8_t ClassifySurface(const VoxelDataProblem& p, const BOXPLANES& b, uint16_t s, double precision) {
  const GeometryAnalysis& g = p.analysis;
  int8_t code = kBoxCrossed;
  bool meets = false;
  for (int32_t j = 0; j < b.n; ++j) {
    const int32_t r = p.axis[b.plane[j].axis]->relation[static_cast<size_t>(b.plane[j].plane) * p.nSurfaces + s];
    if (r > 0) meets = true;
    if (code != kBoxCrossed) continue;
    if ((r == -1 || r == -2) && b.sense[j] < 0) code = kBoxPositive;
    if ((r == -3 || r == -4) && b.sense[j] > 0) code = kBoxPositive;
    if (r == 0) {
      const VECTOR n = static_cast<double>(b.sense[j]) * AxisVector(b.plane[j].axis);
      code = Dot(n, g.surf[s].axis) >= 0.0 ? kBoxFacePositive : kBoxFaceNegative;
    }
  }
  if (!meets) {
    if (code == kBoxCrossed) code = kBoxUndecided;
  } else if (code == kBoxCrossed || code == kBoxPositive) {
    bool inBox = false;
    for (int32_t j = 0; j < b.n && !inBox; ++j) {
      const size_t at = static_cast<size_t>(b.plane[j].plane) * p.nSurfaces + s;
      const int32_t r = p.axis[b.plane[j].axis]->relation[at];
      if (r < 1) continue;
      // Surfaces that meet the plane without a parametrised curve may cross the box.
      if (r > kCurveCylinderCylinder) {
        inBox = true;
        continue;
      }
      VECTOR point;
      int position = 0;
      inBox = CurveInRegion(g, &p.axis[b.plane[j].axis]->curve[at], b.n, b.record, b.sense, &point, &position,
                            precision, j, -1) != kCurveOutsideRegion;
    }
    if (!inBox) code = kBoxPositive;
  }
  if (code == kBoxPositive) code = DistanceToSurface(&b.interior, &g.surf[s]) < 0.0 ? kBoxNegative : kBoxPositive;
  return code;
}

// Whether candidate c has room inside the box: the box planes and the cell's
// bounding surfaces, redundant entries dropped, analysed as one region.
bool CellHasRoomInBox(const VoxelDataProblem& p, const BOXPLANES& b, int32_t c, double* precision) {
  const GeometryAnalysis& g = p.analysis;
  const CELL& cell = g.cells[c];
  std::vector<uint16_t> list(b.surface, b.surface + b.n);
  std::vector<int8_t> senses(b.sense, b.sense + b.n);
  list.insert(list.end(), cell.surfaces, cell.surfaces + cell.nSurf);
  senses.insert(senses.end(), cell.senses, cell.senses + cell.nSurf);
  std::vector<bool> redundant(list.size(), false);
  uint8_t notParameterised = 0;
  for (int32_t i = 0; i < b.n; ++i) {
    for (int j = b.n; j < static_cast<int>(list.size()); ++j) {
      const int r = SurfacePairRelation(g, list.data(), i, j, senses.data(), *precision, &notParameterised);
      if (r == 0) return false;
      if (r == -1) redundant[static_cast<size_t>(i)] = true;
      if (r == -2) redundant[static_cast<size_t>(j)] = true;
    }
  }
  size_t kept = 0;
  for (size_t k = 0; k < list.size(); ++k) {
    if (redundant[k]) continue;
    list[kept] = list[k];
    senses[kept] = senses[k];
    ++kept;
  }
  if (kept <= 1) return true;
  VECTOR point;
  uint8_t kind = 0;
  const int result = AnalyzeCell(g, static_cast<int>(kept), list.data(), senses.data(), &point, &kind, precision);
  if (result == kRegionEmpty) return false;
  if (result == kRegionUndecided) return notParameterised != 0;
  return true;
}

// Whether candidate c lies below the container in the enclosure chain: deeper,
// and its ancestor at the container's depth is the container or a cell of the container's union.
bool InsideContainer(const GeometryAnalysis& g, int32_t c, int32_t container) {
  const CELL& k = g.cells[container];
  if (g.cells[c].depth <= k.depth) return false;
  int32_t a = c;
  while (a >= 0 && g.cells[a].depth > k.depth) a = g.cells[a].enclosingCell;
  if (a < 0) return false;
  return a == container || (g.cells[a].unionIndex >= 0 && g.cells[a].unionIndex == k.unionIndex);
}

// The box's record from its cells: per cell the surfaces of the voxel list it has.
void RecordCells(const GeometryAnalysis& g, const std::vector<uint16_t>& surfaces, BOXRECORD* out) {
  const size_t nc = out->cells.size();
  out->surfaces = surfaces;
  out->cellSurf.assign(nc, {});
  out->cellSense.assign(nc, {});
  for (uint16_t s : surfaces) {
    for (size_t i = 0; i < nc; ++i) {
      const int8_t sense = SenseOf(g.cells[out->cells[i]], s);
      if (sense == 0) continue;
      out->cellSurf[i].push_back(s);
      out->cellSense[i].push_back(sense);
    }
  }
}

}  // namespace

std::vector<VOXELTHREADDATA> DivideVoxelWork(const int32_t n[3], int32_t nThreads, double precision,
                                             const VoxelDataProblem* problem) {
  int32_t divided = 0;
  for (int32_t a = 1; a < 3; ++a) {
    if (n[a] > n[divided]) divided = a;
  }
  const bool oneBox = n[0] == 0 && n[1] == 0 && n[2] == 0;
  const int32_t workers = oneBox ? 1 : std::max(1, std::min(nThreads, n[divided] + 1));
  std::vector<VOXELTHREADDATA> w(static_cast<size_t>(workers));
  for (int32_t i = 0; i < workers; ++i) {
    VOXELTHREADDATA& d = w[static_cast<size_t>(i)];
    d = VOXELTHREADDATA{i, 0, 1, 0, 1, 0, 1, precision, problem};
    int32_t* first[3] = {&d.firstX, &d.firstY, &d.firstZ};
    int32_t* stride[3] = {&d.strideX, &d.strideY, &d.strideZ};
    *first[divided] = i;
    *stride[divided] = workers;
  }
  return w;
}

void ClassifyBox(const VoxelDataProblem& p, int32_t t, int32_t x, int32_t y, int32_t z, double* precision,
                 BOXRECORD* out) {
  const GeometryAnalysis& g = p.analysis;
  const int32_t slab[3] = {x, y, z};
  const BOXPLANES b = SetBoxPlanes(p, t, slab, *precision);
  *out = BOXRECORD{};

  // Candidates by the plane-side tables.
  std::vector<int32_t> candidates;
  for (int32_t c = 0; c < g.nCells; ++c) {
    if (CellMayReachBox(p, b, c)) candidates.push_back(c);
  }

  // The candidates' surfaces and their codes against the box.
  std::vector<int8_t> code(static_cast<size_t>(p.nSurfaces), kNoCode);
  std::vector<uint16_t> surfaces;
  for (int32_t c : candidates) {
    for (int k = 0; k < g.cells[c].nSurf; ++k) {
      const uint16_t s = g.cells[c].surfaces[k];
      if (code[s] != kNoCode) continue;
      code[s] = ClassifySurface(p, b, s, *precision);
      surfaces.push_back(s);
    }
  }

  // Cells on the wrong side of a surface that misses the box or bounds it.
  std::vector<int32_t> kept;
  for (int32_t c : candidates) {
    bool beyond = false;
    for (int k = 0; k < g.cells[c].nSurf && !beyond; ++k) {
      const int8_t s = code[g.cells[c].surfaces[k]];
      beyond = s != kBoxCrossed && s != kBoxUndecided && SenseOf(g.cells[c], g.cells[c].surfaces[k]) * s < 0;
    }
    if (!beyond) kept.push_back(c);
  }
  candidates.swap(kept);

  // Container: the deepest candidate that holds the whole box, with its face surfaces.
  int32_t container = -1;
  std::vector<uint16_t> faces;
  std::vector<uint8_t> undecided(candidates.size(), 0);
  for (size_t i = 0; i < candidates.size(); ++i) {
    const CELL& c = g.cells[candidates[i]];
    std::vector<uint16_t> own;
    bool holds = true;
    for (uint16_t s : surfaces) {
      const int8_t sense = SenseOf(c, s);
      if (sense == 0) continue;
      if (code[s] == kBoxCrossed || code[s] == kBoxUndecided) {
        undecided[i] = code[s] == kBoxUndecided;
        holds = false;
        break;
      }
      if (code[s] == kBoxFacePositive || code[s] == kBoxFaceNegative) own.push_back(s);
    }
    if (holds && (container < 0 || c.depth > g.cells[container].depth)) {
      container = candidates[i];
      faces.swap(own);
    }
  }

  // Cells beside the container: only those inside it reach into the box.
  std::vector<int32_t> others;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const int32_t c = candidates[i];
    if (c == container) continue;
    if (container >= 0 && (g.cells[container].innerCellCount == 0 || !InsideContainer(g, c, container))) continue;
    if (!undecided[i] && !CellHasRoomInBox(p, b, c, precision)) continue;
    others.push_back(c);
  }

  // The record.
  if (others.empty()) {
    if (container < 0) return;  // empty box
    out->containerCell = static_cast<int16_t>(container);
    out->cells = {static_cast<uint16_t>(container)};
    RecordCells(g, faces, out);
    return;
  }
  if (container >= 0) others.insert(std::upper_bound(others.begin(), others.end(), container), container);
  for (int32_t c : others) out->cells.push_back(static_cast<uint16_t>(c));
  if (container >= 0) {
    const auto at = std::find(others.begin(), others.end(), container) - others.begin();
    out->containerCell = static_cast<int16_t>(-2 - at);
  }
  std::vector<uint16_t> list;
  std::vector<uint8_t> listed(static_cast<size_t>(p.nSurfaces), 0);
  for (int32_t c : others) {
    for (int k = 0; k < g.cells[c].nSurf; ++k) {
      const uint16_t s = g.cells[c].surfaces[k];
      const int8_t sc = code[s];
      const bool crossing = sc == kBoxCrossed || sc == kBoxUndecided || sc == 2 * g.cells[c].senses[k];
      if (!crossing || listed[s]) continue;
      listed[s] = 1;
      list.push_back(s);
    }
  }
  if (list.empty()) {
    // No cell contributes a surface, yet several remain: keep them with all
    // their bounding surfaces, so that tracking can still tell them apart.
    fprintf(p.console,
            "Warning: The cells in the grid box (%d, %d, %d) of the coordinate planes could not be told apart; they "
            "keep all their bounding surfaces in it.\n",
            x, y, z);
    for (int32_t c : others) {
      for (int k = 0; k < g.cells[c].nSurf; ++k) {
        const uint16_t s = g.cells[c].surfaces[k];
        if (listed[s]) continue;
        listed[s] = 1;
        list.push_back(s);
      }
    }
  }
  RecordCells(g, list, out);
}

void VoxelDataThread(void* voxelThreadData) {
  VOXELTHREADDATA* d = static_cast<VOXELTHREADDATA*>(voxelThreadData);
  const VoxelDataProblem& p = *d->problem;
  InitialiseBoxPlaneSurfaces(p, d->threadNo);
  const int32_t n[3] = {p.axis[0]->nPlanes(), p.axis[1]->nPlanes(), p.axis[2]->nPlanes()};
  const int64_t total = static_cast<int64_t>((n[0] - d->firstX) / d->strideX + 1) *
                        ((n[1] - d->firstY) / d->strideY + 1) * ((n[2] - d->firstZ) / d->strideZ + 1);
  int64_t done = 0;
  for (int32_t x = d->firstX; x <= n[0]; x += d->strideX) {
    for (int32_t y = d->firstY; y <= n[1]; y += d->strideY) {
      for (int32_t z = d->firstZ; z <= n[2]; z += d->strideZ) {
        ClassifyBox(p, d->threadNo, x, y, z, &d->precision, &p.boxes[BoxIndex(n, x, y, z)]);
        ++done;
        if (d->threadNo == 0) ShowSetupProgress(kPhaseVoxelData, done, total);
      }
    }
  }
  p.geomThreadRunning[d->threadNo].store(0, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// Merging

struct VOXELTABLE::LISTS {
  std::vector<uint16_t> surfaces, nNeg, nPos, cells, nCellSurf;
  std::vector<std::vector<uint16_t>> neg, pos, cellSurf, surfMask, posMask;
  std::vector<std::vector<int8_t>> cellSense;
  std::vector<uint16_t*> negP, posP, cellSurfP, surfMaskP, posMaskP;
  std::vector<int8_t*> cellSenseP;
};

VOXELTABLE::VOXELTABLE() = default;
VOXELTABLE::~VOXELTABLE() = default;
VOXELTABLE::VOXELTABLE(VOXELTABLE&&) noexcept = default;
VOXELTABLE& VOXELTABLE::operator=(VOXELTABLE&&) noexcept = default;

namespace {

// The voxel of box record r over the slab block first .. first + extra; its
// lists go to a new LISTS of the table.
VOXEL MakeVoxel(BOXRECORD&& r, const int32_t first[3], const int32_t extra[3], VOXELTABLE* table) {
  auto l = std::make_unique<VOXELTABLE::LISTS>();
  const size_t ns = r.surfaces.size(), nc = r.cells.size();
  const bool lists = r.containerCell < 0 && nc > 0;
  const size_t words = lists ? (ns + 15) / 16 : 0;
  l->surfaces = std::move(r.surfaces);
  l->cells = std::move(r.cells);
  l->cellSurf = std::move(r.cellSurf);
  l->cellSense = std::move(r.cellSense);
  for (size_t i = 0; i < nc; ++i) l->nCellSurf.push_back(static_cast<uint16_t>(l->cellSurf[i].size()));
  if (lists) {
    l->neg.assign(ns, {});
    l->pos.assign(ns, {});
    l->surfMask.assign(nc, std::vector<uint16_t>(words, 0));
    l->posMask.assign(nc, std::vector<uint16_t>(words, 0));
    for (size_t k = 0; k < ns; ++k) {
      for (size_t i = 0; i < nc; ++i) {
        const auto& cs = l->cellSurf[i];
        const auto at = std::find(cs.begin(), cs.end(), l->surfaces[k]);
        if (at == cs.end()) continue;
        const int8_t sense = l->cellSense[i][static_cast<size_t>(at - cs.begin())];
        l->surfMask[i][k / 16] |= static_cast<uint16_t>(1u << (k % 16));
        if (sense > 0) l->posMask[i][k / 16] |= static_cast<uint16_t>(1u << (k % 16));
        (sense > 0 ? l->pos[k] : l->neg[k]).push_back(static_cast<uint16_t>(i));
      }
      l->nNeg.push_back(static_cast<uint16_t>(l->neg[k].size()));
      l->nPos.push_back(static_cast<uint16_t>(l->pos[k].size()));
    }
    for (size_t k = 0; k < ns; ++k) {
      l->negP.push_back(l->neg[k].empty() ? nullptr : l->neg[k].data());
      l->posP.push_back(l->pos[k].empty() ? nullptr : l->pos[k].data());
    }
    for (size_t i = 0; i < nc; ++i) {
      l->surfMaskP.push_back(l->surfMask[i].data());
      l->posMaskP.push_back(l->posMask[i].data());
    }
  }
  for (size_t i = 0; i < nc; ++i) {
    l->cellSurfP.push_back(l->cellSurf[i].empty() ? nullptr : l->cellSurf[i].data());
    l->cellSenseP.push_back(l->cellSense[i].empty() ? nullptr : l->cellSense[i].data());
  }
  VOXEL v{};
  v.containerCell = r.containerCell;
  v.nSurf = static_cast<uint16_t>(ns);
  v.surfaces = ns ? l->surfaces.data() : nullptr;
  v.nNegCells = lists ? l->nNeg.data() : nullptr;
  v.nPosCells = lists ? l->nPos.data() : nullptr;
  v.negCells = lists ? l->negP.data() : nullptr;
  v.posCells = lists ? l->posP.data() : nullptr;
  v.nCells = static_cast<uint16_t>(nc);
  v.cells = nc ? l->cells.data() : nullptr;
  v.nCellSurf = nc ? l->nCellSurf.data() : nullptr;
  v.cellSurf = nc ? l->cellSurfP.data() : nullptr;
  v.cellSense = nc ? l->cellSenseP.data() : nullptr;
  v.nMaskWords = static_cast<uint16_t>(words);
  v.surfMask = lists ? l->surfMaskP.data() : nullptr;
  v.posMask = lists ? l->posMaskP.data() : nullptr;
  v.firstX = static_cast<uint16_t>(first[0]);
  v.firstY = static_cast<uint16_t>(first[1]);
  v.firstZ = static_cast<uint16_t>(first[2]);
  v.extraX = static_cast<uint16_t>(extra[0]);
  v.extraY = static_cast<uint16_t>(extra[1]);
  v.extraZ = static_cast<uint16_t>(extra[2]);
  table->lists.push_back(std::move(l));
  return v;
}

// Whether box b may join a block that box a started: no voxel yet, the same
// container, and no surfaces when no single cell holds it.
bool JoinsBlock(const std::vector<BOXRECORD>& boxes, const std::vector<int32_t>& index, int64_t a, int64_t b) {
  if (index[static_cast<size_t>(b)] >= 0) return false;
  const BOXRECORD& ra = boxes[static_cast<size_t>(a)];
  const BOXRECORD& rb = boxes[static_cast<size_t>(b)];
  return rb.containerCell == ra.containerCell && (rb.containerCell >= 0 || rb.surfaces.empty());
}

// The largest block of joining boxes from (x0, y0, z0), grown x outer, y, z
// inner, each range never beyond the stop of an earlier one.
void FindBlock(const int32_t n[3], const std::vector<BOXRECORD>& boxes, const std::vector<int32_t>& index,
               const int32_t s[3], int32_t end[3]) {
  const int64_t start = BoxIndex(n, s[0], s[1], s[2]);
  int64_t best = 1;
  end[0] = s[0];
  end[1] = s[1];
  end[2] = s[2];
  int32_t ymax = n[1], zmax = n[2];
  for (int32_t x = s[0]; x <= n[0] && (x == s[0] || JoinsBlock(boxes, index, start, BoxIndex(n, x, s[1], s[2]))); ++x) {
    int32_t lastY = s[1];
    for (int32_t y = s[1];
         y <= ymax && ((x == s[0] && y == s[1]) || JoinsBlock(boxes, index, start, BoxIndex(n, x, y, s[2]))); ++y) {
      int32_t z = s[2];
      while (z + 1 <= zmax && JoinsBlock(boxes, index, start, BoxIndex(n, x, y, z + 1))) ++z;
      zmax = z;
      lastY = y;
      const int64_t count = static_cast<int64_t>(x - s[0] + 1) * (y - s[1] + 1) * (zmax - s[2] + 1);
      if (count > best) {
        best = count;
        end[0] = x;
        end[1] = y;
        end[2] = zmax;
      }
    }
    ymax = lastY;
  }
}

}  // namespace

void MergeVoxels(const int32_t n[3], std::vector<BOXRECORD>* boxes, VOXELTABLE* table,
                 void (*progress)(int64_t done, int64_t total)) {
  const int64_t nBoxes = static_cast<int64_t>(n[0] + 1) * (n[1] + 1) * (n[2] + 1);
  std::vector<BOXRECORD>& b = *boxes;
  table->voxels.clear();
  table->lists.clear();
  table->voxels.reserve(static_cast<size_t>(std::min<int64_t>(nBoxes, kVoxelGrowth)));
  table->index.assign(static_cast<size_t>(nBoxes), -1);
  table->nSmax_voxel = 0;
  int64_t visited = 0;
  for (int32_t x = 0; x <= n[0]; ++x) {
    for (int32_t y = 0; y <= n[1]; ++y) {
      for (int32_t z = 0; z <= n[2]; ++z, ++visited) {
        if (progress && visited % 10 == 0) progress(visited, nBoxes);
        const int64_t at = BoxIndex(n, x, y, z);
        if (table->index[static_cast<size_t>(at)] >= 0) continue;
        const int32_t voxel = static_cast<int32_t>(table->voxels.size());
        const int32_t first[3] = {x, y, z};
        int32_t end[3] = {x, y, z};
        BOXRECORD& r = b[static_cast<size_t>(at)];
        if (r.containerCell >= 0 || r.surfaces.empty()) FindBlock(n, b, table->index, first, end);

        // The block's boxes, and the faces of a single-cell block united.
        for (int32_t i = x; i <= end[0]; ++i) {
          for (int32_t j = y; j <= end[1]; ++j) {
            for (int32_t k = z; k <= end[2]; ++k) {
              const int64_t bi = BoxIndex(n, i, j, k);
              table->index[static_cast<size_t>(bi)] = voxel;
              if (bi == at) continue;
              BOXRECORD& other = b[static_cast<size_t>(bi)];
              for (size_t f = 0; f < other.surfaces.size() && r.containerCell >= 0; ++f) {
                if (std::find(r.surfaces.begin(), r.surfaces.end(), other.surfaces[f]) != r.surfaces.end()) continue;
                r.surfaces.push_back(other.surfaces[f]);
                r.cellSurf[0].push_back(other.surfaces[f]);
                r.cellSense[0].push_back(other.cellSense[0][f]);
              }
              other = BOXRECORD{};
            }
          }
        }
        const int32_t extra[3] = {end[0] - x, end[1] - y, end[2] - z};
        table->nSmax_voxel = std::max<int32_t>(table->nSmax_voxel, static_cast<int32_t>(r.surfaces.size()));
        if (table->voxels.size() == table->voxels.capacity())
          table->voxels.reserve(table->voxels.size() + kVoxelGrowth);
        table->voxels.push_back(MakeVoxel(std::move(r), first, extra, table));
        r = BOXRECORD{};
      }
    }
  }
  b.clear();
  b.shrink_to_fit();
  table->voxels.shrink_to_fit();

  // voxel2index as rows of pointers into the index.
  table->rows.clear();
  table->planes.clear();
  for (int32_t x = 0; x <= n[0]; ++x) {
    for (int32_t y = 0; y <= n[1]; ++y) table->rows.push_back(&table->index[static_cast<size_t>(BoxIndex(n, x, y, 0))]);
  }
  for (int32_t x = 0; x <= n[0]; ++x) table->planes.push_back(&table->rows[static_cast<size_t>(x) * (n[1] + 1)]);
}
