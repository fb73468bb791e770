// Derivative-free minimisation of a function of two variables by a simplex
// (triangle) search with reflection, expansion, contraction and shrinking. The
// set-up analysis uses it to learn whether a cylinder and a cone, or two
// cones, meet: it minimises one surface's value over the other and stops at
// the first point inside.
#pragma once

// The function to minimise, with its caller's context.
using Search2DFunction = double (*)(double x, double y, const void* context);

// Hard bound on the iterations: the stall rule ends a search that no longer
// improves, but values that keep changing (a function falling slowly without
// bound, or rounding that alternates) could feed it forever.
constexpr int kSearch2DMaxIterations = 100000;
// Iterations without a change above tolF after which the search has stalled.
constexpr int kSearch2DStallLimit = 99;
// Relative agreement of the best and worst vertices that counts as one point.
constexpr double kSearch2DRelativeResolution = 1e-14;

// Minimises f from (x, y) with the initial steps hx, hy; stops when the
// simplex spread falls below tolX and tolY, after 100 iterations without a
// change above tolF, when |x| or |y| of the best point reaches maxX or maxY,
// when the best value falls below target, or after kSearch2DMaxIterations.
// Returns the least value found; x and y hold its point. A NaN value counts
// as worse than any number.
double Search2D(Search2DFunction f, const void* context, double* x, double* y, double hx, double hy, double tolX,
                double tolY, double maxX, double maxY, double tolF, double target);
