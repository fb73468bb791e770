// A small problem and one device's task data on the host-simulated device,
// shared by the tests of the device set-up and of the scheduler.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/cell.h"
#include "core/pulse_height.h"
#include "core/stream_control.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_runtime.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"
#include "gpu/setup_kernels.h"

namespace device_fixture {

// Two elements (O and Cu) with one table each, in one block as the element
// pool lays them out: the records, then their tables.
struct ELEMENTBLOCK {
  static constexpr int kValues = 4;
  std::unique_ptr<double[]> storage;
  int64_t bytes = 0;

  ELEMENTBLOCK() {
    bytes = 2 * static_cast<int64_t>(sizeof(Elem)) + 2 * kValues * static_cast<int64_t>(sizeof(double));
    storage.reset(new double[static_cast<size_t>(bytes) / sizeof(double)]());
    double* tables = reinterpret_cast<double*>(reinterpret_cast<char*>(storage.get()) + 2 * sizeof(Elem));
    for (int i = 0; i < 2 * kValues; ++i) tables[i] = 1.5 * (i + 1);
    Elem* e = elements();
    e[0].Z = 8;
    e[0].excLossEnergy.Set(tables);
    e[1].Z = 29;
    e[1].excLossEnergy.Set(tables + kValues);
  }
  Elem* elements() { return reinterpret_cast<Elem*>(storage.get()); }
};

// A small problem: a three-line spectrum, one cell of the simple geometry and
// one pulse-height tally with energy sums.
struct PROBLEM {
  double energies[3] = {1e5, 5e5, 1e6};
  double weights[3] = {0.2, 0.3, 0.5};
  double cumulative[3] = {0.0, 0.4, 1.0};
  CELL cell{};
  PULSEHEIGHTTALLY pulseHeight{};
  Constants constants{};
  TALLYTABLES tallyTables{};
  ELEMENTBLOCK block;

  PROBLEM() {
    Constants& k = constants;
    k.restEn = 510998.95;
    k.nEnerg = 3;
    k.E_source = energies;
    k.weight = weights;
    k.cumulativeWeight.values = cumulative;
    k.nCells = 1;
    k.cell = &cell;
    k.nElem_tot = 2;
    pulseHeight.cell = -1;
    pulseHeight.bins = 10;
    pulseHeight.eDeposition = 1;
    tallyTables.pulseHeightTally = &pulseHeight;
    tallyTables.nPulseHeight_tot = 1;
  }

  HOSTPROBLEM Host(int32_t device) {
    HOSTPROBLEM h;
    h.constants = &constants;
    h.tallyTables = &tallyTables;
    h.elements = block.elements();
    h.elementBytes = block.bytes;
    h.nElements = 2;
    h.device = device;
    return h;
  }
};

template <typename T>
T DeviceGlobal(DEVICEGLOBAL which) {
  void* address = nullptr;
  CheckCudaError(DeviceGlobalAddress(which, &address));
  T value;
  DeviceDownload(&value, address, sizeof(T));
  return value;
}

template <typename T>
std::vector<T> Download(const T* device, int64_t n) {
  std::vector<T> host(static_cast<size_t>(n));
  DeviceDownload(host.data(), device, host.size() * sizeof(T));
  return host;
}

// The task data of one device of a run with nStreams streams.
struct TASKRUN {
  std::vector<STREAMCONTROL> streams;
  std::vector<CRandGen> generators;
  DEVICEPROBLEM problem;
  DEVICETASKSETUP setup;
  DEVICETASKDATA data;

  TASKRUN(PROBLEM& p, int32_t nStreams) : streams(static_cast<size_t>(nStreams)), generators(streams.size()) {
    for (int32_t s = 0; s < nStreams; ++s) {
      streams[static_cast<size_t>(s)] = STREAMCONTROL{-1, -1, static_cast<uint64_t>(s)};
      SeedStream(generators[static_cast<size_t>(s)], s, 0);
    }
    EXPECT_EQ(UploadProblem(p.Host(0), &problem), -1);
    setup.randType = 1;
    setup.streamControl = streams.data();
    setup.randGens = generators.data();
    setup.nStreams_tot = nStreams;
    setup.tallyTables = &p.tallyTables;
    setup.problem = &problem;
    setup.maxBankedRatio = 1.05;
    setup.streamsPerTask = 1;
  }

  void Initialise() { InitialiseDeviceTasks(setup, &data); }
  TASKGLOBALS Globals() const { return DeviceGlobal<TASKGLOBALS>(DEVICEGLOBAL::kTaskGlobals); }
};

}  // namespace device_fixture
