// TRANSFORM: a coordinate transformation of the complex geometry. A point p of
// the transformed body lies at t + M p in the global frame.
#pragma once

#include <cstddef>

#include "core/vector.h"

struct TRANSFORM {
  VECTOR t;     // translation (cm)
  double M[9];  // rotation, row-major: element (i, j) at 3 i + j
};

static_assert(offsetof(TRANSFORM, t) == 0);
static_assert(offsetof(TRANSFORM, M) == 24);
static_assert(sizeof(TRANSFORM) == 96);
