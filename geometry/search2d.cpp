#include "geometry/search2d.h"

#include <cmath>
#include <utility>

namespace {

struct Vertex {
  double x;
  double y;
  double f;
};

// NaN is mapped to +infinity so that every comparison of the ranking and the
// steps stays meaningful.
double Evaluate(Search2DFunction f, const void* context, double x, double y) {
  const double v = f(x, y, context);
  return std::isnan(v) ? INFINITY : v;
}

// Orders best, second and worst; values within tolF keep their order.
void Rank(Vertex& best, Vertex& second, Vertex& worst, double tolF) {
  if (best.f > second.f + tolF && best.f > worst.f + tolF) {
    std::swap(best, worst);
  } else if (second.f > best.f + tolF && second.f > worst.f + tolF) {
    std::swap(second, worst);
  }
  if (second.f + tolF < best.f) std::swap(best, second);
}

bool Converged(const Vertex& b, const Vertex& s, const Vertex& w, double tolX, double tolY, double maxX,
               double maxY) {
  if (fabs(b.x - s.x) <= tolX && fabs(s.x - w.x) <= tolX && fabs(b.y - s.y) <= tolY && fabs(s.y - w.y) <= tolY)
    return true;
  if (fabs(b.x) >= maxX || fabs(b.y) >= maxY) return true;
  return w.x != 0.0 && fabs(1.0 - b.x / w.x) <= kSearch2DRelativeResolution && w.y != 0.0 &&
         fabs(1.0 - b.y / w.y) <= kSearch2DRelativeResolution;
}

// One reflection step with its expansion, contraction or shrink.
void Step(Search2DFunction f, const void* context, Vertex& b, Vertex& s, Vertex& w) {
  const double mx = 0.5 * (b.x + s.x), my = 0.5 * (b.y + s.y);
  const double dx = mx - w.x, dy = my - w.y;
  const Vertex r{mx + dx, my + dy, Evaluate(f, context, mx + dx, my + dy)};
  if (r.f < b.f) {
    const Vertex e{mx + 2.0 * dx, my + 2.0 * dy, Evaluate(f, context, mx + 2.0 * dx, my + 2.0 * dy)};
    w = e.f < r.f ? e : r;
  } else if (r.f < s.f) {
    w = r;
  } else {
    const Vertex c{mx + 0.5 * dx, my + 0.5 * dy, Evaluate(f, context, mx + 0.5 * dx, my + 0.5 * dy)};
    if (c.f < w.f) {
      w = c;
    } else {
      s = Vertex{b.x + 0.5 * (s.x - b.x), b.y + 0.5 * (s.y - b.y), 0.0};
      w = Vertex{b.x + 0.5 * (w.x - b.x), b.y + 0.5 * (w.y - b.y), 0.0};
      s.f = Evaluate(f, context, s.x, s.y);
      w.f = Evaluate(f, context, w.x, w.y);
    }
  }
}

}  // namespace

double Search2D(Search2DFunction f, const void* context, double* x, double* y, double hx, double hy, double tolX,
                double tolY, double maxX, double maxY, double tolF, double target) {
  // ---- Start simplex: (x, y), (x + hx, y + hy) and the better of the two
  // axis steps, evaluated in this order.
  Vertex b{*x, *y, Evaluate(f, context, *x, *y)};
  Vertex s{*x + hx, *y + hy, Evaluate(f, context, *x + hx, *y + hy)};
  const Vertex alongY{*x, *y + hy, Evaluate(f, context, *x, *y + hy)};
  const Vertex alongX{*x + hx, *y, Evaluate(f, context, *x + hx, *y)};
  Vertex w = alongY.f < alongX.f ? alongY : alongX;
  Rank(b, s, w, tolF);

  int stall = 0;
  double previousSecond = s.f;
  for (int iteration = 0; b.f >= target && iteration < kSearch2DMaxIterations; ++iteration) {
    if (stall > kSearch2DStallLimit || Converged(b, s, w, tolX, tolY, maxX, maxY)) break;
    const double startBest = b.f, startWorst = w.f;
    Step(f, context, b, s, w);
    Rank(b, s, w, tolF);
    const bool moved = fabs(b.f - startBest) > tolF || fabs(s.f - previousSecond) > tolF ||
                       fabs(w.f - startWorst) > tolF;
    stall = (s.f - tolF > b.f && moved) ? 0 : stall + 1;
    previousSecond = s.f;
  }
  *x = b.x;
  *y = b.y;
  return b.f;
}
