#include "geometry/root_finding.h"

#include <cmath>
#include <utility>

namespace {

// Step factors of the minimiser: coarse, and fine (always used here).
constexpr double kCoarseFactor1 = 1.0, kCoarseFactor2 = 1.5;
constexpr double kFineFactor1 = 0.0689, kFineFactor2 = 1.071;
// Probes stop once |g| has moved this many fTol from the reference value.
constexpr double kProbeValueFactor = 10.0;
// A candidate this many smallest steps from an end of a mapped range is that end.
constexpr double kEndSnapSteps = 10.0;
// ... or this fraction of the range width from it when the end is no worse.
constexpr double kEndSnapRelative = 1e-6;
// The first minimiser run aims below every value it can meet.
constexpr double kUnreachableTargetFactor = -1e10;

double Parameter(const RootSearchContext& c, double x) { return c.mapped ? atan(x) * c.scale + c.offset : x; }

// One front of the sweep.
struct Front {
  double x = 0.0;          // search variable of its last extremum
  double extremum = 0.0;   // objective value there (sign as the sweep that found it)
  bool done = false;
  int stagnation = 0;
};

// The sign test around a minimum at parameter t: g a little to the left and
// a little to the right, each probe doubling until |g| leaves fm by 10 fTol or
// the bound is reached. Returns true when the two probe values have opposite
// signs; lastLeft/lastRight receive the final steps.
struct ProbeBounds {
  double maxStep;    // no probe step reaches this
  double parameterLimit;  // |t -+ s| stays below this
};

bool SignChangesAround(const RootSearchContext& c, double t, double fm, double step, double fTol,
                       const ProbeBounds& bounds, double* lastLeft, double* lastRight) {
  double s = 0.5 * step;
  for (int i = 0; t != 0.0 && fabs(s / t) < kRootRelativeResolution && i < kMaxDoublings; ++i) s *= 2.0;
  double values[2] = {0.0, 0.0};
  double lastStep[2] = {s, s};
  for (int side = 0; side < 2; ++side) {
    const double direction = side == 0 ? -1.0 : 1.0;
    double probe = s;
    for (int i = 0; i < kMaxDoublings; ++i) {
      probe *= 2.0;
      values[side] = c.function(t + direction * probe, c.callbackContext);
      if (probe >= bounds.maxStep || fabs(t + direction * probe) >= bounds.parameterLimit ||
          !(fabs(fabs(values[side]) - fm) < kProbeValueFactor * fTol))
        break;
    }
    lastStep[side] = probe;
  }
  *lastLeft = lastStep[0];
  *lastRight = lastStep[1];
  return values[0] * values[1] < 0.0;
}

}  // namespace

double AtanMappedObjective(double x, const void* context) {
  const RootSearchContext& c = *static_cast<const RootSearchContext*>(context);
  const double v = fabs(c.function(Parameter(c, x), c.callbackContext));
  if (std::isnan(v)) return INFINITY;
  return c.minimiseMagnitude ? v : -v;
}

double SolveRoot1D(RootFunction objective, double* xa, const void* context, double* xb, double xTol, double xLimit,
                   double fTol, double target, uint8_t fine, double fLimit, int* status) {
  const double c1 = fine ? kFineFactor1 : kCoarseFactor1;
  const double c2 = fine ? kFineFactor2 : kCoarseFactor2;
  double a = *xa, b = *xb;
  double fa = objective(a, context), fb = objective(b, context);
  if (fb + fTol < fa) {
    std::swap(a, b);
    std::swap(fa, fb);
  }
  *status = kSolveRootNoProgress;
  bool iterationLimit = false;
  int iterations = 0;
  for (int steps = 0; fa >= target; ++steps) {
    const double rememberedA = fa, rememberedB = fb;
    const double d = a - b;
    if (fabs(d) <= xTol || (b != 0.0 && fabs(1.0 - a / b) <= kRootRelativeResolution)) break;
    if (iterations == kSolveRootIterationLimit || steps == kSolveRootMaxSteps) {
      iterationLimit = true;
      break;
    }
    if (fabs(fa) > fLimit) {
      *status = kSolveRootValueLimit;
      break;
    }
    if (fabs(a) > xLimit) {
      *status = kSolveRootOutOfRange;
      break;
    }
    // ---- Trial beyond a (away from b), a longer one when it pays; else halve.
    const double x1 = a + c1 * d;
    const double f1 = objective(x1, context);
    if (f1 < fa) {
      const double x2 = a + c2 * d;
      const double f2 = objective(x2, context);
      b = f2 < f1 ? x2 : x1;
      fb = f2 < f1 ? f2 : f1;
    } else {
      b = 0.5 * (a + b);
      fb = objective(b, context);
    }
    if (fb + fTol < fa) {
      std::swap(a, b);
      std::swap(fa, fb);
      iterations = 0;
    }
    if (fb - fTol > fa && (fabs(fa - rememberedA) > fTol || fabs(fb - rememberedB) > fTol)) {
      iterations = 0;
      *status = kSolveRootConverged;
    } else {
      ++iterations;
    }
  }
  if (!iterationLimit && *status == kSolveRootNoProgress) *status = kSolveRootConverged;
  *xa = a;
  *xb = b;
  return fa;
}

int FindRoots(RootFunction g, const void* gContext, double* roots, double step, double lo, double hi,
              uint8_t stopAtEnds, double xTol, double fTol, double xMax) {
  RootSearchContext c{gContext, g, 1.0, 0.0, static_cast<uint8_t>(lo < hi), 1};
  const double width = hi - lo;
  double xLim = kMappedRangeBound;
  if (c.mapped) {
    xMax = kMappedRangeBound;
  } else {
    xLim = fmax(fabs(lo), fabs(hi));
    stopAtEnds = 0;
  }
  // Probes around a minimum stay within the search bounds and, on a finite
  // range, within one range width of the minimum.
  const ProbeBounds bounds{c.mapped ? width : fmin(xMax, xLim), c.mapped ? INFINITY : xLim};
  const double probeFactor = kProbeValueFactor * fTol;
  int count = 0;
  Front left, right;
  double endA = hi, endB = lo;  // ends of a mapped range in the parameter

  // ---- Mapped start: is g constant, and is lo itself a minimum of |g|?
  bool centredOnLo = false;
  if (c.mapped) {
    c.scale = width / M_PI;
    const double f0 = g(lo, gContext);
    double edgeValue[2];
    for (int side = 0; side < 2; ++side) {
      bool moved = false;
      double h = 0.5 * step;
      for (int i = 0; i < kMaxDoublings && h < 0.5 * width; ++i) {
        h *= 2.0;
        edgeValue[side] = g(side == 0 ? hi - h : lo + h, gContext);
        if (!(fabs(edgeValue[side] - f0) < probeFactor)) {
          moved = true;
          break;
        }
      }
      if (!moved) return 0;  // g is constant along the range
    }
    // Only a closed curve continues across lo; on an open one lo is an end.
    if (fabs(edgeValue[0]) > fabs(f0) && fabs(edgeValue[1]) > fabs(f0) && stopAtEnds) {
      centredOnLo = true;
      if (edgeValue[0] * edgeValue[1] < 0.0) roots[count++] = lo;
      c.offset = lo;
      endA = hi - 0.5 * width;
      endB = lo - 0.5 * width;
      left.extremum = right.extremum = fabs(f0);
    } else {
      c.offset = 0.5 * (lo + hi);
    }
  }

  // ---- First minimum of |g| from x = 0, and whether g changes sign there.
  if (!centredOnLo) {
    const double f0 = AtanMappedObjective(0.0, &c);
    double h = 0.5 * xTol;
    for (int i = 0; i < kMaxDoublings; ++i) {
      h *= 2.0;
      if (!(h < xMax)) break;
      const double v = AtanMappedObjective(h, &c);
      if (!(fabs(v - f0) < probeFactor || h < 2.0 * xTol)) break;
    }
    if (!(h < xMax)) return 0;
    double xa = 0.0, xb = h;
    int status = 0;
    const double fm = SolveRoot1D(AtanMappedObjective, &xa, &c, &xb, xTol, xLim, fTol,
                                  kUnreachableTargetFactor * xMax, 1, xMax, &status);
    if (status >= kSolveRootNoProgress) return 0;
    const double tm = Parameter(c, xa);
    double lastLeft, lastRight;
    if (SignChangesAround(c, tm, fm, step, fTol, bounds, &lastLeft, &lastRight)) roots[count++] = tm;
    left.x = right.x = xa;
    left.extremum = right.extremum = fm;
    if (!c.mapped && tm >= xLim) {
      left.x = xLim - lastLeft;
      left.extremum = fabs(g(left.x, gContext));
    }
    if (!c.mapped && tm <= -xLim) {
      right.x = -xLim + lastRight;
      right.extremum = fabs(g(right.x, gContext));
    }
  }

  // ---- Alternating sweep: maxima of |g|, then minima, and so on, each front
  // moving outwards from extremum to extremum.
  bool endRootStored = false;
  for (int sweep = 0; sweep < kFindRootsMaxSweeps && !(left.done && right.done); ++sweep) {
    c.minimiseMagnitude = !c.minimiseMagnitude;
    for (int side = 0; side < 2; ++side) {
      Front& f = side == 0 ? left : right;
      if (f.done) continue;
      const double direction = side == 0 ? -1.0 : 1.0;
      double d = direction * 0.5 * xTol;
      for (int i = 0; f.x != 0.0 && fabs(d / f.x) < kRootRelativeResolution && i < kMaxDoublings; ++i) d *= 2.0;
      double probe = f.x, v = 0.0;
      for (int i = 0; i < kMaxDoublings; ++i) {
        d *= 2.0;
        probe = f.x + d;
        v = AtanMappedObjective(probe, &c);
        if (!(fabs(d) < xMax && fabs(probe) < xLim)) break;
        if (!(v + f.extremum > -probeFactor || fabs(probe - f.x) < 2.0 * xTol)) break;
      }
      if (!(fabs(d) < xMax && fabs(probe) < xLim) || v + f.extremum > 0.0) {
        f.done = true;
        continue;
      }
      const double start = probe;
      double xa = probe, xb = probe + d;
      int status = 0;
      f.extremum = SolveRoot1D(AtanMappedObjective, &xa, &c, &xb, xTol, xLim, fTol,
                               kUnreachableTargetFactor * xMax, 1, xMax, &status);
      f.x = xa;
      if (xa != 0.0 && start != 0.0 && fabs(xa / start - 1.0) < kStagnationThreshold) {
        if (++f.stagnation > kStagnationCount) f.done = true;
      } else {
        f.stagnation = 0;
      }
      if (status != kSolveRootConverged) f.done = true;
      if (status != kSolveRootConverged || !c.minimiseMagnitude) continue;

      // ---- A minimum: a root when g changes sign across it.
      double t = Parameter(c, f.x);
      double lastLeft, lastRight;
      const bool signChange = SignChangesAround(c, t, f.extremum, step, fTol, bounds, &lastLeft, &lastRight);
      const double end = side == 0 ? endB : endA;
      // The atan mapping approaches an end only slowly, so a minimum found just
      // short of it is the end when the end is no worse.
      const bool nearEnd = fabs(t - end) <= kEndSnapSteps * step ||
                           (fabs(t - end) <= kEndSnapRelative * width &&
                            fabs(g(end, gContext)) <= fabs(g(t, gContext)) + fTol);
      if (c.mapped && nearEnd) {
        t = end;
        f.done = true;
      }
      if (!signChange) continue;
      if (f.done && stopAtEnds) {
        if (endRootStored) continue;
        endRootStored = true;
      }
      if (count == kMaxRoots) return kTooManyRoots;
      if (stopAtEnds && t < lo) t += width;  // a closed curve's parameter back into [lo, hi)
      if (stopAtEnds && t >= hi) t -= width;
      roots[count++] = t;
    }
  }
  return count;
}
