// The device part of the work division: the task counts of a device, the
// banked-particle memory, the split of the histories and the streams that the
// CPU workers serve for emulated devices.
#include "driver/run/device_division.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The status of a call and what it printed.
template <typename F>
std::pair<Status, std::string> Captured(F call) {
  testing::internal::CaptureStdout();
  const Status code = call();
  return {code, testing::internal::GetCapturedStdout()};
}

// Used slots with the given fractions, none emulated.
void Slots(const std::vector<double>& fractions) {
  run::deviceDivision = DEVICEDIVISION{};
  run::deviceDivision.nDevices = static_cast<int32_t>(fractions.size());
  for (size_t d = 0; d < fractions.size(); ++d) {
    run::deviceDivision.slot[d].device = static_cast<int32_t>(d);
    run::deviceDivision.slot[d].fraction = fractions[d];
  }
}

constexpr uint64_t kGiB = 1ull << 30;

}  // namespace

TEST(DeviceDivision, TaskCountsAgainstTheBlockSizeAndTheThreads) {
  struct CASE {
    int32_t tasks, threads, blockSize;
    const char* message;  // "" for none
  };
  const CASE cases[] = {
      {960, 96, 8, ""},
      {65536 + 8, 8, 8, "Error: Number of tasks per device is greater than 65536.\n"},
      {12, 8, 8,
       "Error: The number of GPU tasks per device (12) is not a multiple of the block size for CUDA kernel execution "
       "(8).\n"},
      {16, 12, 4,
       "Error: The number of GPU tasks per device (16) is not a multiple of the number of threads per device (12).\n"},
      {16, 6, 4,
       "Error: The number of GPU threads per device (6) is not a multiple of the block size for CUDA kernel execution "
       "(4).\n"},
  };
  for (const CASE& c : cases) {
    const auto [code, text] = Captured([&] { return CheckDeviceTaskCounts(c.tasks, c.threads, c.blockSize); });
    EXPECT_EQ(code, *c.message == 0 ? kOk : kDeviceError) << c.tasks;
    EXPECT_EQ(text, c.message);
  }
}

TEST(DeviceDivision, BytesOfOneBankedParticle) {
  EXPECT_EQ(BankedParticleBytes(false, false, false, false, 2, 3.0), 14);
  EXPECT_EQ(BankedParticleBytes(true, true, true, true, 2, 3.0), 14 + 48 + 6 + 32 + 10);
  EXPECT_EQ(BankedParticleBytes(false, false, true, false, 2, 3.0), 14);  // free-motion data only in cells
  EXPECT_EQ(BankedParticleBytes(false, false, false, false, 1, 2.25), 14 + 9);
}

// Memory beyond 4 GiB stays 64-bit: the design's 32-bit value would wrap.
TEST(DeviceDivision, BankMemoryOfADevice) {
  struct CASE {
    double avgBanked;
    uint64_t memory;
    int32_t heapMode;
    int32_t expectedAverage;  // 0: refused
    uint64_t expectedMemory;
  };
  // 100 tasks, 10 threads, 20 bytes per particle.
  const CASE cases[] = {
      {10.0, 8 * kGiB, 1, 10, 20000},
      {10.0, 8 * kGiB, 2, 10, 20400},           // + 2 x 20 x 10 ring spares
      {-0.75, 8 * kGiB, 1, 3221225, 6 * kGiB},  // 6 GiB of 8: above 2^32
      {0.5, 8 * kGiB, 1, 0, 0},                 // an average of 0 is too small
      {-1e-9, 8 * kGiB, 1, 0, 0},
      {1e9, 8 * kGiB, 1, 0, 0},  // more than the device has
  };
  for (const CASE& c : cases) {
    DEVICESLOT slot;
    slot.device = 1;
    slot.nTasks = 100;
    slot.nThreads = 10;
    const auto [code, text] = Captured([&] { return SizeDeviceBank(slot, c.memory, c.avgBanked, 20, c.heapMode); });
    if (c.expectedAverage == 0) {
      EXPECT_EQ(code, kDeviceError) << c.avgBanked;
      EXPECT_NE(text.find("CUDA device No. 2 global memory"), std::string::npos) << text;
      continue;
    }
    EXPECT_EQ(code, kOk) << c.avgBanked << text;
    EXPECT_EQ(slot.avgBanked, c.expectedAverage);
    EXPECT_EQ(slot.bankMemory, c.expectedMemory);
  }
}

TEST(DeviceDivision, HistoriesSplitByTheRunningSumOfTheFractions) {
  struct CASE {
    uint64_t N;
    std::vector<double> fractions;
    std::vector<uint64_t> shares;  // empty: refused
    uint64_t cpu;
  };
  const CASE cases[] = {
      {3, {0.25, 0.25}, {1, 1}, 1},  // S = 0.75 -> 1; S = 1.5 -> 2 - 1
      {1000, {0.1, 0.2, 0.3}, {100, 200, 300}, 400},
      {10, {0.5, 0.5}, {5, 5}, 0},  // all on the devices, no CPU worker
      {1, {0.05, 0.05}, {}, 0},     // a device without histories
      {7, {1.0 / 3, 1.0 / 3, 1.0 / 3}, {2, 3, 2}, 0},
  };
  for (const CASE& c : cases) {
    Slots(c.fractions);
    uint64_t host = 0;
    const auto [code, text] = Captured([&] { return SplitHistories(c.N, 0, &host); });
    if (c.shares.empty()) {
      EXPECT_EQ(code, kDeviceError);
      EXPECT_EQ(text,
                "Error: The number of used CUDA devices is too large: some devices have no particles assigned to "
                "them.\n");
      continue;
    }
    ASSERT_EQ(code, kOk) << text;
    uint64_t limit = c.cpu;
    for (size_t d = 0; d < c.shares.size(); ++d) {
      EXPECT_EQ(run::deviceDivision.slot[d].share, c.shares[d]) << c.N << " slot " << d;
      limit += c.shares[d];
      EXPECT_EQ(run::deviceDivision.slot[d].historyLimit, limit);
    }
    EXPECT_EQ(run::deviceDivision.cpuParticleShare, c.cpu);
    EXPECT_EQ(host, c.cpu);  // no slot emulated
  }
}

TEST(DeviceDivision, EmulatedSharesStayWithTheHostAndCpuWorkersNeedSome) {
  Slots({0.5, 0.5});
  run::deviceDivision.slot[1].emulated = true;
  uint64_t host = 0;
  EXPECT_EQ(SplitHistories(10, 2, &host), kOk);
  EXPECT_EQ(host, 5u);  // the emulated half
  Slots({0.5, 0.5});
  const auto [code, text] = Captured([&] { return SplitHistories(10, 2, &host); });
  EXPECT_EQ(code, kDeviceError);
  EXPECT_EQ(text,
            "Error: Although some tasks are assigned to the CPU, all particle histories are simulated by CUDA "
            "devices.\n");
}

TEST(DeviceDivision, StreamsAgainstTheShares) {
  Slots({0.5});
  run::deviceDivision.cpuParticleShare = 4;
  run::deviceDivision.slot[0].share = 4;
  run::deviceDivision.slot[0].nStreams = 8;
  struct CASE {
    int32_t cpuStreams, heapMode;
    Status expected;
  };
  const CASE cases[] = {{4, 2, kOk}, {5, 2, kDeviceError}, {4, 1, kDeviceError}, {4, 0, kDeviceError}};
  for (const CASE& c : cases) {
    const auto [code, text] = Captured([&] { return CheckStreamShares(c.cpuStreams, c.heapMode); });
    EXPECT_EQ(code, c.expected) << c.cpuStreams << " " << c.heapMode << text;
  }
  run::deviceDivision.slot[0].nStreams = 4;
  EXPECT_EQ(CheckStreamShares(4, 1), kOk);
}

// The CPU streams, then those of each emulated slot, dealt round the workers
// as one list: the stride carries over from one range into the next.
TEST(DeviceDivision, WorkersServeTheEmulatedSlotsStreamsAfterTheirOwn) {
  Slots({0.2, 0.2, 0.2});
  const int32_t first[] = {3, 7, 11}, count[] = {4, 4, 2};
  const bool emulated[] = {true, false, true};
  for (int d = 0; d < 3; ++d) {
    run::deviceDivision.slot[d].firstStream = first[d];
    run::deviceDivision.slot[d].nStreams = count[d];
    run::deviceDivision.slot[d].emulated = emulated[d];
  }
  const std::vector<int32_t> host = HostStreams(3);
  EXPECT_EQ(host, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 11, 12}));
  EXPECT_EQ(HostStreamsOfWorker(host, 0, 2), (std::vector<int32_t>{0, 2, 4, 6, 12}));
  EXPECT_EQ(HostStreamsOfWorker(host, 1, 2), (std::vector<int32_t>{1, 3, 5, 11}));
  EXPECT_TRUE(HostStreamsOfWorker(host, 0, 0).empty());
}
