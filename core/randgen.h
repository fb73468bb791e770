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
// times a second. A refill runs through the lag table and the draws ahead in
// one burst, so the hardware prefetchers also fetch lines beyond the
// generator's own; where these are the neighbour's written state (its lag
// table or its draws ahead), the lines pass between the two cores. With eight
// workers on photons a guard of 200 bytes let a refill cost twice as much
// processor time as with one worker; a guard of 968 bytes (2 KB a generator)
// brings it back to the one worker's cost.
//
// The steps are made kAhead at a time into `ahead`, and a draw takes the next
// one from there: the sequence is the same number for number, but a draw
// costs a load and a count, and the steps of a refill run two at a time (a
// step reads the lag table 33 and 97 steps back, never a step of its own
// pair). The lag table, c, i97 and j97 are therefore up to kAhead steps
// ahead of the draws given; RandomInitialise empties `ahead`.
class alignas(128) CRandGen {
 public:
  static constexpr int32_t kDefaultIJ = 1802;
  static constexpr int32_t kDefaultKL = 9373;
  static constexpr int32_t kMaxIJ = 31328;
  static constexpr int32_t kMaxKL = 30081;
  static constexpr int32_t kAhead = 32;  // steps made by one refill

  double u[97];         // lag table, entries in (0, 1]; u[k] is lag k + 1
  double c;             // arithmetic term
  double cd;            // its decrement
  double cm;            // its modulus
  int32_t i97;          // first lag index, 1..97
  int32_t j97;          // second lag index, 1..97
  int32_t initialised;  // non-zero once the table has been built
  int32_t ij;           // first seed, 0..31328
  int32_t kl;           // second seed, 0..30081
  int32_t nAhead;       // steps made and not yet drawn: ahead[nAhead - 1] is the next draw
  double ahead[kAhead];
  char guard[968];  // unused: keeps the neighbouring generators' written lines apart

  // Default seeds; the table is built by the first draw.
  TQ_CPU_GPU CRandGen()
      : u{},
        c(0.0),
        cd(0.0),
        cm(0.0),
        i97(0),
        j97(0),
        initialised(0),
        ij(kDefaultIJ),
        kl(kDefaultKL),
        nAhead(0),
        ahead{},
        guard{} {}

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
    nAhead = 0;
  }

  // One number in [0, 1).
  TQ_CPU_GPU double RandomUniform() { return Next(); }

  // One number in the open interval (0, 1).
  TQ_CPU_GPU double random() {
    double r;
    do {
      r = Next();
    } while (r <= 0.0 || r >= 1.0);
    return r;
  }

  // A finer number in (0, 1): two draws joined, for logarithms of small
  // numbers (flight distances, volume sources).
  TQ_CPU_GPU double random2() {
    for (;;) {
      const double r1 = Next();
      const double x = r1 + 1e-7 * RandomUniform();
      if (x <= 0.0 || x == 1.0) continue;
      return x > 1.0 ? x - 1.0 : x;
    }
  }

  // Normal deviate: ratio of uniforms with the quadratic bounds of J. L. Leva,
  // "A fast normal random number generator", ACM TOMS 18 (1992) 449.
  TQ_CPU_GPU double RandomGaussian(double mean, double sigma) {
    for (;;) {
      const double a = Next();
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
  // The next step's number in [0, 1).
  TQ_CPU_GPU double Next() {
    if (nAhead <= 0) Refill();
    return ahead[--nAhead];
  }

  // Makes the next kAhead steps; builds the table on the first draw.
  TQ_NOINLINE TQ_CPU_GPU void Refill() {
    if (initialised == 0) RandomInitialise(ij, kl);
    int32_t n = kAhead;
    while (n > 0) {
      // A run of steps in which neither lag index wraps.
      int32_t run = n < i97 ? n : i97;
      run = run < j97 ? run : j97;
      n = MakeSteps(run, n);
      i97 -= run;
      j97 -= run;
      if (i97 == 0) i97 = 97;
      if (j97 == 0) j97 = 97;
    }
    nAhead = kAhead;
  }

  // One RANMAR step on lag-table slots a and b, in [0, 1). The wraps are
  // written as selections, not branches: their outcomes are random and would
  // be mispredicted half of the time.
  TQ_CPU_GPU double StepOn(int32_t a, int32_t b) {
    double uni = u[a] - u[b];
    uni += AtMost(uni, 0.0, 1.0);  // the table holds values in (0, 1]
    u[a] = uni;
    c -= cd;
    c += Below(c, 0.0, cm);
    uni -= c;
    uni += Below(uni, 0.0, 1.0);
    return uni;
  }

  // `run` steps from slots i97 - 1 and j97 - 1 downwards, neither wrapping,
  // into ahead[n - 1] downwards; returns n less the run.
#if defined(__CUDA_ARCH__) || !defined(__SSE2__)
  TQ_CPU_GPU int32_t MakeSteps(int32_t run, int32_t n) {
    for (int32_t m = 0; m < run; ++m) ahead[--n] = StepOn(i97 - 1 - m, j97 - 1 - m);
    return n;
  }
#else
  // Two steps at a time: the high lane is the earlier step (the higher slot,
  // the higher place in `ahead`). Every value is a multiple of 2^-24 below 2,
  // so the arithmetic is exact, and c - 2 cd wrapped once is the twice
  // wrapped c of two single steps.
  int32_t MakeSteps(int32_t run, int32_t n) {
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d zero = _mm_setzero_pd();
    const __m128d modulus = _mm_set1_pd(cm);
    const __m128d decrements = _mm_set_pd(cd, 2.0 * cd);
    __m128d term = _mm_set1_pd(c);
    int32_t m = 0;
    for (; m + 1 < run; m += 2) {
      const int32_t a = i97 - 2 - m;
      const int32_t b = j97 - 2 - m;
      __m128d lag = _mm_sub_pd(_mm_loadu_pd(&u[a]), _mm_loadu_pd(&u[b]));
      lag = _mm_add_pd(lag, _mm_and_pd(_mm_cmple_pd(lag, zero), one));
      _mm_storeu_pd(&u[a], lag);
      term = _mm_sub_pd(term, decrements);
      term = _mm_add_pd(term, _mm_and_pd(_mm_cmplt_pd(term, zero), modulus));
      __m128d draw = _mm_sub_pd(lag, term);
      draw = _mm_add_pd(draw, _mm_and_pd(_mm_cmplt_pd(draw, zero), one));
      n -= 2;
      _mm_storeu_pd(&ahead[n], draw);
      term = _mm_unpacklo_pd(term, term);
    }
    c = _mm_cvtsd_f64(term);
    if (m < run) ahead[--n] = StepOn(i97 - 1 - m, j97 - 1 - m);
    return n;
  }
#endif

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
static_assert(offsetof(CRandGen, nAhead) == 820);
static_assert(offsetof(CRandGen, ahead) == 824);
static_assert(offsetof(CRandGen, guard) == 1080);
static_assert(sizeof(CRandGen) == 2048);
static_assert(alignof(CRandGen) == 128);
