// A slab 0 <= z <= sum of the layers cut into cells by the planes z = const,
// every cell listed in one voxel; the host Constants and geometry tables
// point at it while it lives.
#pragma once

#include <vector>

#include "core/cell.h"
#include "core/task.h"
#include "core/vector.h"
#include "tests/geometry/geometry_test_world.h"

// One layer of the slab: thickness (cm), material (-1 void) and cutoffs (eV).
struct LAYERSPEC {
  double w;
  int material;
  double cutE, cutP;
};

struct CELLSLAB {
  test_world::World world;
  ~CELLSLAB();
};

// Builds the cells (concentration and density of `like`) and points the host
// Constants at them, with the free-motion radius in use.
void BuildCellSlab(CELLSLAB& slab, const CELL& like, const std::vector<LAYERSPEC>& layers);

// Finds with t's tracker where the ray from start along u enters a cell and
// stores that entry in the host Constants as the set-up does (point, voxel,
// cell, surface and free-motion radius); *distance, when given, gets the
// distance to it. False when the tracker fails or the ray meets no cell.
bool StoreBeamEntry(TASKSTATE& t, VECTOR start, VECTOR u, double* distance = nullptr);
