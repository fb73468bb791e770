// The particle bank of CTask (growth, limits, push and pop), the pruning of
// finished streams and the worker thread's entry.
#include "transport/bank.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "tests/transport/transport_fixture.h"

namespace {

class BankTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSimpleProblem(); }
  void TearDown() override {
    transport::bankRealloc = [](void* b, size_t n) { return std::realloc(b, n); };
  }

  // A record ready to bank: a history is running with an empty bank.
  static void StartHistory(CTask& task) {
    task.nBanked = 0;
    task.maxBanked = 0;
  }
};

int32_t Push(CTask& task, double E, uint8_t kind = kPhoton) {
  return PushParticle(task, E, kind, kOriginBrems, Init(0.0, 0.0, E), 1.0, 0);
}

}  // namespace

TEST_F(BankTest, PushAndPopRestoreEveryFieldLastInFirstOut) {
  core::hostConstants.interactionForcing = 1;
  CTask task;
  StartHistory(task);
  ASSERT_NE(task.bank.wt, nullptr);
  for (int i = 0; i < 3; ++i) {
    task.pc.pos = Init(i, 2.0 * i, 3.0 * i);
    ASSERT_EQ(PushParticle(task, 10.0 + i, static_cast<uint8_t>(i), static_cast<uint8_t>(4 + i), Init(0, 0, -i),
                           0.5 * (i + 1), static_cast<int16_t>(i)),
              kBankRoomAvailable);
  }
  EXPECT_EQ(task.nBanked, 3);
  EXPECT_EQ(task.pcCursor, task.bank.pc + 2);
  for (int i = 2; i >= 0; --i) {
    ASSERT_EQ(task.ReadBankedParticle(), 0);
    EXPECT_EQ(task.nBanked, i);
    EXPECT_EQ(task.E, 10.0 + i);
    EXPECT_EQ(task.kind, i);
    EXPECT_EQ(task.org, 4 + i);
    EXPECT_EQ(task.weight, 0.5 * (i + 1));
    EXPECT_EQ(task.iForced, i);
    EXPECT_EQ(task.pc.pos.y, 2.0 * i);
    EXPECT_EQ(task.pc.dir.z, -i);
  }
}

// Popping from an empty bank ends the history and counts it exactly once.
TEST_F(BankTest, PopFromAnEmptyBankEndsTheHistoryOnce) {
  CTask task;
  StartHistory(task);
  Push(task, 5.0);
  task.ReadBankedParticle();
  EXPECT_EQ(task.stats->slot[statslot::nHistoriesDone].n, 0u);
  task.ReadBankedParticle();
  EXPECT_LT(task.nBanked, 0);
  EXPECT_EQ(task.stats->slot[statslot::nHistoriesDone].n, 1u);
}

// Without positions (TRACKPOS 0) a popped particle keeps the coordinates that
// the record holds and the coordinate array never grows.
TEST_F(BankTest, WithoutPositionsThePopKeepsTheCoordinates) {
  core::hostConstants.trackPos = 0;
  CTask task;
  StartHistory(task);
  for (int i = 0; i < 250; ++i) ASSERT_EQ(Push(task, 1.0 + i, kPhotonNoPosition), kBankRoomAvailable);
  task.pc.pos = Init(7, 8, 9);
  task.pc.dir = Init(0, 1, 0);
  task.ReadBankedParticle();
  EXPECT_EQ(task.E, 250.0);
  EXPECT_EQ(task.kind, kPhotonNoPosition);
  EXPECT_EQ(task.pc.pos.z, 9.0);
  EXPECT_EQ(task.pc.dir.y, 1.0);
  EXPECT_EQ(task.bank.positionsStored, 0);
  EXPECT_EQ(task.bank.wt, nullptr);
  EXPECT_EQ(task.bank.voxelIndex, nullptr);
}

// The bank grows in steps of 100 and keeps its contents; 150 particles need a
// capacity of 200.
TEST_F(BankTest, GrowthKeepsContentsInStepsOfOneHundred) {
  CTask task;
  StartHistory(task);
  EXPECT_EQ(task.bankCapacity, 100);
  for (int i = 0; i < 150; ++i) {
    task.pc.pos = Init(i, 0, 0);
    ASSERT_EQ(Push(task, i), kBankRoomAvailable);
  }
  EXPECT_EQ(task.bankCapacity, 200);
  EXPECT_EQ(task.maxBanked, 150);
  EXPECT_EQ(task.pcCursor, task.bank.pc + 149);
  for (int i = 149; i >= 0; --i) {
    task.ReadBankedParticle();
    ASSERT_EQ(task.E, i);
    ASSERT_EQ(task.pc.pos.x, i);
  }
}

// 1,000,000 banked particles are accepted, one more is fatal; the capacity
// never exceeds the limit.
TEST_F(BankTest, MillionthParticleIsTheLastThatFits) {
  CTask task;
  StartHistory(task);
  task.nBanked = 999999;  // the counts, not the contents, decide
  EXPECT_EQ(task.Check_nBanked(1), kBankGrown);
  EXPECT_EQ(task.bankCapacity, 1000000);
  task.nBanked = 1000000;
  testing::internal::CaptureStdout();
  EXPECT_EQ(task.Check_nBanked(1), kBankFull);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\nFatal error in thread No. 1: number of banked particles exceeds 1000000.\n");
  EXPECT_EQ(task.fatalError.load(), 1);
  EXPECT_EQ(task.bankCapacity, 1000000);
}

// A growth that the heap refuses is fatal for the worker and leaves the bank
// as it was: the push is abandoned, nothing is written.
TEST_F(BankTest, FailedGrowthIsFatalAndLeavesTheBankIntact) {
  CTask task;
  task.threadNo = 2;
  StartHistory(task);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Push(task, i), kBankRoomAvailable);
  transport::bankRealloc = [](void*, size_t) -> void* { return nullptr; };
  testing::internal::CaptureStdout();
  EXPECT_EQ(Push(task, 1000.0), kBankFull);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\nFatal error in thread No. 3: memory for 200 banked particles could not be allocated.\n");
  EXPECT_EQ(task.fatalError.load(), 1);
  EXPECT_EQ(task.nBanked, 100);
  EXPECT_EQ(task.bankCapacity, 100);
  task.ReadBankedParticle();
  EXPECT_EQ(task.E, 99.0);
}

// Finished streams leave the list; the cursor follows its stream, or moves to
// the first when its own stream leaves.
TEST_F(BankTest, DropFinishedStreamsKeepsTheCursorOnItsStream) {
  STREAMTABLES tables;
  DealStreams(tables, 8, 100, 1);
  struct CASE {
    std::vector<int32_t> list;
    std::vector<uint64_t> next;  // next particle of each listed stream
    int32_t cursor;
    int32_t state;
    std::vector<int32_t> expectedList;
    int32_t expectedCursor;
    int32_t expectedStream;
    const char* what;
  };
  const CASE cases[] = {
      {{1, 3, 5, 7}, {101, 3, 100, 7}, 3, -1, {3, 7}, 1, 7, "two before the cursor"},
      {{1, 3, 5, 7}, {1, 3, 100, 7}, 2, -1, {1, 3, 7}, 0, 1, "the cursor's stream"},
      {{1, 3, 5, 7}, {1, 3, 100, 7}, 2, 0, {1, 3, 5, 7}, 2, 5, "the stream of a running history"},
      {{1, 3}, {100, 120}, 1, -1, {}, 0, 3, "all: iStream unchanged"},
      {{1, 3}, {99, 3}, 0, -1, {1, 3}, 0, 1, "none"},
  };
  for (const CASE& c : cases) {
    CTask task;
    task.SetStreamList(c.list.data(), static_cast<int32_t>(c.list.size()));
    for (size_t i = 0; i < c.list.size(); ++i) {
      tables.control[c.list[i]] = STREAMCONTROL{0, -1, c.next[i]};
    }
    task.streamCursor = c.cursor;
    task.iStream = c.list[c.cursor];
    task.state = c.state;
    task.DropFinishedStreams();
    EXPECT_EQ(std::vector<int32_t>(task.streamList, task.streamList + task.nStreams), c.expectedList) << c.what;
    EXPECT_EQ(task.streamCursor, c.expectedCursor) << c.what;
    EXPECT_EQ(task.iStream, c.expectedStream) << c.what;
    for (size_t i = 0; i < c.list.size(); ++i) {
      const bool kept = std::find(c.expectedList.begin(), c.expectedList.end(), c.list[i]) != c.expectedList.end();
      EXPECT_EQ(tables.control[c.list[i]].task, kept ? 0 : kStreamFinished) << c.what << ", stream " << c.list[i];
    }
  }
}

// A worker without streams, or asked to stop before it starts, runs nothing
// and clears its running flag.
TEST_F(BankTest, ThreadEntryWithoutWorkOnlyClearsRunning) {
  STREAMTABLES tables;
  DealStreams(tables, 2, 10, 1);
  CTask records[2];
  records[0].SetStreamList(nullptr, 0);
  const int32_t streams[] = {0, 1};
  records[1].SetStreamList(streams, 2);
  records[1].stopRequest.store(1);
  core::tasks = records;
  for (int t = 0; t < 2; ++t) {
    records[t].running.store(1);
    ThreadFunc(&t);
    EXPECT_EQ(records[t].running.load(), 0) << "worker " << t;
    EXPECT_EQ(records[t].state, kStateHistoryEnded) << "worker " << t;
    EXPECT_EQ(records[t].nHistories, 0u) << "worker " << t;
  }
  core::tasks = nullptr;
}
