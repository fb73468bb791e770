// Host side of the CUDA wrappers; these machines have no device, so the
// runtime answers every allocation with an error of its own.
#include "gpu/cuda_runtime_wrappers.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(CudaWrappers, SuccessPrintsNothing) {
  testing::internal::CaptureStdout();
  CheckCudaError(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(CudaWrappers, FailureStopsWithExitCodeTwo) {
  EXPECT_EXIT(
      {
        std::freopen("/dev/stderr", "w", stdout);
        CheckCudaError(2);
      },
      testing::ExitedWithCode(2), "\nCUDA error \\(.+\\)\\.\n");
}

TEST(CudaWrappers, FailedAllocationKeepsTheTotal) {
  currentDevice = 0;
  deviceAllocated[0] = 123;
  deviceMemoryLimit[0] = 1000;
  void* pointer = nullptr;
  int code = CudaMallocChecked(&pointer, 64);
  if (code == 0) GTEST_SKIP() << "a CUDA device is present";
  EXPECT_NE(code, 2);
  EXPECT_EQ(deviceAllocated[0], 123u);
}
