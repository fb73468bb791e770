// Photon histories per second on one worker: 662 keV photons in 1 cm of lead
// and 100 keV photons in 10 cm of water (simple geometry, every photon model
// on, secondary photons and fluorescence followed, electrons deposited where
// they are made, 10 keV cutoffs); the lead slab also as a cell of the complex
// geometry, and a lattice of 100 lead columns crossed at an angle.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/constants.h"
#include "core/element_table.h"
#include "core/material.h"
#include "core/physical_constants.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "driver/data/element_loader.h"
#include "geometry/cell_location.h"
#include "geometry/geometry_tables.h"
#include "geometry/tracker_arrays.h"
#include "tests/geometry/geometry_test_surfaces.h"
#include "tests/geometry/geometry_test_world.h"
#include "tests/transport/cell_slab.h"
#include "tests/transport/photon_fixture.h"
#include "transport/photon_flight.h"

namespace {

struct PROBLEM {
  ELEMENTPOOL pool;
  MATERIAL material{};
  CELL cell{};
  double energy[1] = {0.0};
  std::vector<STREAMCONTROL> control;
  std::vector<CRandGen> generators;
  test_world::World world;  // the complex geometry, when one is used
  ~PROBLEM() {
    if (core::elementArray == pool.elements) core::elementArray = nullptr;
    FreeElementPool(&pool);
  }
};

bool SetUp(PROBLEM& p, const std::vector<int>& z, const std::vector<double>& atoms, double E, double w,
           double concentration, uint64_t N) {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = std::string(TQ_SHARED_DATA) + "endf/";
  options.dataFolder = std::string(TQ_SHARED_DATA) + "aux/";
  options.elasticDpw = 0;
  options.maxEnergy = E;
  double sum = 0.0;
  for (double a : atoms) sum += a;
  p.material.nElements = static_cast<int32_t>(z.size());
  if (LoadElements(z.data(), p.material.nElements, options, &p.pool) != 0) return false;
  for (size_t i = 0; i < z.size(); ++i) {
    p.material.element[i] = static_cast<int32_t>(i);
    p.material.fraction[i] = atoms[i] / sum;
  }
  core::elementArray = p.pool.elements;

  std::memset(&core::hostConstants, 0, sizeof(core::hostConstants));
  // The photon models and constants the tests use, with the default
  // coherent sampling threshold.
  SetPhotonOptions(p.pool.elements, p.material.nElements);
  Constants& k = core::hostConstants;
  k.part = kPhoton;
  k.nEnerg = 1;
  p.energy[0] = E;
  k.E_source = p.energy;
  k.cumulativeWeight[1] = 1.0;
  k.w = w;
  k.concentration = concentration;
  k.surface_C = 1.0;
  k.beam_C = 1.0;
  k.sourcePositionType = 1;
  k.sourceDirectionType = 1;
  k.entrySurface = -1;
  k.distancePrecision = 1e-12;
  k.anglePrecision = 1e-12;
  p.cell.concentration = concentration;
  p.cell.CUT_E = 10e3;
  p.cell.CUT_P = 10e3;
  p.cell.unionIndex = -1;
  k.cell = &p.cell;
  k.material = &p.material;

  p.control.assign(1, STREAMCONTROL{0, -1, 0});
  p.generators.assign(1, CRandGen());
  core::runStreams.streamControl = p.control.data();
  core::runStreams.randGens = p.generators.data();
  core::runStreams.nStreams_tot = 1;
  core::runStreams.cpuParticleShare.store(N);
  core::runStreams.cpuStride = 1;
  k.nStreams_tot = 1;
  return true;
}

// The geometry of a run in cells.
enum CellGeometry { kLayer, kSlabCell, kColumnLattice };

// The slab 0 <= z <= w as one cell in one voxel (its free-motion radius
// bounds the free flights), or a 10 x 10 lattice of 1 cm x 1 cm columns
// 0 <= x, y <= 10, 0 <= z <= w, one column per voxel.
void BuildCells(PROBLEM& p, CellGeometry g, double w) {
  test_world::World& world = p.world;
  const VECTOR ex = Init(1, 0, 0), ey = Init(0, 1, 0), ez = Init(0, 0, 1);
  world.surf = {MakePlane(Init(0, 0, 0), ez), MakePlane(Init(0, 0, w), ez)};
  std::vector<double> planes[3];
  if (g == kSlabCell) {
    world.AddCell({0, 1}, {+1, -1});
  } else {
    for (int i = 0; i <= 10; ++i) {
      world.surf.push_back(MakePlane(Init(i, 0, 0), ex));
      world.surf.push_back(MakePlane(Init(0, i, 0), ey));
      planes[0].push_back(i);
      planes[1].push_back(i);
    }
    planes[2] = {0.0, w};
    for (int i = 0; i < 10; ++i)
      for (int j = 0; j < 10; ++j) {
        const uint16_t x0 = static_cast<uint16_t>(2 + 2 * i), y0 = static_cast<uint16_t>(3 + 2 * j);
        world.AddCell({0, 1, x0, static_cast<uint16_t>(x0 + 2), y0, static_cast<uint16_t>(y0 + 2)},
                      {+1, -1, +1, -1, +1, -1});
      }
  }
  world.Build(planes, [g](const double lo[3], const double hi[3], test_world::VoxelListing& vs) {
    if (g == kSlabCell) return;
    if (lo[0] < 0 || hi[0] > 10 || lo[1] < 0 || hi[1] > 10 || lo[2] < 0 || hi[2] > 10) {
      vs.cells.clear();
      return;
    }
    vs.cells = {static_cast<int>(lo[0]) * 10 + static_cast<int>(lo[1])};
    vs.containerCell = 0;
  });
  for (CELL& c : world.cells) {
    const CELL layer = p.cell;
    c.material = 0;
    c.concentration = layer.concentration;
    c.CUT_E = layer.CUT_E;
    c.CUT_P = layer.CUT_P;
    c.unionIndex = -1;
  }
  Constants& k = core::hostConstants;
  StoreGeometryTables(k, world.tables);
  k.complexGeometry = 1;
  k.cell = world.cells.data();
  k.nCells = static_cast<int16_t>(world.cells.size());
  k.useFreeMotionRadius = 1;
}

// The entry of the beam from `start` along `u`, as the set-up finds it.
bool SetBeamEntry(CTask& task, VECTOR start, VECTOR u) {
  Constants& k = core::hostConstants;
  if (!AllocateTrackerWork(task.tracker, 64, 64, 256)) return false;
  k.beam_A = u.x;
  k.beam_B = u.y;
  k.beam_C = u.z;
  return StoreBeamEntry(task, start, u);
}

void RunPhotonHistories(benchmark::State& state, const std::vector<int>& z, const std::vector<double>& atoms, double E,
                        double w, double concentration, CellGeometry geometry = kLayer) {
  constexpr uint64_t kHistories = 20000;
  PROBLEM p;
  if (!SetUp(p, z, atoms, E, w, concentration, UINT64_MAX / 2)) {
    state.SkipWithError("elements could not be loaded");
    return;
  }
  // The cells first: the bank keeps the voxel and cell of each particle only
  // when the record is made for a complex geometry.
  if (geometry != kLayer) BuildCells(p, geometry, w);
  CTask task(true);
  if (geometry != kLayer) {
    // The lattice is crossed at 60 degrees to its normal, through 8 columns.
    const bool lattice = geometry == kColumnLattice;
    const VECTOR start = lattice ? Init(0.5, 5.5, -1.0) : Init(5.5, 5.5, -1.0);
    const VECTOR u = lattice ? Init(std::sqrt(0.75), 0.0, 0.5) : Init(0.0, 0.0, 1.0);
    if (!SetBeamEntry(task, start, u)) {
      state.SkipWithError("the beam does not enter the cells");
      return;
    }
  }
  const int32_t stream = 0;
  task.SetStreamList(&stream, 1);
  for (auto _ : state) {
    core::runStreams.cpuParticleShare.store(p.control[0].nextParticle + kHistories);
    task.state = kStateHistoryEnded;
    task.nBanked = -1;
    task.RunHistories();
    task.SetStreamList(&stream, 1);
    p.control[0].task = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kHistories));
}

// 662 keV (137Cs) photons on 1 cm of lead (11.35 g/cm^3).
void BM_Lead662keV(benchmark::State& state) { RunPhotonHistories(state, {82}, {1.0}, 662e3, 1.0, 3.299e22); }
void BM_Lead662keVSlabCell(benchmark::State& state) {
  RunPhotonHistories(state, {82}, {1.0}, 662e3, 1.0, 3.299e22, kSlabCell);
}
// 100 lead columns of 1 cm x 1 cm x 10 cm.
void BM_Lead662keVColumnLattice(benchmark::State& state) {
  RunPhotonHistories(state, {82}, {1.0}, 662e3, 10.0, 3.299e22, kColumnLattice);
}
// 100 keV photons on 10 cm of water (H2O, 1 g/cm^3: 3.343e22 molecules/cm^3, 3 atoms each).
void BM_Water100keV(benchmark::State& state) {
  RunPhotonHistories(state, {1, 8}, {2.0, 1.0}, 100e3, 10.0, 1.0029e23);
}

BENCHMARK(BM_Lead662keV)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Water100keV)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Lead662keVSlabCell)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Lead662keVColumnLattice)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
