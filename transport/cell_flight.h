// Flights through the cells of the complex geometry, shared by photons and
// charged particles: the free distance within which no boundary can be met,
// the flight from boundary to boundary with the ray tracker, and the scoring
// of a boundary crossing (per-cell statistics, cell-entry tallies, the
// deposit a charged particle carries from cell to cell) and of the escape
// from the geometry. Host/device functions over the worker's plain record.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/cell.h"
#include "core/constants.h"
#include "core/hostdevice.h"
#include "core/interaction_stats.h"
#include "core/task.h"
#include "core/vector.h"
#include "geometry/cell_location.h"
#include "geometry/voxel_lookup.h"
#include "transport/cell_tally_scoring.h"
#include "transport/stats_scoring.h"
#include "transport/tally_scoring.h"

// Outcomes of FlyThroughCells.
enum CellFlight : int32_t {
  kFlightInCell = 0,       // moved by the flight distance inside the cell
  kFlightChangedCell = 1,  // stopped where it entered another cell (crossing scored)
  kFlightEscaped = 2,      // left the geometry; the escape is the caller's to score
  kFlightCutOff = 3,       // entered a cell whose cutoff ends it: scored and ended
  kFlightFatal = 4,        // message printed
};

namespace cell_flight {

// Row of the particle's kind in the tallies and cell-entry lists.
TQ_CPU_GPU inline int32_t KindRow(bool photon) { return photon ? 1 : 0; }

// One event of a crossing in a per-cell record: count (or weight) and
// energy E; source is a record of the uncollided source particle (never
// weighted).
TQ_CPU_GPU inline void CountCrossing(const TASKSTATE& t, INTERACTIONSTATS* record, int countSlot, int energySlot) {
  AddStats(t, record, countSlot, energySlot, t.E);
}

TQ_CPU_GPU inline void CountSourceCrossing(const TASKSTATE& t, INTERACTIONSTATS* record, int countSlot,
                                           int energySlot) {
  ++record->slot[countSlot].n;
  record->slot[energySlot].e += t.E;
}

// Energy a charged particle carries across a boundary, times its weight: E,
// and for a positron also the 2 m c^2 its annihilation will release.
TQ_CPU_GPU inline double CarriedEnergy(const TASKSTATE& t) {
  const double carried = t.kind == kPositron ? t.E + RestEnergyTwice(GetConstants()) : t.E;
  return carried * StatsWeight(t);
}

}  // namespace cell_flight

// The crossing from cell oldCell into the record's current cell slot: the
// old cell's departure and the new cell's arrival in the per-cell statistics
// and the cell-entry tallies, the charged particle's energy moved from the old
// cell's deposit place to the new one's; the new cell becomes current.
TQ_CPU_GPU inline void CrossIntoSlotCell(TASKSTATE& t, bool photon) {
  using namespace cell_flight;
  const int32_t oldCell = t.iCell;
  const int32_t row = KindRow(photon);
  const bool perCell = t.curStats != t.stats;
  const int escapes = photon ? statslot::nPhotonEscapes : statslot::nElectronEscapes;
  const int escapesE = photon ? statslot::ePhotonEscapes : statslot::eElectronEscapes;
  const int sourceEscapes = photon ? statslot::nSourceEscapePhotons : statslot::nSourceEscapeElectrons;
  const int sourceEscapesE = photon ? statslot::eSourceEscapePhotons : statslot::eSourceEscapeElectrons;
  if (!photon) DepositInCellPlace(t, -CarriedEnergy(t));
  if (perCell) {
    CountCrossing(t, t.curStats, escapes, escapesE);
    if (t.sourceFlag != 0) CountSourceCrossing(t, t.curStats, sourceEscapes, sourceEscapesE);
  }
  EnterCellOfSlot(t, false);
  if (CellHasEntryTallies(oldCell, row)) UpdateCellEntryTallies(t, oldCell, row, 1 + t.iCell, -1);
  if (t.curStats != t.stats) {
    CountCrossing(t, t.curStats, photon ? statslot::nPhotonEntries : statslot::nElectronEntries,
                  photon ? statslot::ePhotonEntries : statslot::eElectronEntries);
    if (t.sourceFlag != 0) {
      CountSourceCrossing(t, t.curStats, photon ? statslot::nSourcePhotons : statslot::nSourceElectrons,
                          photon ? statslot::eSourcePhotons : statslot::eSourceElectrons);
    }
  }
  if (CellHasEntryTallies(t.iCell, row)) UpdateCellEntryTallies(t, oldCell, row, 1 + oldCell, +1);
  if (!photon) DepositInCellPlace(t, CarriedEnergy(t));
}

// The cell-entry departure of a particle that leaves the geometry from its
// current cell (neighbour slot 0, the outside).
TQ_CPU_GPU inline void ScoreDepartureToOutside(TASKSTATE& t, bool photon) {
  const int32_t row = cell_flight::KindRow(photon);
  if (CellHasEntryTallies(t.iCell, row)) UpdateCellEntryTallies(t, t.iCell, row, 0, -1);
}

// Distance (cm) from the particle within which no boundary of its cell can be
// met: the nearest face of its voxel, limited in a voxel cut by boundaries by
// the free-motion radius (the remaining radius of the stored sphere when the
// radius is in use, recomputed when the particle has left the sphere). HUGE_VAL
// when nothing bounds the cell ahead.
TQ_CPU_GPU inline double FreeDistanceInCell(TASKSTATE& t) {
  const Constants& k = GetConstants();
  const GeometryTables& g = GetGeometryTables();
  double d = DistanceToNearestFace(g.grid, &t.pc.pos, t.voxelIndex);
  if (VoxelHasBoundaries(t)) {
    double r = 0.0;
    bool recompute = k.useFreeMotionRadius == 0;
    if (!recompute) {
      r = t.maxRadius - Norm(t.pc.pos - t.centerFree);
      recompute = r < -g.distancePrecision;
      if (r < 0.0) r = 0.0;  // on the sphere, within the precision
    }
    if (recompute) {
      ComputeFreeMotionRadius(t);
      r = t.maxRadius;  // -1: no surface bounds the cell in this voxel
    }
    if (r >= 0.0 && (d < 0.0 || r < d)) d = r;
  }
  return d < 0.0 ? HUGE_VAL : d;
}

// After a flight: the free-motion sphere starts anew at the point of entry
// into a cell (radius 0, recomputed at the next free distance), or is
// recomputed when the flight only changed the voxel.
TQ_CPU_GPU inline void RefreshFreeMotionSphere(TASKSTATE& t, bool cellChanged, int32_t voxelBefore) {
  if (GetConstants().useFreeMotionRadius == 0 || !VoxelHasBoundaries(t)) return;
  if (cellChanged) {
    t.maxRadius = 0.0;
    t.centerFree = t.pc.pos;
  } else if (t.voxelIndex != voxelBefore) {
    ComputeFreeMotionRadius(t);
  }
}

// Flies the particle by s (cm; s <= 0: to the next boundary, without a
// collision ahead) along its unit direction t.dir through the cells, until it
// has flown s inside its cell, entered another cell, left the geometry or
// been cut off in a new cell. *flown is the distance flown inside cells (cm).
// A crossing between two members of one union at the same point is not
// scored. A particle that the tracker leaves in place on a boundary of its
// own cell is nudged forward by the distance precision.
TQ_CPU_GPU inline int32_t FlyThroughCells(TASKSTATE& t, double s, bool photon, double* flown) {
  const Constants& k = GetConstants();
  const double dp = GetGeometryTables().distancePrecision;
  *flown = 0.0;
  for (;;) {
    const int32_t oldCell = t.iCell;
    const VECTOR before = t.pc.pos;
    VECTOR out;
    double distance = 0.0;
    int16_t surface = -2;
    if (TrackEntryExit(t, &out, &before, &t.dir, &distance, &surface, s > 0.0 ? s : -1.0) != kTrackingOk)
      return kFlightFatal;
    if (t.cellIndex >= 0) {
      if (s <= 0.0) return kFlightEscaped;  // nothing ahead: the particle leaves
      t.pc.pos += s * t.dir;
      *flown += s;
      return kFlightInCell;
    }
    // A boundary: find the cell beyond it, if any.
    *flown += distance;
    if (s > 0.0) s -= distance;
    double located = 0.0;
    VECTOR next;
    if (TrackEntryExit(t, &next, &out, &t.dir, &located, &surface, 0.0) != kTrackingOk) return kFlightFatal;
    t.pc.pos = out;
    if (t.cellIndex < 0) return kFlightEscaped;
    t.pc.pos = next;
    const int32_t newCell = GetGeometryTables().grid.voxels[t.voxelIndex].cells[t.cellIndex];
    const bool moved = t.pc.pos.x != before.x || t.pc.pos.y != before.y || t.pc.pos.z != before.z;
    if (!moved && newCell == oldCell) {
      t.pc.pos += dp * t.dir;
      continue;
    }
    const int32_t oldUnion = k.cell[oldCell].unionIndex;
    if (!(located > 0.0) && oldUnion >= 0 && k.cell[newCell].unionIndex == oldUnion) {
      EnterCellOfSlot(t, false);
      if (moved) return kFlightChangedCell;
      continue;
    }
    CrossIntoSlotCell(t, photon);
    const bool cutOff = photon ? t.E < t.cell->CUT_P : t.cell->CUT_E > t.E;
    if (cutOff) {
      ScorePlaneCrossings(t);
      return kFlightCutOff;
    }
    if (moved) return kFlightChangedCell;
  }
}
