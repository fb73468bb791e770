#include "driver/directives/macrobody_facets.h"

#include <cmath>
#include <cstdio>

#include "core/physical_constants.h"
#include "driver/directives/surface_records.h"
#include "geometry/surface_functions.h"

namespace {

constexpr double kRadiansToDegrees = 360.0 / kTwoPi;
constexpr int kArbCorners = 8;
constexpr int kArbFaceEntries = 6;
constexpr int kMinArbFaces = 4;
// Face entries of ARB are four-digit integers; the range test takes them as
// written numbers, with this much room for rounding.
constexpr double kArbEntryLow = 1229.999999;
constexpr double kArbEntryHigh = 8765.000001;

VECTOR Triple(const double* e) { return Init(e[0], e[1], e[2]); }

void Add(FACETLIST* out, const SURFACE& s) { out->facet[out->count++] = s; }

// ---- Checks shared by several kinds -----------------------------------------------

Status CheckHeight(const BODYINPUT& in, VECTOR h) {
  if (Norm(h) > in.distancePrecision) return kOk;
  printf("Error in specification of the %s \"S%d\": the norm of the height vector is less than %g cm.\n", in.name, in.n,
         in.distancePrecision);
  return kInputError;
}

Status CheckEdgeLength(const BODYINPUT& in, VECTOR e, int number) {
  if (Norm(e) > in.distancePrecision) return kOk;
  printf("Error in specification of the %s \"S%d\": the norm of the edge vector No. %d is less than %g cm.\n", in.name,
         in.n, number, in.distancePrecision);
  return kInputError;
}

// The unit normal of the plane spanned by edges a and b (numbers na < nb for
// the message); refuses collinear edges.
Status SpannedNormal(const BODYINPUT& in, VECTOR a, VECTOR b, int na, int nb, VECTOR* normal) {
  const VECTOR c = Cross(a / Norm(a), b / Norm(b));
  const double length = Norm(c);
  if (length <= in.anglePrecision) {
    printf("Error in specification of the %s \"S%d\": edges No. %d and No. %d are collinear.\n", in.name, in.n, na, nb);
    return kInputError;
  }
  *normal = c / length;
  return kOk;
}

Status RefuseCoplanarEdges(const BODYINPUT& in) {
  printf("Error in specification of the %s \"S%d\": all three edges are coplanar.\n", in.name, in.n);
  return kInputError;
}

// ---- RCC and TRC ----------------------------------------------------------------

// The top plane (through base + h, normal along h) and the base plane.
void AddEndPlanes(VECTOR base, VECTOR h, FACETLIST* out) {
  const VECTOR u = h / Norm(h);
  Add(out, PlaneSurface(base + h, u));
  Add(out, PlaneSurface(base, -u));
}

Status BuildRcc(const BODYINPUT& in, FACETLIST* out) {
  const VECTOR base = Triple(in.e), h = Triple(in.e + 3);
  if (Status s = CheckHeight(in, h)) return s;
  Add(out, CylinderSurface(base, h / Norm(h), in.e[6]));
  AddEndPlanes(base, h, out);
  return kOk;
}

Status BuildTrc(const BODYINPUT& in, FACETLIST* out) {
  const VECTOR base = Triple(in.e), h = Triple(in.e + 3);
  const double r1 = in.e[6], r2 = in.e[7];
  if (Status s = CheckHeight(in, h)) return s;
  if (std::fabs(r1 - r2) <= in.distancePrecision) {
    printf("Error in specification of the %s \"S%d\": radii of both bases are equal.\n", in.name, in.n);
    return kInputError;
  }
  const double length = Norm(h);
  const VECTOR u = h / length;
  const double angle = std::atan(std::fabs(r1 - r2) / length);
  const double low = in.anglePrecision, high = kTwoPi / 4.0 - in.anglePrecision;
  if (!(angle > low && angle < high)) {
    printf("Error in specification of the %s \"S%d\": incorrect cone angle %g (it must be between %.15g and %.15g).\n",
           in.name, in.n, angle * kRadiansToDegrees, low * kRadiansToDegrees, high * kRadiansToDegrees);
    return kInputError;
  }
  // The apex lies on the axis where the radius would be 0; the axis points
  // from it towards the wider base.
  const bool baseWider = r1 > r2;
  const VECTOR apex = baseWider ? base + u * (length * r1 / (r1 - r2)) : base - u * (length * r1 / (r2 - r1));
  Add(out, ConeSurface(apex, baseWider ? -u : u, angle));
  AddEndPlanes(base, h, out);
  return kOk;
}

// ---- BOX and RPP ----------------------------------------------------------------

// The six faces of the parallelepiped of corner c and edges e, in pairs: for
// edge i the face through the far corner and the face through c, normal to
// the two other edges.
Status AddParallelepiped(const BODYINPUT& in, VECTOR c, const VECTOR* e, FACETLIST* out) {
  const VECTOR far = c + e[0] + e[1] + e[2];
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3, k = (i + 2) % 3;
    VECTOR n;
    if (Status s = SpannedNormal(in, e[j], e[k], 1 + (j < k ? j : k), 1 + (j < k ? k : j), &n)) return s;
    const double along = Dot(n, e[i]);
    if (std::fabs(along) <= in.distancePrecision) return RefuseCoplanarEdges(in);
    if (along < 0.0) n = -n;
    Add(out, PlaneSurface(far, n));
    Add(out, PlaneSurface(c, -n));
  }
  return kOk;
}

Status BuildBox(const BODYINPUT& in, FACETLIST* out) {
  const VECTOR e[3] = {Triple(in.e + 3), Triple(in.e + 6), Triple(in.e + 9)};
  for (int i = 0; i < 3; ++i) {
    if (Status s = CheckEdgeLength(in, e[i], i + 1)) return s;
  }
  return AddParallelepiped(in, Triple(in.e), e, out);
}

Status BuildRpp(const BODYINPUT& in, FACETLIST* out) {
  const VECTOR e[3] = {Init(in.e[1] - in.e[0], 0.0, 0.0), Init(0.0, in.e[3] - in.e[2], 0.0),
                       Init(0.0, 0.0, in.e[5] - in.e[4])};
  for (const VECTOR& edge : e) {
    if (Norm(edge) <= in.distancePrecision) {
      printf("Error: The size of the %s \"S%d\" is less than %g cm.\n", in.name, in.n, in.distancePrecision);
      return kInputError;
    }
  }
  return AddParallelepiped(in, Init(in.e[0], in.e[2], in.e[4]), e, out);
}

// ---- RHP / HEX ------------------------------------------------------------------

Status BuildHexagonalPrism(const BODYINPUT& in, FACETLIST* out) {
  const VECTOR base = Triple(in.e), h = Triple(in.e + 3), side = Triple(in.e + 6);
  if (Status s = CheckHeight(in, h)) return s;
  const double apothem = Norm(side);
  if (apothem <= in.distancePrecision) {
    printf(
        "Error in specification of the %s \"S%d\": Distance from the symmetry axis to the side is less than %g cm.\n",
        in.name, in.n, in.distancePrecision);
    return kInputError;
  }
  const VECTOR axis = h / Norm(h), u = side / apothem;
  if (std::fabs(Dot(axis, u)) > in.anglePrecision) {
    printf(
        "Error: Vectors defined by the second and third triplets of entries in specification of %s \"S%d\" are not "
        "orthogonal.\n",
        in.name, in.n);
    return kInputError;
  }
  const VECTOR w = Cross(axis, u);
  AddEndPlanes(base, h, out);
  for (int k = 1; k <= 3; ++k) {
    const double angle = k * kTwoPi / 6.0;
    const VECTOR d = std::cos(angle) * u + std::sin(angle) * w;
    Add(out, PlaneSurface(base + apothem * d, d));
    Add(out, PlaneSurface(base - apothem * d, -d));
  }
  return kOk;
}

// ---- WED ------------------------------------------------------------------------

// The plane through p spanned by a and b, its normal turned so that the
// point p + away lies on its negative side.
SURFACE FaceAwayFrom(VECTOR p, VECTOR a, VECTOR b, VECTOR away) {
  VECTOR n = Cross(a, b);
  n /= Norm(n);
  if (Dot(n, away) > 0.0) n = -n;
  return PlaneSurface(p, n);
}

Status BuildWedge(const BODYINPUT& in, FACETLIST* out) {
  const VECTOR v = Triple(in.e), e1 = Triple(in.e + 3), e2 = Triple(in.e + 6), h = Triple(in.e + 9);
  const VECTOR edge[3] = {e1, e2, h};
  for (int i = 0; i < 3; ++i) {
    if (Status s = CheckEdgeLength(in, edge[i], i + 1)) return s;
  }
  VECTOR normal[3];
  const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (int k = 0; k < 3; ++k) {
    const int a = pairs[k][0], b = pairs[k][1];
    if (Status s = SpannedNormal(in, edge[a], edge[b], a + 1, b + 1, &normal[k])) return s;
  }
  if (std::fabs(Dot(normal[0], h)) <= in.distancePrecision) return RefuseCoplanarEdges(in);
  Add(out, FaceAwayFrom(v + e1, e2 - e1, h, -e1));  // the slanted face
  Add(out, FaceAwayFrom(v, e2, h, e1));
  Add(out, FaceAwayFrom(v, e1, h, e2));
  const SURFACE top = FaceAwayFrom(v + h, e1, e2, -h);
  Add(out, top);
  Add(out, PlaneSurface(v, -top.axis));
  return kOk;
}

// ---- ARB4 -----------------------------------------------------------------------

Status BuildArb4(const BODYINPUT& in, FACETLIST* out) {
  const VECTOR p[4] = {Triple(in.e), Triple(in.e + 3), Triple(in.e + 6), Triple(in.e + 9)};
  const VECTOR v[3] = {p[1] - p[0], p[2] - p[0], p[3] - p[0]};
  for (int i = 0; i < 3; ++i) {
    if (Status s = CheckEdgeLength(in, v[i], i + 1)) return s;
  }
  const VECTOR c = Cross(v[0] / Norm(v[0]), v[1] / Norm(v[1]));
  if (Norm(c) <= in.anglePrecision || std::fabs(Dot(c / Norm(c), v[2])) <= in.distancePrecision) {
    printf("Error in specification of the %s \"S%d\": all vertices belong to the same plane.\n", in.name, in.n);
    return kInputError;
  }
  // Each face through three corners, turned away from the fourth.
  const int faces[4][4] = {{0, 2, 3, 1}, {0, 3, 1, 2}, {0, 1, 2, 3}, {1, 2, 3, 0}};
  for (const auto& f : faces) {
    Add(out, FaceAwayFrom(p[f[0]], p[f[1]] - p[f[0]], p[f[2]] - p[f[0]], p[f[3]] - p[f[0]]));
  }
  return kOk;
}

// ---- ARB ------------------------------------------------------------------------

// One face of an ARB: the corners named by the digits of its entry (0-based;
// the fourth -1 when the face has three corners) and its plane.
struct ARBFACE {
  int code;
  int corner[4];
  SURFACE plane;
};

// The rule that a face entry of an ARB breaks, after the entry.
constexpr const char* kArbEntryRule =
    "(entries No. 25 - 30 that are not zero must be integers in the range from 1230 to 8765, with all digits "
    "different and less than 9 and the first three digits non-zero).\n";

bool ArbDigitsValid(const int* d) {
  for (int i = 0; i < 4; ++i) {
    if (d[i] == 9 || (i < 3 && d[i] == 0)) return false;
    for (int j = 0; j < i; ++j) {
      if (d[i] != 0 && d[i] == d[j]) return false;
    }
  }
  return true;
}

Status ReadArbFaces(const BODYINPUT& in, ARBFACE* faces, int* count) {
  *count = 0;
  for (int k = 0; k < kArbFaceEntries; ++k) {
    const double v = in.e[3 * kArbCorners + k];
    if (v == 0.0) continue;
    if (!(v >= kArbEntryLow && v <= kArbEntryHigh)) {
      printf("Error in specification of the %s \"S%d\": invalid entry %g %s", in.name, in.n, v, kArbEntryRule);
      return kInputError;
    }
    const int code = static_cast<int>(v + 0.5);
    const int d[4] = {code / 1000, code / 100 % 10, code / 10 % 10, code % 10};
    if (!ArbDigitsValid(d)) {
      printf("Error in specification of the %s \"S%d\": invalid entry %d %s", in.name, in.n, code, kArbEntryRule);
      return kInputError;
    }
    ARBFACE& f = faces[(*count)++];
    f.code = code;
    for (int i = 0; i < 4; ++i) f.corner[i] = d[i] - 1;
  }
  if (*count >= kMinArbFaces) return kOk;
  printf("Error in specification of the %s \"S%d\": the number of planes is less than 4.\n", in.name, in.n);
  return kInputError;
}

Status CheckArbCornerDistances(const BODYINPUT& in, const VECTOR* p, const bool* used) {
  for (int i = 0; i < kArbCorners; ++i) {
    for (int j = i + 1; j < kArbCorners; ++j) {
      if (!used[i] || !used[j] || Norm(p[i] - p[j]) > in.distancePrecision) continue;
      printf(
          "Error in specification of the %s \"S%d\": the distance between vertices No. %d and %d is less than %g cm.\n",
          in.name, in.n, i + 1, j + 1, in.distancePrecision);
      return kInputError;
    }
  }
  return kOk;
}

Status MakeArbPlane(const BODYINPUT& in, const VECTOR* p, ARBFACE* f) {
  const VECTOR a = p[f->corner[0]];
  const VECTOR u1 = (p[f->corner[1]] - a) / Norm(p[f->corner[1]] - a);
  const VECTOR u2 = (p[f->corner[2]] - a) / Norm(p[f->corner[2]] - a);
  const VECTOR n = Cross(u1, u2);
  if (Norm(n) <= in.anglePrecision) {
    printf("Error in specification of the %s \"S%d\": the three corners described by the entry \"%d\" are collinear.\n",
           in.name, in.n, f->code);
    return kInputError;
  }
  f->plane = PlaneSurface(a, n / Norm(n));
  const int fourth = f->corner[3];
  if (fourth >= 0 && std::fabs(DistanceToSurface(&p[fourth], &f->plane)) > in.distancePrecision) {
    printf(
        "Warning: In specification of the %s \"S%d\", the entry \"%d\" is inconsistent (corner No. %d does not lie in "
        "the plane containing corners No. %d, %d and %d).\n",
        in.name, in.n, f->code, fourth + 1, f->corner[0] + 1, f->corner[1] + 1, f->corner[2] + 1);
  }
  return kOk;
}

bool OnPlane(const BODYINPUT& in, const SURFACE& plane, VECTOR p) {
  return std::fabs(DistanceToSurface(&p, &plane)) <= in.distancePrecision;
}

Status CheckArbVertices(const BODYINPUT& in, const VECTOR* p, const bool* used, const ARBFACE* faces, int nFaces) {
  for (int i = 0; i < kArbCorners; ++i) {
    if (!used[i]) continue;
    int planes = 0;
    for (int f = 0; f < nFaces; ++f) planes += OnPlane(in, faces[f].plane, p[i]) ? 1 : 0;
    if (planes >= 3) continue;
    printf("Error in specification of the %s \"S%d\": vertex No. %d (%g, %g, %g) belongs to less than 3 planes.\n",
           in.name, in.n, i + 1, p[i].x, p[i].y, p[i].z);
    return kInputError;
  }
  return kOk;
}

// Every face with the used corners off it on one side, at least three on it;
// the normal turned away from the corners off it.
Status OrientArbFaces(const BODYINPUT& in, const VECTOR* p, const bool* used, ARBFACE* faces, int nFaces) {
  for (int f = 0; f < nFaces; ++f) {
    int onPlane = 0, positive = 0, negative = 0;
    for (int i = 0; i < kArbCorners; ++i) {
      if (!used[i]) continue;
      if (OnPlane(in, faces[f].plane, p[i])) {
        ++onPlane;
      } else if (DistanceToSurface(&p[i], &faces[f].plane) > 0.0) {
        ++positive;
      } else {
        ++negative;
      }
    }
    if (positive > 0 && negative > 0) {
      printf(
          "Error in specification of the %s \"S%d\": the vertices that do not belong to plane No. %d are not all on "
          "the same side of it.\n",
          in.name, in.n, f + 1);
      return kInputError;
    }
    if (onPlane < 3) {
      printf("Error in specification of the %s \"S%d\": plane No. %d contains less than 3 vertices.\n", in.name, in.n,
             f + 1);
      return kInputError;
    }
    if (positive > 0) ReversePlane(&faces[f].plane);
  }
  return kOk;
}

Status BuildArb(const BODYINPUT& in, FACETLIST* out) {
  VECTOR p[kArbCorners];
  for (int i = 0; i < kArbCorners; ++i) p[i] = Triple(in.e + 3 * i);
  ARBFACE faces[kArbFaceEntries];
  int nFaces = 0;
  if (Status s = ReadArbFaces(in, faces, &nFaces)) return s;
  bool used[kArbCorners] = {};
  for (int f = 0; f < nFaces; ++f) {
    for (int i = 0; i < 3; ++i) used[faces[f].corner[i]] = true;
  }
  if (Status s = CheckArbCornerDistances(in, p, used)) return s;
  for (int f = 0; f < nFaces; ++f) {
    if (Status s = MakeArbPlane(in, p, &faces[f])) return s;
  }
  for (int f = 0; f < nFaces; ++f) {
    for (int g = f + 1; g < nFaces; ++g) {
      if (!SameSurface(&faces[f].plane, &faces[g].plane, in.distancePrecision, in.anglePrecision)) continue;
      printf("Error in specification of the %s \"S%d\": some of the planes coincide.\n", in.name, in.n);
      return kInputError;
    }
  }
  if (Status s = CheckArbVertices(in, p, used, faces, nFaces)) return s;
  if (Status s = OrientArbFaces(in, p, used, faces, nFaces)) return s;
  for (int f = 0; f < nFaces; ++f) Add(out, faces[f].plane);
  return kOk;
}

}  // namespace

Status BuildStandardFacets(const BODYINPUT& in, FACETLIST* out) {
  out->count = 0;
  switch (in.kind) {
    case kMacrobodyRCC:
      return BuildRcc(in, out);
    case kMacrobodyTRC:
      return BuildTrc(in, out);
    case kMacrobodyBOX:
      return BuildBox(in, out);
    case kMacrobodyRPP:
      return BuildRpp(in, out);
    case kMacrobodyRHP:
      return BuildHexagonalPrism(in, out);
    case kMacrobodyWED:
      return BuildWedge(in, out);
    case kMacrobodyARB4:
      return BuildArb4(in, out);
    case kMacrobodyARB:
      return BuildArb(in, out);
    default:
      return kInputError;
  }
}
