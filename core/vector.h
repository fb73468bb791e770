// VECTOR: three doubles (a position in cm, a unit direction, a momentum in eV
// or any difference of these) and PARTICLECOORD, a particle's position and
// direction. The host and the device share these types: every operator is
// marked TQ_CPU_GPU, and the device name VECTOR2 is the same type.
#pragma once

#include <cmath>
#include <cstddef>

#include "core/hostdevice.h"

struct VECTOR {
  double x;
  double y;
  double z;
};
using VECTOR2 = VECTOR;

static_assert(offsetof(VECTOR, x) == 0);
static_assert(offsetof(VECTOR, y) == 8);
static_assert(offsetof(VECTOR, z) == 16);
static_assert(sizeof(VECTOR) == 24);

TQ_CPU_GPU inline VECTOR Init(double x, double y, double z) { return VECTOR{x, y, z}; }

// Widens the box [lo, hi] to take in point r. A box whose lo.x lies above
// its hi.x is empty: it becomes the point.
TQ_CPU_GPU inline void WidenBox(VECTOR& lo, VECTOR& hi, VECTOR r) {
  if (lo.x > hi.x) {
    lo = r;
    hi = r;
    return;
  }
  lo = Init(fmin(lo.x, r.x), fmin(lo.y, r.y), fmin(lo.z, r.z));
  hi = Init(fmax(hi.x, r.x), fmax(hi.y, r.y), fmax(hi.z, r.z));
}

TQ_CPU_GPU inline VECTOR operator-(VECTOR a) { return VECTOR{-a.x, -a.y, -a.z}; }

TQ_CPU_GPU inline VECTOR operator-(VECTOR a, VECTOR b) { return VECTOR{a.x - b.x, a.y - b.y, a.z - b.z}; }

TQ_CPU_GPU inline VECTOR operator-=(VECTOR& a, VECTOR b) {
  a.x -= b.x;
  a.y -= b.y;
  a.z -= b.z;
  return a;
}

TQ_CPU_GPU inline VECTOR operator+(VECTOR a, VECTOR b) { return VECTOR{a.x + b.x, a.y + b.y, a.z + b.z}; }

TQ_CPU_GPU inline VECTOR operator+=(VECTOR& a, VECTOR b) {
  a.x += b.x;
  a.y += b.y;
  a.z += b.z;
  return a;
}

// Dot product. Products of two vectors are spelled Dot and Cross; the
// operators that could stand for them are deleted.
TQ_CPU_GPU inline double Dot(VECTOR a, VECTOR b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double operator*(VECTOR a, VECTOR b) = delete;

TQ_CPU_GPU inline VECTOR operator*(double s, VECTOR a) { return VECTOR{s * a.x, s * a.y, s * a.z}; }

TQ_CPU_GPU inline VECTOR operator*(VECTOR a, double s) { return VECTOR{a.x * s, a.y * s, a.z * s}; }

// Three divisions rather than one reciprocal, so that a / |a| rounds the same
// way on every build.
TQ_CPU_GPU inline VECTOR operator/(VECTOR a, double s) { return VECTOR{a.x / s, a.y / s, a.z / s}; }

TQ_CPU_GPU inline VECTOR operator/=(VECTOR& a, double s) {
  a.x /= s;
  a.y /= s;
  a.z /= s;
  return a;
}

// Cross product a x b (operand order matters).
TQ_CPU_GPU inline VECTOR Cross(VECTOR a, VECTOR b) {
  return VECTOR{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
VECTOR operator&(VECTOR a, VECTOR b) = delete;

TQ_CPU_GPU inline double Norm(VECTOR a) { return sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// A particle's coordinates: position (cm), then direction (a momentum vector of
// length p c in eV; a unit vector where the owner says so).
struct PARTICLECOORD {
  VECTOR pos;
  VECTOR dir;
};

static_assert(offsetof(PARTICLECOORD, pos) == 0);
static_assert(offsetof(PARTICLECOORD, dir) == 24);
static_assert(sizeof(PARTICLECOORD) == 48);
