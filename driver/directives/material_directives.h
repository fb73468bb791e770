// The geometry-mode switch and the material directives: COMPLEX_GEOMETRY,
// M<n> (a material of the complex geometry) and MAT (the material of the
// simple geometry's layer).
#pragma once

#include <cstdint>
#include <vector>

#include "core/material.h"
#include "driver/directives/directive_keywords.h"
#include "driver/input/keyword_names.h"

namespace directives {
// -1 until the first directive that implies a mode, then 0 (simple geometry,
// one layer) or positive (complex geometry).
extern int32_t complexGeometry;

extern std::vector<MATERIAL> materials;  // grows by 20 zero-filled records
extern int32_t nMaterials;               // records in use
extern int32_t elementZ[kMaxElements];   // atomic number of each global element index
extern int32_t nElem_tot;                // distinct elements over all materials
}  // namespace directives

// Keyword indices (duplicate-keyword check); M<n> repeats and checks its number.
enum MaterialKeyword { kComplexGeometryKeyword = kMaterialKeywordBase, kMatKeyword };

// The directive module: true when word is COMPLEX_GEOMETRY, MAT or M<n>.
bool HandleMaterialDirective(const char* word);

// Appends COMPLEX_GEOMETRY, MAT and M<n> (the manual's names of this module).
void ListMaterialDirectives(KEYWORDNAMES* names);

// True when word has the form of an M<n> keyword (M and a positive leading integer).
bool IsMaterialNumberKeyword(const char* word);

// The state before the passes: mode undecided, no material, no element.
void ResetMaterialDirectives();

// "Error: Keyword \"%s\" can be used only in simple geometry mode, ..." and
// the complex counterpart; returns true (and fixes the mode) when allowed.
bool RequireSimpleGeometry(const char* keyword);
bool RequireComplexGeometry(const char* keyword);
