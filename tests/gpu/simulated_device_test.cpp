// The host-simulated device: its memory checks and the phase-by-phase launch
// that stands for a kernel with block barriers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_runtime.h"
#include "gpu/host_device.h"
#include "gpu/kernel_launch.h"

namespace {

// Phase 0: every thread writes its slot of shared memory; phase 1: it reads its
// right neighbour's slot, which only a barrier between the phases guarantees.
struct NEIGHBOURKERNEL {
  int32_t* out;  // [blocks * blockSize]

  struct Shared {
    int32_t value[64];
  };
  struct Local {
    int32_t written;
  };

  int32_t Phase(int32_t phase, const THREADINDEX& at, Shared& shared, Local& local) const {
    if (phase == 0) {
      local.written = 1000 * at.block + at.thread;
      shared.value[at.thread] = local.written;
      return 1;
    }
    out[at.Global()] = shared.value[(at.thread + 1) % at.blockSize] - local.written;
    return kKernelEnd;
  }
};

// Threads of one block that leave for different barriers.
struct DIVERGENTKERNEL {
  struct Shared {};
  struct Local {};
  int32_t Phase(int32_t phase, const THREADINDEX& at, Shared&, Local&) const {
    return phase == 0 && at.thread == 1 ? 1 : kKernelEnd;
  }
};

// One phase in every thread.
struct UNIFORMKERNEL {
  struct Shared {};
  struct Local {};
  int32_t Phase(int32_t, const THREADINDEX&, Shared&, Local&) const { return kKernelEnd; }
};

class SimulatedDevice : public testing::Test {
 protected:
  void SetUp() override {
    SimulateDevices(2, 1ull << 24);
    SelectDevice(0);
  }
  void TearDown() override { SimulateDevices(0); }
};

}  // namespace

TEST_F(SimulatedDevice, EnumeratesTheConfiguredDevicesAboveFourGiB) {
  SimulateDevices(3);
  int count = 0;
  EXPECT_EQ(DeviceCount(&count), kDeviceSuccess);
  EXPECT_EQ(count, 3);
  DEVICEPROPERTIES p;
  ASSERT_EQ(DeviceProperties(2, &p), kDeviceSuccess);
  EXPECT_GT(p.globalMemory, 1ull << 32);
  EXPECT_GE(p.major * 10 + p.minor, 75);
  EXPECT_EQ(DeviceProperties(3, &p), kDeviceInvalidDevice);
  EXPECT_EQ(SetDevice(-1), kDeviceInvalidDevice);
  SimulateDevices(0);
  EXPECT_EQ(DeviceCount(&count), kDeviceNoDevice);
  EXPECT_EQ(count, 0);
}

TEST_F(SimulatedDevice, FreshMemoryIsNotZeroAndCopiesStayInsideOneAllocation) {
  auto* a = static_cast<uint8_t*>(DeviceAllocate(100));
  uint8_t host[100];
  DeviceDownload(host, a, sizeof host);
  EXPECT_EQ(host[0], kSimulatedFreshByte);
  EXPECT_EQ(host[99], kSimulatedFreshByte);
  EXPECT_EQ(CopyHostToDevice(a + 1, host, 100), kDeviceInvalidValue);  // one byte past the end
  EXPECT_EQ(CopyDeviceToHost(host, a + 50, 50), kDeviceSuccess);
  EXPECT_EQ(CopyDeviceToHost(host, host, 1), kDeviceInvalidValue);  // host memory is no device memory
  // Another device's memory is not the current device's.
  SelectDevice(1);
  EXPECT_EQ(CopyDeviceToHost(host, a, 1), kDeviceInvalidValue);
  SelectDevice(0);
  EXPECT_EQ(DeviceFree(a + 1), kDeviceInvalidValue);
  EXPECT_EQ(DeviceFree(a), kDeviceSuccess);
  EXPECT_EQ(SimulatedBytesInUse(0), 0u);
}

namespace {

// Resident host memory of this process, bytes.
uint64_t ResidentBytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  unsigned long long pages = 0, resident = 0;
  const int read = std::fscanf(f, "%llu %llu", &pages, &resident);
  std::fclose(f);
  return read == 2 ? resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

}  // namespace

// A pool of 1.2 GiB (avgBanked_CUDA -0.2 of a 6 GiB device), zeroed as the
// set-up zeroes it, costs the host only the pages that are written; it
// counts in full against the device's memory.
TEST(SimulatedDevicePages, ALargeZeroedBlockCostsOnlyThePagesWritten) {
  SimulateDevices(1);
  SelectDevice(0);
  const size_t bytes = kSimulatedDeviceMemory / 5;
  const uint64_t before = ResidentBytes();
  auto* pool = static_cast<uint8_t*>(DeviceAllocateZeroed(bytes));
  EXPECT_GE(SimulatedBytesInUse(0), bytes);
  const uint8_t ones[4096] = {1, 1, 1};
  DeviceUpload(pool + bytes / 2, ones, sizeof ones);
  uint8_t back[8] = {};
  DeviceDownload(back, pool + bytes / 2 - 4, sizeof back);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 8), (std::vector<uint8_t>{0, 0, 0, 0, 1, 1, 1, 0}));
  EXPECT_LT(ResidentBytes() - before, uint64_t{64} << 20);
  // Zeroed again over an unaligned range: the written bytes read as zero.
  CheckCudaError(SetDeviceBytes(pool + 3, 0, bytes - 5));
  DeviceDownload(back, pool + bytes / 2 - 4, sizeof back);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 8), std::vector<uint8_t>(8, 0));
  DeviceRelease(pool);
  EXPECT_EQ(SimulatedBytesInUse(0), 0u);
  SimulateDevices(0);
}

TEST_F(SimulatedDevice, RefusesAnAllocationBeyondItsMemoryAndResetFreesEverything) {
  void* p = nullptr;
  EXPECT_EQ(DeviceMalloc(&p, (1ull << 24) + 1), kDeviceMemoryAllocation);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(DeviceMalloc(&p, 1000), kDeviceSuccess);
  EXPECT_GT(SimulatedBytesInUse(0), 0u);
  EXPECT_EQ(ResetDevice(), kDeviceSuccess);
  EXPECT_EQ(SimulatedBytesInUse(0), 0u);
}

TEST_F(SimulatedDevice, EveryThreadFinishesAPhaseBeforeAnyStartsTheNext) {
  const int32_t blocks = 3, blockSize = 64;
  auto* out = static_cast<int32_t*>(DeviceAllocateZeroed(blocks * blockSize * sizeof(int32_t)));
  LaunchAndSynchronize(NEIGHBOURKERNEL{out}, blocks, blockSize);
  std::vector<int32_t> host(blocks * blockSize);
  DeviceDownload(host.data(), out, host.size() * sizeof(int32_t));
  for (int32_t b = 0; b < blocks; ++b) {
    for (int32_t t = 0; t < blockSize; ++t) {
      EXPECT_EQ(host[b * blockSize + t], t + 1 < blockSize ? 1 : 1 - blockSize) << b << " " << t;
    }
  }
}

TEST_F(SimulatedDevice, BadLaunchesAreReportedAsTheRuntimeReportsThem) {
  struct CASE {
    int32_t blocks, blockSize;
    int expected;
  };
  const CASE cases[] = {{1, kMaxThreadsPerBlock + 1, kDeviceInvalidConfiguration},
                        {0, 32, kDeviceInvalidConfiguration},
                        {1, 0, kDeviceInvalidConfiguration},
                        {2, kMaxThreadsPerBlock, kDeviceSuccess}};
  for (const CASE& c : cases) {
    EXPECT_EQ(LaunchKernel(UNIFORMKERNEL{}, c.blocks, c.blockSize), c.expected) << c.blocks << " x " << c.blockSize;
    EXPECT_EQ(LastLaunchError(), c.expected);
    EXPECT_EQ(LastLaunchError(), kDeviceSuccess);  // cleared by the read
  }
  // Threads that part at a barrier: the launch fails.
  EXPECT_EQ(LaunchKernel(DIVERGENTKERNEL{}, 1, 4), kDeviceLaunchFailure);
  EXPECT_EQ(LastLaunchError(), kDeviceLaunchFailure);
}

TEST_F(SimulatedDevice, AFailedLaunchEndsTheRunWithExitCodeTwo) {
  EXPECT_EXIT(
      {
        std::freopen("/dev/stderr", "w", stdout);
        LaunchAndSynchronize(DIVERGENTKERNEL{}, 1, 2);
      },
      testing::ExitedWithCode(2), "\nCUDA error \\(unspecified launch failure\\)\\.\n");
}

TEST(SimulatedDeviceNone, LaunchWithoutADeviceIsRefused) {
  SimulateDevices(0);
  EXPECT_EQ(LaunchKernel(DIVERGENTKERNEL{}, 1, 1), kDeviceNoDevice);
}
