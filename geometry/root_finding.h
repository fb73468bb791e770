// Roots of a function of one parameter along a range, for the intersection of
// a curve with a surface: a derivative-free minimiser of |g| (SolveRoot1D on
// AtanMappedObjective) and a sweep that walks two fronts outwards from the
// first minimum, from extremum to extremum of |g|, and takes every minimum at
// which g changes sign as a root (FindRoots). A finite range is mapped onto
// the whole line by t = atan(x) scale + offset, so the search variable never
// leaves the range.
#pragma once

#include <cstdint>

// g(t) with the caller's context.
using RootFunction = double (*)(double t, const void* context);

// What FindRoots hands to AtanMappedObjective.
struct RootSearchContext {
  const void* callbackContext;  // the context of `function`
  RootFunction function;        // g(t, callbackContext)
  double scale;                 // t = atan(x) scale + offset when mapped
  double offset;
  uint8_t mapped;               // the search variable is mapped onto the parameter
  uint8_t minimiseMagnitude;    // 1: the objective is |g|; 0: it is -|g|
};

// Most roots (and intersection points) reported by one call.
constexpr int kMaxRoots = 10;
// Result of FindRoots when an eleventh root is found.
constexpr int kTooManyRoots = -10;
// Relative resolution of doubles: two search positions closer than this
// (relatively) are one point.
constexpr double kRootRelativeResolution = 1e-14;
// Bound of the mapped search variable (atan maps it to the end of the range).
constexpr double kMappedRangeBound = 1e200;
// A front whose minimiser ends within this relative distance of its start ten
// times over has stagnated.
constexpr double kStagnationThreshold = 1e-6;
constexpr int kStagnationCount = 10;
// The minimiser's iterations without a change above fTol before it gives up.
constexpr int kSolveRootIterationLimit = 100;
// Hard bound on the minimiser's steps: progress above fTol resets the
// iteration count, and a slowly falling objective could otherwise go on for
// |f| / fTol steps.
constexpr int kSolveRootMaxSteps = 20000;
// Hard bound on the sweeps of FindRoots: a front moves from extremum to
// extremum, and a curve with more than ~10^3 extrema of |g| is degenerate.
constexpr int kFindRootsMaxSweeps = 4000;
// Probes move in doubling steps, so 2200 doublings span any double range.
constexpr int kMaxDoublings = 2200;

// Status values of SolveRoot1D.
enum SolveRootStatus : int {
  kSolveRootConverged = 0,
  kSolveRootNoProgress = 1,   // the iteration limit passed without a change above fTol
  kSolveRootValueLimit = 2,   // |best value| exceeded fLimit
  kSolveRootOutOfRange = -1,  // |xa| exceeded xLimit
};

// |g(t)| (minimiseMagnitude 1) or -|g(t)| (0), t = x or atan(x) scale +
// offset when mapped; context is a RootSearchContext. NaN comes back as
// +infinity, the worst value in either sense.
double AtanMappedObjective(double x, const void* context);

// Minimises the objective from the two points xa, xb (fine step factors when
// fine is set); stops when the points agree within xTol, when the best value
// falls below target, after kSolveRootIterationLimit steps without progress
// above fTol, when |best value| exceeds fLimit, when |xa| exceeds xLimit, or
// after kSolveRootMaxSteps (status kSolveRootNoProgress). Returns the best
// value, found at xa; xb holds the other point.
double SolveRoot1D(RootFunction objective, double* xa, const void* context, double* xb, double xTol, double xLimit,
                   double fTol, double target, uint8_t fine, double fLimit, int* status);

// Roots of g on [lo, hi] (lo < hi: a finite range searched through the atan
// mapping) or on (-lo, lo) (hi <= lo: unbounded, hi ignored). step is the
// smallest parameter step of the probes; stopAtEnds marks a closed curve
// whose two ends are one point, so a root there is kept once. Writes at most
// kMaxRoots roots in the order found; returns their count, or kTooManyRoots
// when an eleventh is found.
int FindRoots(RootFunction g, const void* gContext, double* roots, double step, double lo, double hi,
              uint8_t stopAtEnds, double xTol, double fTol, double xMax);
