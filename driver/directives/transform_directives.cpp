#include "driver/directives/transform_directives.h"

#include <cmath>
#include <cstdio>

#include "core/physical_constants.h"
#include "core/text.h"
#include "driver/directives/directive_words.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/input/value_forms.h"
#include "geometry/frames.h"

namespace {

constexpr double kDegreesToRadians = kTwoPi / 360.0;
constexpr int kMaxTransformEntries = 9;
constexpr double kMaxAzimuth = 720.0;   // degrees, either sign
constexpr double kMaxElevation = 90.0;  // degrees, either sign

// The entries of one TR line and how its angles are read.
struct TRANSFORMINPUT {
  int32_t n;
  bool starred;  // *TR: components given as angles
  double e[kMaxTransformEntries];
  int count;
};

Status MissingSpecification() {
  printf("Error: Missing specification of a coordinate transformation.\n");
  return kInputError;
}

// ---- The unit vectors of the auxiliary axes ---------------------------------------

Status CheckAngle(const TRANSFORMINPUT& in, double angle, double limit, const char* what) {
  if (angle >= -limit && angle <= limit) return kOk;
  printf(
      "Error in specification of the coordinate transformation \"TR%d\": invalid %s %.14g (it must be between %s).\n",
      in.n, what, angle, limit == kMaxElevation ? "-90 and 90 degrees" : "-720 and +720 degrees");
  return kInputError;
}

// A unit vector from azimuth a and elevation e (degrees, entries k and k + 1);
// the azimuth is tested when testAzimuth (with the message naming it as an
// azimuth when asAzimuth, else as an angle).
Status DirectionFromAngles(const TRANSFORMINPUT& in, int k, bool testAzimuth, bool asAzimuth, VECTOR* v) {
  const double a = in.e[k], e = in.e[k + 1];
  if (testAzimuth) {
    if (Status s = CheckAngle(in, a, kMaxAzimuth, asAzimuth ? "azimuth angle" : "angle")) return s;
  }
  if (Status s = CheckAngle(in, e, kMaxElevation, "elevation angle")) return s;
  const double ar = a * kDegreesToRadians, er = e * kDegreesToRadians;
  *v = Init(std::cos(er) * std::cos(ar), std::cos(er) * std::sin(ar), std::sin(er));
  return kOk;
}

// A unit vector from three components (entries k to k + 2; with the star,
// the cosines of three angles in degrees), number `which` in the messages.
Status DirectionFromComponents(const TRANSFORMINPUT& in, int k, int which, VECTOR* v) {
  double c[3];
  for (int i = 0; i < 3; ++i) {
    c[i] = in.e[k + i];
    if (!in.starred) continue;
    if (Status s = CheckAngle(in, c[i], kMaxAzimuth, "angle")) return s;
    c[i] = std::cos(c[i] * kDegreesToRadians);
  }
  const VECTOR d = Init(c[0], c[1], c[2]);
  const double ap = directives::geometryPrecision.anglePrecision;
  if (Dot(d, d) <= ap * ap) {
    printf(
        "Error in specification of the coordinate transformation \"TR%d\": the norm of unit vector No. %d is less "
        "than %g.\n",
        in.n, which, ap);
    return kInputError;
  }
  const double length = Norm(d);
  if (in.starred && std::fabs(length - 1.0) > ap) {
    printf(
        "Error in specification of the coordinate transformation \"TR%d\": the norm of unit vector No. %d is not "
        "equal to 1.\n",
        in.n, which);
    return kInputError;
  }
  *v = d / length;
  return kOk;
}

// A Y' axis perpendicular to the unit X' axis. X' along +-y takes +-z
// (the general formula would give the zero vector there).
VECTOR ConstructedYAxis(VECTOR x) {
  const double ap = directives::geometryPrecision.anglePrecision;
  if (std::fabs(x.z) <= ap && std::fabs(x.x) <= ap) return Init(0.0, 0.0, x.y > 0.0 ? 1.0 : -1.0);
  if (std::fabs(x.y) > ap) {
    const VECTOR y = Init(x.x, x.y - 1.0 / x.y, x.z);  // (X' . this) = |X'|^2 - 1 = 0
    return y / Norm(y);
  }
  return Init(0.0, 1.0, 0.0);
}

// X' and Y' by the number of entries: 5 and 7 give X' by azimuth and
// elevation, 6 and 9 by components; Y' is built for 5 and 6, by azimuth and
// elevation for 7, by components for 8 and 9.
Status AuxiliaryAxes(const TRANSFORMINPUT& in, VECTOR* x, VECTOR* y) {
  const bool xByAngles = in.count == 5 || in.count == 7 || in.count == 8;
  if (Status s = xByAngles ? DirectionFromAngles(in, 3, true, true, x) : DirectionFromComponents(in, 3, 1, x)) return s;
  switch (in.count) {
    case 5:
    case 6:
      *y = ConstructedYAxis(*x);
      return kOk;
    case 7:
      return DirectionFromAngles(in, 5, in.starred, false, y);
    default:
      return DirectionFromComponents(in, in.count - 3, 2, y);
  }
}

// The rotation whose columns are X', Y', Z' = X' x Y' (Y' turned
// perpendicular to X' with a warning when it is not).
Status BuildRotation(const TRANSFORMINPUT& in, double* M) {
  VECTOR x, y;
  if (Status s = AuxiliaryAxes(in, &x, &y)) return s;
  const double ap = directives::geometryPrecision.anglePrecision;
  VECTOR z = Cross(x, y);
  if (Norm(z) <= ap) {
    printf(
        "Error in specification of the coordinate transformation \"TR%d\": the unit vectors of the auxiliary "
        "coordinate system are collinear.\n",
        in.n);
    return kInputError;
  }
  if (std::fabs(Dot(x, y)) > ap) {
    printf(
        "Warning: the unit vectors of the coordinate transformation \"TR%d\" are not orthogonal. The Y' unit vector "
        "will be rotated so that it is orthogonal to the X' unit vector.\n",
        in.n);
    y = Cross(z, x);
    y /= Norm(y);
  }
  z /= Norm(z);
  const VECTOR column[3] = {x, y, z};
  for (int j = 0; j < 3; ++j) {
    M[j] = column[j].x;
    M[3 + j] = column[j].y;
    M[6 + j] = column[j].z;
  }
  return kOk;
}

// ---- The line ---------------------------------------------------------------------

// A primary transformation TR<p> at *token: *primary set, *token moved on.
Status ReadPrimary(const TRANSFORMINPUT& in, char** token, const TRANSFORM** primary) {
  if (!EqualNoCaseN(*token, "TR", 2) || PlainInteger(*token + 2) <= 0) return kOk;
  int32_t p = 0;
  if (!ReadKeywordNumber(*token + 2, &p)) {
    printf(
        "Error in specification of the coordinate transformation \"TR%d\": the identifier of the primary "
        "coordinate transformation must be \"TR<n>\", where \"<n>\" is a positive integer number less than 2^31 = "
        "2147483648.\n",
        in.n);
    return kInputError;
  }
  const int32_t index = FindTransform(p);
  if (index < 0) {
    printf(
        "Error: Unknown identifier of the primary coordinate transformation \"%s\" in the definition of the "
        "coordinate transformation \"TR%d\".\n",
        *token, in.n);
    return kInputError;
  }
  *primary = &directives::geometry.transforms[static_cast<size_t>(index)];
  *token = NextDirectiveWord();
  return *token == nullptr ? MissingSpecification() : kOk;
}

Status PrintEntryCount(const TRANSFORMINPUT& in) {
  printf(
      "Error in specification of the coordinate transformation \"TR%d\": incorrect number of numerical entries (it "
      "must be 3, 5, 6, 7, 8 or %d).\n",
      in.n, kMaxTransformEntries);
  return kInputError;
}

Status ReadEntries(char* token, TRANSFORMINPUT* in) {
  in->count = 0;
  for (; token != nullptr; token = NextDirectiveWord()) {
    if (in->count == kMaxTransformEntries) return PrintEntryCount(*in);
    if (!ReadExactNumber(token, &in->e[in->count])) {
      printf("Error in specification of the coordinate transformation \"TR%d\": incorrect number format \"%s\".\n",
             in->n, token);
      return kInputError;
    }
    ++in->count;
  }
  const int c = in->count;
  return c == 3 || (c >= 5 && c <= kMaxTransformEntries) ? kOk : PrintEntryCount(*in);
}

}  // namespace

bool IsTransformKeyword(const char* word) {
  const char* rest = word[0] == '*' ? word + 1 : word;
  return EqualNoCaseN(rest, "TR", 2) && PlainInteger(rest + 2) > 0;
}

Status DefineTransform(const char* word) {
  TRANSFORMINPUT in{};
  in.starred = word[0] == '*';
  if (!ReadKeywordNumber(word + (in.starred ? 3 : 2), &in.n)) {
    printf(
        "Error in specification of the coordinate transformation \"%s\": the first keyword format must be "
        "\"TR<n>\", where \"<n>\" is a positive integer number less than 2^31 = 2147483648.\n",
        word);
    return kInputError;
  }
  if (!RequireComplexGeometry("TR<n>")) return kInputError;
  if (FindTransform(in.n) >= 0) {
    printf("Error: Duplicate coordinate transformation identifier \"TR%d\".\n", in.n);
    return kInputError;
  }
  BeginDirectiveWords();
  char* token = NextDirectiveWord();
  if (token == nullptr) return MissingSpecification();
  if (directives::geometry.nTransforms >= kMaxTransforms) {
    printf("Error: The number of coordinate transformations is greater than %d.\n", kMaxTransforms);
    return kInputError;
  }
  const TRANSFORM* primary = nullptr;
  if (Status s = ReadPrimary(in, &token, &primary)) return s;
  if (Status s = ReadEntries(token, &in)) return s;

  TRANSFORM tr{};
  tr.identifier = in.n;
  tr.t = Init(in.e[0], in.e[1], in.e[2]);
  tr.M[0] = tr.M[4] = tr.M[8] = 1.0;
  if (in.count > 3) {
    if (Status s = BuildRotation(in, tr.M)) return s;
  }
  if (primary != nullptr) {
    ApplyTransform(&tr.t, *primary, tr.t);
    double M[9];
    for (int k = 0; k < 9; ++k) M[k] = primary->M[k];
    ComposeRotation(M, tr.M);
    for (int k = 0; k < 9; ++k) tr.M[k] = M[k];
  }
  directives::geometry.transforms.push_back(tr);
  ++directives::geometry.nTransforms;
  return kOk;
}
