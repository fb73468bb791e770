// MACROBODY: a named group of facet surfaces: a standard body (RCC, TRC, BOX,
// RPP, RHP/HEX, WED, ARB4, ARB) or a general macrobody MB built from listed
// surfaces and facets. Used while the input is read and by the messages that
// name a bounding surface; not copied to the devices.
#pragma once

#include <cstdint>

// Values of MACROBODY::kind; every kind but the general one is a standard body.
enum MacrobodyKind : int32_t {
  kMacrobodyGeneral = 0,
  kMacrobodyRCC = 1,
  kMacrobodyTRC = 2,
  kMacrobodyBOX = 3,
  kMacrobodyRPP = 4,
  kMacrobodyRHP = 5,  // RHP or HEX
  kMacrobodyWED = 6,
  kMacrobodyARB4 = 7,
  kMacrobodyARB = 8,
};

constexpr int kMaxMacrobodies = 10000;  // records of the macrobody table

struct MACROBODY {
  int32_t kind;             // MacrobodyKind
  int32_t identifier;       // n of S<n>
  uint16_t nFacets;         // facets (standard kinds) or listed items after expansion (general)
  uint16_t* facetSurfaces;  // [nFacets] SURFACE index of each facet
  int8_t* facetSenses;      // [nFacets] side of each facet on which the inside lies: -1 or +1
  int16_t copiedFrom;       // macrobody this one is a transformed copy of (the first of a chain), -1 none
  int16_t* surfMacrobody;   // [nFacets] general kind: 0 plain surface, else +-(macrobody index + 1)
  int16_t* surfFacet;       // [nFacets] general kind: 0 plain surface, else facet number (negative: a single facet named)
};
