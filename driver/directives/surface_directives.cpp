#include "driver/directives/surface_directives.h"

#include <cmath>
#include <cstdio>

#include "core/physical_constants.h"
#include "core/text.h"
#include "driver/directives/directive_words.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/macrobody_directives.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/surface_records.h"
#include "driver/input/value_forms.h"
#include "geometry/surface_functions.h"

namespace {

constexpr double kDegreesToRadians = kTwoPi / 360.0;
constexpr int kMaxSurfaceEntries = 30;  // ARB

// One type of the S<n> directive.
struct SURFACETYPE {
  const char* keyword;
  const char* name;     // the name in messages
  int32_t surfaceType;  // SurfaceType of a regular surface, 0 for a macrobody
  int32_t bodyKind;     // MacrobodyKind of a standard macrobody, -1 for a regular surface
  int maxEntries;
  int radii;       // the last entries that are radii
  bool angleLast;  // the last entry is a half-angle in degrees
};

const SURFACETYPE kSurfaceTypes[] = {
    {"P", "plane", kSurfacePlane, -1, 9, 0, false},
    {"S", "sphere", kSurfaceSphere, -1, 4, 1, false},
    {"CY", "cylinder", kSurfaceCylinder, -1, 7, 1, false},
    {"CO", "cone", kSurfaceCone, -1, 7, 0, true},
    {"RCC", "right circular cylinder", 0, kMacrobodyRCC, 7, 1, false},
    {"TRC", "truncated right-angle cone", 0, kMacrobodyTRC, 8, 2, false},
    {"BOX", "box", 0, kMacrobodyBOX, 12, 0, false},
    {"RPP", "rectangular parallelepiped", 0, kMacrobodyRPP, 6, 0, false},
    {"RHP", "right hexagonal prism", 0, kMacrobodyRHP, 9, 0, false},
    {"HEX", "right hexagonal prism", 0, kMacrobodyRHP, 9, 0, false},
    {"WED", "wedge", 0, kMacrobodyWED, 12, 0, false},
    {"ARB4", "four-sided polyhedron", 0, kMacrobodyARB4, 12, 0, false},
    {"ARB", "polyhedron", 0, kMacrobodyARB, 30, 0, false},
};

const SURFACETYPE* FindSurfaceType(const char* word) {
  for (const SURFACETYPE& t : kSurfaceTypes) {
    if (EqualNoCase(word, t.keyword)) return &t;
  }
  return nullptr;
}

// An identifier read as a number in (0.5, 2^31 - 0.5), rounded half up.
bool IdentifierValue(double v, int32_t* id) {
  if (!(v > 0.5 && v < 2147483647.5)) return false;
  *id = static_cast<int32_t>(RoundCount(v));
  return true;
}

Status MissingSpecification() {
  printf("Error: Missing specification of a surface.\n");
  return kInputError;
}

// ---- The entries ------------------------------------------------------------------

// One entry at position k of the type's entries (a radius checked, a
// half-angle turned into radians).
Status ReadEntry(const SURFACETYPE& t, int32_t n, const char* token, int k, double* e) {
  double v = 0.0;
  if (!ReadExactNumber(token, &v)) {
    printf("Error in specification of the %s \"S%d\": incorrect number format \"%s\".\n", t.name, n, token);
    return kInputError;
  }
  if (k >= t.maxEntries - t.radii && !(v > 0.0)) {
    printf("Error in specification of the %s \"S%d\": radius is not a positive number (%g).\n", t.name, n, v);
    return kInputError;
  }
  if (t.angleLast && k == t.maxEntries - 1) v *= kDegreesToRadians;
  e[k] = v;
  return kOk;
}

Status ReadEntries(const SURFACETYPE& t, int32_t n, double* e, int* count) {
  *count = 0;
  for (char* token = NextDirectiveWord(); token != nullptr; token = NextDirectiveWord()) {
    if (*count == t.maxEntries) {
      printf("Error: The number of entries in the definition of the %s \"S%d\" is greater than %d.\n", t.name, n,
             t.maxEntries);
      return kInputError;
    }
    if (Status s = ReadEntry(t, n, token, *count, e)) return s;
    ++*count;
  }
  if (t.surfaceType == kSurfacePlane) {
    if (*count == 4 || *count == 6 || *count == 9) return kOk;
    printf("Error: Incorrect number of entries in the definition of the %s \"S%d\" (it must be 4, 6 or 9).\n", t.name,
           n);
    return kInputError;
  }
  if (*count == t.maxEntries) return kOk;
  printf("Error: The number of entries in the definition of the %s \"S%d\" is less than %d.\n", t.name, n,
         t.maxEntries);
  return kInputError;
}

// ---- Regular surfaces -------------------------------------------------------------

VECTOR Triple(const double* e) { return Init(e[0], e[1], e[2]); }

Status UnitDirection(const SURFACETYPE& t, int32_t n, VECTOR d, VECTOR* unit) {
  const double length = Norm(d);
  if (length == 0.0) {
    printf("Error in specification of the %s \"S%d\": all components of the direction vector are zero.\n", t.name, n);
    return kInputError;
  }
  *unit = d / length;
  return kOk;
}

// The normal of the plane through three points, turned so that the origin
// lies on its negative side (for a plane through the origin: its first
// component of z, y, x that is not zero made positive).
Status PlaneThroughPoints(const SURFACETYPE& t, int32_t n, const double* e, SURFACE* s) {
  const GEOMETRYPRECISION& p = directives::geometryPrecision;
  const VECTOR point[3] = {Triple(e), Triple(e + 3), Triple(e + 6)};
  VECTOR d[3];
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    d[i] = point[j] - point[i];
    const double length = Norm(d[i]);
    if (length <= p.distancePrecision) {
      printf(
          "Error: Distance between points No. %d and No. %d in the definition of the %s \"S%d\" is less than %g cm.\n",
          i + 1, j + 1, t.name, n, p.distancePrecision);
      return kInputError;
    }
    d[i] /= length;
  }
  VECTOR normal = Cross(d[0], d[1]);
  const double length = Norm(normal);
  if (length <= p.anglePrecision) {
    printf("Error in specification of the %s \"S%d\": the three points are collinear.\n", t.name, n);
    return kInputError;
  }
  normal /= length;
  const double fromOrigin = Dot(normal, point[0]);
  if (std::fabs(fromOrigin) > p.distancePrecision) {
    if (fromOrigin < 0.0) normal = -normal;
  } else {
    const double components[3] = {normal.z, normal.y, normal.x};
    for (double c : components) {
      if (std::fabs(c) <= p.anglePrecision) continue;
      if (c < 0.0) normal = -normal;
      break;
    }
  }
  *s = PlaneSurface(point[0], normal);
  return kOk;
}

Status BuildPlane(const SURFACETYPE& t, int32_t n, const double* e, int count, SURFACE* s) {
  VECTOR normal;
  if (count == 9) return PlaneThroughPoints(t, n, e, s);
  if (count == 6) {
    if (Status st = UnitDirection(t, n, Triple(e + 3), &normal)) return st;
    *s = PlaneSurface(Triple(e), normal);
    return kOk;
  }
  // A x + B y + C z = D.
  const VECTOR abc = Triple(e);
  if (Status st = UnitDirection(t, n, abc, &normal)) return st;
  *s = PlaneSurface(e[3] / Norm(abc) * normal, normal);
  return kOk;
}

Status CheckConeAngle(int32_t n, double angle) {
  const double low = directives::geometryPrecision.anglePrecision,
               high = kTwoPi / 4.0 - directives::geometryPrecision.anglePrecision;
  if (angle > low && angle < high) return kOk;
  printf("Error in specification of the cone \"S%d\": incorrect angle %g (it must be between %.15g and %.15g).\n", n,
         angle / kDegreesToRadians, low / kDegreesToRadians, high / kDegreesToRadians);
  return kInputError;
}

Status BuildRegularSurface(const SURFACETYPE& t, int32_t n, const double* e, int count, SURFACE* s) {
  VECTOR axis;
  switch (t.surfaceType) {
    case kSurfacePlane:
      return BuildPlane(t, n, e, count, s);
    case kSurfaceSphere:
      *s = SphereSurface(Triple(e), e[3]);
      return kOk;
    case kSurfaceCylinder:
      if (Status st = UnitDirection(t, n, Triple(e + 3), &axis)) return st;
      *s = CylinderSurface(Triple(e), axis, e[6]);
      return kOk;
    default:
      if (Status st = UnitDirection(t, n, Triple(e + 3), &axis)) return st;
      *s = ConeSurface(Triple(e), axis, e[6]);
      return kOk;
  }
}

Status DefineRegularSurface(const SURFACETYPE& t, int32_t n, const TRANSFORM* tr) {
  double e[kMaxSurfaceEntries] = {};
  int count = 0;
  SURFACE s{};
  if (Status st = ReadEntries(t, n, e, &count)) return st;
  if (Status st = BuildRegularSurface(t, n, e, count, &s)) return st;
  if (tr != nullptr) s = MovedSurface(s, *tr);
  if (s.type == kSurfaceCone) {
    if (Status st = CheckConeAngle(n, s.halfAngle)) return st;
  }
  return AddPlainSurface(n, s);
}

Status DefineStandardBody(const SURFACETYPE& t, int32_t n, const TRANSFORM* tr) {
  if (Status st = CheckMacrobodyCapacity()) return st;
  double e[kMaxSurfaceEntries] = {};
  int count = 0;
  if (Status st = ReadEntries(t, n, e, &count)) return st;
  return DefineStandardMacrobody(t.bodyKind, t.name, n, e, tr);
}

// ---- Copies -----------------------------------------------------------------------

// "S<n> <t> <m>": surface or macrobody m moved by transformation tr.
Status DefineCopy(int32_t n, const TRANSFORM& tr, const char* token, double value) {
  int32_t m = 0;
  if (!IdentifierValue(value, &m)) {
    printf("Error in specification of surface \"S%d\": Invalid identifier of the original surface \"%s\".\n", n, token);
    return kInputError;
  }
  if (NextDirectiveWord() != nullptr) {
    printf(
        "Error in specification of surface \"S%d\": Extra entries after the identifier of the original surface %d.\n",
        n, m);
    return kInputError;
  }
  const int32_t plain = FindPlainSurface(m);
  if (plain >= 0) return AddPlainSurface(n, MovedSurface(directives::geometry.surf[static_cast<size_t>(plain)], tr));
  const int32_t body = FindMacrobody(m);
  if (body >= 0) return CopyMacrobody(n, body, tr);
  printf("Error in specification of surface \"S%d\": Unknown identifier of the original surface %d.\n", n, m);
  return kInputError;
}

// The transformation number that may follow the keyword; *token moves on to
// the next word. *tr stays null without one.
Status ReadSurfaceTransform(int32_t n, char** token, const TRANSFORM** tr) {
  double v = 0.0;
  if (!ReadExactNumber(*token, &v)) return kOk;
  int32_t id = 0;
  if (!IdentifierValue(v, &id)) {
    printf("Error in specification of surface \"S%d\": Invalid identifier of coordinate transformation \"%s\".\n", n,
           *token);
    return kInputError;
  }
  const int32_t index = FindTransform(id);
  if (index < 0) {
    printf("Error in specification of surface \"S%d\": Unknown coordinate transformation \"%s\".\n", n, *token);
    return kInputError;
  }
  *tr = &directives::geometry.transforms[static_cast<size_t>(index)];
  *token = NextDirectiveWord();
  return *token == nullptr ? MissingSpecification() : kOk;
}

// ---- Coincidence ------------------------------------------------------------------

// Plain surface n (record s) takes over macrobody facet k that it coincides with.
void TakeOverFacet(int32_t k, int32_t n, const SURFACE& s) {
  SURFACE& facet = directives::geometry.surf[static_cast<size_t>(k)];
  facet.identifier = n;
  facet.macrobody = -1;
  if (!OppositePlanes(s, facet)) return;
  facet.axis = s.axis;
  facet.offset = s.offset;
  ReverseSenseEverywhere(k);
}

}  // namespace

bool IsSurfaceKeyword(const char* word) {
  return (word[0] == 'S' || word[0] == 's') && word[1] != '\0' && PlainInteger(word + 1) > 0;
}

Status AddPlainSurface(int32_t n, SURFACE s) {
  s.identifier = n;
  s.macrobody = -1;
  s.referenceCount = 0;
  bool reported = false;
  for (int32_t k = 0; k < directives::geometry.nSurfaces; ++k) {
    const SURFACE& old = directives::geometry.surf[static_cast<size_t>(k)];
    if (!SameSurface(&s, &old, directives::geometryPrecision.distancePrecision,
                     directives::geometryPrecision.anglePrecision))
      continue;
    if (old.macrobody >= 0) {
      TakeOverFacet(k, n, s);
      return kOk;
    }
    if (!reported) printf("Warning: Surfaces %d and %d coincide.\n", n, old.identifier);
    reported = true;
    if (directives::geometry.nMacrobodies == 0) break;
  }
  int32_t index = 0;
  return AppendSurface(s, &index);
}

Status DefineSurface(const char* word) {
  int32_t n = 0;
  if (!ReadKeywordNumber(word + 1, &n)) {
    printf(
        "Error in specification of the surface \"%s\": The first keyword format must be \"S<n>\", where \"<n>\" is a "
        "positive integer number less than 2^31 = 2147483648.\n",
        word);
    return kInputError;
  }
  if (!RequireComplexGeometry("S<n>")) return kInputError;
  if (FindPlainSurface(n) >= 0 || FindMacrobody(n) >= 0) {
    printf("Error: Duplicate surface identifier \"S%d\".\n", n);
    return kInputError;
  }
  BeginDirectiveWords();
  char* token = NextDirectiveWord();
  if (token == nullptr) return MissingSpecification();
  const TRANSFORM* tr = nullptr;
  if (Status s = ReadSurfaceTransform(n, &token, &tr)) return s;
  double value = 0.0;
  if (tr != nullptr && ReadExactNumber(token, &value)) return DefineCopy(n, *tr, token, value);
  if (EqualNoCase(token, "MB")) {
    if (tr == nullptr) return DefineGeneralMacrobody(n);
    printf(
        "Error: An attempt to define general macrobody \"S%d\" in an auxiliary coordinate system (this is allowed only "
        "for regular surfaces and standard macrobodies).\n",
        n);
    return kInputError;
  }
  const SURFACETYPE* t = FindSurfaceType(token);
  if (t == nullptr) {
    printf(
        "Error in specification of the surface \"S%d\": the surface type must be \"P\", \"S\", \"CY\", \"CO\", \"MB\", "
        "\"RCC\", \"TRC\", \"BOX\", \"RPP\", \"RHP\", \"HEX\", \"WED\", \"ARB4\" or \"ARB\".\n",
        n);
    return kInputError;
  }
  return t->bodyKind < 0 ? DefineRegularSurface(*t, n, tr) : DefineStandardBody(*t, n, tr);
}
