// Table lookup and inverse-cumulative sampling over the tables built at set-up.
//
// A grid is n ascending doubles g[0..n-1]; interval i is [g[i], g[i+1]).
// Every search returns an interval in [0, n-2]: a value below the grid belongs
// to interval 0, a value at or above its last point to interval n-2. Callers
// keep one hint per table and pass it back as the start of the next search.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/fast_math.h"
#include "core/hostdevice.h"
#include "core/indexdata.h"

// Largest interval of a grid of n points; grids have at least two points.
TQ_CPU_GPU inline int16_t LastInterval(int16_t n) { return n >= 2 ? static_cast<int16_t>(n - 2) : int16_t{0}; }

// Halving search from a start index: the i with g[i] <= x < g[i+1], clamped to
// [0, n-2]. A start outside [0, n-2] is moved to the nearest end of that range.
TQ_CPU_GPU inline int16_t SearchFrom(double x, const double* g, int16_t n, int16_t start) {
  const int16_t last = LastInterval(n);
  int lo = 0;
  int hi = n - 1;
  int i = start < 0 ? 0 : (start > last ? last : start);
  int step;
  do {
    if (x >= g[i]) {
      lo = i;
      step = (hi - i) / 2;
    } else {
      hi = i;
      step = (lo - i) / 2;
    }
    i += step;
  } while (step != 0);
  return static_cast<int16_t>(lo > last ? last : lo);
}

// Interval of x; a hint that is negative or not below n starts the search in
// the middle of the grid.
TQ_CPU_GPU inline int16_t Find(double x, const double* g, int16_t n, int16_t hint) {
  if (hint < 0 || hint >= n) hint = static_cast<int16_t>(n / 2);
  return SearchFrom(x, g, n, hint);
}

// Linear interpolation a[i] + (x - g[i]) b[i]; 0 outside [g[0], g[n-1]) (the
// last point itself included), with the hint left unchanged there.
TQ_CPU_GPU inline double Interp(double x, const double* g, const double* a, const double* b, int16_t n, int16_t& hint) {
  if (x < g[0] || x >= g[n - 1]) return 0.0;
  const int16_t i = SearchFrom(x, g, n, hint);
  hint = i;
  return a[i] + (x - g[i]) * b[i];
}

// Interval of x on a grid of n points with its buckets (core/indexdata.h),
// for g[0] <= x < g[n-1]: the halving search over the few points of x's
// bucket, the interval that SearchFrom finds over the whole grid. Without
// buckets the whole grid is searched from `start`.
TQ_CPU_GPU inline int16_t FindInBuckets(double x, const double* g, int16_t n, const GRIDBUCKETS& buckets,
                                        int16_t start) {
  if (buckets.count <= 0) return SearchFrom(x, g, n, start);
  const int32_t b = GridBucket(buckets, x);
  const int16_t* first = buckets.first.table();
  const int32_t last = LastInterval(n);
  const int32_t hi = first[b + 1] - 1 < last ? first[b + 1] - 1 : last;
  int32_t lo = first[b] - 1 > 0 ? first[b] - 1 : 0;
  lo = lo < hi ? lo : hi;
  if (lo == hi) return static_cast<int16_t>(lo);
  return static_cast<int16_t>(lo + SearchFrom(x, g + lo, static_cast<int16_t>(hi - lo + 2), 0));
}

// Log-log interpolation: g and a hold logarithms, x is the logarithm of the
// abscissa; returns exp(a[i] + (x - g[i]) b[i]), 0 outside the grid. The
// interval is found with the grid's buckets, if it has them.
TQ_CPU_GPU inline double InterpLog(double x, const double* g, const double* a, const double* b, int16_t n,
                                   const GRIDBUCKETS& buckets, int16_t& hint) {
  if (x < g[0] || x >= g[n - 1]) return 0.0;
  const int16_t i = FindInBuckets(x, g, n, buckets, hint);
  hint = i;
  return FastExp(a[i] + (x - g[i]) * b[i]);
}

TQ_CPU_GPU inline double InterpLog(double x, const double* g, const double* a, const double* b, int16_t n,
                                   int16_t& hint) {
  return InterpLog(x, g, a, b, n, GRIDBUCKETS{}, hint);
}

// Bin of the index that holds the transformed value t, kept inside the table
// (a value beyond the covered range or not a number reads the end entries).
// Index is INDEXDATA or ELEMINDEX (core/indexdata.h).
template <typename Index>
TQ_CPU_GPU inline int32_t IndexBin(const Index& index, double t) {
  const double bin = (t - index.tStart) * index.invStep;
  const int32_t lastBin = (int32_t{1} << index.exponent);  // 2^k + 1 entries
  if (!(bin >= 0.0)) return 0;
  if (bin >= static_cast<double>(lastBin)) return lastBin;
  return static_cast<int32_t>(bin);
}

TQ_CPU_GPU inline int ClampToRange(int i, int lowest, int highest) { return i < lowest ? lowest : (i > highest ? highest : i); }

TQ_CPU_GPU inline int16_t ClampInterval(int i, int16_t n) { return static_cast<int16_t>(ClampToRange(i, 0, LastInterval(n))); }

// The logarithm of the last value given: the two tables around an energy are
// sampled with one probability, and their logarithmic indexes need its
// logarithm (or that of its distance from the top, 1 on most tables) twice.
struct LOGMEMO {
  double x = 0.0;
  double ln = 0.0;
  bool held = false;
  TQ_CPU_GPU double Of(double v) {
    if (!held || v != x) {
      x = v;
      ln = FastLog(v);
      held = true;
    }
    return ln;
  }
};

TQ_CPU_GPU inline double LogOf(double x, LOGMEMO* memo) { return memo != nullptr ? memo->Of(x) : FastLog(x); }

// Interval of x through a fast index built over the grid g: one multiplication,
// one table read and at most two comparisons. Index type 0 (none) searches the
// whole grid by halving from `start`. Linear and logarithmic indexes step down
// from the entry; reverse logarithmic ones (ln of the distance from the top of
// the grid) step up, and give a value equal to a grid point the interval below
// that point. Entries and results are kept on the grid whatever x is.
template <typename Index>
TQ_CPU_GPU inline int16_t FindIndexed(double x, const double* g, int16_t n, const Index& index, int16_t start,
                                      LOGMEMO* memo = nullptr) {
  if (index.indexType == 0) return SearchFrom(x, g, n, start);
  if (index.indexType > -3) {
    if (x < index.xStart) return ClampInterval(index.indexOffset, n);
    const double t = index.indexType > 0 ? x : LogOf(x, memo);
    int i = ClampToRange(IndexEntry(index, IndexBin(index, t)), 0, LastInterval(n));
    if (x < g[i] && i > 0) {
      --i;
      if (x < g[i] && i > 0) --i;
    }
    return static_cast<int16_t>(i);
  }
  const double distance = index.xMax - x;
  if (distance < index.xStart) return ClampInterval(n - index.indexOffset - 2, n);
  int j = ClampToRange(n - 1 - IndexEntry(index, IndexBin(index, LogOf(distance, memo))), 1, n - 1);
  if (j < n - 1 && x > g[j]) {
    ++j;
    if (j < n - 1 && x > g[j]) ++j;
  }
  return static_cast<int16_t>(j - 1);
}

// Value of x at cumulative probability u on interval i of a sampling table:
// points x, densities p, cumulative probabilities C and inverse density
// slopes s (0 where the density is constant). quadratic = 0 takes the density
// as constant at the mean of the interval's ends; otherwise the linear density
// is inverted exactly.
TQ_CPU_GPU inline double ValueOnInterval(double u, const double* x, const double* p, const double* C, const double* s, int16_t i,
                                         int quadratic) {
  const double excess = u - C[i];
  if (quadratic == 0) return x[i] + 2.0 * excess / (p[i] + p[i + 1]);
  if (s[i] == 0.0) return x[i] + excess / p[i];
  // Solve C[i] + p[i] (y - x[i]) + (y - x[i])^2 / (2 s[i]) = u for y - x[i].
  const double beta = -p[i] * s[i];
  double discriminant = beta * beta + 2.0 * excess * s[i];
  if (discriminant < 0.0) discriminant = 0.0;  // rounding where the density falls to 0
  return s[i] > 0.0 ? x[i] + beta + sqrt(discriminant) : x[i] + beta - sqrt(discriminant);
}

// Inverse-cumulative sampling: the x at cumulative probability u, searching C
// from `start`; the interval used is stored in `interval`.
TQ_CPU_GPU inline double ValueFromProb(double u, const double* x, const double* p, const double* C, const double* s, int16_t n,
                                       int16_t start, int quadratic, int16_t& interval) {
  interval = SearchFrom(u, C, n, start);
  return ValueOnInterval(u, x, p, C, s, interval, quadratic);
}

// The same, with the interval of u found through the fast index over C.
template <typename Index>
TQ_CPU_GPU inline double ValueFromProbIndexed(double u, const double* x, const double* p, const double* C,
                                              const double* s, const Index* index, int16_t n, int16_t start,
                                              int quadratic, int16_t& interval, LOGMEMO* memo = nullptr) {
  interval = FindIndexed(u, C, n, *index, start, memo);
  return ValueOnInterval(u, x, p, C, s, interval, quadratic);
}

// Device names of the same functions.
TQ_CPU_GPU inline int16_t Find2(double x, const double* g, int16_t n, int16_t hint) { return Find(x, g, n, hint); }
TQ_CPU_GPU inline double Interp2(double x, const double* g, const double* a, const double* b, int16_t n, int16_t& hint) {
  return Interp(x, g, a, b, n, hint);
}
TQ_CPU_GPU inline double InterpLog2(double x, const double* g, const double* a, const double* b, int16_t n, int16_t& hint) {
  return InterpLog(x, g, a, b, n, hint);
}
TQ_CPU_GPU inline double ValueFromProb2(double u, const double* x, const double* p, const double* C, const double* s, int16_t n,
                                        int16_t start, int quadratic, int16_t& interval) {
  return ValueFromProb(u, x, p, C, s, n, start, quadratic, interval);
}
