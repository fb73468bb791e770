// Ray tracking through cells and voxels: locating the cell that holds a point,
// finding where a ray from outside every cell enters one, and following a ray
// inside a known cell to the point where it leaves that cell (or enters one of
// its inner cells), walking the voxel grid box by box and testing only the
// surfaces and cells that each voxel lists.
//
// EntryExitPoint is a free function over a read-only view of the geometry
// tables, the worker's tracker work arrays and its tracker state, so the CPU
// workers and the device kernels share it. CTask::EntryExitPoint becomes a thin
// wrapper: it builds the view from the problem's tables, passes its voxelIndex,
// cellIndex and precisionWarned, and prints the loss-of-precision warning when
// the result carries kTrackPrecisionWarning.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/cell.h"
#include "core/hostdevice.h"
#include "core/surface.h"
#include "core/tracker_work.h"
#include "core/vector.h"
#include "core/voxel.h"
#include "geometry/surface_functions.h"
#include "geometry/voxel_lookup.h"

// A crossing found on a face within this factor of the face distance is taken
// at the face: relative rounding of (plane - q) / u and of a root at the same
// point differ by a few ulps (1e-15 is about five ulps of a double).
constexpr double kFaceDistanceRelativeSlack = 1.000000000000001;

// Read-only view of the geometry tables the tracker reads (host or device
// addresses).
struct GeometryTables {
  const SURFACE* surf;        // [nSurfaces] bounding surfaces
  const CELL* cells;          // [nCells]
  VoxelGrid grid;             // plane sets, plane coordinates, voxels, voxel2index
  double distancePrecision;   // every length tolerance, cm
  double anglePrecision;      // every tolerance on direction components
};

// The tracker's part of the worker record.
struct TrackerState {
  int32_t voxelIndex;       // current voxel, -1 unset
  int16_t cellIndex;        // position of the current cell in the voxel's cell list, -1 unset
  uint8_t precisionWarned;  // the loss-of-precision warning has been reported
};

// Result flags of EntryExitPoint.
enum TrackStatus : int {
  kTrackOk = 0,
  kTrackPrecisionWarning = 1,  // first loss of precision on this record: the caller prints the warning
  kTrackWorkTooSmall = 2,      // a work array is smaller than the voxel needs (a set-up fault); no cell found
};

// True when the ray from r along u heads into the side `sense` (+1 positive,
// -1 negative) of surface s on which r lies: with the outward normal n,
// sense (n . u) >= 0; at a cone's apex the positive side is taken when the ray
// does not run into the nappe's opening (u . axis <= cos), the negative when it does.
TQ_CPU_GPU inline bool HeadsIntoSide(const SURFACE* s, VECTOR r, const VECTOR* u, int sense, double distancePrecision) {
  if (s->type == kSurfaceCone && Norm(r - s->point) <= distancePrecision) {
    const double along = Dot(*u, s->axis);
    return sense < 0 ? along >= s->cosHalfAngle : along <= s->cosHalfAngle;
  }
  VECTOR n;
  SurfaceNormal(&n, s, r, distancePrecision);
  return sense * Dot(n, *u) >= 0.0;
}

// Side bit (1 positive, 0 negative) of r with respect to s, given f = f(r).
TQ_CPU_GPU inline int SideOf(const SURFACE* s, VECTOR r, const VECTOR* u, double f, double distancePrecision) {
  if (f > distancePrecision) return 1;
  if (f < -distancePrecision) return 0;
  return HeadsIntoSide(s, r, u, +1, distancePrecision) ? 1 : 0;
}

// True when r lies on the inner side (within distancePrecision) of every
// bounding surface of cell c but `skip`.
TQ_CPU_GPU inline bool OnCellSideOfOthers(const GeometryTables& g, const CELL& c, int skip, const VECTOR* r) {
  for (int k = 0; k < c.nSurf; ++k) {
    if (c.surfaces[k] == skip) continue;
    if (c.senses[k] * DistanceToSurface(r, &g.surf[c.surfaces[k]]) < -g.distancePrecision) return false;
  }
  return true;
}

// Slot of the voxel cell (largest depth, the first on ties) whose side bits
// over the voxel surfaces match the current ones, or -1.
TQ_CPU_GPU inline int MatchCellBySides(const GeometryTables& g, const VOXEL& v, const uint16_t* sideBits) {
  int best = -1;
  for (int slot = 0; slot < v.nCells; ++slot) {
    if (v.nCellSurf[slot] == 0) continue;  // a cell without surfaces here contains the voxel (containerCell)
    bool inside = true;
    for (int w = 0; w < v.nMaskWords && inside; ++w)
      inside = (v.surfMask[slot][w] & sideBits[w]) == v.posMask[slot][w];
    if (inside && (best < 0 || g.cells[v.cells[slot]].depth > g.cells[v.cells[best]].depth)) best = slot;
  }
  return best;
}

// ---- The walk of one ray through the voxel grid.

// State of one EntryExitPoint call: the ray, how far it has come, the slabs
// of the current box and the results written so far.
struct RayWalk {
  VECTOR start;       // the start point, cm
  const VECTOR* u;    // unit direction
  VECTOR q;           // the current point, cm
  double D;           // distance from the start, cm
  int lastSurface;    // SURFACE index the current point lies on, -1 or -2 for none
  int status;         // TrackStatus flags
  double dir[3];      // direction components
  bool moves[3];      // the ray can meet the planes of this axis
  double inverse[3];  // 1 / dir where it moves
  int slab[3];        // slab of the current box per axis
  int cellId;         // CELL index of the current cell, -1 outside every cell
};

// The box faces ahead of the current point: per axis whether there is one and
// its distance; the faces taken together (within distancePrecision of the
// nearest) and that nearest distance T.
struct FacesAhead {
  bool exists[3];
  double t[3];
  bool taken[3];
  bool any;
  double T;
};

// Axis tables of the voxel grid, indexed 0..2 for x, y, z.
struct GridAxes {
  const double* planes[3];
  int nPlanes[3];
  const PLANESET* sets[3];
  int nSets[3];
};

TQ_CPU_GPU inline GridAxes AxesOf(const VoxelGrid& grid) {
  return GridAxes{{grid.xCoord, grid.yCoord, grid.zCoord},
                  {grid.nXplanesTot, grid.nYplanesTot, grid.nZplanesTot},
                  {grid.xSet, grid.ySet, grid.zSet},
                  {grid.nXsets, grid.nYsets, grid.nZsets}};
}

// Per axis the slab of the start point, whether the ray can meet its faces
// and 1 / u; a set voxel wins over the lookup (the slabs are kept inside its
// box), and a set cell slot names the current cell.
TQ_CPU_GPU inline void StartRayWalk(const GeometryTables& g, const GridAxes& axes, const TrackerState& state,
                                    RayWalk* w) {
  const double coordinate[3] = {w->q.x, w->q.y, w->q.z};
  for (int a = 0; a < 3; ++a) {
    w->moves[a] = axes.nSets[a] > 1 && fabs(w->dir[a]) > g.anglePrecision;
    w->inverse[a] = w->moves[a] ? 1.0 / w->dir[a] : 0.0;
    // A point on a plane is placed in the slab the ray heads into, so a start
    // point on a voxel face starts in the voxel beyond it.
    w->slab[a] = axes.nSets[a] > 1 ? FindPlaneSlab(axes.sets[a], axes.nSets[a], coordinate[a],
                                                   !w->moves[a] || w->dir[a] > 0.0, g.distancePrecision)
                                   : 0;
  }
  w->cellId = -1;
  if (state.voxelIndex < 0) return;
  const VOXEL& v = g.grid.voxels[state.voxelIndex];
  const int first[3] = {v.firstX, v.firstY, v.firstZ};
  const int extra[3] = {v.extraX, v.extraY, v.extraZ};
  for (int a = 0; a < 3; ++a) {
    if (w->slab[a] < first[a]) w->slab[a] = first[a];
    if (w->slab[a] > first[a] + extra[a]) w->slab[a] = first[a] + extra[a];
  }
  if (state.cellIndex >= 0) w->cellId = v.cells[state.cellIndex];
}

// The faces of the box v ahead of the current point; faces within
// distancePrecision of one another are crossed together.
TQ_CPU_GPU inline FacesAhead FacesOfBoxAhead(const GridAxes& axes, const VOXEL& v, const RayWalk& w, double dp) {
  FacesAhead f{};
  const int first[3] = {v.firstX, v.firstY, v.firstZ};
  const int extra[3] = {v.extraX, v.extraY, v.extraZ};
  const double coordinate[3] = {w.q.x, w.q.y, w.q.z};
  for (int a = 0; a < 3; ++a) {
    if (!w.moves[a]) continue;
    int plane;
    if (w.dir[a] < 0.0) {
      f.exists[a] = first[a] > 0;
      plane = first[a] - 1;
    } else {
      f.exists[a] = first[a] + extra[a] < axes.nPlanes[a];
      plane = first[a] + extra[a];
    }
    if (!f.exists[a]) continue;
    f.t[a] = (axes.planes[a][plane] - coordinate[a]) * w.inverse[a];
    if (f.t[a] < 0.0) f.t[a] = 0.0;
  }
  f.taken[0] = f.exists[0] && !(f.exists[1] && f.t[0] - f.t[1] > dp) && !(f.exists[2] && f.t[0] - f.t[2] > dp);
  f.taken[1] = f.exists[1] && !(f.exists[2] && f.t[1] - f.t[2] > dp) && !(f.taken[0] && f.t[1] - f.t[0] > dp);
  f.taken[2] = f.exists[2] && !(f.taken[0] && f.t[2] - f.t[0] > dp) && !(f.taken[1] && f.t[2] - f.t[1] > dp);
  f.any = f.exists[0] || f.exists[1] || f.exists[2];
  f.T = 0.0;
  for (int a = 0; a < 3; ++a)
    if (f.taken[a]) f.T = f.t[a];
  return f;
}

// Ends the walk at the current point.
TQ_CPU_GPU inline int WalkEndsHere(const RayWalk& w, VECTOR* out, double* distance) {
  *out = w.q;
  *distance = w.D;
  return w.status;
}

// Outcome of one part of the walk: finished (the call returns the walk's
// status) or the walk goes on in this box.
enum WalkStep : int { kWalkGoesOn = 0, kWalkDone = 1 };

// Locating: the surface values at the current point, then the sides of the
// voxel's surfaces decide the cell (a container cell, a cell matching the side
// bits, or the containing cell of the voxel). kWalkGoesOn leaves the side bits
// of the current point in work.sideBits for the walk from outside.
TQ_CPU_GPU inline int LocateInVoxel(const GeometryTables& g, const TrackerWork& work, TrackerState* state,
                                    const VOXEL& v, RayWalk* w, VECTOR* out, double* distance, int16_t* surface) {
  const double dp = g.distancePrecision;
  int nearest = -1;  // position in the voxel's surface list of the smallest |f|
  double nearestValue = 0.0;
  for (int i = 0; i < v.nSurf; ++i) {
    const int s = v.surfaces[i];
    double f = DistanceToSurface(&w->q, &g.surf[s]);
    if (s == w->lastSurface) {
      // The carried surface: the point lies on it, whatever rounding says.
      if (fabs(f) > dp && !state->precisionWarned) {
        state->precisionWarned = 1;
        w->status |= kTrackPrecisionWarning;
      }
      f = 0.0;
    }
    work.surfaceValues[s] = f;
    if (nearest < 0 || fabs(f) < nearestValue) {
      nearest = i;
      nearestValue = fabs(f);
    }
  }
  if (v.containerCell >= 0) {
    state->cellIndex = 0;
    if (nearest >= 0 && nearestValue <= dp) *surface = static_cast<int16_t>(v.surfaces[nearest]);
    WalkEndsHere(*w, out, distance);
    return kWalkDone;
  }
  if (v.nMaskWords > work.nSideWords) {
    state->cellIndex = -1;
    *distance = w->D;
    w->status |= kTrackWorkTooSmall;
    return kWalkDone;
  }
  for (int k = 0; k < v.nMaskWords; ++k) work.sideBits[k] = 0;
  for (int i = 0; i < v.nSurf; ++i) {
    const int s = v.surfaces[i];
    if (SideOf(&g.surf[s], w->q, w->u, work.surfaceValues[s], dp)) work.sideBits[i / 16] |= uint16_t(1u << (i % 16));
  }
  const int found = MatchCellBySides(g, v, work.sideBits);
  if (found >= 0) {
    state->cellIndex = static_cast<int16_t>(found);
    int best = -1;
    double bestValue = 0.0;
    for (int k = 0; k < v.nCellSurf[found]; ++k) {
      const double value = fabs(work.surfaceValues[v.cellSurf[found][k]]);
      if (best < 0 || value < bestValue) {
        best = v.cellSurf[found][k];
        bestValue = value;
      }
    }
    if (best >= 0 && bestValue <= dp) *surface = static_cast<int16_t>(best);
    WalkEndsHere(*w, out, distance);
    return kWalkDone;
  }
  if (v.containerCell <= -2) {
    state->cellIndex = static_cast<int16_t>(-2 - v.containerCell);
    if (w->D <= dp) *surface = -1;
    WalkEndsHere(*w, out, distance);
    return kWalkDone;
  }
  return kWalkGoesOn;
}

// Following the ray from outside every cell: the crossings of the voxel's
// surfaces in increasing t flip the side bits until they match a cell.
TQ_CPU_GPU inline int FollowFromOutside(const GeometryTables& g, const TrackerWork& work, TrackerState* state,
                                        const VOXEL& v, const FacesAhead& faces, RayWalk* w, VECTOR* out,
                                        double* distance, int16_t* surface) {
  int nRecords = 0;
  for (int i = 0; i < v.nSurf; ++i) {
    const int s = v.surfaces[i];
    double t[2];
    VECTOR points[2];
    const int n = RaySurfaceIntersection(&w->q, w->u, &g.surf[s], t, points, s == w->lastSurface ? -1 : 1,
                                         g.distancePrecision, g.anglePrecision);
    const int side = (work.sideBits[i / 16] >> (i % 16)) & 1;
    for (int k = 0; k < n; ++k) {
      if (nRecords >= work.nCrossings) {
        state->cellIndex = -1;
        *distance = w->D;
        w->status |= kTrackWorkTooSmall;
        return kWalkDone;
      }
      // Insertion by t; the earlier record stays first on ties.
      int at = nRecords++;
      while (at > 0 && work.crossings[at - 1].t > t[k]) {
        work.crossings[at] = work.crossings[at - 1];
        --at;
      }
      // The first retained root leaves the current side, a second one returns to it.
      work.crossings[at] =
          CROSSING{t[k], points[k], static_cast<int16_t>(i), static_cast<uint8_t>(k == 0 ? 1 - side : side)};
    }
  }
  for (int r = 0; r < nRecords; ++r) {
    const CROSSING& c = work.crossings[r];
    if (faces.any && c.t >= faces.T) break;  // left for the next voxel
    const uint16_t bit = uint16_t(1u << (c.surface % 16));
    if (c.side)
      work.sideBits[c.surface / 16] |= bit;
    else
      work.sideBits[c.surface / 16] &= uint16_t(~bit);
    const int entered = MatchCellBySides(g, v, work.sideBits);
    if (entered >= 0) {
      state->cellIndex = static_cast<int16_t>(entered);
      *surface = static_cast<int16_t>(v.surfaces[c.surface]);
      *out = c.point;
      *distance = w->D + c.t;
      return kWalkDone;
    }
  }
  return kWalkGoesOn;
}

// The nearest crossing ahead of the current point.
struct NearestCrossing {
  double t;
  VECTOR point;
  int surface;  // SURFACE index, -1 for none
};

// Whether the ray leaves the current cell across surface sp (of the cell's
// slot, with its sense) or enters an inner cell: mode is the root mode of the
// crossing search (-1: the point lies on the surface). Returns true when the
// walk ends here (an inner cell entered at the current point).
TQ_CPU_GPU inline bool SurfaceAtStart(const GeometryTables& g, const CELL& cand, bool current, bool atStart,
                                      const SURFACE* sp, int s, int sense, const RayWalk& w, NearestCrossing* best,
                                      int* mode, bool* skip) {
  const double dp = g.distancePrecision;
  double gv = sense * DistanceToSurface(&w.q, sp);  // > 0 inside the candidate
  *mode = 0;
  *skip = false;
  if (current) {
    if (!atStart) return false;
    if (gv < 0.0) gv = 0.0;  // slightly outside its own cell: on the boundary
    if (gv > dp) return false;
    if (!HeadsIntoSide(sp, w.q, w.u, sense, dp)) {
      // Leaving across the surface it sits on: the crossing is here, at t = 0.
      if (0.0 < best->t) *best = NearestCrossing{0.0, w.q, s};
      *skip = true;
      return false;
    }
    *mode = -1;
    return false;
  }
  if (fabs(gv) > dp) return false;
  if (HeadsIntoSide(sp, w.q, w.u, sense, dp) && OnCellSideOfOthers(g, cand, s, &w.q)) return true;
  *mode = -1;
  return false;
}

// Tracking inside the current cell: the nearest crossing of its surfaces and
// of the surfaces of its inner cells listed in the voxel; the walk ends when
// an inner cell is entered at the current point (*enteredHere).
TQ_CPU_GPU inline NearestCrossing NearestBoundaryInside(const GeometryTables& g, const TrackerState& state,
                                                        const VOXEL& v, const RayWalk& w, bool* enteredHere) {
  const CELL& own = g.cells[w.cellId];
  NearestCrossing best{INFINITY, w.q, -1};
  const bool atStart = w.D <= g.distancePrecision;
  *enteredHere = false;
  for (int slot = 0; slot < v.nCells; ++slot) {
    const bool current = slot == state.cellIndex;
    if (!current) {
      if (own.innerCellCount == 0) continue;
      const int e = g.cells[v.cells[slot]].enclosingCell;
      if (e < 0) continue;
      if (!(e == w.cellId || (own.unionIndex >= 0 && g.cells[e].unionIndex == own.unionIndex))) continue;
    }
    const CELL& cand = g.cells[v.cells[slot]];
    for (int k = 0; k < v.nCellSurf[slot]; ++k) {
      const int s = v.cellSurf[slot][k];
      const SURFACE* sp = &g.surf[s];
      int mode = 0;
      bool skip = false;
      if (SurfaceAtStart(g, cand, current, atStart, sp, s, v.cellSense[slot][k], w, &best, &mode, &skip)) {
        *enteredHere = true;
        return best;
      }
      if (skip) continue;
      double t[2];
      VECTOR points[2];
      const int n = RaySurfaceIntersection(&w.q, w.u, sp, t, points, mode, g.distancePrecision, g.anglePrecision);
      for (int r = 0; r < n; ++r) {
        if (!(t[r] < best.t)) continue;
        if (!current && !OnCellSideOfOthers(g, cand, s, &points[r])) continue;
        best = NearestCrossing{t[r], points[r], s};
      }
    }
  }
  return best;
}

// Moves the walk into the next box: the slabs of the faces taken are stepped
// over; the other moving axes are looked up again at the new point, never
// stepping back against the direction of travel.
TQ_CPU_GPU inline void StepToNextBox(const GridAxes& axes, const VOXEL& v, const FacesAhead& faces, RayWalk* w,
                                     double dp) {
  const int first[3] = {v.firstX, v.firstY, v.firstZ};
  const int extra[3] = {v.extraX, v.extraY, v.extraZ};
  const double coordinate[3] = {w->q.x, w->q.y, w->q.z};
  for (int a = 0; a < 3; ++a) {
    if (faces.taken[a]) {
      w->slab[a] = w->dir[a] < 0.0 ? first[a] - 1 : first[a] + extra[a] + 1;
    } else if (w->moves[a]) {
      w->slab[a] = FindPlaneSlab(axes.sets[a], axes.nSets[a], coordinate[a], w->dir[a] > 0.0, dp);
      if (w->dir[a] > 0.0 && w->slab[a] < first[a]) w->slab[a] = first[a];
      if (w->dir[a] < 0.0 && w->slab[a] > first[a] + extra[a]) w->slab[a] = first[a] + extra[a];
    }
  }
}

// Moves the ray through the complex geometry (see the file comment).
//   In:  state->voxelIndex, state->cellIndex (a set cell slot needs a set
//        voxel); *surface: the SURFACE index the start point lies on (the one
//        crossed last), -1 or -2 for none; maxDistance < 0: no limit (the
//        limit applies only inside a cell).
//   Out: *out, *distance, *surface, state->voxelIndex, state->cellIndex:
//   - located at the start point: slot, its voxel, 0, the surface the point
//     lies on (within distancePrecision) or -2 (-1 for the containing cell of a
//     voxel with containerCell <= -2), start point;
//   - ray from outside enters a cell: slot, voxel of the entry, distance to the
//     entry, the surface crossed (as above when the entry is at a voxel face), entry point;
//   - ray from outside meets no cell: -1, last voxel, distance to the last
//     voxel face passed, -2, start point;
//   - inside, a boundary of the cell or of an inner cell is crossed: -1, the
//     voxel of the crossing (the next one when it lies on a voxel face),
//     distance, surface crossed, crossing point;
//   - inside, the cell ends at a voxel face: -1, next voxel, distance, -2, the point on the face;
//   - inside, an inner cell is entered at the start point: -1, voxel unchanged, 0, -1, start point;
//   - inside, the maximum distance is reached first: slot, its voxel, the first
//     voxel-face distance >= maxDistance, -2, start point;
//   - inside, no boundary and no voxel face ahead: slot, last voxel, distance
//     to the last face passed, -2, start point.
// Returns TrackStatus flags.
TQ_CPU_GPU inline int EntryExitPoint(const GeometryTables& g, const TrackerWork& work, TrackerState* state,
                                     VECTOR* out, const VECTOR* start, const VECTOR* u, double* distance,
                                     int16_t* surface, double maxDistance) {
  const double dp = g.distancePrecision;
  const VoxelGrid& grid = g.grid;
  const GridAxes axes = AxesOf(grid);
  RayWalk w{};
  w.start = *start;
  w.u = u;
  w.q = *start;
  w.lastSurface = *surface;
  w.dir[0] = u->x;
  w.dir[1] = u->y;
  w.dir[2] = u->z;
  *surface = -2;
  *out = *start;
  *distance = 0.0;
  StartRayWalk(g, axes, *state, &w);

  for (;;) {
    // The voxel, and the current cell's slot in it.
    if (state->voxelIndex < 0) state->voxelIndex = grid.voxel2index[w.slab[0]][w.slab[1]][w.slab[2]];
    const VOXEL& v = grid.voxels[state->voxelIndex];
    if (w.cellId >= 0) {
      int slot = -1;
      for (int k = 0; k < v.nCells; ++k)
        if (v.cells[k] == w.cellId) slot = k;
      state->cellIndex = static_cast<int16_t>(slot);
      if (slot < 0) return WalkEndsHere(w, out, distance);  // the cell ends at the face just crossed
    }

    const FacesAhead faces = FacesOfBoxAhead(axes, v, w, dp);
    bool crossingAtFace = false;
    if (w.cellId < 0 && v.nCells > 0) {
      if (LocateInVoxel(g, work, state, v, &w, out, distance, surface) == kWalkDone) return w.status;
      if (FollowFromOutside(g, work, state, v, faces, &w, out, distance, surface) == kWalkDone) return w.status;
    } else if (w.cellId >= 0) {
      bool enteredHere = false;
      const NearestCrossing best = NearestBoundaryInside(g, *state, v, w, &enteredHere);
      if (enteredHere) {
        state->cellIndex = -1;
        *surface = -1;
        return WalkEndsHere(w, out, distance);
      }
      if (best.surface >= 0 && (maxDistance < 0.0 || w.D + best.t < maxDistance) &&
          (!faces.any || best.t <= faces.T + dp || best.t <= kFaceDistanceRelativeSlack * faces.T)) {
        state->cellIndex = -1;
        w.q = best.point;
        *surface = static_cast<int16_t>(best.surface);
        w.D += best.t;
        if (!faces.any || best.t < faces.T - dp) return WalkEndsHere(w, out, distance);
        crossingAtFace = true;
      }
    }

    // The next box.
    if (!faces.any) {
      *distance = w.D;
      return w.status;
    }
    if (!crossingAtFace) {
      w.D += faces.T;
      w.q = w.start + w.D * *u;
    }
    StepToNextBox(axes, v, faces, &w, dp);
    if (crossingAtFace) {
      state->voxelIndex = grid.voxel2index[w.slab[0]][w.slab[1]][w.slab[2]];
      return WalkEndsHere(w, out, distance);
    }
    if (w.cellId >= 0 && maxDistance >= 0.0 && w.D >= maxDistance) {
      *distance = w.D;
      return w.status;
    }
    state->voxelIndex = -1;
    w.lastSurface = -1;
  }
}
