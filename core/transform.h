// TRANSFORM: a coordinate transformation TR<n> of the complex geometry, used
// while the input is read. A point p of the transformed body lies at t + M p in
// the global frame; the columns of M are the auxiliary axes in the main frame.
// The identifier follows the matrix so that {t, M} initialisers stay valid.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/vector.h"

struct TRANSFORM {
  VECTOR t;     // translation (cm)
  double M[9];  // rotation, row-major: element (i, j) at 3 i + j
  int32_t identifier = 0;  // n of TR<n>
};

constexpr int kMaxTransforms = 10000;  // records of the transformation table

static_assert(offsetof(TRANSFORM, t) == 0);
static_assert(offsetof(TRANSFORM, M) == 24);
static_assert(offsetof(TRANSFORM, identifier) == 96);
static_assert(sizeof(TRANSFORM) == 104);
