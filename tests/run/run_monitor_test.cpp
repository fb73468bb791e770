// The run monitor outside a run: the tick rule, the keys, the error targets
// and the padding of the progress line.
#include "driver/run/run_monitor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/task.h"
#include "driver/run/work_division.h"
#include "platform/keys.h"
#include "tests/run/run_fixture.h"

namespace {

std::vector<double> presetErrors;
void PresetErrors(double, double) {
  for (size_t i = 0; i < run::controlEntries.size() && i < presetErrors.size(); ++i)
    run::controlEntries[i].error = presetErrors[i];
}

class RunMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(PrepareRun(2, 2, 100, nullptr), 0);
    run::controlRefresh = PresetErrors;
  }
  void TearDown() override { FinishRun(); }

  // One forced tick; returns what it printed.
  static std::string Tick(const char* keys = "", bool print = true) {
    InjectKeys(keys);
    run::lastTick = -2.0;
    testing::internal::CaptureStdout();
    ShowProgress(false, print);
    return testing::internal::GetCapturedStdout();
  }

  static CONTROLENTRY Entry(const char* label, double target, int32_t kind = kAvgErr) {
    return CONTROLENTRY{kPlaneFamily, 2, 0, kind, target, 0.0, label};
  }
};

const char* const kEscMessage =
    "\nThe escape key has been pressed. Press Q to terminate the simulation, or any other key except 'Esc' to cancel "
    "the escape key.\n";
const char* const kQMessage = "\nThe 'Esc' and 'Q' keys have been pressed. Terminating the simulation.\n";
const char* const kCancelMessage =
    "\nThe escape key has been cancelled. Press 'Esc' again to attempt to terminate the simulation.\n";

}  // namespace

TEST_F(RunMonitorTest, TicksAtMostOnceASecond) {
  Tick();
  const double tick = run::lastTick;
  EXPECT_GE(tick, 0.0);
  testing::internal::CaptureStdout();
  ShowProgress(false, true);  // well within the second
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(run::lastTick, tick);
}

// The line names the active workers: thread, history number + 1, banked.
TEST_F(RunMonitorTest, LineShowsProgressAndWorkers) {
  const std::string line = Tick();
  EXPECT_NE(line.find(" s: 0 / 100 (0.000 %), active threads - 1:1 (-1), 2:2 (-1)."), std::string::npos) << line;
  EXPECT_EQ(line.back(), '\r');
}

TEST_F(RunMonitorTest, EscapeThenQRequestsTermination) {
  struct CASE {
    std::vector<const char*> ticks;  // keys typed before each tick
    std::string messages;            // all that the key handling printed
    bool terminate;
  };
  const std::string esc = kEscMessage, q = kQMessage, cancel = kCancelMessage;
  const CASE cases[] = {
      {{"\x1b", "q"}, esc + q, true},
      {{"\x1b", "x", "Q"}, esc + cancel, false},  // any other key cancels, and Q alone does nothing
      {{"\x1b", "\x1b", "Q"}, esc + q, true},      // a second Esc changes nothing
      {{"\x1bQ"}, "", false},                      // of the keys of one tick only the last counts
  };
  for (const CASE& c : cases) {
    FinishRun();
    ASSERT_EQ(PrepareRun(2, 2, 100, nullptr), 0);
    std::string printed;
    for (const char* keys : c.ticks) {
      const std::string out = Tick(keys);
      const size_t end = out.rfind('\n');
      if (end != std::string::npos) printed += out.substr(0, end + 1);
    }
    EXPECT_EQ(printed, c.messages) << c.ticks.size() << " ticks";
    EXPECT_EQ(run::terminateRequested, c.terminate);
    EXPECT_EQ(run::endSimulation.load(), 0);  // the termination itself is made at the next tick
    if (c.terminate) {
      Tick();
      EXPECT_EQ(run::endSimulation.load(), 1);
    }
  }
}

// An error target is met only by 0 < error < target; the entry quoted is the
// first without an estimate, else the first of the largest ratio.
TEST_F(RunMonitorTest, ErrorTargetsAndTheQuotedEntry) {
  struct CASE {
    std::vector<double> targets;
    std::vector<double> errors;
    bool met;
    std::string tail;
  };
  const CASE cases[] = {
      {{0.1}, {0.1}, false, " AvgErr (A) = 10% / 10%"},
      {{0.1}, {0.0}, false, " AvgErr (A) = 0% / 10%"},
      {{0.1}, {0.05}, true, " AvgErr (A) = 5% / 10%"},
      {{0.1, 0.1}, {0.09, 0.0}, false, " AvgErr (B) = 0% / 10%"},
      {{0.1, 0.2}, {0.05, 0.1}, true, " AvgErr (A) = 5% / 10%"},
      {{0.1, 0.2}, {0.02, 0.1}, true, " AvgErr (B) = 10% / 20%"},
  };
  for (const CASE& c : cases) {
    FinishRun();
    ASSERT_EQ(PrepareRun(2, 2, 100, nullptr), 0);
    run::controlRefresh = PresetErrors;
    run::controlEntries = {Entry("A", c.targets[0])};
    if (c.targets.size() > 1) run::controlEntries.push_back(Entry("B", c.targets[1]));
    presetErrors = c.errors;
    const std::string line = Tick();
    EXPECT_NE(line.find(c.tail + "\r"), std::string::npos) << line;
    EXPECT_EQ(run::terminateRequested, c.met) << c.tail;
    EXPECT_EQ(run::endSimulation.load(), c.met ? 1 : 0) << c.tail;
  }
}

// Targets met while a re-deal is pending: the request stays, even when an
// error rises again, and the run ends at the first tick without the re-deal.
TEST_F(RunMonitorTest, TerminationWaitsForAPendingRedeal) {
  run::controlEntries = {Entry("A", 0.1)};
  presetErrors = {0.05};
  run::redealStreams.store(1);
  Tick();
  EXPECT_TRUE(run::terminateRequested);
  EXPECT_EQ(run::endSimulation.load(), 0);
  presetErrors = {0.5};
  run::redealStreams.store(0);
  Tick();
  EXPECT_EQ(run::endSimulation.load(), 1);
  EXPECT_EQ(run::hostParticleShare, 0u);  // no history had started
}

// A shorter line is padded to the last printed length; without printing the
// remembered length stays.
TEST_F(RunMonitorTest, ShorterLinesArePaddedToThePreviousLength) {
  const size_t natural = Tick().size() - 1;
  run::lastLineLength = 300;
  EXPECT_EQ(Tick("", false), "");
  EXPECT_EQ(run::lastLineLength, 300);
  const std::string padded = Tick();
  EXPECT_EQ(padded.size(), 301u);
  EXPECT_EQ(padded.find_first_not_of(' ', natural), 300u);
  EXPECT_EQ(run::lastLineLength, static_cast<int32_t>(natural));
}
