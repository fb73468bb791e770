#include "tests/transport/cell_slab.h"

#include "core/constants.h"
#include "geometry/cell_location.h"
#include "geometry/free_motion_radius.h"
#include "geometry/geometry_tables.h"
#include "tests/geometry/geometry_test_surfaces.h"

CELLSLAB::~CELLSLAB() {
  core::hostConstants.complexGeometry = 0;
  StoreGeometryTables(core::hostConstants, GeometryTables{});
}

void BuildCellSlab(CELLSLAB& slab, const CELL& like, const std::vector<LAYERSPEC>& layers) {
  test_world::World& w = slab.world;
  double z = 0.0;
  w.surf.push_back(MakePlane(Init(0, 0, z), Init(0, 0, 1)));
  for (size_t i = 0; i < layers.size(); ++i) {
    z += layers[i].w;
    w.surf.push_back(MakePlane(Init(0, 0, z), Init(0, 0, 1)));
    w.AddCell({static_cast<uint16_t>(i), static_cast<uint16_t>(i + 1)}, {+1, -1});
  }
  const std::vector<double> noPlanes[3];
  w.Build(noPlanes, [](const double*, const double*, test_world::VoxelListing&) {});
  for (size_t i = 0; i < layers.size(); ++i) {
    CELL& c = w.cells[i];
    c.number = static_cast<int32_t>(i + 1);
    c.material = layers[i].material;
    c.concentration = like.concentration;
    c.density = like.density;
    c.CUT_E = layers[i].cutE;
    c.CUT_P = layers[i].cutP;
    c.pulseHeightSlot = -1;
  }
  Constants& k = core::hostConstants;
  StoreGeometryTables(k, w.tables);
  k.complexGeometry = 1;
  k.cell = w.cells.data();
  k.nCells = static_cast<int16_t>(layers.size());
  k.useFreeMotionRadius = 1;
}

bool StoreBeamEntry(TASKSTATE& t, VECTOR start, VECTOR u, double* distance) {
  Constants& k = core::hostConstants;
  t.voxelIndex = -1;
  t.cellIndex = -1;
  VECTOR entry;
  double d = 0.0;
  int16_t surface = -1;
  if (TrackEntryExit(t, &entry, &start, &u, &d, &surface, 0.0) != kTrackingOk || t.cellIndex < 0) return false;
  if (distance != nullptr) *distance = d;
  k.entry_X = entry.x;
  k.entry_Y = entry.y;
  k.entry_Z = entry.z;
  k.entryVoxel = t.voxelIndex;
  k.entryCell = t.cellIndex;
  k.entrySurface = surface;
  const GeometryTables g = GetGeometryTables();
  k.entryRadius =
      FreeMotionRadiusAt(g.surf, g.cells, g.grid.voxels[t.voxelIndex], entry, t.cellIndex, g.distancePrecision);
  return true;
}
