// The facets of the standard macrobodies (RCC, TRC, BOX, RPP, RHP/HEX, WED,
// ARB4, ARB) from the numbers of their S<n> directive, with the checks of
// each kind. Every facet is built with its normal pointing out of the body, so
// that the body lies on the negative side of each facet.
#pragma once

#include <cstdint>

#include "core/macrobody.h"
#include "core/surface.h"
#include "driver/status.h"

constexpr int kMaxStandardFacets = 8;  // a right hexagonal prism

struct FACETLIST {
  SURFACE facet[kMaxStandardFacets];
  int count = 0;
};

// What the builders read: the body's kind, its name and identifier for the
// messages, its entries (cm, in the system they were written in) and the
// tolerances.
struct BODYINPUT {
  int32_t kind;      // MacrobodyKind, a standard kind
  const char* name;  // "box", "wedge" ...
  int32_t n;         // n of S<n>
  const double* e;   // the entries, as many as the kind takes
  double distancePrecision;
  double anglePrecision;
};

// Builds the facets of the body; prints the message of a failed check.
Status BuildStandardFacets(const BODYINPUT& in, FACETLIST* out);
