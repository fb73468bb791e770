// Constants: the physical constants, options, source description, energy
// spectrum and geometry counts that every transport worker reads. The host
// fills one record after the set-up (each device receives its own copy, with
// device addresses in the pointer fields); transport code reaches the record
// through GetConstants(), which returns the copy of the side it runs on.
//
// The offsets below pin the layout that the host and the device compilers
// must share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"

struct CELL;
struct CELLUNION;
struct MATERIAL;
struct PLANESET;
struct SURFACE;
struct VOXEL;

constexpr int kMaxSourceSpectrumEnergies = 10000;  // points of the source energy spectrum

namespace core {
// Host storage of the spectrum's cumulative weights (constants.cpp).
extern double hostCumulativeWeight[kMaxSourceSpectrumEnergies];
}  // namespace core

// The spectrum's cumulative weights, kept outside the record as its other
// large tables are, so that the device copy fits in constant memory: the
// device copy points at device global memory; in the host copy a null pointer
// (the record as the driver clears it) stands for hostCumulativeWeight.
struct CUMULATIVEWEIGHTS {
  double* values;

  TQ_CPU_GPU double* Table() const {
#if defined(__CUDA_ARCH__)
    return values;
#else
    return values != nullptr ? values : core::hostCumulativeWeight;
#endif
  }
  TQ_CPU_GPU double& operator[](int32_t i) const { return Table()[i]; }
};

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
  // Electron and positron physics options.
  int32_t nonIsotropicBrems;                     // bremsstrahlung photon angles: 0 isotropic, else dipole or tabulated
  int32_t useDifferentCSforPositrons;            // the material tables hold positron rows
  int32_t useDPWelasticScatteringCrossSections;  // partial-wave elastic angular distributions
  int32_t elastic_smallAngle;                    // small-angle elastic model (mode 0..3)
  double brems_lowEnThr;   // eV: at or below, dipole-like bremsstrahlung angles
  double brems_highEnThr;  // eV: at or above, dipole-like bremsstrahlung angles
  // Photon physics options and the photon energies of the pair-sharing tables.
  int32_t nonIsotropicPE;               // PE_ANGULAR_DISTR: tabulated photoelectron directions
  double pe_angularDistrThr;            // PE_ANGULAR_DISTR_THR, eV
  int32_t pe_angularDistr_nPoints;      // cosines of one photoelectron angular table
  int32_t nonUniformPPenergy;           // PP_ENERGY_DISTR: tabulated pair energy sharing
  int32_t usePPangularDistr;            // PP_ANGULAR_DISTR
  int32_t dopplerBroadening;            // INCOH_DOPPLER
  int32_t incoh_SubtractBindingEnergy;  // INCOH_SUBTRACT_BINDING_E
  int32_t nElem_tot;                    // elements of the problem (records of elementArray)
  double pp_Eprim[12];                  // photon energies of the pair-sharing tables, eV
  int16_t n_pp_Eprim;                   // leading entries of pp_Eprim that have tables
  // Source particle and spectrum.
  uint8_t part;         // source particle kind: 0 electron, 1 photon, 2 positron
  int32_t nEnerg;       // spectrum energies
  double* E_source;     // [nEnerg] ascending spectrum energies, eV
  double* weight;       // [nEnerg] normalised weight of each bin
  // The layer of the simple geometry.
  double w;             // thickness, cm
  double concentration; // atoms per cm^3 of the layer's material
  double density;       // g/cm^3
  CUMULATIVEWEIGHTS cumulativeWeight;  // [nEnerg] cumulative spectrum weights, first 0, last exactly 1
  double minBindingEnergy;  // smallest subshell binding energy of all elements, eV
  // Electron flight: logarithmic energy index and the diffusion thresholds.
  uint8_t use_electron_logE;                   // some electron energy index maps ln E
  double diffusion_totalToInelasticRatio_thr;  // sigma_tot / sigma_inel at which the Gaussian walk replaces elastic collisions
  double diffusion_distToRMSpathRatio_thr;     // free distance / RMS displacement below which the walk is cut into sub-steps
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
  int32_t smoothCDF_elastic;           // elastic angles: invert the linear density exactly (else constant density)
  int32_t smoothCDF_inelastic;         // bremsstrahlung and knock-on energies and bremsstrahlung angles: the same
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
  // Complex geometry: the set-up's tables (null and 0 in the simple geometry).
  uint16_t bitMask[16];            // entry k = 1 << k
  int32_t nVoxels2;                // voxels
  int32_t nSmax_voxel;             // crossing records of the tracker: 2 (inner-cell bound) x most surfaces of a voxel
  VOXEL* voxels2;                  // [nVoxels2]
  int* const* const* voxel2index;  // [x slab][y slab][z slab] voxel index
  int32_t nXsets, nYsets, nZsets;  // plane sets per axis, entry 0 included
  int32_t nXplanesTot, nYplanesTot, nZplanesTot;  // planes per axis
  PLANESET* xSet;                                 // [nXsets]
  PLANESET* ySet;
  PLANESET* zSet;
  double* xCoord;  // [nXplanesTot] plane coordinates, cm
  double* yCoord;
  double* zCoord;
  int16_t nSurfaces;  // regular surfaces
  int16_t nUnions;
  SURFACE* surf;         // [nSurfaces]
  CELLUNION* unionData;  // [nUnions]
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
static_assert(offsetof(Constants, nonIsotropicBrems) == 164);
static_assert(offsetof(Constants, useDifferentCSforPositrons) == 168);
static_assert(offsetof(Constants, useDPWelasticScatteringCrossSections) == 172);
static_assert(offsetof(Constants, elastic_smallAngle) == 176);
static_assert(offsetof(Constants, brems_lowEnThr) == 184);
static_assert(offsetof(Constants, brems_highEnThr) == 192);
static_assert(offsetof(Constants, nonIsotropicPE) == 200);
static_assert(offsetof(Constants, pe_angularDistrThr) == 208);
static_assert(offsetof(Constants, pe_angularDistr_nPoints) == 216);
static_assert(offsetof(Constants, nonUniformPPenergy) == 220);
static_assert(offsetof(Constants, usePPangularDistr) == 224);
static_assert(offsetof(Constants, dopplerBroadening) == 228);
static_assert(offsetof(Constants, incoh_SubtractBindingEnergy) == 232);
static_assert(offsetof(Constants, nElem_tot) == 236);
static_assert(offsetof(Constants, pp_Eprim) == 240);
static_assert(offsetof(Constants, n_pp_Eprim) == 336);
static_assert(offsetof(Constants, part) == 338);
static_assert(offsetof(Constants, nEnerg) == 340);
static_assert(offsetof(Constants, E_source) == 344);
static_assert(offsetof(Constants, weight) == 352);
static_assert(offsetof(Constants, w) == 360);
static_assert(offsetof(Constants, concentration) == 368);
static_assert(offsetof(Constants, density) == 376);
static_assert(offsetof(Constants, cumulativeWeight) == 384);
static_assert(offsetof(Constants, minBindingEnergy) == 392);
static_assert(offsetof(Constants, use_electron_logE) == 400);
static_assert(offsetof(Constants, diffusion_totalToInelasticRatio_thr) == 408);
static_assert(offsetof(Constants, diffusion_distToRMSpathRatio_thr) == 416);
static_assert(offsetof(Constants, surface_A) == 424);
static_assert(offsetof(Constants, surface_Z) == 456);
static_assert(offsetof(Constants, beam_A) == 464);
static_assert(offsetof(Constants, incidentDotProduct) == 488);
static_assert(offsetof(Constants, entry_X) == 496);
static_assert(offsetof(Constants, complexGeometry) == 520);
static_assert(offsetof(Constants, sourcePositionType) == 524);
static_assert(offsetof(Constants, sourceDirectionType) == 528);
static_assert(offsetof(Constants, Q_source_direction) == 536);
static_assert(offsetof(Constants, Q_source_position) == 608);
static_assert(offsetof(Constants, sourceConeCos) == 680);
static_assert(offsetof(Constants, sourceCenter) == 688);
static_assert(offsetof(Constants, sourceNormal) == 712);
static_assert(offsetof(Constants, sourceConstantDensityRadius) == 736);
static_assert(offsetof(Constants, sourceRMSwidth) == 744);
static_assert(offsetof(Constants, sourceCell) == 752);
static_assert(offsetof(Constants, source_partialVoxels) == 760);
static_assert(offsetof(Constants, source_nPartialVoxels) == 768);
static_assert(offsetof(Constants, source_completeVoxels) == 776);
static_assert(offsetof(Constants, source_nCompleteVoxels) == 784);
static_assert(offsetof(Constants, source_voxelVolumeSum) == 792);
static_assert(offsetof(Constants, source_startVoxel) == 800);
static_assert(offsetof(Constants, anglePrecision) == 808);
static_assert(offsetof(Constants, distancePrecision) == 816);
static_assert(offsetof(Constants, smoothCDF_elastic) == 824);
static_assert(offsetof(Constants, smoothCDF_inelastic) == 828);
static_assert(offsetof(Constants, entryVoxel) == 832);
static_assert(offsetof(Constants, entryCell) == 836);
static_assert(offsetof(Constants, entrySurface) == 838);
static_assert(offsetof(Constants, entryRadius) == 840);
static_assert(offsetof(Constants, nCells) == 848);
static_assert(offsetof(Constants, nMaterials) == 850);
static_assert(offsetof(Constants, cell) == 856);
static_assert(offsetof(Constants, material) == 864);
static_assert(offsetof(Constants, useFreeMotionRadius) == 872);
static_assert(offsetof(Constants, storeFreeMotionRadius) == 873);
static_assert(offsetof(Constants, outputCellInteractionStats) == 874);
static_assert(offsetof(Constants, interactionForcing) == 876);
static_assert(offsetof(Constants, device) == 880);
static_assert(offsetof(Constants, bitMask) == 884);
static_assert(offsetof(Constants, nVoxels2) == 916);
static_assert(offsetof(Constants, nSmax_voxel) == 920);
static_assert(offsetof(Constants, voxels2) == 928);
static_assert(offsetof(Constants, voxel2index) == 936);
static_assert(offsetof(Constants, nXsets) == 944);
static_assert(offsetof(Constants, nXplanesTot) == 956);
static_assert(offsetof(Constants, xSet) == 968);
static_assert(offsetof(Constants, xCoord) == 992);
static_assert(offsetof(Constants, nSurfaces) == 1016);
static_assert(offsetof(Constants, nUnions) == 1018);
static_assert(offsetof(Constants, surf) == 1024);
static_assert(offsetof(Constants, unionData) == 1032);
static_assert(sizeof(Constants) == 1040);

namespace core {
// The host copy, filled by the driver before the workers start.
extern Constants hostConstants;
}  // namespace core

#if defined(__CUDACC__)
// The device copy (gpu/device_tables.cu), stored by the set-up kernel
// CopyConstantsToDevice. The device globals live in one namespace, apart from
// the host globals of the same names.
namespace device_globals {
extern __device__ Constants constants;
}
#endif

// The record of the side the caller runs on.
TQ_CPU_GPU inline const Constants& GetConstants() {
#if defined(__CUDA_ARCH__)
  return device_globals::constants;
#else
  return core::hostConstants;
#endif
}

// Twice the electron rest energy, eV: the threshold of pair production and the
// term of E (E + 2 m c^2) = (p c)^2.
TQ_CPU_GPU inline double RestEnergyTwice(const Constants& k) { return 2.0 * k.restEn; }
