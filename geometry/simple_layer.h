// Locating in the simple geometry: one layer of thickness w between the front
// face A x + B y + C z + D = 0 (unit normal (A, B, C) pointing into the layer)
// and its parallel at depth w.
#pragma once

#include "core/hostdevice.h"
#include "core/vector.h"

struct LAYER {
  VECTOR normal;  // unit normal of the front face, into the layer
  double D;       // so that the depth of r is normal . r + D
  double w;       // thickness, cm
};

// Depth of a point below the front face, cm.
TQ_CPU_GPU inline double LayerDepth(const LAYER& layer, VECTOR r) { return Dot(layer.normal, r) + layer.D; }

constexpr double kLayerMissed = -1.0;  // LayerEntryDistance: the ray never meets the layer

// Distance along the unit direction u from r to the layer: 0 when r lies in
// the layer (faces included), the distance to the face the ray enters through
// otherwise, kLayerMissed when the ray moves away from the layer or parallel
// to it.
TQ_CPU_GPU inline double LayerEntryDistance(const LAYER& layer, VECTOR r, VECTOR u) {
  const double depth = LayerDepth(layer, r);
  if (depth >= 0.0 && depth <= layer.w) return 0.0;
  const double cosine = Dot(layer.normal, u);
  if (depth < 0.0 && cosine > 0.0) return -depth / cosine;
  if (depth > layer.w && cosine < 0.0) return (layer.w - depth) / cosine;
  return kLayerMissed;
}
