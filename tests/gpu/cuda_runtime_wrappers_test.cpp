// The checked allocation and the error check, on the host-simulated device.
#include "gpu/cuda_runtime_wrappers.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "gpu/device_runtime.h"
#include "gpu/host_device.h"

namespace {

constexpr uint64_t kGiB = 1ull << 30;

// One simulated device, selected, with an empty budget.
void OneDevice(uint64_t limit) {
  SimulateDevices(1);
  SelectDevice(0);
  deviceAllocated[0] = 0;
  deviceMemoryLimit[0] = limit;
}

}  // namespace

TEST(CudaWrappers, SuccessPrintsNothing) {
  testing::internal::CaptureStdout();
  CheckCudaError(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(CudaWrappers, FailureStopsWithExitCodeTwo) {
  EXPECT_EXIT(
      {
        std::freopen("/dev/stderr", "w", stdout);
        CheckCudaError(kDeviceMemoryAllocation);
      },
      testing::ExitedWithCode(2), "\nCUDA error \\(out of memory\\)\\.\n");
}

TEST(CudaWrappers, FailedAllocationKeepsTheTotal) {
  SimulateDevices(0);
  currentDevice = 0;
  deviceAllocated[0] = 123;
  deviceMemoryLimit[0] = 1000;
  void* pointer = nullptr;
  EXPECT_EQ(CudaMallocChecked(&pointer, 64), kDeviceNoDevice);
  EXPECT_EQ(deviceAllocated[0], 123u);
}

// The budget of a device above 4 GiB: a 32-bit total or limit would wrap.
TEST(CudaWrappers, BudgetIsSixtyFourBitAndAllowsExactlyTheLimit) {
  struct CASE {
    uint64_t before;  // bytes counted before the allocation
    uint64_t limit;
    int expected;
  };
  const CASE cases[] = {
      {5 * kGiB - 4096, 5 * kGiB, kDeviceSuccess},           // exactly the limit
      {5 * kGiB - 4095, 5 * kGiB, kDeviceMemoryAllocation},  // one byte more
      {4 * kGiB - 1024, 6 * kGiB, kDeviceSuccess},           // across 2^32
      {(1ull << 32) + 10, (1ull << 32) + 20, kDeviceMemoryAllocation},
  };
  for (const CASE& c : cases) {
    OneDevice(c.limit);
    deviceAllocated[0] = c.before;
    void* pointer = nullptr;
    EXPECT_EQ(CudaMallocChecked(&pointer, 4096), c.expected) << c.before << " of " << c.limit;
    EXPECT_EQ(deviceAllocated[0], c.before + 4096);
  }
  SimulateDevices(0);
}

TEST(CudaWrappers, FailedTemporaryAllocationEndsTheRunWithExitCodeTwo) {
  EXPECT_EXIT(
      {
        std::freopen("/dev/stderr", "w", stdout);
        OneDevice(1ull << 20);
        DeviceAllocate(2ull << 20);
      },
      testing::ExitedWithCode(2), "\nCUDA error \\(out of memory\\)\\.\n");
}

TEST(CudaWrappers, ZeroBytesAllocateNothing) {
  OneDevice(1ull << 20);
  EXPECT_EQ(DeviceAllocate(0), nullptr);
  EXPECT_EQ(deviceAllocated[0], 0u);
  SimulateDevices(0);
}
