// The check of the two limits of a tally binning range or of a LIM clause, in
// the units of the input (degrees for THETA and PHI).
#pragma once

#include <cstdio>

#include "core/tally.h"
#include "driver/status.h"

// Returns kOk when first and second are acceptable limits of quantity `kind`,
// kInputError after printing the message that names the range (`name`). Every
// comparison is written so that a NaN fails it.
inline Status CheckTallyLimits(int kind, double first, double second, const char* name) {
  const double a = first;
  const double b = second;
  switch (kind) {
    case kQuantityE:
    case kQuantityR:
      if (a < b && b > 0.0) return kOk;
      printf(
          "Error in values of limits of %s (the first limit must be less than the second one, and the second limit "
          "must be positive).\n",
          name);
      return kInputError;
    case kQuantityTheta:
      if (a < b && b > 0.0 && b <= 180.0) return kOk;
      printf(
          "Error in values of limits of %s (the first limit must be less than the second one, and the second limit "
          "must be between 0 and 180).\n",
          name);
      return kInputError;
    case kQuantityMu:
      if (a < b && b > -1.0 && b <= 1.0) return kOk;
      printf(
          "Error in values of limits of %s (the first limit must be less than the second one, and the second limit "
          "must be between -1 and 1).\n",
          name);
      return kInputError;
    case kQuantityPhi: {
      const bool fromZero = a >= 0.0 && b <= 360.0;
      const bool symmetric = a >= -180.0 && a < 0.0 && b <= 180.0;
      if (a < b && b - a <= 360.0 && (fromZero || symmetric)) return kOk;
      printf(
          "Error in values of limits of %s.\n[The first limit must be less than the second one, the range must not "
          "exceed 360, and both limits must be either between -180 and 180 (when first limit is negative) or between 0 "
          "and 360 (when first limit is non-negative).]\n",
          name);
      return kInputError;
    }
    case kQuantityX:
    case kQuantityY:
      if (a < b) return kOk;
      printf("Error in values of limits of %s (the first limit must be less than the second one).\n", name);
      return kInputError;
    default:
      return kOk;
  }
}
