// Source, layer and physics-model directives: the source particles and their
// start distributions, the simple-geometry layer, the energy unit, the data
// folders and the switches of the physics models.
#pragma once

#include <cstdint>

#include "core/source.h"
#include "driver/directives/directive_keywords.h"
#include "driver/input/keyword_names.h"

namespace directives {
extern SOURCEDESCRIPTION source;  // PART, BEAM, SOURCE_POSITION, SOURCE_DIRECTION
extern LAYERGEOMETRY layer;       // THICK, CONC, Surface
}  // namespace directives

enum EnergyUnit : int32_t { kUnitMeV = 0, kUnitKeV = 1, kUnitEV = 2 };

// Physics-model switches and thresholds, with their defaults.
struct PHYSICSMODELOPTIONS {
  int32_t incoh_SubtractBindingEnergy = 1;           // INCOH_SUBTRACT_BINDING_E
  int32_t nonIsotropicBrems = 1;                     // BREMS_ANGULAR_DISTR
  int32_t bremsBinaryData = 1;                       // BREMS_BINARY_DATA: binary file rather than text tables
  int32_t ionDWBA = 1;                               // ION_DWBA: distorted-wave ionisation cross sections
  int32_t useDPWelasticScatteringCrossSections = 1;  // ELASTIC_DPW
  int32_t positronBremsCorrection = 1;               // BREMS_POSITRON_CORRECTION
  int32_t nonIsotropicPE = 1;                        // PE_ANGULAR_DISTR
  int32_t pe_angularDistr_nPoints = 21;              // PE_ANGULAR_DISTR_N
  int32_t usePPangularDistr = 1;                     // PP_ANGULAR_DISTR
  int32_t nonUniformPPenergy = 1;                    // PP_ENERGY_DISTR
  int32_t dopplerBroadening = 1;                     // INCOH_DOPPLER
  int32_t eContiguous = 1;                           // E_CONTIGUOUS: spectrum energies first, then weights
  double brems_lowEnThr = 1000.0;                    // BREMS_ANGULAR_DISTR_LOW_EN, eV (input unit when given)
  double brems_highEnThr = 1e9;                      // BREMS_ANGULAR_DISTR_HIGH_EN
  double pe_angularDistrThr = 50000.0;               // PE_ANGULAR_DISTR_THR
  bool brems_lowEnThrGiven = false;
  bool brems_highEnThrGiven = false;
  bool pe_angularDistrThrGiven = false;
  int32_t elasticSmallAngle = 0;  // ELASTIC_SMALL_ANGLE method 0..3
  int32_t energyUnit = kUnitMeV;  // E_UNIT
  double energyFactor = 1e-6;     // input unit per eV: 1e-6 MeV, 0.001 keV, 1 eV
};
namespace directives {
extern PHYSICSMODELOPTIONS physicsModels;
}  // namespace directives

// The directive module: true when word is one of these keywords.
bool HandleSourceDirective(const char* word);

// Appends the keywords of this module.
void ListSourceDirectives(KEYWORDNAMES* names);

// The state before the passes.
void ResetSourceDirectives();
