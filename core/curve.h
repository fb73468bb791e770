// CURVE: the curve in which two bounding surfaces meet, built by the set-up
// analysis of the complex geometry (geometry/intersection_curves.h): a line,
// two lines, two half-lines from a cone's apex, one or two circles, an
// ellipse, a hyperbola branch or a parabola on a cone, or the four-branch
// curve of a sphere or cylinder with a cylinder. Codes 12 to 14 mark surfaces
// that meet without a parametrised curve; 0 and below mark surfaces that do
// not meet in a curve. Set-up only; never copied to a device.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/vector.h"

// Values of CURVE::type (codes 0 to -4 are the negated pair classification).
enum CurveType : int32_t {
  kCurveLine = 1,               // plane-plane
  kCurveTwoLines = 2,           // plane-cylinder parallel to the axis; parallel cylinders
  kCurveApexLines = 3,          // two half-lines from a cone's apex
  kCurveCircle = 4,
  kCurveTwoCircles = 5,
  kCurveCylinderEllipse = 6,    // plane-cylinder
  kCurveConeEllipse = 7,        // plane-cone
  kCurveConeHyperbola = 8,      // plane-cone, one branch
  kCurveConeParabola = 9,       // plane-cone
  kCurveSphereCylinder = 10,    // centre off the axis, four branches
  kCurveCylinderCylinder = 11,  // axes not parallel, four branches
  kCurveSphereConeMeet = 12,    // surfaces meet, no parametrisation
  kCurveCylinderConeMeet = 13,
  kCurveConeConeMeet = 14,
};

constexpr int32_t kLastParametrisedCurve = kCurveCylinderCylinder;

struct CURVE {
  int32_t type;      // CurveType; 0 or negative: no curve
  VECTOR point[2];   // line points, circle centres, the apex, the local origin (cm)
  VECTOR dir[2];     // unit line directions, circle or cone axes, generator directions
  double coefA;      // first coefficient: a radius (cm), a squared radius (cm^2) or a conic coefficient
  double coefB;      // second coefficient
  double coefC;      // distance between a centre or axis and another axis (cm)
  double cosAxes;    // type 11: cosine between the local x axis and the second cylinder's axis
  double offsetX;    // types 7, 8, 9: constant term of the local x coordinate (cm)
  double semiY;      // types 6, 7: semi-axis along local y (cm)
  double lengthZ;    // type 6: z amplitude; type 7: z extent; types 8, 9: apex to point[0] (cm)
  double slope;      // types 6 to 9: slope of the cutting plane in the local frame; type 3: x/z of the generators
  double range[2];   // parameter limits; range[1] <= range[0] marks an unbounded curve
  double frame[9];   // local to global rotation, row-major; columns = local x, y, z
};

static_assert(offsetof(CURVE, type) == 0);
static_assert(offsetof(CURVE, point) == 8);
static_assert(offsetof(CURVE, dir) == 56);
static_assert(offsetof(CURVE, coefA) == 104);
static_assert(offsetof(CURVE, range) == 168);
static_assert(offsetof(CURVE, frame) == 184);
static_assert(sizeof(CURVE) == 256);

// Branches of a parametrised curve of the given type.
constexpr int CurveBranchCount(int32_t type) {
  return type == kCurveTwoLines || type == kCurveTwoCircles ? 2
         : type >= kCurveSphereCylinder                      ? 4
                                                              : 1;
}
