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

// One crossing of a surface along the ray.
struct CROSSING {
  double t;        // distance along the ray from the current point, cm
  VECTOR point;    // the crossing point, cm
  int16_t surface; // position in the voxel's surface list
  uint8_t side;    // side of the surface after the crossing: 0 negative, 1 positive
};

// The worker's tracker work arrays, sized once at set-up.
struct TrackerWork {
  uint16_t* sideBits;       // [nSideWords] one bit per surface of a voxel
  int32_t nSideWords;       // capacity of sideBits
  double* surfaceValues;    // [nSurfaces] last surface-function value per SURFACE index, cm
  CROSSING* crossings;      // [nCrossings] crossing records of the locating walk
  int32_t nCrossings;       // capacity of crossings (nSmax_voxel)
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
    const double along = *u * s->axis;
    return sense < 0 ? along >= s->cosHalfAngle : along <= s->cosHalfAngle;
  }
  VECTOR n;
  SurfaceNormal(&n, s, r, distancePrecision);
  return sense * (n * *u) >= 0.0;
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
  int status = kTrackOk;
  VECTOR q = *start;
  double D = 0.0;
  int lastSurface = *surface;
  *surface = -2;
  *out = *start;
  *distance = 0.0;

  // ---- Initialisation: per axis the slab, whether the ray can meet its faces, 1 / u.
  const double dir[3] = {u->x, u->y, u->z};
  const double* planes[3] = {grid.xCoord, grid.yCoord, grid.zCoord};
  const int nPlanes[3] = {grid.nXplanesTot, grid.nYplanesTot, grid.nZplanesTot};
  const PLANESET* sets[3] = {grid.xSet, grid.ySet, grid.zSet};
  const int nSets[3] = {grid.nXsets, grid.nYsets, grid.nZsets};
  bool moves[3];
  double inverse[3] = {0.0, 0.0, 0.0};
  int slab[3];
  {
    const double coordinate[3] = {q.x, q.y, q.z};
    for (int a = 0; a < 3; ++a) {
      moves[a] = nSets[a] > 1 && fabs(dir[a]) > g.anglePrecision;
      if (moves[a]) inverse[a] = 1.0 / dir[a];
      // A point on a plane is placed in the slab the ray heads into, so a start
      // point on a voxel face starts in the voxel beyond it.
      slab[a] = nSets[a] > 1 ? FindPlaneSlab(sets[a], nSets[a], coordinate[a], !moves[a] || dir[a] > 0.0, dp) : 0;
    }
  }
  if (state->voxelIndex >= 0) {
    // A set voxel wins over the lookup: keep the slabs inside its box.
    const VOXEL& v = grid.voxels[state->voxelIndex];
    const int first[3] = {v.firstX, v.firstY, v.firstZ};
    const int extra[3] = {v.extraX, v.extraY, v.extraZ};
    for (int a = 0; a < 3; ++a) {
      if (slab[a] < first[a]) slab[a] = first[a];
      if (slab[a] > first[a] + extra[a]) slab[a] = first[a] + extra[a];
    }
  }
  int cellId = -1;  // CELL index of the current cell
  if (state->cellIndex >= 0) cellId = grid.voxels[state->voxelIndex].cells[state->cellIndex];

  for (;;) {
    // ---- 1. Voxel, and the current cell's slot in it.
    if (state->voxelIndex < 0) state->voxelIndex = grid.voxel2index[slab[0]][slab[1]][slab[2]];
    const VOXEL& v = grid.voxels[state->voxelIndex];
    if (cellId >= 0) {
      int slot = -1;
      for (int k = 0; k < v.nCells; ++k)
        if (v.cells[k] == cellId) slot = k;
      state->cellIndex = static_cast<int16_t>(slot);
      if (slot < 0) {  // the cell ends at the face just crossed
        *out = q;
        *distance = D;
        return status;
      }
    }

    // ---- 4. Faces of the box ahead; faces within dp of one another are crossed together.
    const int first[3] = {v.firstX, v.firstY, v.firstZ};
    const int extra[3] = {v.extraX, v.extraY, v.extraZ};
    bool faceExists[3] = {false, false, false};
    double tFace[3] = {0.0, 0.0, 0.0};
    {
      const double coordinate[3] = {q.x, q.y, q.z};
      for (int a = 0; a < 3; ++a) {
        if (!moves[a]) continue;
        int plane;
        if (dir[a] < 0.0) {
          faceExists[a] = first[a] > 0;
          plane = first[a] - 1;
        } else {
          faceExists[a] = first[a] + extra[a] < nPlanes[a];
          plane = first[a] + extra[a];
        }
        if (!faceExists[a]) continue;
        tFace[a] = (planes[a][plane] - coordinate[a]) * inverse[a];
        if (tFace[a] < 0.0) tFace[a] = 0.0;
      }
    }
    bool taken[3];
    taken[0] = faceExists[0] && !(faceExists[1] && tFace[0] - tFace[1] > dp) &&
               !(faceExists[2] && tFace[0] - tFace[2] > dp);
    taken[1] = faceExists[1] && !(faceExists[2] && tFace[1] - tFace[2] > dp) && !(taken[0] && tFace[1] - tFace[0] > dp);
    taken[2] = faceExists[2] && !(taken[0] && tFace[2] - tFace[0] > dp) && !(taken[1] && tFace[2] - tFace[1] > dp);
    const bool faceAhead = faceExists[0] || faceExists[1] || faceExists[2];
    double T = 0.0;
    for (int a = 0; a < 3; ++a)
      if (taken[a]) T = tFace[a];
    bool crossingAtFace = false;

    if (cellId < 0 && v.nCells > 0) {
      // ---- 3. Locating: the sides of the voxel's surfaces at q decide the cell.
      int nearest = -1;         // position in the voxel's surface list of the smallest |f|
      double nearestValue = 0.0;
      for (int i = 0; i < v.nSurf; ++i) {
        const int s = v.surfaces[i];
        double f = DistanceToSurface(&q, &g.surf[s]);
        if (s == lastSurface) {
          // The carried surface: the point lies on it, whatever rounding says.
          if (fabs(f) > dp && !state->precisionWarned) {
            state->precisionWarned = 1;
            status |= kTrackPrecisionWarning;
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
        *out = q;
        *distance = D;
        return status;
      }
      if (v.nMaskWords > work.nSideWords) {
        state->cellIndex = -1;
        *distance = D;
        return status | kTrackWorkTooSmall;
      }
      for (int w = 0; w < v.nMaskWords; ++w) work.sideBits[w] = 0;
      for (int i = 0; i < v.nSurf; ++i) {
        const int s = v.surfaces[i];
        if (SideOf(&g.surf[s], q, u, work.surfaceValues[s], dp)) work.sideBits[i / 16] |= uint16_t(1u << (i % 16));
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
        *out = q;
        *distance = D;
        return status;
      }
      if (v.containerCell <= -2) {
        state->cellIndex = static_cast<int16_t>(-2 - v.containerCell);
        if (D <= dp) *surface = -1;
        *out = q;
        *distance = D;
        return status;
      }

      // ---- 5. Following the ray from outside: crossings in increasing t until one enters a cell.
      int nRecords = 0;
      for (int i = 0; i < v.nSurf; ++i) {
        const int s = v.surfaces[i];
        double t[2];
        VECTOR points[2];
        const int n = RaySurfaceIntersection(&q, u, &g.surf[s], t, points, s == lastSurface ? -1 : 1, dp,
                                             g.anglePrecision);
        const int side = (work.sideBits[i / 16] >> (i % 16)) & 1;
        for (int k = 0; k < n; ++k) {
          if (nRecords >= work.nCrossings) {
            state->cellIndex = -1;
            *distance = D;
            return status | kTrackWorkTooSmall;
          }
          // Insertion by t; the earlier record stays first on ties.
          int at = nRecords++;
          while (at > 0 && work.crossings[at - 1].t > t[k]) {
            work.crossings[at] = work.crossings[at - 1];
            --at;
          }
          // The first retained root leaves the current side, a second one returns to it.
          work.crossings[at] = CROSSING{t[k], points[k], static_cast<int16_t>(i),
                                        static_cast<uint8_t>(k == 0 ? 1 - side : side)};
        }
      }
      for (int r = 0; r < nRecords; ++r) {
        const CROSSING& c = work.crossings[r];
        if (faceAhead && c.t >= T) break;  // left for the next voxel
        const uint16_t bit = uint16_t(1u << (c.surface % 16));
        if (c.side) work.sideBits[c.surface / 16] |= bit;
        else work.sideBits[c.surface / 16] &= uint16_t(~bit);
        const int entered = MatchCellBySides(g, v, work.sideBits);
        if (entered >= 0) {
          state->cellIndex = static_cast<int16_t>(entered);
          *surface = static_cast<int16_t>(v.surfaces[c.surface]);
          *out = c.point;
          *distance = D + c.t;
          return status;
        }
      }
    } else if (cellId >= 0) {
      // ---- 6. Tracking: the nearest crossing of the cell's surfaces and of its inner cells' surfaces.
      const CELL& own = g.cells[cellId];
      double bestT = INFINITY;
      VECTOR bestPoint = q;
      int bestSurface = -1;
      const bool atStart = D <= dp;
      for (int slot = 0; slot < v.nCells; ++slot) {
        const bool current = slot == state->cellIndex;
        if (!current) {
          if (own.innerCellCount == 0) continue;
          const int e = g.cells[v.cells[slot]].enclosingCell;
          if (e < 0) continue;
          if (!(e == cellId || (own.unionIndex >= 0 && g.cells[e].unionIndex == own.unionIndex))) continue;
        }
        const CELL& cand = g.cells[v.cells[slot]];
        for (int k = 0; k < v.nCellSurf[slot]; ++k) {
          const int s = v.cellSurf[slot][k];
          const SURFACE* sp = &g.surf[s];
          const int sense = v.cellSense[slot][k];
          double gv = sense * DistanceToSurface(&q, sp);  // > 0 inside the candidate
          int mode = 0;
          if (current) {
            if (atStart) {
              if (gv < 0.0) gv = 0.0;  // slightly outside its own cell: on the boundary
              if (gv <= dp) {
                if (!HeadsIntoSide(sp, q, u, sense, dp)) {
                  // Leaving across the surface it sits on: the crossing is here, at t = 0.
                  if (0.0 < bestT) {
                    bestT = 0.0;
                    bestPoint = q;
                    bestSurface = s;
                  }
                  continue;
                }
                mode = -1;
              }
            }
          } else if (fabs(gv) <= dp) {
            if (HeadsIntoSide(sp, q, u, sense, dp) && OnCellSideOfOthers(g, cand, s, &q)) {
              // Entering the inner cell at the current point.
              state->cellIndex = -1;
              *surface = -1;
              *out = q;
              *distance = D;
              return status;
            }
            mode = -1;
          }
          double t[2];
          VECTOR points[2];
          const int n = RaySurfaceIntersection(&q, u, sp, t, points, mode, dp, g.anglePrecision);
          for (int r = 0; r < n; ++r) {
            if (!(t[r] < bestT)) continue;
            if (!current && !OnCellSideOfOthers(g, cand, s, &points[r])) continue;
            bestT = t[r];
            bestPoint = points[r];
            bestSurface = s;
          }
        }
      }
      if (bestSurface >= 0 && (maxDistance < 0.0 || D + bestT < maxDistance) &&
          (!faceAhead || bestT <= T + dp || bestT <= kFaceDistanceRelativeSlack * T)) {
        state->cellIndex = -1;
        q = bestPoint;
        *surface = static_cast<int16_t>(bestSurface);
        D += bestT;
        if (!faceAhead || bestT < T - dp) {
          *out = q;
          *distance = D;
          return status;
        }
        crossingAtFace = true;
      }
    }

    // ---- 7. Next voxel.
    if (!faceAhead) {
      *distance = D;
      return status;
    }
    if (!crossingAtFace) {
      D += T;
      q = *start + D * *u;
    }
    const double coordinate[3] = {q.x, q.y, q.z};
    for (int a = 0; a < 3; ++a) {
      if (taken[a]) {
        slab[a] = dir[a] < 0.0 ? first[a] - 1 : first[a] + extra[a] + 1;
      } else if (moves[a]) {
        // Never step back against the direction of travel.
        slab[a] = FindPlaneSlab(sets[a], nSets[a], coordinate[a], dir[a] > 0.0, dp);
        if (dir[a] > 0.0 && slab[a] < first[a]) slab[a] = first[a];
        if (dir[a] < 0.0 && slab[a] > first[a] + extra[a]) slab[a] = first[a] + extra[a];
      }
    }
    if (crossingAtFace) {
      state->voxelIndex = grid.voxel2index[slab[0]][slab[1]][slab[2]];
      *out = q;
      *distance = D;
      return status;
    }
    if (cellId >= 0 && maxDistance >= 0.0 && D >= maxDistance) {
      *distance = D;
      return status;
    }
    state->voxelIndex = -1;
    lastSurface = -1;
  }
}
