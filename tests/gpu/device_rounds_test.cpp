// The host's steps between two launches on a simulated device: the ring of
// banked particles compacted after failed reads and writes, and the status
// record written back and read again.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_rounds.h"
#include "gpu/device_run_state.h"
#include "gpu/host_device.h"

namespace {

template <typename T>
T* Upload(const std::vector<T>& host) {
  T* device = static_cast<T*>(DeviceAllocate(host.size() * sizeof(T)));
  DeviceUpload(device, host.data(), host.size() * sizeof(T));
  return device;
}

template <typename T>
std::vector<T> Download(const T* device, size_t n) {
  std::vector<T> host(n);
  DeviceDownload(host.data(), device, n * sizeof(T));
  return host;
}

class DeviceRounds : public testing::Test {
 protected:
  void SetUp() override {
    SimulateDevices(1);
    SelectDevice(0);
  }
  void TearDown() override {
    device_host::deviceRun[0].taskData = DEVICETASKDATA{};
    SimulateDevices(0);
  }
};

}  // namespace

// A ring of 8 slots whose last good read was at position 6 and whose writes
// reached 12: the stretch wraps from slot 6 round to slot 3. Its particles
// (owners not 0) move to the front in ring order, every array with them, and
// the slots left behind are free; nothing outside the stretch changes.
TEST_F(DeviceRounds, TheRingStretchIsCompactedInOrderAcrossTheWrap) {
  //                              slot: 0    1    2    3    4    5    6    7
  const std::vector<int32_t> owners = {0, 0, 0, 3, 9, 9, 1, 0};
  const std::vector<double> energies = {30, 31, 32, 33, 40, 41, 10, 11};
  const std::vector<uint8_t> kinds = {0, 1, 2, 3, 4, 5, 6, 7};
  DEVICEBANK& bank = device_host::deviceRun[0].taskData.bank;
  bank = DEVICEBANK{};
  bank.taskBanked = Upload(owners);
  bank.en = Upload(energies);
  bank.p = Upload(kinds);
  bank.org = Upload(kinds);
  // Stretch 6..11: slots 6, 7, 0, 1, 2, 3 hold owners 1, 0, 0, 0, 0, 3.
  EXPECT_EQ(RepackDeviceRing(0, 6, 12, 8), 2u);
  EXPECT_EQ(Download(bank.taskBanked, 8), (std::vector<int32_t>{0, 0, 0, 0, 9, 9, 1, 3}));
  EXPECT_EQ(Download(bank.en, 8), (std::vector<double>{30, 31, 32, 33, 40, 41, 10, 33}));
  EXPECT_EQ(Download(bank.p, 8), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 3}));
  // A stretch longer than the ring is taken as the whole ring once.
  EXPECT_EQ(RepackDeviceRing(0, 4, 20, 8), 4u);
  EXPECT_EQ(Download(bank.taskBanked, 8), (std::vector<int32_t>{0, 0, 0, 0, 9, 9, 1, 3}));
  EXPECT_EQ(RepackDeviceRing(0, 5, 5, 8), 0u);  // nothing written since the last read
}

TEST(RingStretch, OwnedEntriesMoveToTheFrontWithEveryArray) {
  RINGSTRETCH s;
  s.taskBanked = {0, 2, 0, 5, 7};
  s.en = {1, 2, 3, 4, 5};
  s.wt = {0.1, 0.2, 0.3, 0.4, 0.5};
  EXPECT_EQ(CompactRingStretch(s), 3u);
  EXPECT_EQ(s.taskBanked, (std::vector<int32_t>{2, 5, 7, 0, 0}));
  EXPECT_EQ(s.en, (std::vector<double>{2, 4, 5, 4, 5}));
  EXPECT_EQ(s.wt, (std::vector<double>{0.2, 0.4, 0.5, 0.4, 0.5}));
}
