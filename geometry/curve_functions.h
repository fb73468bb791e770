// Evaluation of an intersection curve (CURVE, core/curve.h): its parameter
// range, its points, its unit tangent. A local point (x, y, z) of branch k
// lies at point[k] + frame (x, y, z), except for the four-branch types 10 and
// 11, whose branches all hang on point[0].
#pragma once

#include <cmath>

#include "core/curve.h"
#include "core/hostdevice.h"
#include "core/physical_constants.h"
#include "core/vector.h"
#include "geometry/frames.h"

// Tolerances of the set-up analysis beside the distance precision, which the
// routines take as an argument because a worker may raise its own copy.
struct AnalysisTolerances {
  double anglePrecision;    // tolerance on unit vectors, cosines and cross-product lengths
  double maxDistanceRatio;  // largest distance considered = distancePrecision x this ratio
};

// Writes range for codes 1 to 11: the bound Lambda = maxDistanceRatio x
// precision in range[0] and 0 in range[1] for the unbounded codes 1 to 3 (and
// sqrt(Lambda) for 8, 9, whose z = t^2); [0, 2 pi] for the closed conics; the
// interval on which both radicands of types 10 and 11 are non-negative.
TQ_CPU_GPU inline void CurveParameterRange(CURVE* c, double precision, double maxDistanceRatio) {
  const double lambda = maxDistanceRatio * precision;
  switch (c->type) {
    case kCurveLine:
    case kCurveTwoLines:
    case kCurveApexLines:
      c->range[0] = lambda;
      c->range[1] = 0.0;
      break;
    case kCurveCircle:
    case kCurveTwoCircles:
    case kCurveCylinderEllipse:
    case kCurveConeEllipse:
      c->range[0] = 0.0;
      c->range[1] = kTwoPi;
      break;
    case kCurveConeHyperbola:
    case kCurveConeParabola:
      c->range[0] = sqrt(lambda);
      c->range[1] = 0.0;
      break;
    case kCurveSphereCylinder: {
      // t = local z from the sphere's centre towards the axis; the cylinder
      // needs |t - d| <= Rc, the sphere t <= (Rs^2 - Rc^2 + d^2) / 2d, where
      // the x radicand vanishes and the two x branches join.
      const double d = c->coefC;
      const double sphereEnd = (c->coefB + d * d) / (2.0 * d);
      c->range[0] = fmax(d - sqrt(c->coefA), -sqrt(c->coefA + c->coefB));
      c->range[1] = fmin(fmin(d + sqrt(c->coefA), sqrt(c->coefA + c->coefB)), sphereEnd);
      break;
    }
    case kCurveCylinderCylinder:
      c->range[0] = fmax(c->coefC - sqrt(c->coefB), -sqrt(c->coefA));
      c->range[1] = fmin(sqrt(c->coefA), c->coefC + sqrt(c->coefB));
      break;
    default:
      break;
  }
}

// sqrt(radicand), or 0 when the radicand is at or below tau (rounding at the
// ends of a four-branch curve's range).
TQ_CPU_GPU inline double ClampedRoot(double radicand, double tau) { return radicand > tau ? sqrt(radicand) : 0.0; }

// Local point of branch k of types 10 and 11 at parameter t.
TQ_CPU_GPU inline VECTOR FourBranchLocalPoint(const CURVE* c, int k, double t, double precision) {
  const double signY = (k & 1) ? -1.0 : 1.0;
  const double signX = k >= 2 ? -1.0 : 1.0;
  if (c->type == kCurveSphereCylinder) {
    const double tau = precision * fmin(c->coefA, c->coefA + c->coefB);
    const double w1 = ClampedRoot(c->coefA - (t - c->coefC) * (t - c->coefC), tau);
    const double w2 = ClampedRoot(c->coefB - (2.0 * t - c->coefC) * c->coefC, tau);
    return Init(signX * w2, signY * w1, t);
  }
  const double tau = precision * fmin(c->coefA, c->coefB);
  const double w1 = signX * ClampedRoot(c->coefA - t * t, tau);
  const double w2 = signY * ClampedRoot(c->coefB - (t - c->coefC) * (t - c->coefC), tau);
  return Init((c->cosAxes * w1 - w2) / sqrt(1.0 - c->cosAxes * c->cosAxes), w1, t);
}

// Global point of branch k at parameter t (codes 1 to 11).
TQ_CPU_GPU inline VECTOR CurvePoint(const CURVE* c, int k, double t, double precision) {
  VECTOR local;
  VECTOR origin = c->point[0];
  switch (c->type) {
    case kCurveLine:
      return c->point[0] + t * c->dir[0];
    case kCurveTwoLines:
      return c->point[k] + t * c->dir[k];
    case kCurveApexLines:
      return t < 0.0 ? c->point[0] - t * c->dir[0] : c->point[0] + t * c->dir[1];
    case kCurveCircle:
      local = Init(c->coefA * cos(t), c->coefA * sin(t), 0.0);
      break;
    case kCurveTwoCircles: {
      const double r = k == 0 ? c->coefA : c->coefB;
      local = Init(r * cos(t), r * sin(t), 0.0);
      origin = c->point[k];
      break;
    }
    case kCurveCylinderEllipse:
      local = Init(c->slope * c->lengthZ * sin(t), c->semiY * cos(t), c->lengthZ * sin(t));
      break;
    case kCurveConeEllipse: {
      const double z = c->lengthZ * 0.5 * (sin(t) + 1.0);
      local = Init(c->slope * z + c->offsetX, c->semiY * cos(t), z);
      break;
    }
    case kCurveConeHyperbola: {
      const double z = t * t;
      local = Init(c->slope * z + c->offsetX, t * sqrt(c->coefA + c->coefB * z), z);
      break;
    }
    case kCurveConeParabola: {
      const double z = t * t;
      local = Init(c->slope * z + c->offsetX, t * sqrt(c->coefA), z);
      break;
    }
    case kCurveSphereCylinder:
    case kCurveCylinderCylinder:
      local = FourBranchLocalPoint(c, k, t, precision);
      break;
    default:
      return origin;
  }
  VECTOR out;
  return *TransformPoint(&out, c->frame, origin, local);
}

// Derivative of the local point of branch k of types 10 and 11 at t; the zero
// vector at the ends of the range, where a root vanishes and the derivative
// runs off to infinity (the two branches meeting there turn back).
TQ_CPU_GPU inline VECTOR FourBranchLocalDerivative(const CURVE* c, int k, double t) {
  const double signY = (k & 1) ? -1.0 : 1.0;
  const double signX = k >= 2 ? -1.0 : 1.0;
  if (c->type == kCurveSphereCylinder) {
    const double radicand1 = c->coefA - (t - c->coefC) * (t - c->coefC);
    const double radicand2 = c->coefB - (2.0 * t - c->coefC) * c->coefC;
    if (!(radicand1 > 0.0 && radicand2 > 0.0)) return Init(0.0, 0.0, 0.0);
    const double w1 = sqrt(radicand1);
    const double w2 = sqrt(radicand2);
    return Init(-signX * c->coefC / w2, -signY * (t - c->coefC) / w1, 1.0);
  }
  const double radicand1 = c->coefA - t * t;
  const double radicand2 = c->coefB - (t - c->coefC) * (t - c->coefC);
  if (!(radicand1 > 0.0 && radicand2 > 0.0)) return Init(0.0, 0.0, 0.0);
  const double w1 = signX * sqrt(radicand1);
  const double w2 = signY * sqrt(radicand2);
  const double dw1 = -t / w1;
  const double dw2 = -(t - c->coefC) / w2;
  return Init((c->cosAxes * dw1 - dw2) / sqrt(1.0 - c->cosAxes * c->cosAxes), dw1, 1.0);
}

// Unit tangent of branch k at t; the zero vector for codes outside 1 to 11
// and where the derivative vanishes or a four-branch curve turns back.
TQ_CPU_GPU inline VECTOR CurveTangent(const CURVE* c, int k, double t) {
  VECTOR v;
  switch (c->type) {
    case kCurveLine:
      return c->dir[0];
    case kCurveTwoLines:
      return c->dir[k];
    case kCurveApexLines:
      return t < 0.0 ? c->dir[0] : c->dir[1];
    case kCurveCircle:
    case kCurveTwoCircles: {
      const double r = (c->type == kCurveCircle || k == 0) ? c->coefA : c->coefB;
      v = Init(-r * sin(t), r * cos(t), 0.0);
      break;
    }
    case kCurveCylinderEllipse:
      v = Init(c->slope * c->lengthZ * cos(t), -c->semiY * sin(t), c->lengthZ * cos(t));
      break;
    case kCurveConeEllipse: {
      const double dz = c->lengthZ * 0.5 * cos(t);
      v = Init(c->slope * dz, -c->semiY * sin(t), dz);
      break;
    }
    case kCurveConeHyperbola: {
      const double root = sqrt(c->coefA + c->coefB * t * t);
      v = Init(2.0 * t * c->slope, root + c->coefB * t * t / root, 2.0 * t);
      break;
    }
    case kCurveConeParabola:
      v = Init(2.0 * t * c->slope, sqrt(c->coefA), 2.0 * t);
      break;
    case kCurveSphereCylinder:
    case kCurveCylinderCylinder:
      v = FourBranchLocalDerivative(c, k, t);
      break;
    default:
      return Init(0.0, 0.0, 0.0);
  }
  const double length = Norm(v);
  if (!(length > 0.0)) return Init(0.0, 0.0, 0.0);
  VECTOR out;
  RotateVector(&out, c->frame, v / length);
  return out;
}
