// CRandGen: the RANMAR generator of G. Marsaglia and A. Zaman ("Toward a
// universal random number generator", Stat. Prob. Lett. 9 (1990) 35), a lagged
// Fibonacci sequence u(n) = u(n-97) - u(n-33) mod 1 combined with an
// arithmetic sequence of period 2^24 - 3. One object per random-number stream;
// the same object runs on the host and on the devices (device name CRandGen2),
// so every field is plain data in a fixed order.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"

#if !defined(__CUDA_ARCH__) && defined(__SSE2__)
#include <emmintrin.h>
#endif

// Each generator has cache lines of its own, and guard lines after them: the
// workers draw from neighbouring generators of the stream table millions of
// times a second. The lag table is read downwards line by line, so the
// hardware prefetchers also fetch the lines next to a generator; without the
// guard they fetch the neighbour's state (c, i97, written at every draw) and
// the line passes between the two cores (8 workers ran at 81-90 % of eight
// times one worker's speed, 98 % with the guard).
class alignas(128) CRandGen {
 public:
  static constexpr int32_t kDefaultIJ = 1802;
  static constexpr int32_t kDefaultKL = 9373;
  static constexpr int32_t kMaxIJ = 31328;
  static constexpr int32_t kMaxKL = 30081;

  double u[97];         // lag table, entries in (0, 1]; u[k] is lag k + 1
  double c;             // arithmetic term
  double cd;            // its decrement
  double cm;            // its modulus
  int32_t i97;          // first lag index, 1..97
  int32_t j97;          // second lag index, 1..97
  int32_t initialised;  // non-zero once the table has been built
  int32_t ij;           // first seed, 0..31328
  int32_t kl;           // second seed, 0..30081
  char guard[204];      // unused: keeps the neighbouring generator's lines apart

  // Default seeds; the table is built by the first draw.
  TQ_CPU_GPU CRandGen()
      : u{}, c(0.0), cd(0.0), cm(0.0), i97(0), j97(0), initialised(0), ij(kDefaultIJ), kl(kDefaultKL), guard{} {}

  // Builds the lag table from the seeds ij (0..31328) and kl (0..30081); seeds
  // outside these ranges are replaced by the defaults 1802 and 9373.
  TQ_CPU_GPU void RandomInitialise(int32_t seedIJ, int32_t seedKL) {
    if (static_cast<uint32_t>(seedIJ) > static_cast<uint32_t>(kMaxIJ) ||
        static_cast<uint32_t>(seedKL) > static_cast<uint32_t>(kMaxKL)) {
      seedIJ = kDefaultIJ;
      seedKL = kDefaultKL;
    }
    ij = seedIJ;
    kl = seedKL;
    int32_t i = (seedIJ / 177) % 177 + 2;
    int32_t j = seedIJ % 177 + 2;
    int32_t k = (seedKL / 169) % 178 + 1;
    int32_t l = seedKL % 169;
    for (int entry = 0; entry < 97; ++entry) {
      double s = 0.0;
      double t = 0.5;
      for (int bit = 0; bit < 24; ++bit) {
        const int32_t m = ((i * j) % 179 * k) % 179;
        i = j;
        j = k;
        k = m;
        l = (53 * l + 1) % 169;
        if ((l * m) % 64 >= 32) s += t;
        t /= 2.0;
      }
      u[entry] = s;
    }
    c = 362436.0 / 16777216.0;
    cd = 7654321.0 / 16777216.0;
    cm = 16777213.0 / 16777216.0;
    i97 = 97;
    j97 = 33;
    initialised = 1;
  }

  // One number in [0, 1).
  TQ_CPU_GPU double RandomUniform() { return Step(); }

  // One number in the open interval (0, 1).
  TQ_CPU_GPU double random() {
    double r;
    do {
      r = Step();
    } while (r <= 0.0 || r >= 1.0);
    return r;
  }

  // A finer number in (0, 1): two draws joined, for logarithms of small
  // numbers (flight distances, volume sources).
  TQ_CPU_GPU double random2() {
    for (;;) {
      const double r1 = Step();
      const double x = r1 + 1e-7 * RandomUniform();
      if (x <= 0.0 || x == 1.0) continue;
      return x > 1.0 ? x - 1.0 : x;
    }
  }

  // Normal deviate: ratio of uniforms with the quadratic bounds of J. L. Leva,
  // "A fast normal random number generator", ACM TOMS 18 (1992) 449.
  TQ_CPU_GPU double RandomGaussian(double mean, double sigma) {
    for (;;) {
      const double a = Step();
      const double b = RandomUniform();
      if (a <= 0.0 || b <= 0.0) continue;
      const double v = 1.7156 * (b - 0.5);
      const double x = a - 0.449871;
      const double y = fabs(v) + 0.386595;
      const double q = x * x + y * (0.196 * y - 0.25472 * x);
      if (q < 0.27597 || (q <= 0.27846 && v * v <= -4.0 * a * a * log(a))) return mean + sigma * v / a;
    }
  }

 private:
  // One RANMAR step in [0, 1); builds the table on the first draw.
  TQ_CPU_GPU double Step() {
    if (initialised == 0) RandomInitialise(ij, kl);
    // The wraps are written as selections, not branches: their outcomes are
    // random and would be mispredicted half of the time.
    double uni = u[i97 - 1] - u[j97 - 1];
    uni += AtMost(uni, 0.0, 1.0);  // the table holds values in (0, 1]
    u[i97 - 1] = uni;
    i97 = i97 == 1 ? 97 : i97 - 1;
    j97 = j97 == 1 ? 97 : j97 - 1;
    c -= cd;
    c += Below(c, 0.0, cm);
    uni -= c;
    uni += Below(uni, 0.0, 1.0);
    return uni;
  }

  // v when x <= limit (AtMost) or x < limit (Below), else 0. On the host the
  // comparison's mask is and-ed with v, one instruction; the compiler's own
  // selection also blends in the zero.
#if defined(__CUDA_ARCH__) || !defined(__SSE2__)
  TQ_CPU_GPU static double AtMost(double x, double limit, double v) { return x <= limit ? v : 0.0; }
  TQ_CPU_GPU static double Below(double x, double limit, double v) { return x < limit ? v : 0.0; }
#else
  static double AtMost(double x, double limit, double v) {
    return _mm_cvtsd_f64(_mm_and_pd(_mm_cmple_sd(_mm_set_sd(x), _mm_set_sd(limit)), _mm_set_sd(v)));
  }
  static double Below(double x, double limit, double v) {
    return _mm_cvtsd_f64(_mm_and_pd(_mm_cmplt_sd(_mm_set_sd(x), _mm_set_sd(limit)), _mm_set_sd(v)));
  }
#endif
};
using CRandGen2 = CRandGen;

// The host and device copies of randGens must agree field by field.
static_assert(offsetof(CRandGen, u) == 0);
static_assert(offsetof(CRandGen, c) == 776);
static_assert(offsetof(CRandGen, cd) == 784);
static_assert(offsetof(CRandGen, cm) == 792);
static_assert(offsetof(CRandGen, i97) == 800);
static_assert(offsetof(CRandGen, j97) == 804);
static_assert(offsetof(CRandGen, initialised) == 808);
static_assert(offsetof(CRandGen, ij) == 812);
static_assert(offsetof(CRandGen, kl) == 816);
static_assert(sizeof(CRandGen) == 1024);
static_assert(offsetof(CRandGen, guard) == 820);
static_assert(alignof(CRandGen) == 128);
