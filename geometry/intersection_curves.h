// The curve in which two bounding surfaces meet (IntersectSurfaces), the
// relation of two surfaces that do not meet in a curve (ClassifySurfacePair),
// the side of a surface on which a curve lies, and the two surface-value
// callbacks that the searches along a curve and over a surface minimise.
// Set-up analysis only; everything works on the caller's records, so threads
// may call it at the same time.
#pragma once

#include "core/curve.h"
#include "core/surface.h"
#include "geometry/curve_functions.h"

// Results of ClassifySurfacePair; IntersectSurfaces stores their negatives
// as the type of a pair without a curve.
enum SurfacePairClass : int {
  kPairSameSurface = 0,
  kPairMutuallyOutside = 1,  // each lies on the positive side of the other
  kPairFirstInside = 2,      // the first lies on the negative side of the second
  kPairSecondInside = 3,     // the second lies on the negative side of the first
  kPairOtherRelation = 4,
};

// The test points of the classification lie this far (plus 100 precisions)
// from a surface's reference point: 1 cm, well clear of the precision.
constexpr double kTestPointOffset = 1.0;
// Steps of the simplex search over a carrier surface: the azimuth step (radians).
constexpr double kSearchAzimuthStep = 0.5;
// Bounds of the simplex search variables (none in practice).
constexpr double kSearchUnbounded = 1e300;

// Fills *curve for surfaces a and b (types 1 to 4) and returns its type: 1 to
// 11 a parametrised curve (with its parameter range), 12 to 14 surfaces that
// meet without one, 0 to -4 the negated ClassifySurfacePair result.
int IntersectSurfaces(const SURFACE* a, const SURFACE* b, CURVE* curve, double precision,
                      const AnalysisTolerances& tol);

// 0 the same surface; 1 each on the positive side of the other; 2 a on the
// negative side of b; 3 b on the negative side of a; 4 any other relation.
// Judged from the values of each surface at up to three test points of the other.
int ClassifySurfacePair(const SURFACE* a, const SURFACE* b, double precision, const AnalysisTolerances& tol);

// +1 when branch k of the curve lies on the positive side of s, -1 on the
// negative side, 0 on s within precision (three trial points).
int CurveSideOfSurface(const CURVE* curve, int branch, const SURFACE* s, double precision);

// What SurfaceValueOnCurve reads.
struct CurveSurfaceContext {
  const CURVE* curve;
  const SURFACE* surface;
  int32_t branch;
  double precision;
};

// The value of the context's surface at the curve's point of parameter t.
double SurfaceValueOnCurve(double t, const void* curveSurfaceContext);

// Carrier kinds of the search over a surface.
enum SearchCarrier : int { kCarrierCylinder = 1, kCarrierCone = 2 };

// What TransformedSurfaceValue reads: one search, one thread.
struct SurfaceSearchContext {
  int carrierKind;          // SearchCarrier
  const SURFACE* carrier;
  const SURFACE* tested;
  double frame[9];          // MakeFrame(carrier axis)
  double distancePrecision;
};

// The value of the tested surface at the carrier's point of axial
// coordinate x and azimuth phi.
double TransformedSurfaceValue(double x, double phi, const void* surfaceSearchContext);
