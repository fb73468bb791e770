// Tally files written by the run monitor while the workers score: the files
// are summed from snapshots that the workers take between two histories, so
// the monitor never reads an array a worker is adding to (the thread
// sanitizer build checks it) and every interim file holds whole histories.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/pulse_height.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/input/input_passes.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/run_loop.h"
#include "driver/run/run_monitor.h"
#include "tests/run/run_fixture.h"
#include "tests/support/test_paths.h"

namespace {

constexpr int32_t kBins = 4;
constexpr int kSteps = 3;  // steps per history, each scoring every bin
constexpr int kWorkers = 4;
int stepsOfHistory[kWorkers];  // per record, written by the record's thread only

std::atomic<int> interimWrites{0};
std::vector<std::string> interimFiles;  // the file as the monitor left it, per write (main thread only)
std::string tallyPath;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The monitor's refresh, followed by a look at the file it left.
void RefreshAndRead(double now, double invHistories) {
  CollectDeviceTallies(now, invHistories);
  interimFiles.push_back(ReadFile(tallyPath));
  ++interimWrites;
}

// Every interaction of a history adds one count to every bin, in bin order:
// a reader that caught a worker between two bins would see unequal bins.
// Worker 0 (the main thread, as the monitor) forces a tick at every step: the
// next tick calls the monitor, which then reads the clock.
int32_t ScoringStep(CTask& t) {
  for (int32_t b = 0; b < kBins; ++b) ++t.pulseHeightHist[0][b];
  if (t.threadNo == 0) {
    run::lastTick = -2.0;
    t.ticksUntilMonitorCall = 1;
  }
  t.photonSurvival = 0;
  if (++stepsOfHistory[t.threadNo] < kSteps) return kStepGoesOn;
  stepsOfHistory[t.threadNo] = 0;
  return kStepInteraction;
}

// The N column of a pulse-height file ("E\tN\tRelSDev" and one line per bin).
std::vector<long long> CountsOf(const std::string& text) {
  std::vector<long long> counts;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) counts.push_back(std::atoll(line.c_str() + tab + 1));
  }
  return counts;
}

}  // namespace

TEST(InterimTallies, FilesWrittenDuringTheRunHoldWholeHistoriesOnly) {
  const std::string folder = MakeScratchFolder("interim-tallies");
  DefineWatchedPulseHeightTally(kBins, CONTROLTALLY{0, -1, 0.0});
  for (int& n : stepsOfHistory) n = 0;
  ASSERT_EQ(PrepareRun(kWorkers, 8, 3000, ScoringStep), 0);
  input::filesFolder = folder + "Files";
  tallyPath = input::filesFolder + "/PulseHeight.txt";
  BuildControlEntries();
  ASSERT_TRUE(PrepareTallySnapshots());
  interimWrites = 0;
  interimFiles.clear();
  run::controlRefresh = RefreshAndRead;
  testing::internal::CaptureStdout();
  const int code = RunLoop();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 0);
  EXPECT_EQ(CloseTallyFiles(), 0);
  FinishRun();
  ForgetPulseHeightTallies();

  ASSERT_GT(interimWrites.load(), 10);
  int nonEmpty = 0;
  for (const std::string& text : interimFiles) {
    const std::vector<long long> counts = CountsOf(text);
    ASSERT_EQ(counts.size(), static_cast<size_t>(kBins)) << text;
    // Whole histories: kSteps counts per history in every bin alike.
    for (int32_t b = 1; b < kBins; ++b) EXPECT_EQ(counts[static_cast<size_t>(b)], counts[0]) << text;
    EXPECT_EQ(counts[0] % kSteps, 0) << text;
    EXPECT_LE(counts[0], 3000LL * kSteps);
    nonEmpty += counts[0] > 0 ? 1 : 0;
  }
  EXPECT_GT(nonEmpty, 0);
}
