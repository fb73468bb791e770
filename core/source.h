// The source description (particle kind, start position and direction
// distributions) and the layer of the simple geometry. Energies of the source
// spectrum are kept with the spectrum itself.
#pragma once

#include <cstdint>

#include "core/vector.h"

enum SourceParticle : uint8_t { kSourceElectron = 0, kSourcePhoton = 1, kSourcePositron = 2 };
enum SourcePositionType : int32_t { kPointSource = 1, kPlaneSource = 2, kCellSource = 3 };
enum SourceDirectionType : int32_t { kParallelBeam = 1, kConeBeam = 2, kIsotropic = 3 };

struct SOURCEDESCRIPTION {
  uint8_t part;                         // SourceParticle
  int32_t sourcePositionType;           // SourcePositionType
  int32_t sourceDirectionType;          // SourceDirectionType
  VECTOR beamOrigin;                    // start point of a point source, cm
  double beam_A, beam_B, beam_C;        // unit direction of a beam or axis of a cone
  VECTOR sourceCenter;                  // the point, or the centre of a plane source, cm
  VECTOR sourceNormal;                  // unit normal of the source plane
  double sourceConstantDensityRadius;   // radius of constant surface density, cm
  double sourceRMSwidth;                // RMS width of the Gaussian fall-off, cm
  double Q_source_position[9];          // frame about sourceNormal (columns u, n x u, n)
  int32_t sourceCell;                   // index of the source cell, -1 none
  double sourceConeCos;                 // cosine of the cone half-angle
  double Q_source_direction[9];         // frame about the cone axis
  bool positionGiven;                   // BEAM or SOURCE_POSITION seen
  bool directionGiven;                  // BEAM or SOURCE_DIRECTION seen
};

// The layer of the simple geometry: thickness, concentration and the front
// surface A x + B y + C z + D = 0 with a unit normal (A, B, C).
struct LAYERGEOMETRY {
  double w;                 // thickness, cm
  double concentration;     // of the layer's cell, given by CONC
  double surface_A, surface_B, surface_C, surface_D;
  double surface_Z;         // z of the given point of the front surface, cm
};

inline SOURCEDESCRIPTION DefaultSource() {
  SOURCEDESCRIPTION s{};
  s.part = kSourceElectron;
  s.sourcePositionType = kPointSource;
  s.sourceDirectionType = kParallelBeam;
  s.beam_C = 1.0;
  s.sourceCell = -1;
  return s;
}
