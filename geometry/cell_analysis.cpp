#include "geometry/cell_analysis.h"

#include <cmath>
#include <vector>

#include "geometry/analysis_messages.h"
#include "geometry/curve_surface.h"
#include "geometry/intersection_curves.h"
#include "geometry/root_finding.h"
#include "geometry/surface_functions.h"

namespace {

constexpr int kNone = -1;
// Codes of IntersectSurfaces as SurfacePairRelation reads them.
constexpr int kCodeMutuallyOutside = -kPairMutuallyOutside;
constexpr int kCodeFirstInside = -kPairFirstInside;
constexpr int kCodeSecondInside = -kPairSecondInside;
constexpr int kCodeOtherRelation = -kPairOtherRelation;
// Verdicts of the march into the interior.
enum Verdict : int { kNoVerdict = 0, kInside = 1, kOutside = 2 };

double Value(const SURFACE* s, VECTOR p) { return DistanceToSurface(&p, s); }

const SURFACE* SurfaceAt(const GeometryAnalysis& g, const uint16_t* surfaces, int position) {
  return &g.surf[surfaces[position]];
}

// Index of the sense pair (s_i, s_j) in the columns (-,-), (-,+), (+,-), (+,+).
int SenseColumn(int si, int sj) { return (si > 0 ? 2 : 0) + (sj > 0 ? 1 : 0); }

// What the candidate search of AnalyzeCell has recorded.
struct Candidate {
  int i = kNone, j = kNone;  // the pair whose curve carries the point
  int third = kNone;         // the third surface of a vertex, kNone for an edge
  CURVE curve{};
  VECTOR point{};
  double parameter = 0.0;
  int branch = 0;
  std::vector<int> through;  // further surfaces through the point
};

// ---- Step 1 of AnalyzeCell: the first simple vertex or untouched edge
// branch (done = true), else the candidate with the fewest further surfaces
// through its point.
struct CandidateSearch {
  const GeometryAnalysis& g;
  int n;
  const uint16_t* surfaces;
  const int8_t* senses;
  double* precision;
  Candidate recorded;        // best so far (pair kNone: none)
  Candidate finished;        // the simple vertex or untouched branch that ended the search
  bool done = false;
  int bestCount;

  // The further surfaces through root point p (kNone-terminated failure: the
  // point lies outside some half-space).
  bool Through(VECTOR p, int i, int j, int k, std::vector<int>& list) const {
    list.clear();
    for (int l = 0; l < n; ++l) {
      if (l == i || l == j || l == k) continue;
      const double f = Value(SurfaceAt(g, surfaces, l), p);
      if (senses[l] * f < -*precision) return false;
      if (fabs(f) <= *precision) list.push_back(l);
    }
    return true;
  }

  void Record(int i, int j, const CURVE& curve, int third, VECTOR p, double t, int branch,
              const std::vector<int>& list) {
    if (recorded.i != i || recorded.j != j) {
      recorded.i = i;
      recorded.j = j;
      recorded.curve = curve;
    }
    recorded.third = third;
    recorded.point = p;
    recorded.parameter = t;
    recorded.branch = branch;
    recorded.through = list;
  }

  void Finish(int i, int j, const CURVE& curve, int third, VECTOR p, double t, int branch) {
    finished.i = i;
    finished.j = j;
    finished.curve = curve;
    finished.third = third;
    finished.point = p;
    finished.parameter = t;
    finished.branch = branch;
    finished.through.clear();
    done = true;
  }

  void Pair(int i, int j) {
    CURVE curve{};
    const int code = IntersectSurfaces(SurfaceAt(g, surfaces, i), SurfaceAt(g, surfaces, j), &curve, *precision, g.tol);
    if (code < 1 || code > kLastParametrisedCurve) return;
    const int nb = CurveBranchCount(code);
    int counts[4] = {0, 0, 0, 0};
    std::vector<int> lists[4];
    bool anyPoint = false;
    int branchOf[kMaxRoots];
    double parameterOf[kMaxRoots];
    VECTOR pointOf[kMaxRoots];
    std::vector<int> through;
    for (int k = 0; k < n; ++k) {
      if (k == i || k == j) continue;
      const SURFACE* sk = SurfaceAt(g, surfaces, k);
      int side = 0;
      const int R = IntersectCurveSurface(&curve, sk, branchOf, *precision, parameterOf, pointOf, &side, g.tol);
      if (R == 0) {
        if (senses[k] * side < 0) return;  // the whole curve lies outside half-space k
        for (int b = 0; b < nb; ++b) {
          const int v = CurveSideOfSurface(&curve, b, sk, *precision);
          if (senses[k] * v < 0) {
            counts[b] = -1;
          } else if (v == 0 && counts[b] >= 0) {
            lists[b].push_back(k);
            ++counts[b];
          }
        }
        continue;
      }
      anyPoint = true;
      for (int r = 0; r < R; ++r) {
        if (!Through(pointOf[r], i, j, k, through)) continue;
        if (through.empty()) {
          Finish(i, j, curve, k, pointOf[r], parameterOf[r], branchOf[r]);
          return;
        }
        if (static_cast<int>(through.size()) < bestCount) {
          bestCount = static_cast<int>(through.size());
          Record(i, j, curve, k, pointOf[r], parameterOf[r], branchOf[r], through);
        }
      }
    }
    if (anyPoint) return;
    for (int b = 0; b < nb; ++b) {
      if (counts[b] < 0 || counts[b] >= bestCount) continue;
      bestCount = counts[b];
      if (counts[b] == 0) {
        Finish(i, j, curve, kNone, VECTOR{}, 0.0, b);
        return;
      }
      Record(i, j, curve, kNone, VECTOR{}, 0.0, b, lists[b]);
    }
  }

  void Run() {
    for (int i = 0; i < n && !done; ++i)
      for (int j = i + 1; j < n && !done; ++j) Pair(i, j);
  }
};

// Start point of an edge: the line's point, the conic branch's vertex, or
// the middle of a closed curve's range.
void EdgeStart(Candidate& c, double precision) {
  const int type = c.curve.type;
  if (type <= kCurveApexLines) {
    c.point = c.curve.point[c.branch];
    c.parameter = 0.0;
  } else if (type == kCurveConeHyperbola || type == kCurveConeParabola) {
    c.parameter = 0.0;
    c.point = CurvePoint(&c.curve, 0, 0.0, precision);
  } else {
    c.parameter = 0.5 * (c.curve.range[0] + c.curve.range[1]);
    c.point = CurvePoint(&c.curve, c.branch, c.parameter, precision);
  }
}

VECTOR NormalAt(const SURFACE* s, VECTOR p, double precision) {
  VECTOR n;
  return *SurfaceNormal(&n, s, p, precision);
}

// ---- Step 4 of AnalyzeCell: the direction into the interior; the zero
// vector with *result set when none can be built.
VECTOR InteriorDirection(const GeometryAnalysis& g, const Candidate& c, bool vertex, const std::vector<int>& list,
                         const uint16_t* surfaces, const int8_t* senses, double precision, int* result) {
  const VECTOR zero{0.0, 0.0, 0.0};
  const int m = static_cast<int>(list.size());
  const bool atApex = c.curve.type == kCurveApexLines && Norm(c.point - c.curve.point[0]) <= precision;
  if (!vertex || m == 3) {
    const VECTOR T = CurveTangent(&c.curve, c.branch, c.parameter);
    if (Norm(T) == 0.0) {
      *result = kRegionDoubtful;
      return zero;
    }
    VECTOR candidates[3];
    int n;
    int special;
    if (!vertex) {  // list = [i, j]
      candidates[0] = Cross(T, NormalAt(SurfaceAt(g, surfaces, c.j), c.point, precision));
      candidates[1] = Cross(T, NormalAt(SurfaceAt(g, surfaces, c.i), c.point, precision));
      n = 2;
      special = atApex ? 2 : kNone;
    } else {  // list = [k, j, i]
      const VECTOR nk = NormalAt(SurfaceAt(g, surfaces, c.third), c.point, precision);
      const VECTOR nj = NormalAt(SurfaceAt(g, surfaces, c.j), c.point, precision);
      const VECTOR ni = NormalAt(SurfaceAt(g, surfaces, c.i), c.point, precision);
      candidates[0] = T;
      candidates[1] = Cross(ni, nk);
      candidates[2] = Cross(nk, nj);
      n = 3;
      special = atApex ? 0 : kNone;
    }
    const VECTOR d = MarchLine(g, n, &c.point, candidates, surfaces, senses, list.data(), special, precision, &c.curve);
    if (Norm(d) == 0.0) *result = kRegionNoDirection;
    return d;
  }
  // Several surfaces meet at the vertex: the distinct edge directions along the region.
  std::vector<VECTOR> normals(m);
  for (int q = 0; q < m; ++q) normals[q] = NormalAt(SurfaceAt(g, surfaces, list[q]), c.point, precision);
  std::vector<VECTOR> edges;  // this call's own edge-direction scratch
  edges.reserve(static_cast<size_t>(m) * (m - 1) / 2);
  for (int a = 0; a < m; ++a)
    for (int b = a + 1; b < m; ++b) {
      int pa = a, pb = b, status = 0;
      const VECTOR e = MarchLinePair(g, kNone, &pa, &pb, kNone, kNone, c.point, m, list.data(), surfaces, senses,
                                     normals.data(), precision, &status);
      if (status != kEdgeAlongRegion) continue;
      bool distinct = true;
      for (const VECTOR& kept : edges) distinct = distinct && Norm(Cross(e, kept)) > g.tol.anglePrecision;
      if (distinct) edges.push_back(e);
    }
  if (edges.size() < 3) {
    *result = kRegionNoDirection;
    return zero;
  }
  VECTOR sum = zero;
  for (const VECTOR& e : edges) sum += e;
  if (Norm(sum) == 0.0) {
    *result = kRegionNoDirection;
    return zero;
  }
  return sum / Norm(sum);
}

// ---- Step 5 of AnalyzeCell: march from the point along D in doubling steps
// until the verdict has repeated four times; true when it ends inside. Any
// surface of the list through the point that the march still touches gives
// no verdict: a point on a bounding surface is not inside.
bool MarchInside(const GeometryAnalysis& g, VECTOR* point, VECTOR D, const std::vector<int>& list,
                 const uint16_t* surfaces, const int8_t* senses, double precision) {
  double h = 0.5 * precision;
  int previous = kInside, repeats = 0;
  for (int step = 0; step < kMarchMaxDoublings; ++step) {
    h *= 2.0;
    if (h > precision * g.tol.maxDistanceRatio) return false;
    *point += h * D;
    int verdict = kInside;
    for (int q : list) {
      const double f = Value(SurfaceAt(g, surfaces, q), *point);
      if (fabs(f) <= precision) {
        verdict = kNoVerdict;
        break;
      }
      if (senses[q] * f < 0.0) {
        verdict = kOutside;
        break;
      }
    }
    if (verdict == kNoVerdict) continue;
    if (verdict != previous) {
      previous = verdict;
      repeats = 0;
    } else if (++repeats == kMarchVerdictRepeats) {
      return verdict == kInside;
    }
  }
  return false;
}

bool StrictlyInside(const GeometryAnalysis& g, VECTOR p, int n, const uint16_t* surfaces, const int8_t* senses,
                    double precision) {
  for (int q = 0; q < n; ++q)
    if (!(senses[q] * Value(SurfaceAt(g, surfaces, q), p) > precision)) return false;
  return true;
}

// Sample points of a surface for the interior search of a region without a
// vertex or edge: its reference point's neighbours across the surface.
int SurfaceSamples(const SURFACE* s, VECTOR* out) {
  const VECTOR a = s->type == kSurfaceSphere ? Init(0.0, 0.0, 1.0) : s->axis;
  const VECTOR helper = fabs(a.x) < 0.6 ? Init(1.0, 0.0, 0.0) : Init(0.0, 1.0, 0.0);
  VECTOR u = Cross(a, helper);
  u /= Norm(u);
  const VECTOR v = Cross(a, u);
  const VECTOR across[4] = {u, -u, v, -v};
  switch (s->type) {
    case kSurfacePlane:
      out[0] = s->point;
      for (int q = 0; q < 4; ++q) out[1 + q] = s->point + across[q];
      return 5;
    case kSurfaceSphere:
      for (int q = 0; q < 4; ++q) out[q] = s->point + s->radius * across[q];
      out[4] = s->point + s->radius * a;
      out[5] = s->point - s->radius * a;
      return 6;
    case kSurfaceCylinder:
      for (int q = 0; q < 4; ++q) out[q] = s->point + s->radius * across[q];
      return 4;
    case kSurfaceCone:
      for (int q = 0; q < 4; ++q) out[q] = s->point + a + s->tanHalfAngle * across[q];
      return 4;
    default:
      return 0;
  }
}

// A point strictly inside a region that has no vertex and no edge (nested
// spheres of a shell, coaxial cylinders): from sample points of each bounding
// surface, steps of doubling length along the normal into its half-space.
// Only a point that passes the test of every half-space is returned.
bool InteriorPointWithoutEdges(const GeometryAnalysis& g, int n, const uint16_t* surfaces, const int8_t* senses,
                               double precision, VECTOR* point) {
  VECTOR samples[6];
  for (int k = 0; k < n; ++k) {
    const SURFACE* s = SurfaceAt(g, surfaces, k);
    const int count = SurfaceSamples(s, samples);
    for (int q = 0; q < count; ++q) {
      const VECTOR inward = senses[k] * NormalAt(s, samples[q], precision);
      for (double h = precision; h <= precision * g.tol.maxDistanceRatio; h *= 2.0) {
        const VECTOR p = samples[q] + h * inward;
        if (StrictlyInside(g, p, n, surfaces, senses, precision)) {
          *point = p;
          return true;
        }
        if (senses[k] * Value(s, p) < -precision) break;
      }
    }
  }
  return false;
}

void WarnPrecision(const GeometryAnalysis& g, double value) {
  fprintf(g.console != nullptr ? g.console : stdout, kMsgPrecisionIncreased, value);
}

// Side of cell c for plane p of an axis (0 when no table).
int PlaneSide(const GeometryAnalysis& g, int axis, int plane, int cell) {
  return g.planeCellSide[axis] != nullptr ? g.planeCellSide[axis][static_cast<size_t>(plane) * g.nCells + cell] : 0;
}

// True when some coordinate plane has the two cells on opposite sides.
bool PlaneSeparates(const GeometryAnalysis& g, int a, int b) {
  for (int axis = 0; axis < 3; ++axis)
    for (int p = 0; p < g.nPlanes[axis]; ++p)
      if (PlaneSide(g, axis, p, a) * PlaneSide(g, axis, p, b) == -1) return true;
  return false;
}

// Keeps the entries not marked, in order; returns the new count.
int Compact(std::vector<uint16_t>& surfaces, std::vector<int8_t>& senses, const std::vector<uint8_t>& removed) {
  int kept = 0;
  for (size_t q = 0; q < surfaces.size(); ++q) {
    if (removed[q]) continue;
    surfaces[kept] = surfaces[q];
    senses[kept] = senses[q];
    ++kept;
  }
  surfaces.resize(kept);
  senses.resize(kept);
  return kept;
}

// ---- A march along the curve of CurveInRegion from a root at t on branch b
// that lies on surface e too: the first parameter (positive steps, then
// negative) at which the point is inside both e and q and every other
// surface but x1 and x2.
struct RegionView {
  const GeometryAnalysis& g;
  const CURVE* curve;
  int n;
  const SURFACE* const* surfaces;
  const int8_t* senses;
  double precision;
  int x1, x2;

  double Signed(int l, VECTOR p) const { return senses[l] * Value(surfaces[l], p); }

  // Result for root point p meeting surface q: fails, or the first l not
  // strictly inside (kNone when p is inside all).
  bool Test(VECTOR p, int q, int skip, int* onSurface) const {
    *onSurface = kNone;
    for (int l = 0; l < n; ++l) {
      if (l == x1 || l == x2 || l == q || l == skip) continue;
      const double s = Signed(l, p);
      if (s < -precision) return false;
      if (s <= precision && *onSurface == kNone) *onSurface = l;
    }
    return true;
  }

  bool MarchFromRoot(int branch, double t, int q, int e, double t0, double t1, double base) const {
    for (double direction : {1.0, -1.0}) {
      double step = base;
      double se = 0.0, sq = 0.0;
      VECTOR p{};
      for (int i = 0; i < kMarchMaxDoublings; ++i) {
        step *= 2.0;
        const double tt = t + direction * step;
        if (tt < t0 || tt > t1) break;
        p = CurvePoint(curve, branch, tt, precision);
        se = Signed(e, p);
        if (fabs(se) > precision) sq = Signed(q, p);
        if (fabs(se) > precision && fabs(sq) > precision) break;
      }
      int onSurface;
      if (se > precision && sq > precision && Test(p, q, e, &onSurface) && onSurface == kNone) return true;
    }
    return false;
  }
};

}  // namespace

int SurfacePairRelation(const GeometryAnalysis& g, const uint16_t* surfaces, int i, int j, const int8_t* senses,
                        double precision, uint8_t* notParameterised) {
  CURVE curve{};
  const SURFACE* si = SurfaceAt(g, surfaces, i);
  const SURFACE* sj = SurfaceAt(g, surfaces, j);
  const int code = IntersectSurfaces(si, sj, &curve, precision, g.tol);
  int factor = 0;
  if (code == kPairSameSurface) factor = si->type == kSurfacePlane && Dot(si->axis, sj->axis) <= 0.0 ? -1 : 1;
  const int p = senses[i] * senses[j] * factor;
  if (p < 0) return 0;
  if (p > 0) return -1;
  static constexpr int kTable[4][4] = {
      {0, -2, -1, 1},   // each outside the other
      {-2, 0, 1, -1},   // i inside j
      {-1, 1, 0, -2},   // j inside i
      {1, -1, -2, 0},   // any other relation
  };
  const int column = SenseColumn(senses[i], senses[j]);
  switch (code) {
    case kCodeMutuallyOutside: return kTable[0][column];
    case kCodeFirstInside: return kTable[1][column];
    case kCodeSecondInside: return kTable[2][column];
    case kCodeOtherRelation: return kTable[3][column];
    default:
      if (code > kLastParametrisedCurve) *notParameterised = 1;
      return 1;
  }
}

int AnalyzeCell(const GeometryAnalysis& g, int n, const uint16_t* surfaces, const int8_t* senses, VECTOR* point,
                uint8_t* kind, double* precision) {
  *kind = kPointNone;
  if (n < 2) return kRegionUndecided;

  // ---- 1-2. Candidate vertex or edge.
  CandidateSearch search{g, n, surfaces, senses, precision, {}, {}, false, n};
  search.Run();
  const bool candidateRecorded = search.recorded.i != kNone;
  if (!search.done && (n == 2 || !candidateRecorded)) {
    if (InteriorPointWithoutEdges(g, n, surfaces, senses, *precision, point)) {
      *kind = kPointInterior;
      return kRegionHasVolume;
    }
    return n == 2 ? kRegionHasVolume : kRegionUndecided;
  }
  Candidate c = search.done ? search.finished : search.recorded;
  const bool vertex = c.third != kNone;
  *kind = vertex ? kPointVertex : kPointNone;

  // ---- 3. Start point and the surfaces through it.
  std::vector<int> list;
  if (vertex) {
    const double d = fabs(Value(SurfaceAt(g, surfaces, c.third), c.point));
    if (d > *precision) {
      *precision = d;
      WarnPrecision(g, d);
    }
    list = {c.third, c.j, c.i};
  } else {
    EdgeStart(c, *precision);
    list = {c.i, c.j};
  }
  list.insert(list.end(), c.through.begin(), c.through.end());
  *point = c.point;

  // ---- 4. Direction into the interior.
  int failure = 0;
  const VECTOR D = InteriorDirection(g, c, vertex, list, surfaces, senses, *precision, &failure);
  if (failure != 0) return failure;

  // ---- 5-6. March inside and check every half-space.
  if (MarchInside(g, point, D, list, surfaces, senses, *precision) &&
      StrictlyInside(g, *point, n, surfaces, senses, *precision)) {
    *kind = kPointInterior;
    return kRegionHasVolume;
  }
  return candidateRecorded ? kRegionDoubtful : kRegionEmpty;
}

VECTOR MarchLinePair(const GeometryAnalysis& g, int k, int* a, int* b, int x1, int x2, VECTOR vertex, int m,
                     const int* list, const uint16_t* surfaces, const int8_t* senses, const VECTOR* normals,
                     double precision, int* status) {
  const VECTOR zero{0.0, 0.0, 0.0};
  if (k >= 0) {  // pair number k = b (b - 1) / 2 + a with a < b
    int bb = static_cast<int>((sqrt(8.0 * k + 1.0) + 1.0) / 2.0);
    while (bb * (bb - 1) / 2 > k) --bb;
    while ((bb + 1) * bb / 2 <= k) ++bb;
    *b = bb;
    *a = k - bb * (bb - 1) / 2;
  }
  if (*a == x1 || *a == x2 || *b == x1 || *b == x2) {
    *status = kEdgeExcluded;
    return zero;
  }
  VECTOR e = Cross(normals[*a], normals[*b]);
  if (Norm(e) <= g.tol.anglePrecision) {
    *status = kEdgeParallelNormals;
    return zero;
  }
  e /= Norm(e);
  for (double orientation : {1.0, -1.0}) {
    const VECTOR d = orientation * e;
    VECTOR p = vertex;
    double h = 0.5 * precision;
    int previous = kEdgeAlongRegion, repeats = 0;
    bool outsideSeen = false;
    *status = kEdgeStepLimit;
    for (int step = 0; step < kMarchMaxDoublings; ++step) {
      h *= 2.0;
      if (h > precision * g.tol.maxDistanceRatio) break;
      p += h * d;
      int verdict = kEdgeAlongRegion;
      bool hasVerdict = true;
      for (int q = 0; q < m; ++q) {
        if (q == *a || q == *b) continue;
        const double f = Value(SurfaceAt(g, surfaces, list[q]), p);
        if (fabs(f) <= precision) {
          if (outsideSeen) hasVerdict = false;
          break;
        }
        if (senses[list[q]] * f < 0.0) {
          outsideSeen = true;
          hasVerdict = false;
          break;
        }
      }
      if (!hasVerdict) continue;
      if (outsideSeen) verdict = kEdgeLeftRegion;
      outsideSeen = false;
      if (verdict != previous) {
        previous = verdict;
        repeats = 0;
      } else if (++repeats == kMarchVerdictRepeats) {
        *status = verdict;
        break;
      }
    }
    if (*status == kEdgeAlongRegion) return d;
  }
  return e;
}

VECTOR MarchLine(const GeometryAnalysis& g, int n, const VECTOR* start, VECTOR* candidates,
                 const uint16_t* surfaces, const int8_t* senses, const int* list, int special, double precision,
                 const CURVE* curve) {
  const VECTOR zero{0.0, 0.0, 0.0};
  VECTOR sum = zero;
  for (int q = 0; q < n; ++q) {
    VECTOR& d = candidates[q];
    const double length = Norm(d);
    if (length <= g.tol.anglePrecision) return zero;
    d /= length;
    // ---- Watch surface list[q] along d until its change keeps one sign four
    // steps running; a direction along which it never settles (tangent to it)
    // fails at the step limit.
    const int w = list[q];
    const SURFACE* s = SurfaceAt(g, surfaces, w);
    VECTOR p = *start;
    double h = 0.5 * precision;
    double previousValue = 0.0, previousChange = 0.0, change = 0.0;
    int counter = 0;
    bool settled = false;
    for (int step = 0; step < kMarchMaxDoublings; ++step) {
      h *= 2.0;
      if (h > precision * g.tol.maxDistanceRatio) break;
      p += h * d;
      const double f = Value(s, p);
      if (step > 0) {
        change = f - previousValue;
        counter = change * previousChange <= 0.0 ? 0 : counter + 1;
        previousChange = change;
        if (counter == kMarchVerdictRepeats) {
          settled = true;
          break;
        }
      }
      previousValue = f;
    }
    if (!settled) return zero;
    if (senses[w] * change < 0.0) {
      if (q == special) {
        d = (Dot(d, curve->dir[0]) < Dot(d, curve->dir[1])) ? curve->dir[0] : curve->dir[1];
      } else {
        d = -d;
      }
    }
    sum += d;
  }
  const double length = Norm(sum);
  return length > 0.0 ? sum / length : zero;
}

int CurveInRegion(const GeometryAnalysis& g, const CURVE* curve, int n, const SURFACE* const* surfaces,
                  const int8_t* senses, VECTOR* point, int* position, double precision, int x1, int x2) {
  const int code = curve->type;
  const int nb = CurveBranchCount(code);
  enum BranchState : uint8_t { kUndecided, kExcluded, kMet };
  BranchState state[4] = {kUndecided, kUndecided, kUndecided, kUndecided};
  int remaining = nb;
  int result = kCurveWhollyInRegion;
  const bool unbounded = code <= kCurveApexLines || code == kCurveConeHyperbola || code == kCurveConeParabola;
  const double t0 = unbounded ? -curve->range[0] : curve->range[0];
  const double t1 = curve->range[unbounded ? 0 : 1];
  const bool conicBranch = code == kCurveConeHyperbola || code == kCurveConeParabola;
  double base = (code >= kCurveCircle && code <= kCurveConeEllipse) ? g.tol.anglePrecision
                : conicBranch                                        ? sqrt(precision)
                                                                     : precision;
  const RegionView region{g, curve, n, surfaces, senses, precision, x1, x2};
  int branchOf[kMaxRoots];
  double parameterOf[kMaxRoots];
  VECTOR pointOf[kMaxRoots];
  for (int q = 0; q < n; ++q) {
    if (q == x1 || q == x2) continue;
    int side = 0;
    const int R = IntersectCurveSurface(curve, surfaces[q], branchOf, precision, parameterOf, pointOf, &side, g.tol);
    if (R == 0) {
      if ((side != 0 || nb == 1) && senses[q] * side < 0) return kCurveOutsideRegion;
      if (side == 0 && nb > 1 && remaining > 0) {
        for (int b = 0; b < nb; ++b) {
          if (state[b] != kUndecided) continue;
          if (senses[q] * CurveSideOfSurface(curve, b, surfaces[q], precision) < 0) {
            state[b] = kExcluded;
            --remaining;
          }
        }
      }
      continue;
    }
    const int roots = R < 0 ? -R : R;
    for (int r = 0; r < roots; ++r) {
      const int b = branchOf[r];
      const double t = parameterOf[r];
      if (nb > 1 && state[b] == kUndecided) {
        state[b] = kMet;
        --remaining;
      }
      result = kCurveEntersRegion;
      int onSurface;
      if (!region.Test(pointOf[r], q, kNone, &onSurface)) {
        result = kCurveOutsideRegion;
        continue;
      }
      if (onSurface == kNone) {
        *point = pointOf[r];
        *position = q;
        return kCurveEntersRegion;
      }
      if (conicBranch) {
        base = (2.0 * fabs(t) > 10.0 * precision && 4.0 * t * t > 10.0 * precision) ? precision / (2.0 * fabs(t))
                                                                                    : sqrt(precision);
      }
      if (region.MarchFromRoot(b, t, q, onSurface, t0, t1, base)) return kCurveEntersRegion;
      result = kCurveOutsideRegion;
    }
  }
  if (nb > 1 && result == kCurveWhollyInRegion && remaining == 0) return kCurveOutsideRegion;
  return result;
}

int CurveInCell(const GeometryAnalysis& g, const CURVE* curve, int cell, VECTOR* point, int* position,
                double precision, int x1, int x2) {
  const CELL& c = g.cells[cell];
  std::vector<const SURFACE*> surfaces(c.nSurf);
  std::vector<int8_t> senses(c.senses, c.senses + c.nSurf);
  for (int q = 0; q < c.nSurf; ++q) surfaces[q] = &g.surf[c.surfaces[q]];
  return CurveInRegion(g, curve, c.nSurf, surfaces.data(), senses.data(), point, position, precision, x1, x2);
}

bool CellInsideCell(const GeometryAnalysis& g, int a, int b, uint8_t* uncertain, double* precision) {
  if (PlaneSeparates(g, a, b)) return false;
  const CELL& A = g.cells[a];
  const CELL& B = g.cells[b];
  for (int k = 0; k < B.nSurf; ++k) {
    // The part of A outside half-space k of B.
    std::vector<uint16_t> surfaces(A.surfaces, A.surfaces + A.nSurf);
    std::vector<int8_t> senses(A.senses, A.senses + A.nSurf);
    surfaces.push_back(B.surfaces[k]);
    senses.push_back(static_cast<int8_t>(-B.senses[k]));
    std::vector<uint8_t> removed(surfaces.size(), 0);
    uint8_t notParameterised = 0;
    bool empty = false;
    for (int i = 0; i < A.nSurf && !empty; ++i) {
      const int r = SurfacePairRelation(g, surfaces.data(), i, A.nSurf, senses.data(), *precision, &notParameterised);
      if (r == 0) empty = true;
      if (r == -1) removed[i] = 1;
      if (r == -2) return false;
    }
    if (empty) continue;
    const int count = Compact(surfaces, senses, removed);
    if (count < 2) return false;
    VECTOR point;
    uint8_t kind;
    const int v = AnalyzeCell(g, count, surfaces.data(), senses.data(), &point, &kind, precision);
    if (v >= kRegionHasVolume) return false;
    if (notParameterised || v < kRegionUndecided) *uncertain = 1;
  }
  return true;
}

bool CellsOverlap(const GeometryAnalysis& g, int a, int b, uint8_t* undecided, double* precision) {
  if (PlaneSeparates(g, a, b)) return false;
  const CELL& A = g.cells[a];
  const CELL& B = g.cells[b];
  std::vector<uint16_t> surfaces(A.surfaces, A.surfaces + A.nSurf);
  std::vector<int8_t> senses(A.senses, A.senses + A.nSurf);
  surfaces.insert(surfaces.end(), B.surfaces, B.surfaces + B.nSurf);
  senses.insert(senses.end(), B.senses, B.senses + B.nSurf);
  const int n = static_cast<int>(surfaces.size());
  std::vector<uint8_t> removed(n, 0);
  uint8_t notParameterised = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n && !removed[i]; ++j) {
      if (removed[j]) continue;
      const int r = SurfacePairRelation(g, surfaces.data(), i, j, senses.data(), *precision, &notParameterised);
      if (r == 0) return false;
      if (r == -1) removed[i] = 1;
      if (r == -2) removed[j] = 1;
    }
  }
  const int count = Compact(surfaces, senses, removed);
  if (count < 2) return true;  // one half-space is never empty
  VECTOR point;
  uint8_t kind;
  const int v = AnalyzeCell(g, count, surfaces.data(), senses.data(), &point, &kind, precision);
  if (v >= kRegionHasVolume) return true;
  if (notParameterised || v < kRegionUndecided) *undecided = 1;
  return false;
}
