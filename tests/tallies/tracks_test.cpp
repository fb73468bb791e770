// Track sorts against std::stable_sort, track recording and the tracks file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "core/stream_control.h"
#include "driver/results/track_sort.h"
#include "driver/results/tracks_file.h"
#include "tests/support/test_paths.h"
#include "transport/tracks.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Random keys with many repeats, an already sorted run and a reversed run
// (the inputs that drive a first-element-pivot quicksort quadratic and deep).
TEST(TrackSort, SortKeysAgreesWithStableSort) {
  for (uint32_t seed : {1u, 7u, 1234u}) {
    std::mt19937_64 rng(seed);
    for (int shape = 0; shape < 3; ++shape) {
      const int32_t n = 200000;
      std::vector<int64_t> keys(static_cast<size_t>(n));
      for (int32_t i = 0; i < n; ++i) {
        keys[static_cast<size_t>(i)] = shape == 0 ? static_cast<int64_t>(rng() % 1000) - 500 : (shape == 1 ? i : n - i);
      }
      std::vector<int64_t> expected = keys;
      std::stable_sort(expected.begin(), expected.end());
      std::vector<int64_t> sorted = keys;
      std::vector<int32_t> index(static_cast<size_t>(n));
      ASSERT_TRUE(SortKeys(n, sorted.data(), index.data()));
      ASSERT_EQ(sorted, expected) << "seed " << seed << " shape " << shape;
      std::vector<int32_t> seen(static_cast<size_t>(n), 0);
      for (int32_t i = 0; i < n; ++i) {
        ASSERT_EQ(keys[static_cast<size_t>(index[static_cast<size_t>(i)])], sorted[static_cast<size_t>(i)]);
        ++seen[static_cast<size_t>(index[static_cast<size_t>(i)])];
      }
      EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n) << "index is a permutation";
    }
  }
}

// Builds a slot of n records with given keys in chunks of 10.
struct SlotFixture {
  TRACKSLOT slot;
  std::vector<std::vector<COLLISIONRECORD>> chunks;
  std::vector<COLLISIONRECORD*> pointers;
  explicit SlotFixture(const std::vector<COLLISIONRECORD>& records) {
    core::trackOptions.CHUNKSIZE_TRACKS = 10;
    for (size_t i = 0; i < records.size(); i += 10) {
      chunks.emplace_back(records.begin() + static_cast<long>(i),
                          records.begin() + static_cast<long>(std::min(records.size(), i + 10)));
      chunks.back().resize(10);
    }
    for (auto& c : chunks) pointers.push_back(c.data());
    slot.recordChunks = pointers.data();
    slot.nRecordChunks = static_cast<int32_t>(pointers.size());
    slot.nRecords = static_cast<int32_t>(records.size());
  }
};

TEST(TrackSort, CollisionRecordsByGenerationThenPoint) {
  std::mt19937 rng(99);
  std::vector<COLLISIONRECORD> records;
  for (uint32_t i = 0; i < 57; ++i) {
    records.push_back(COLLISIONRECORD{static_cast<uint32_t>(rng() % 5), static_cast<uint32_t>(rng() % 3), static_cast<double>(i), static_cast<uint8_t>(i), i});
  }
  SlotFixture fx(records);
  std::vector<int32_t> index(records.size());
  ASSERT_TRUE(SortCollisionRecords(fx.slot, static_cast<int32_t>(records.size()), index.data()));
  std::vector<COLLISIONRECORD> expected = records;
  std::stable_sort(expected.begin(), expected.end(), [](const COLLISIONRECORD& a, const COLLISIONRECORD& b) {
    return CollisionRecordKey(a) < CollisionRecordKey(b);
  });
  for (int32_t i = 0; i < static_cast<int32_t>(records.size()); ++i) {
    const COLLISIONRECORD& got = *CollisionRecordAt(fx.slot, i);
    EXPECT_EQ(got.energy, expected[static_cast<size_t>(i)].energy) << i;
    EXPECT_EQ(records[static_cast<size_t>(index[static_cast<size_t>(i)])].energy, got.energy) << "index follows";
  }
  core::trackOptions = TRACKOPTIONS{};
}

// A worker that records: a tracked history with a source photon that
// interacts twice and gives one secondary electron with one point.
struct TrackRun {
  CTask task{false};
  STREAMCONTROL control[1] = {{0, -1, 4}};
  int32_t quota[1] = {1};
  int32_t done[1] = {0};
  TrackRun() {
    core::trackOptions = TRACKOPTIONS{};
    core::trackOptions.NTRACKS = 1;
    core::trackOptions.CHUNKSIZE_TRACKS = 10;
    core::trackOptions.NCOLLISIONS_TRACK = 4;
    core::trackOptions.streamQuota = quota;
    core::trackOptions.streamDone = done;
    core::runStreams.streamControl = control;
    task.iStream = 0;
    AllocateTaskTracks(task);
  }
  ~TrackRun() {
    FreeTaskTracks(task);
    core::runStreams.streamControl = nullptr;
    core::trackOptions = TRACKOPTIONS{};
  }
  void At(double x, double E) {
    task.pc.pos = Init(x, 0.0, 0.0);
    task.E = E;
  }
};

TEST(Tracks, RecordingAndTracksFileGolden) {
  TrackRun run;
  CTask& t = run.task;
  t.bankCapacity = 100;
  run.At(0.0, 1000.0);
  TrackHistoryStart(t);
  run.At(1.0, 1000.0);
  t.subStep = 1;
  RecordTrackPoint(t);
  t.E = 800.0;
  t.nBanked = 1;                 // the Compton electron was pushed
  TrackSecondary(t, kOriginCompton, 200.0);
  FinishTrackPoint(t);
  run.At(2.0, 800.0);
  RecordTrackPoint(t);
  t.E = 0.0;
  FinishTrackPoint(t);
  TrackBeforePop(t);
  t.nBanked = 0;
  TrackAfterPop(t, 0);
  run.At(1.5, 150.0);
  RecordTrackPoint(t);
  FinishTrackPoint(t);
  TrackHistoryEnd(t);
  EXPECT_EQ(run.done[0], 1);
  // The fourth point reached NCOLLISIONS_TRACK: the track was cut there.
  EXPECT_LT(t.trackData->slots[0].nPoints, 0);

  const std::string path = MakeScratchFolder("tracks") + "run_tracks.txt";
  ASSERT_EQ(WriteTracksFile(path.c_str(), &t, 1, 5), 0);
  const std::string text = ReadFile(path);
  const std::string golden = std::string(TALLY_GOLDEN_FOLDER) + "tracks.txt";
  if (std::getenv("TQ_REGENERATE_GOLDEN") != nullptr) {
    ASSERT_TRUE(WriteTextFile(golden, text));
  } else {
    EXPECT_EQ(text, ReadFile(golden));
  }
  EXPECT_EQ(text.rfind("1: History No. 1\n5\n3\n", 0), 0u);
}

TEST(Tracks, CollisionLimitWarnsOncePerWorker) {
  TrackRun run;
  CTask& t = run.task;
  testing::internal::CaptureStdout();
  for (int h = 0; h < 2; ++h) {
    run.quota[0] = 1;
    run.done[0] = 0;
    run.At(0.0, 10.0);
    TrackHistoryStart(t);
    for (int i = 0; i < 5; ++i) {
      RecordTrackPoint(t);
      FinishTrackPoint(t);
    }
    TrackHistoryEnd(t);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nWarning: The number of collisions in a track exceeded 2 in thread No. 1.\n");
}

TEST(Tracks, TracksFileThatCannotBeCreated) {
  CTask none{false};
  const std::string path = MakeScratchFolder("tracks_fail") + "missing/run_tracks.txt";
  testing::internal::CaptureStdout();
  EXPECT_EQ(WriteTracksFile(path.c_str(), &none, 1, 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "File \"" + path + "\" could not be opened for writing.\n");
}

}  // namespace
