// The set-up tables of a complex geometry in the output file, after the
// element data are loaded: the cells' materials, volumes and masses, the
// coordinate planes bracketing each cell and the extent of the points found
// inside each cell.
#pragma once

#include <cstdint>
#include <cstdio>

#include "driver/status.h"

// Concentration and density of every cell from its material's mean atomic
// mass: a negative concentration is a density in g/cm^3.
void CompleteCellDensities();

// The three tables, in order, into out.
void WriteGeometryTables(FILE* out);

// Volume of cell c, cm^3, for its mass and dose: its own, or for a member of
// a union the union's (held at the union's first cell); negative when not
// determined, and in the simple geometry.
double CellOrUnionVolume(int32_t c);

// Mass of the whole geometry, g, as the total row of the cell table gives it:
// density x volume summed over the cells outside unions and the unions; -1
// when a cell of positive density has no determined volume; 0 in the simple
// geometry (its layer is unbounded).
double GeometryTotalMass();

// The sizes of the tracker's work arrays from the voxels: one bit per surface
// of the largest voxel, the inner-cell bound m + 1 and the crossing records
// 2 (m + 1) x the largest surface count (the final nSmax_voxel).
struct TRACKERSIZES {
  int32_t nSideWords = 0;
  int32_t innerCellBound = 0;
  int32_t nSmax_voxel = 0;
};
TRACKERSIZES TrackerSizes();

// The source against the complex geometry: where a point source with a
// parallel beam enters a cell ("Error: The incident beam does not hit any
// cell.\n"), the tallies without coordinate tracking, the source energy
// against the cutoff that applies (entered cell, source cell or global) and
// the cut of the spectrum, the positron flag. kInputError after a message.
Status CheckSourceInGeometry();
