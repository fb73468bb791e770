#include "geometry/setup_progress.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"

namespace geometry {
const char* const kSetupPhaseText[kSetupPhaseCount] = {
    "Checking if there are no intersecting cells",
    "Defining the voxel data",
    "Merging voxels",
    "Preparing to calculate the cell volumes",
    "Calculating the cell volumes",
};

SetupProgress setupProgress = {0.0, 0.0, 0};
}  // namespace geometry

double SetupProgressClock() { return static_cast<double>(MillisecondsSinceStart()) * 0.001; }

void RestartSetupProgress(SetupProgress* state, double nowSeconds, bool resetLength) {
  state->phaseStart = nowSeconds;
  state->lastLineTime = 0.0;
  if (resetLength) state->lastLineLength = 0;
}

int32_t ComposeSetupProgress(SetupProgress* state, double nowSeconds, int32_t phase, int64_t done, int64_t total,
                             char line[kSetupLineCapacity]) {
  // Once-a-second gate.
  const double elapsed = nowSeconds - state->phaseStart;
  if (!(elapsed - state->lastLineTime > 1.0)) return 0;

  // Phase text and figures; a phase outside the table prints its figures only.
  const char* text = phase >= 0 && phase < kSetupPhaseCount ? geometry::kSetupPhaseText[phase] : "";
  const double percent = total != 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 0.0;
  int n = snprintf(line, kSetupLineCapacity, "%s: %-.0f s (%-.3f %%)", text, elapsed, percent);
  if (n < 0) n = 0;
  if (n > static_cast<int>(kSetupLineCapacity) - 1) n = static_cast<int>(kSetupLineCapacity) - 1;
  const int32_t length = n;

  // Blanks over the rest of the previous line.
  int32_t padded = length;
  const int32_t limit = static_cast<int32_t>(kSetupLineCapacity) - 1;
  const int32_t target = state->lastLineLength < limit ? state->lastLineLength : limit;
  if (padded < target) {
    memset(line + padded, ' ', static_cast<size_t>(target - padded));
    padded = target;
  }
  line[padded] = '\0';

  state->lastLineLength = length;
  state->lastLineTime = elapsed;
  return padded;
}

void ShowSetupProgress(int32_t phase, int64_t done, int64_t total) {
  char line[kSetupLineCapacity];
  if (ComposeSetupProgress(&geometry::setupProgress, SetupProgressClock(), phase, done, total, line) > 0) {
    printf("%s\r", line);
    fflush(stdout);
  }
}
