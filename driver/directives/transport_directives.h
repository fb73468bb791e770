// Transport, table-index, forcing and track directives: cutoffs, forcing,
// accuracy and smoothness of the tables, the diffusion model's thresholds,
// the shape of the fast-lookup indexes, and what the track file records.
#pragma once

#include <cstdint>

#include "core/elements.h"
#include "driver/directives/directive_keywords.h"
#include "driver/input/keyword_names.h"

// Processes that can be forced: elastic, bremsstrahlung, excitation, and
// ionisation of the K, L and M shells.
enum ForcedProcess : int32_t { kForceElastic, kForceBrems, kForceExc, kForceIonK, kForceIonL, kForceIonM };
constexpr int kForcedProcessCount = 6;

// Type and size exponent of one fast-lookup index.
struct INDEXOPTION {
  int32_t type;
  int32_t exponent;
};

struct TRANSPORTOPTIONS {
  double cutE = 100.0;  // CUT_E, electron cutoff (eV, input unit when given)
  double cutP = 10.0;   // CUT_P, photon cutoff
  bool cutEGiven = false;
  bool cutPGiven = false;
  double force_wt = 0.001;         // FORCE_WT
  double sigmaErr = 0.001;         // SIGMA_ERR, relative error of the electron cross-section tables
  double coh_thr = 0.0001;         // COH_THR
  int32_t smoothCDF_elastic = -1;  // -1: settled after the input
  int32_t smoothCDF_inelastic = 1;
  double diffusion_totalToInelasticRatio_thr = 1e18;
  double diffusion_distToRMSpathRatio_thr = 5.0;
  int32_t coh = -1;            // COH, -1: settled after the input
  int32_t elastic = -1;        // ELASTIC, -1: settled after the input
  int32_t forceMaterials = 1;  // FORCE_MATERIALS, default forcing of materials

  // Fast-lookup indexes of the table kinds.
  int32_t outputIndexArrayInfo = 0;
  INDEXOPTION sigmaE = {-2, 17};
  INDEXOPTION elasticE = {-2, 17};
  INDEXOPTION elasticCDF = {-2, 18};
  int32_t elasticCDFExcludeFirst = 1;
  double elasticCDFCutoff = 1e-12;
  double elasticCDFStep = 0.01;
  double elasticPDFError = -0.1;  // negative: settled after the input
  INDEXOPTION excE = {-2, 17};
  INDEXOPTION ionE = {-2, 17};
  INDEXOPTION ionSecECDF = {-4, 18};
  int32_t ionSecECDFExcludeFirst = 0;

  // Tracks.
  int32_t nTracks = 0;
  int32_t nCollisionsTrack = 100000;  // stored collision limit of a track (given maximum + 2)
  int32_t skipTracksWithoutCollisions = 1;
  int32_t maxGenTracks = -1;
  int32_t chunkSizeTracks = 10000;
  int32_t trackPos = 1;
  int32_t trackSecondaryPhotons = 1;
  int32_t trackSecondaryElectrons = 1;
  int32_t trackPhotonProducedElectrons = -1;  // -1: follows trackSecondaryElectrons
  int32_t trackKnockOnElectrons = -1;
  int32_t trackBremsPhotons = -1;  // -1: follows trackSecondaryPhotons
  int32_t trackXrayPhotons = -1;

  // Interaction forcing: per-process defaults and per-element values (-1 not given).
  int32_t forceDefault[kForcedProcessCount] = {};
  int32_t forceByZ[kForcedProcessCount][kMaxZ + 1];
  bool forceByZGiven[kForcedProcessCount][kMaxZ + 1] = {};

  TRANSPORTOPTIONS();
};
namespace directives {
extern TRANSPORTOPTIONS transportOptions;
}  // namespace directives

// The directive module: true when word is one of these keywords.
bool HandleTransportDirective(const char* word);

// Appends the keywords of this module; the forcing keywords also in their
// element form ("FORCE_ELASTIC<Z>").
void ListTransportDirectives(KEYWORDNAMES* names);

// The state before the passes.
void ResetTransportDirectives();

// The forcing switch of process p for element Z: its own value when given, else the default.
int32_t ForcingSwitch(int p, int z);
