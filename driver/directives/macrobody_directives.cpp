#include "driver/directives/macrobody_directives.h"

#include <cstdio>
#include <string>
#include <vector>

#include "driver/directives/directive_words.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/macrobody_facets.h"
#include "driver/directives/region_checks.h"
#include "driver/directives/surface_records.h"

namespace {

constexpr const char* kMsgMacrobodyRegionsDisjoint =
    "Geometry error in the definition of general macrobody %d: Regions %s and %s do not intersect.\n";
constexpr const char* kMsgMacrobodyVolumeZero = "Geometry error: The volume of general macrobody %d is zero.\n";

bool SameFacets(const MACROBODYARRAYS& a, const MACROBODYARRAYS& b) {
  return a.surfaces == b.surfaces && a.senses == b.senses;
}

// An RCC or TRC made wholly of existing surfaces may repeat an earlier body.
void ReportRepeatedBody(int32_t kind, int32_t n, const MACROBODYARRAYS& facets) {
  for (int32_t m = 0; m < directives::geometry.nMacrobodies; ++m) {
    const MACROBODY& body = directives::geometry.macrobodies[static_cast<size_t>(m)];
    if (body.kind != kind || !SameFacets(directives::geometry.macrobodyArrays[static_cast<size_t>(m)], facets))
      continue;
    printf("Warning: Surfaces %d and %d coincide.\n", n, body.identifier);
    return;
  }
}

// Adds standard macrobody n of kind with its facets (normals out of the
// body): a facet that coincides with an existing surface uses it (with sense
// +1 when it is a plane of opposite normal), any other is appended as facet
// i + 1 of the new macrobody.
Status AddStandardMacrobody(int32_t kind, int32_t n, const FACETLIST& facets) {
  const int32_t owner = directives::geometry.nMacrobodies;
  MACROBODYARRAYS list;
  bool allMatched = true;
  for (int i = 0; i < facets.count; ++i) {
    SURFACE s = facets.facet[i];
    s.identifier = i + 1;
    s.macrobody = owner;
    s.referenceCount = 1;
    int32_t k = FindSameSurface(s);
    int8_t sense = -1;
    if (k >= 0) {
      SURFACE& old = directives::geometry.surf[static_cast<size_t>(k)];
      ++old.referenceCount;
      if (OppositePlanes(s, old)) sense = 1;
    } else {
      allMatched = false;
      if (Status st = AppendSurface(s, &k)) return st;
    }
    list.Append(static_cast<uint16_t>(k), sense, 0, 0);
  }
  if (allMatched && (kind == kMacrobodyRCC || kind == kMacrobodyTRC)) ReportRepeatedBody(kind, n, list);
  MACROBODY rec{};
  rec.kind = kind;
  rec.identifier = n;
  rec.copiedFrom = -1;
  AppendMacrobody(rec, std::move(list));
  return kOk;
}

void ReportRemovedItems(const MACROBODYARRAYS& items, const std::vector<bool>& removed, int32_t n) {
  std::vector<std::string> texts;
  for (size_t k = 0; k < items.size(); ++k) {
    if (removed[k]) texts.push_back(RegionItemText(items, k));
  }
  if (texts.size() == 1) {
    printf("Warning: Region %s was removed from the definition of general macrobody \"S%d\".\n", texts[0].c_str(), n);
  } else if (texts.size() == 2) {
    printf("Warning: Regions %s and %s were removed from the definition of general macrobody \"S%d\".\n",
           texts[0].c_str(), texts[1].c_str(), n);
  } else if (texts.size() > 2) {
    printf("Warning: %d regions (%s, %s, ...) were removed from the definition of general macrobody \"S%d\".\n",
           static_cast<int>(texts.size()), texts[0].c_str(), texts[1].c_str(), n);
  }
}

// Drops the redundant items of a general macrobody, with the warning and
// their references.
void DropRedundantItems(MACROBODYARRAYS* items, const std::vector<bool>& removed, int32_t n) {
  ReportRemovedItems(*items, removed, n);
  for (size_t k = 0; k < items->size(); ++k) {
    if (removed[k]) --directives::geometry.surf[items->surfaces[k]].referenceCount;
  }
  items->Keep(removed);
}

Status CopyStandardMacrobody(int32_t n, const MACROBODY& body, const MACROBODYARRAYS& facets, const TRANSFORM& tr) {
  FACETLIST moved;
  for (size_t i = 0; i < facets.size(); ++i) {
    SURFACE s = directives::geometry.surf[facets.surfaces[i]];
    if (s.type == kSurfacePlane && facets.senses[i] > 0) ReversePlane(&s);  // the normal out of the body
    moved.facet[moved.count++] = MovedSurface(s, tr);
  }
  return AddStandardMacrobody(body.kind, n, moved);
}

// A moved item of a general macrobody: an existing surface that coincides
// (the sense turned for a plane of opposite normal), or a new surface with
// identifier 0.
Status MovedItem(const SURFACE& original, const TRANSFORM& tr, int8_t* sense, int32_t* index) {
  SURFACE s = MovedSurface(original, tr);
  *index = FindSameSurface(s);
  if (*index >= 0) {
    SURFACE& old = directives::geometry.surf[static_cast<size_t>(*index)];
    ++old.referenceCount;
    if (OppositePlanes(s, old)) *sense = static_cast<int8_t>(-*sense);
    return kOk;
  }
  s.identifier = 0;
  s.referenceCount = 1;
  return AppendSurface(s, index);
}

Status CopyGeneralMacrobody(int32_t n, int32_t m, const MACROBODY& body, const MACROBODYARRAYS& items,
                            const TRANSFORM& tr) {
  MACROBODYARRAYS list;
  for (size_t k = 0; k < items.size(); ++k) {
    int8_t sense = items.senses[k];
    int32_t index = 0;
    if (Status s = MovedItem(directives::geometry.surf[items.surfaces[k]], tr, &sense, &index)) return s;
    list.Append(static_cast<uint16_t>(index), sense, items.surfMacrobody[k], items.surfFacet[k]);
  }
  MACROBODY rec{};
  rec.kind = kMacrobodyGeneral;
  rec.identifier = n;
  rec.copiedFrom = static_cast<int16_t>(body.copiedFrom >= 0 ? body.copiedFrom : m);
  AppendMacrobody(rec, std::move(list));
  return kOk;
}

}  // namespace

Status DefineStandardMacrobody(int32_t kind, const char* name, int32_t n, const double* entries, const TRANSFORM* tr) {
  const BODYINPUT in{kind,
                     name,
                     n,
                     entries,
                     directives::geometryPrecision.distancePrecision,
                     directives::geometryPrecision.anglePrecision};
  FACETLIST facets;
  if (Status s = BuildStandardFacets(in, &facets)) return s;
  if (tr != nullptr) {
    for (int i = 0; i < facets.count; ++i) facets.facet[i] = MovedSurface(facets.facet[i], *tr);
  }
  return AddStandardMacrobody(kind, n, facets);
}

Status DefineGeneralMacrobody(int32_t n) {
  if (Status s = CheckMacrobodyCapacity()) return s;
  MACROBODYARRAYS items;
  {
    RegionReader reader(false, n);
    for (char* token = NextDirectiveWord(); token != nullptr;) {
      if (reader.Add(&token) == 0) return kInputError;
    }
    if (reader.Finish() == 0) return kInputError;
    reader.AppendTo(&items);
  }
  if (items.size() < 2) {
    printf("Error: The number of surfaces specified in the definition of general macrobody \"S%d\" is less than 2.\n",
           n);
    return kInputError;
  }
  std::vector<bool> removed;
  if (Status s = FindRedundantHalfSpaces(items, kMsgMacrobodyRegionsDisjoint, n, &removed)) return s;
  DropRedundantItems(&items, removed, n);
  // One half-space left is a region of its own; the analysis needs two.
  if (items.size() > 1) {
    VECTOR point{};
    uint8_t kind = kPointNone;
    int32_t status = 0;
    if (Status s = CheckRegionVolume(items, kMsgMacrobodyVolumeZero, n, &point, &kind, &status)) return s;
  }
  MACROBODY rec{};
  rec.kind = kMacrobodyGeneral;
  rec.identifier = n;
  rec.copiedFrom = -1;
  AppendMacrobody(rec, std::move(items));
  return kOk;
}

Status CopyMacrobody(int32_t n, int32_t m, const TRANSFORM& tr) {
  if (Status s = CheckMacrobodyCapacity()) return s;
  const MACROBODY body = directives::geometry.macrobodies[static_cast<size_t>(m)];
  const MACROBODYARRAYS items = directives::geometry.macrobodyArrays[static_cast<size_t>(m)];
  if (body.kind == kMacrobodyGeneral) return CopyGeneralMacrobody(n, m, body, items, tr);
  return CopyStandardMacrobody(n, body, items, tr);
}
