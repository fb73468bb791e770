// Macrobodies of the S<n> directive: a standard body (its facets built,
// matched with the surfaces that exist and added), a general macrobody MB
// (a region of listed surfaces, facets and macrobodies) and the copy of a
// macrobody moved by a coordinate transformation.
#pragma once

#include <cstdint>

#include "core/transform.h"
#include "driver/status.h"

// Standard macrobody n of kind (name for the messages) from its entries, in
// the auxiliary system of tr when tr is not null.
Status DefineStandardMacrobody(int32_t kind, const char* name, int32_t n, const double* entries, const TRANSFORM* tr);

// General macrobody n: the items of the rest of the line.
Status DefineGeneralMacrobody(int32_t n);

// Macrobody n: macrobody index m moved by tr.
Status CopyMacrobody(int32_t n, int32_t m, const TRANSFORM& tr);
