#include "platform/clock.h"

#include <chrono>

namespace {
// Taken during static initialisation, before main runs.
const std::chrono::steady_clock::time_point processStart = std::chrono::steady_clock::now();
}  // namespace

int64_t MillisecondsSinceStart() {
  auto elapsed = std::chrono::steady_clock::now() - processStart;
  return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

double SecondsSinceStart() {
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - processStart;
  return elapsed.count();
}
