// The complex geometry on two host-simulated devices: a problem of voxels, a
// union and cell-entry lists (tests/e2e/inputs/shielded_detector.txt) set up
// as the run sets it up, then copied to each device. Every table the device
// reaches through its Constants record holds the host's values at addresses
// of that device (a download checks that the address lies in one of its
// allocations), and rays tracked through the device's tables take the host's
// path step for step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/cell_union.h"
#include "core/voxel.h"
#include "driver/directives/geometry_tables.h"
#include "driver/setup/constants_fill.h"
#include "driver/setup/geometry_reports.h"
#include "driver/setup/geometry_setup.h"
#include "driver/status.h"
#include "geometry/geometry_tables.h"
#include "geometry/tracker_arrays.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_runtime.h"
#include "gpu/device_upload.h"
#include "gpu/host_device.h"
#include "tests/driver/input_test_support.h"

namespace {

template <typename T>
std::vector<T> Download(const T* device, int64_t n) {
  std::vector<T> host(static_cast<size_t>(n));
  if (n > 0) DeviceDownload(host.data(), device, host.size() * sizeof(T));
  return host;
}

// The n values at a device address equal those at a host address; both null
// or both set.
template <typename T>
void ExpectSameList(const T* host, const T* device, int64_t n, const std::string& what) {
  ASSERT_EQ(host == nullptr, device == nullptr) << what;
  if (host == nullptr || n <= 0) return;
  EXPECT_NE(static_cast<const void*>(host), static_cast<const void*>(device)) << what;
  const std::vector<T> copy = Download(device, n);
  EXPECT_EQ(std::memcmp(copy.data(), host, static_cast<size_t>(n) * sizeof(T)), 0) << what;
}

// A table of rows, each row's length from counts (or the same for all).
template <typename T, typename Length>
void ExpectSameRows(T* const* host, T* const* device, int64_t nRows, Length length, const std::string& what) {
  ASSERT_EQ(host == nullptr, device == nullptr) << what;
  if (host == nullptr) return;
  const std::vector<T*> rows = Download(device, nRows);
  for (int64_t r = 0; r < nRows; ++r) {
    ExpectSameList<T>(host[r], rows[static_cast<size_t>(r)], length(r), what + " row " + std::to_string(r));
  }
}

void ExpectSameVoxel(const VOXEL& h, const VOXEL& d, const std::string& what) {
  // The scalars byte for byte; the lists behind the addresses.
  VOXEL scalars = d;
  scalars.surfaces = h.surfaces;
  scalars.nNegCells = h.nNegCells;
  scalars.nPosCells = h.nPosCells;
  scalars.negCells = h.negCells;
  scalars.posCells = h.posCells;
  scalars.cells = h.cells;
  scalars.nCellSurf = h.nCellSurf;
  scalars.cellSurf = h.cellSurf;
  scalars.cellSense = h.cellSense;
  scalars.surfMask = h.surfMask;
  scalars.posMask = h.posMask;
  EXPECT_EQ(std::memcmp(&scalars, &h, sizeof(VOXEL)), 0) << what;
  const auto counted = [](const uint16_t* counts) {
    return [counts](int64_t i) { return static_cast<int64_t>(counts[i]); };
  };
  const auto words = [&h](int64_t) { return static_cast<int64_t>(h.nMaskWords); };
  ExpectSameList(h.surfaces, d.surfaces, h.nSurf, what + " surfaces");
  ExpectSameList(h.nNegCells, d.nNegCells, h.nSurf, what + " nNegCells");
  ExpectSameList(h.nPosCells, d.nPosCells, h.nSurf, what + " nPosCells");
  if (h.nNegCells != nullptr) ExpectSameRows(h.negCells, d.negCells, h.nSurf, counted(h.nNegCells), what + " negCells");
  if (h.nPosCells != nullptr) ExpectSameRows(h.posCells, d.posCells, h.nSurf, counted(h.nPosCells), what + " posCells");
  ExpectSameList(h.cells, d.cells, h.nCells, what + " cells");
  ExpectSameList(h.nCellSurf, d.nCellSurf, h.nCells, what + " nCellSurf");
  if (h.nCellSurf != nullptr) {
    ExpectSameRows(h.cellSurf, d.cellSurf, h.nCells, counted(h.nCellSurf), what + " cellSurf");
    ExpectSameRows(h.cellSense, d.cellSense, h.nCells, counted(h.nCellSurf), what + " cellSense");
  }
  ExpectSameRows(h.surfMask, d.surfMask, h.nCells, words, what + " surfMask");
  ExpectSameRows(h.posMask, d.posMask, h.nCells, words, what + " posMask");
}

// One step of a ray: where the tracker stops and the state it leaves.
struct RAYSTEP {
  int status;
  VECTOR out;
  double distance;
  int16_t surface;
  TrackerState state;
};

// Up to 40 calls of the tracker along a ray from p, each from where the last
// one stopped.
std::vector<RAYSTEP> TrackRay(const GeometryTables& g, const TrackerWork& work, VECTOR p, VECTOR u) {
  std::vector<RAYSTEP> steps;
  TrackerState state{-1, -1, 0};
  int16_t surface = -1;
  for (int i = 0; i < 40; ++i) {
    RAYSTEP s{};
    s.status = EntryExitPoint(g, work, &state, &s.out, &p, &u, &s.distance, &surface, -1.0);
    s.surface = surface;
    s.state = state;
    steps.push_back(s);
    if (state.voxelIndex < 0 || (surface == -2 && state.cellIndex < 0)) break;  // out of every cell
    p = s.out;
  }
  return steps;
}

class GeometryUpload : public testing::Test {
 protected:
  void SetUp() override { SimulateDevices(2); }
  void TearDown() override { SimulateDevices(0); }
};

}  // namespace

TEST_F(GeometryUpload, TwoDevicesSeeTheHostsVoxelsUnionsAndCells) {
  const INPUTRUN run = RunInput(ReadWholeFile(std::string(E2E_INPUTS_DIR) + "shielded_detector.txt"), {"check", "-1"});
  ASSERT_EQ(run.code, 0) << run.console;
  testing::internal::CaptureStdout();
  const Status code = SetUpComplexGeometry();
  const std::string console = testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, kOk) << console;

  Constants h{};
  FillComplexGeometryConstants(h);
  h.distancePrecision = 1e-10;
  h.anglePrecision = 1e-12;
  h.nCells = static_cast<int16_t>(directives::geometry.nCells);
  h.cell = directives::geometry.cell.data();
  ASSERT_GT(h.nVoxels2, 100);
  ASSERT_EQ(h.nUnions, 1);
  // The grid has voxels that several cells reach into, with all their lists.
  int64_t shared = 0;
  for (int32_t i = 0; i < h.nVoxels2; ++i) shared += h.voxels2[i].containerCell < 0 && h.voxels2[i].nSurf > 0;
  ASSERT_GT(shared, 10);

  TALLYTABLES noTallies{};
  HOSTPROBLEM host;
  host.constants = &h;
  host.tallyTables = &noTallies;
  Constants received[2];
  for (int32_t d = 0; d < 2; ++d) {
    SelectDevice(d);
    DEVICEPROBLEM device;
    ASSERT_EQ(UploadProblem(host, &device), -1);
    void* global = nullptr;
    CheckCudaError(DeviceGlobalAddress(DEVICEGLOBAL::kConstants, &global));
    Constants& k = received[d];
    DeviceDownload(&k, global, sizeof(Constants));
    EXPECT_EQ(k.device, 0);
    EXPECT_EQ(k.nVoxels2, h.nVoxels2);
    EXPECT_EQ(k.nUnions, h.nUnions);

    const std::string on = " on device " + std::to_string(d);
    const std::vector<VOXEL> voxels = Download(k.voxels2, k.nVoxels2);
    for (int32_t i = 0; i < h.nVoxels2; ++i)
      ExpectSameVoxel(h.voxels2[i], voxels[static_cast<size_t>(i)], "voxel " + std::to_string(i) + on);
    // voxel2index, plane by plane and row by row.
    const std::vector<int* const*> planes = Download(k.voxel2index, h.nXplanesTot + 1);
    for (int32_t x = 0; x <= h.nXplanesTot; ++x) {
      const std::vector<int*> rows = Download(planes[static_cast<size_t>(x)], h.nYplanesTot + 1);
      for (int32_t y = 0; y <= h.nYplanesTot; ++y)
        ExpectSameList<int>(h.voxel2index[x][y], rows[static_cast<size_t>(y)], h.nZplanesTot + 1,
                            "voxel2index " + std::to_string(x) + " " + std::to_string(y) + on);
    }
    const std::vector<CELLUNION> unions = Download(k.unionData, k.nUnions);
    EXPECT_EQ(unions[0].identifier, h.unionData[0].identifier);
    ASSERT_EQ(unions[0].nCells, 2);
    ExpectSameList(h.unionData[0].cells, unions[0].cells, 2, "union cells" + on);
    ExpectSameList(h.surf, k.surf, h.nSurfaces, "surfaces" + on);
    ExpectSameList(h.xSet, k.xSet, h.nXsets, "x plane sets" + on);
    ExpectSameList(h.zCoord, k.zCoord, h.nZplanesTot, "z coordinates" + on);
    // The cells' own lists.
    const std::vector<CELL> cells = Download(k.cell, h.nCells);
    int entryRows = 0;
    for (int32_t c = 0; c < h.nCells; ++c) {
      const CELL& hc = h.cell[c];
      const CELL& dc = cells[static_cast<size_t>(c)];
      ExpectSameList(hc.surfaces, dc.surfaces, hc.nSurf, "cell surfaces" + on);
      ExpectSameList(hc.senses, dc.senses, hc.nSurf, "cell senses" + on);
      ExpectSameList(hc.innerCells, dc.innerCells, hc.innerCellCount, "inner cells" + on);
      for (int row = 0; row < kCellEntryRows; ++row) {
        const uint16_t* counts = hc.cellEntryCount[row];
        ExpectSameList(counts, dc.cellEntryCount[row], hc.nEntrySlots, "entry counts" + on);
        if (counts == nullptr) continue;
        ++entryRows;
        ExpectSameRows(
            hc.cellEntryList[row], dc.cellEntryList[row], hc.nEntrySlots,
            [counts](int64_t i) { return static_cast<int64_t>(counts[i]); }, "entry lists" + on);
      }
    }
    EXPECT_EQ(entryRows, 2) << "the detector's electron and photon cell-entry rows";
  }
  // Each device has its own copy.
  EXPECT_NE(received[0].voxels2, received[1].voxels2);
  EXPECT_NE(received[0].voxel2index, received[1].voxel2index);
  EXPECT_NE(received[0].unionData, received[1].unionData);

  // Rays through the world: the tracker reads the device's tables (host
  // memory on a simulated device) and finds what it finds in the host's.
  TrackerWork work;
  const TRACKERSIZES sizes = TrackerSizes();
  ASSERT_TRUE(AllocateTrackerWork(work, h.nSurfaces, 16 * sizes.nSideWords, sizes.nSmax_voxel));
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  int64_t crossings = 0;
  for (int ray = 0; ray < 200; ++ray) {
    const VECTOR p = Init(12.0 * uniform(random), 12.0 * uniform(random), 25.0 * uniform(random));
    VECTOR u = Init(uniform(random), uniform(random), uniform(random));
    u = u / std::sqrt(Dot(u, u));
    const std::vector<RAYSTEP> onHost = TrackRay(GeometryTablesOf(h), work, p, u);
    for (const Constants& k : received) {
      const std::vector<RAYSTEP> onDevice = TrackRay(GeometryTablesOf(k), work, p, u);
      ASSERT_EQ(onDevice.size(), onHost.size()) << "ray " << ray;
      for (size_t i = 0; i < onHost.size(); ++i) {
        EXPECT_EQ(std::memcmp(&onDevice[i].out, &onHost[i].out, sizeof(VECTOR)), 0) << "ray " << ray << " step " << i;
        EXPECT_EQ(onDevice[i].distance, onHost[i].distance);
        EXPECT_EQ(onDevice[i].surface, onHost[i].surface);
        EXPECT_EQ(onDevice[i].state.voxelIndex, onHost[i].state.voxelIndex);
        EXPECT_EQ(onDevice[i].state.cellIndex, onHost[i].state.cellIndex);
      }
    }
    crossings += static_cast<int64_t>(onHost.size());
  }
  EXPECT_GT(crossings, 400);  // the rays cross cells, not only the world
  FreeTrackerWork(work);
}
