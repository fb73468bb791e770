// The points where an intersection curve meets a third surface: in closed
// form for straight lines against every surface, for circles against planes
// and spheres and for the conics of types 6 to 9 against planes; otherwise by
// the numerical root search along each branch. When no point is found, the
// side of the surface on which the curve lies.
#pragma once

#include "core/curve.h"
#include "core/surface.h"
#include "geometry/curve_functions.h"
#include "geometry/root_finding.h"

// Points of `curve` (types 1 to 11) on surface s: branch, parameter and point
// of each, in the order found, at most kMaxRoots (arrays of kMaxRoots entries).
// Returns their count, or kTooManyRoots when an eleventh would be stored.
// *side: +1 the curve lies on the positive side of s, -1 on the negative
// side, 0 mixed, touching or unknown (read it only when no point was found).
int IntersectCurveSurface(const CURVE* curve, const SURFACE* s, int* branches, double precision,
                          double* parameters, VECTOR* points, int* side, const AnalysisTolerances& tol);
