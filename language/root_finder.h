// The working state of one root search of Root and Root2: the variables of
// the Shampine-Watts zero finder (SLATEC's DFZERO) kept between the steps of
// its reverse-communication form. A search starts from the template that the
// Compiler holds (machIndex 4, one 1.0, everything else 0).
#pragma once

#include <cstdint>

struct ZEROFINDERSTATE {
  int32_t machIndex;  // 4: the index of d1mach that gives the machine epsilon
  double one;         // 1.0, for the sign tests
  double A, P, Q, ER, AW, FA, FB, FC;
  int32_t IC;         // steps since the last good reduction of the interval
  double RW, FX, CMB, TOL, ACMB, ACBS;
  int32_t KOUNT;      // function values used
};

inline constexpr ZEROFINDERSTATE kZeroFinderTemplate = {4, 1.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
