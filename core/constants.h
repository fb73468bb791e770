// Constants: the physical constants, options, source description, energy
// spectrum and geometry counts that every transport worker reads. The host
// fills one record after the set-up (each device receives its own copy, with
// device addresses in the pointer fields); transport code reaches the record
// through GetConstants(), which returns the copy of the side it runs on.
//
// The record holds what the transport uses so far; fields join in the order of
// the full record as their users arrive, and the offsets below pin the layout
// that the host and the device compilers must share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"

struct CELL;
struct MATERIAL;

constexpr int kMaxSpectrumEnergies = 10000;

struct Constants {
  // Physical constants (SI unless said; energies in eV).
  double pi;
  double c;             // speed of light, m/s
  double elch;          // elementary charge, C
  double fineStr_inv;   // inverse fine-structure constant
  double h;             // Planck constant, J s
  double elmass;        // electron mass, kg
  double restEn;        // electron rest energy m c^2, eV
  double elch_c;        // elch / c
  double constFact_coh;
  double constFact_incoh;
  double fact_waveNumber;
  double fineStr;
  double force_wt;      // FORCE_WT
  // Particle-following switches (0 or 1).
  int32_t trackSecondaryPhotons;
  int32_t trackSecondaryElectrons;
  int32_t trackPos;     // positions are followed (0 only in the simple geometry)
  int32_t elastic;
  int32_t coh;
  int32_t trackPhotonProducedElectrons;
  int32_t trackKnockOnElectrons;
  int32_t trackBremsPhotons;
  int32_t trackXrayPhotons;
  double coh_thr;
  double energyFactor;  // eV to the output energy unit
  int32_t nStreams_tot; // random-number streams of the run
  // Source particle and spectrum.
  uint8_t part;         // source particle kind: 0 electron, 1 photon, 2 positron
  int32_t nEnerg;       // spectrum energies
  double* E_source;     // [nEnerg] ascending spectrum energies, eV
  double* weight;       // [nEnerg] normalised weight of each bin
  // The layer of the simple geometry.
  double w;             // thickness, cm
  double concentration; // atoms per cm^3 of the layer's material
  double density;       // g/cm^3
  double cumulativeWeight[kMaxSpectrumEnergies];  // first 0, last exactly 1
  double surface_A;     // front face A x + B y + C z + D = 0, (A, B, C) a unit normal into the layer
  double surface_B;
  double surface_C;
  double surface_D;
  double surface_Z;     // z of the front face when surface_C is 1, cm
  // Source direction and precomputed entry of a point source with a fixed direction.
  double beam_A;
  double beam_B;
  double beam_C;
  double incidentDotProduct;  // cosine between the beam and the layer's normal
  double entry_X;       // where a fixed-direction point source enters the geometry, cm
  double entry_Y;
  double entry_Z;
  int32_t complexGeometry;     // 1 for a geometry of cells
  int32_t sourcePositionType;  // 1 point, 2 beam, 3 volume
  int32_t sourceDirectionType; // 1 fixed, 2 cone, 3 isotropic
  double Q_source_direction[9];  // row-major rotation of the cone frame into the global frame
  double Q_source_position[9];   // row-major rotation of the beam plane into the global frame
  double sourceConeCos;          // cosine of the cone's half-angle
  double sourceCenter[3];        // point source or beam centre, cm
  double sourceNormal[3];
  double sourceConstantDensityRadius;  // beam radius, cm; 0 = Gaussian profile only
  double sourceRMSwidth;               // per-axis RMS width of the Gaussian profile, cm
  int32_t sourceCell;                  // volume source cell, -1 none
  int32_t* source_partialVoxels;       // voxels cut by the source cell's boundary
  int32_t source_nPartialVoxels;
  int32_t* source_completeVoxels;      // voxels wholly inside the source cell
  int32_t source_nCompleteVoxels;
  double* source_voxelVolumeSum;       // cumulative volumes, complete then partial voxels, first 0
  int32_t source_startVoxel;           // start of the halving search in that table
  double anglePrecision;               // tolerance on unit vectors and cosines
  double distancePrecision;            // tolerance on lengths, cm
  int32_t entryVoxel;                  // voxel of the precomputed entry
  int16_t entryCell;                   // position of the entry cell in the voxel's cell list
  int16_t entrySurface;                // surface of the entry, -1 none
  double entryRadius;                  // free-motion radius at the entry point, cm
  int16_t nCells;
  int16_t nMaterials;
  CELL* cell;                          // cell array; the simple geometry's layer is record 0
  MATERIAL* material;                  // material array; the simple geometry uses record 0
  uint8_t useFreeMotionRadius;
  uint8_t storeFreeMotionRadius;       // free-motion data are banked with each particle
  uint8_t outputCellInteractionStats;  // per-cell interaction statistics
  int32_t interactionForcing;          // weights are in use
  int32_t device;                      // CUDA device that holds this copy
};

static_assert(offsetof(Constants, pi) == 0);
static_assert(offsetof(Constants, restEn) == 48);
static_assert(offsetof(Constants, force_wt) == 96);
static_assert(offsetof(Constants, trackSecondaryPhotons) == 104);
static_assert(offsetof(Constants, trackPos) == 112);
static_assert(offsetof(Constants, trackXrayPhotons) == 136);
static_assert(offsetof(Constants, coh_thr) == 144);
static_assert(offsetof(Constants, energyFactor) == 152);
static_assert(offsetof(Constants, nStreams_tot) == 160);
static_assert(offsetof(Constants, part) == 164);
static_assert(offsetof(Constants, nEnerg) == 168);
static_assert(offsetof(Constants, E_source) == 176);
static_assert(offsetof(Constants, weight) == 184);
static_assert(offsetof(Constants, w) == 192);
static_assert(offsetof(Constants, concentration) == 200);
static_assert(offsetof(Constants, density) == 208);
static_assert(offsetof(Constants, cumulativeWeight) == 216);
static_assert(offsetof(Constants, surface_A) == 80216);
static_assert(offsetof(Constants, surface_Z) == 80248);
static_assert(offsetof(Constants, beam_A) == 80256);
static_assert(offsetof(Constants, incidentDotProduct) == 80280);
static_assert(offsetof(Constants, entry_X) == 80288);
static_assert(offsetof(Constants, complexGeometry) == 80312);
static_assert(offsetof(Constants, sourcePositionType) == 80316);
static_assert(offsetof(Constants, sourceDirectionType) == 80320);
static_assert(offsetof(Constants, Q_source_direction) == 80328);
static_assert(offsetof(Constants, Q_source_position) == 80400);
static_assert(offsetof(Constants, sourceConeCos) == 80472);
static_assert(offsetof(Constants, sourceCenter) == 80480);
static_assert(offsetof(Constants, sourceNormal) == 80504);
static_assert(offsetof(Constants, sourceConstantDensityRadius) == 80528);
static_assert(offsetof(Constants, sourceRMSwidth) == 80536);
static_assert(offsetof(Constants, sourceCell) == 80544);
static_assert(offsetof(Constants, source_partialVoxels) == 80552);
static_assert(offsetof(Constants, source_nPartialVoxels) == 80560);
static_assert(offsetof(Constants, source_completeVoxels) == 80568);
static_assert(offsetof(Constants, source_nCompleteVoxels) == 80576);
static_assert(offsetof(Constants, source_voxelVolumeSum) == 80584);
static_assert(offsetof(Constants, source_startVoxel) == 80592);
static_assert(offsetof(Constants, anglePrecision) == 80600);
static_assert(offsetof(Constants, distancePrecision) == 80608);
static_assert(offsetof(Constants, entryVoxel) == 80616);
static_assert(offsetof(Constants, entryCell) == 80620);
static_assert(offsetof(Constants, entrySurface) == 80622);
static_assert(offsetof(Constants, entryRadius) == 80624);
static_assert(offsetof(Constants, nCells) == 80632);
static_assert(offsetof(Constants, nMaterials) == 80634);
static_assert(offsetof(Constants, cell) == 80640);
static_assert(offsetof(Constants, material) == 80648);
static_assert(offsetof(Constants, useFreeMotionRadius) == 80656);
static_assert(offsetof(Constants, storeFreeMotionRadius) == 80657);
static_assert(offsetof(Constants, outputCellInteractionStats) == 80658);
static_assert(offsetof(Constants, interactionForcing) == 80660);
static_assert(offsetof(Constants, device) == 80664);
static_assert(sizeof(Constants) == 80672);

// The host copy, filled by the driver before the workers start.
extern Constants hostConstants;

#if defined(__CUDACC__)
extern __constant__ Constants deviceConstants;
#endif

// The record of the side the caller runs on.
TQ_CPU_GPU inline const Constants& GetConstants() {
#if defined(__CUDA_ARCH__)
  return deviceConstants;
#else
  return hostConstants;
#endif
}

// Twice the electron rest energy, eV: the threshold of pair production and the
// term of E (E + 2 m c^2) = (p c)^2.
TQ_CPU_GPU inline double RestEnergyTwice(const Constants& k) { return 2.0 * k.restEn; }
