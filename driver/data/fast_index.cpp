#include "driver/data/fast_index.h"

#include <bit>
#include <climits>
#include <cmath>
#include <vector>

int SearchFromHint(double x, const double* grid, int16_t n, int16_t hint) {
  int h = hint;
  if (h < 0 || h >= n) h = n / 2;
  if (x > grid[h]) {
    // Upward scan, four points per round, for the first grid[i] >= x.
    int i = h + 1;
    while (i + 3 < n) {
      if (x <= grid[i]) break;
      if (x <= grid[i + 1]) { i += 1; break; }
      if (x <= grid[i + 2]) { i += 2; break; }
      if (x <= grid[i + 3]) { i += 3; break; }
      i += 4;
    }
    while (i < n && x > grid[i]) ++i;
    if (i >= n) return n - 1;
    return x == grid[i] ? i : i - 1;
  }
  if (!(x <= grid[h])) return h;  // not a number
  // Downward scan for the largest i <= hint with grid[i] <= x.
  int i = h;
  while (i >= 4) {
    if (grid[i] <= x) return i;
    if (grid[i - 1] <= x) return i - 1;
    if (grid[i - 2] <= x) return i - 2;
    if (grid[i - 3] <= x) return i - 3;
    i -= 4;
  }
  while (i >= 0 && grid[i] > x) --i;
  return i;
}

double InterpolateFromHint(double x, const double* grid, const double* values, int16_t n,
                           uint16_t* hint) {
  if (x < grid[0] || x > grid[n - 1]) return 0.0;
  int i = SearchFromHint(x, grid, n, static_cast<int16_t>(*hint));
  if (i < 0) i = 0;
  if (i > n - 2) i = n - 2;
  *hint = static_cast<uint16_t>(i);
  if (n < 2) return values[0];
  return values[i] + (x - grid[i]) / (grid[i + 1] - grid[i]) * (values[i + 1] - values[i]);
}

namespace {

// Largest grid whose entries fit the 16-bit interval index.
constexpr int kMaxIndexedPoints = 32767;

enum class MappingKind { kLinear, kLogarithmic, kReverseLogarithmic };

struct CANDIDATE {
  MappingKind kind;
  int allowedBreakpoints;
};

int TypeOf(MappingKind kind, int breakpoints) {
  switch (kind) {
    case MappingKind::kLinear: return breakpoints;
    case MappingKind::kLogarithmic: return -breakpoints;
    case MappingKind::kReverseLogarithmic: return -2 - breakpoints;
  }
  return 0;
}

// Candidates tried, simplest first, for a requested type.
std::vector<CANDIDATE> CandidatesFor(int requested) {
  const CANDIDATE lin1{MappingKind::kLinear, 1}, lin2{MappingKind::kLinear, 2};
  const CANDIDATE log1{MappingKind::kLogarithmic, 1}, log2{MappingKind::kLogarithmic, 2};
  const CANDIDATE rev1{MappingKind::kReverseLogarithmic, 1};
  const CANDIDATE rev2{MappingKind::kReverseLogarithmic, 2};
  switch (requested) {
    case 1: return {lin1};
    case 2: return {lin1, lin2};
    case -1: return {lin1, log1};
    case -2: return {lin1, lin2, log1, log2};
    case -3: return {lin1, log1, rev1};
    case -4: return {lin1, lin2, log1, log2, rev1, rev2};
    default: return {};
  }
}

// The mapped grid of one candidate: ascending values u and the mapped range.
struct MAPPEDGRID {
  std::vector<double> u;
  int skip = 0;
  double xStart = 0.0;
  double tStart = 0.0;
  double tEnd = 0.0;
};

MAPPEDGRID MapGrid(const double* sub, int count, double xMax, MappingKind kind,
                   bool excludeFirst) {
  MAPPEDGRID m;
  m.u.resize(count);
  if (kind == MappingKind::kReverseLogarithmic) {
    m.skip = (sub[count - 1] >= xMax || excludeFirst) ? 1 : 0;
    m.xStart = xMax - sub[count - 1 - m.skip];
    for (int k = 0; k < count; ++k) m.u[k] = std::log(xMax - sub[count - 1 - k]);
    m.tStart = std::log(m.xStart);
    m.tEnd = std::log(xMax - sub[0]);
    return m;
  }
  const bool logarithmic = kind == MappingKind::kLogarithmic;
  m.skip = (excludeFirst || (logarithmic && sub[0] <= 0.0)) ? 1 : 0;
  m.xStart = sub[m.skip];
  for (int k = 0; k < count; ++k) m.u[k] = logarithmic ? std::log(sub[k]) : sub[k];
  m.tStart = logarithmic ? std::log(m.xStart) : m.xStart;
  m.tEnd = m.u[count - 1];
  return m;
}

double NodeValue(const MAPPEDGRID& m, int j, int nodes, double step) {
  return j >= nodes - 1 ? m.tEnd : m.tStart + j * step;
}

// The first node after `after` whose value exceeds target (nodes + 1 when
// none does). Jumps by arithmetic, then settles with the node values
// themselves so that the result is that of a node-by-node scan.
int FirstNodeAbove(const MAPPEDGRID& m, int after, int nodes, double step, double target) {
  double estimate = std::floor((target - m.tStart) / step) + 1.0;
  int k = estimate < after + 1 ? after + 1 : estimate > nodes ? nodes : static_cast<int>(estimate);
  while (k > after + 1 && NodeValue(m, k - 1, nodes, step) > target) --k;
  while (k <= nodes && !(NodeValue(m, k, nodes, step) > target)) ++k;
  return k;
}

// Largest number of grid points that one bin at this exponent holds (1, 2, or
// 3 meaning "more than two"). Nodes at which the cursor cannot move are
// jumped over, so a scan costs about one step per grid point.
int BreakpointCount(const MAPPEDGRID& m, int exponent) {
  const int count = static_cast<int>(m.u.size());
  const int nodes = indexSize[exponent];
  const double step = (m.tEnd - m.tStart) / (nodes - 1);
  int c = m.skip - 1;
  int breakpoints = 1;
  int j = 1;
  while (j <= nodes) {
    const double v = NodeValue(m, j, nodes, step);
    if (c < count - 3 && v > m.u[c + 3]) return 3;
    if (c < count - 2 && v > m.u[c + 2]) {
      c += 2;
      breakpoints = 2;
    } else if (c < count - 1 && v > m.u[c + 1]) {
      c += 1;
    } else {
      if (c >= count - 1) break;
      j = FirstNodeAbove(m, j, nodes, step, m.u[c + 1]);
      continue;
    }
    ++j;
  }
  return breakpoints;
}

void FillTable(const MAPPEDGRID& m, INDEXDATA* index, bool withFlags) {
  const int count = static_cast<int>(m.u.size());
  const int nodes = indexSize[index->exponent];
  const double step = (m.tEnd - m.tStart) / (nodes - 1);
  index->intervalIndex = new int16_t[nodes];
  index->doubleStep = withFlags ? new uint8_t[nodes] : nullptr;
  int c = m.skip - 1;
  for (int j = 1; j <= nodes; ++j) {
    const double v = NodeValue(m, j, nodes, step);
    uint8_t flag = 0;
    if (c < count - 2 && v > m.u[c + 2]) {
      c += 2;
      flag = 1;
    } else if (c < count - 1 && v > m.u[c + 1]) {
      c += 1;
    }
    index->intervalIndex[j - 1] = static_cast<int16_t>(c + index->indexOffset);
    if (withFlags) index->doubleStep[j - 1] = flag;
  }
  index->invStep = 1.0 / step;
}

// Tries one candidate; true when it was built into the index.
bool TryCandidate(const double* sub, int count, int first, int n, const CANDIDATE& candidate,
                  int requestedExponent, bool excludeFirst, INDEXDATA* index) {
  const MAPPEDGRID m = MapGrid(sub, count, index->xMax, candidate.kind, excludeFirst);
  // A mapped range of zero width (or a non-finite one) cannot be binned.
  if (!(m.tEnd > m.tStart) || !std::isfinite(m.tEnd - m.tStart)) return false;
  const int breakpoints = BreakpointCount(m, requestedExponent);
  if (breakpoints > candidate.allowedBreakpoints) return false;
  int exponent = requestedExponent;
  while (exponent > 0 && BreakpointCount(m, exponent - 1) == breakpoints) --exponent;

  index->indexType = TypeOf(candidate.kind, breakpoints);
  index->exponent = exponent;
  index->xStart = m.xStart;
  index->tStart = m.tStart;
  index->indexOffset =
      candidate.kind == MappingKind::kReverseLogarithmic ? n - count - first : first;
  FillTable(m, index, breakpoints == 2);
  return true;
}

}  // namespace

void FreeFastIndex(INDEXDATA* index) {
  delete[] index->intervalIndex;
  delete[] index->doubleStep;
  index->intervalIndex = nullptr;
  index->doubleStep = nullptr;
  index->indexType = 0;
}

void BuildFastIndex(const double* grid, int n, INDEXDATA* index, double xLow, double xHigh,
                    bool excludeFirst) {
  index->intervalIndex = nullptr;
  index->doubleStep = nullptr;
  if (index->indexType == 0) return;
  if (n < 2 || n > kMaxIndexedPoints || xHigh < grid[0]) {
    index->indexType = 0;
    return;
  }

  // Covered part: from the last point below xLow (or point 0) to the first
  // point above xHigh (or the last point).
  int first = -1, count = 0;
  for (int i = 0; i < n; ++i) {
    if (!(xLow <= grid[i])) continue;
    if (i == 0) {
      first = 0;
      count = 1;
    } else if (grid[i - 1] > xHigh) {
      break;
    } else if (grid[i - 1] < xLow) {
      first = i - 1;
      count = 2;
    } else {
      ++count;
    }
  }
  if (first < 0 || count < 2) {
    index->indexType = 0;
    return;
  }
  const double* sub = grid + first;
  index->xMax = grid[n - 1];

  int requested = index->indexType;
  if ((requested == -3 || requested == -4) && index->xMax <= sub[count - 2]) requested += 2;
  if ((requested == -1 || requested == -2) && sub[1] <= 0.0) requested = -requested;

  int requestedExponent = index->exponent;
  if (requestedExponent < 0) requestedExponent = 0;
  if (requestedExponent > kIndexExponentMax) requestedExponent = kIndexExponentMax;
  for (const CANDIDATE& candidate : CandidatesFor(requested)) {
    if (TryCandidate(sub, count, first, n, candidate, requestedExponent, excludeFirst, index))
      return;
  }
  index->indexType = 0;
}

TWOLEVELINDEX TwoLevelIndex(const INDEXDATA& index) {
  TWOLEVELINDEX t;
  if (index.indexType == 0 || index.intervalIndex == nullptr) return t;
  const int32_t n = indexSize[index.exponent];
  const int16_t* entry = index.intervalIndex;
  for (int32_t j = 1; j < n; ++j) {
    if (entry[j] < entry[j - 1]) return t;
  }
  const int32_t lowest = entry[0];
  const int32_t range = entry[n - 1] - lowest;
  const int32_t coarseExponent = static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(range))) + 1;
  const int32_t shift = index.exponent - coarseExponent;
  if (shift < 2) return t;
  t.shift = shift;
  t.coarse.resize(static_cast<size_t>(TwoLevelCoarseCount(index.exponent, shift)));
  for (size_t c = 0; c < t.coarse.size(); ++c) t.coarse[c] = entry[c << shift];
  // firstBin[q]: the first bin whose entry is at least lowest + q; the end
  // mark after the largest value.
  t.firstBin.assign(static_cast<size_t>(range) + 2, INT32_MAX);
  t.firstBin[0] = 0;
  for (int32_t j = 1; j < n; ++j) {
    for (int32_t q = entry[j - 1] - lowest + 1; q <= entry[j] - lowest; ++q) t.firstBin[static_cast<size_t>(q)] = j;
  }
  return t;
}
