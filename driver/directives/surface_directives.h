// The directive S<n>: a plane, sphere, cylinder or cone, a standard
// macrobody, a general macrobody, or a copy of an earlier surface or
// macrobody moved by a coordinate transformation; its entries may be given
// in the auxiliary system of a transformation.
#pragma once

#include <cstdint>

#include "core/surface.h"
#include "core/transform.h"
#include "driver/status.h"

// S followed by text whose leading integer is positive.
bool IsSurfaceKeyword(const char* word);

// The S<n> line whose keyword is word (second pass).
Status DefineSurface(const char* word);

// Adds plain surface n (identifier, no owner): a coinciding plain surface is
// reported and the surface is still added; a coinciding macrobody facet is
// taken over instead (its normal turned to the new one, every use of it
// reversed with it, so that every region stays the same).
Status AddPlainSurface(int32_t n, SURFACE s);
