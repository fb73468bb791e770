#include "driver/setup/constants_fill.h"

#include <cstring>
#include <vector>

#include "core/constants.h"
#include "core/element_table.h"
#include "driver/data/element_loader.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/precision_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/options.h"
#include "driver/setup/geometry_reports.h"
#include "driver/setup/geometry_setup.h"
#include "driver/setup/input_checks.h"
#include "driver/setup/material_table_builder.h"
#include "driver/setup/setup_reports.h"

namespace {

// The address of a vector's first element, null when it is empty.
template <typename T>
T* DataOrNull(std::vector<T>& v) {
  return v.empty() ? nullptr : v.data();
}

void FillPhysicalConstants(Constants& k) {
  const PHYSICALCONSTANTS& p = input::physicalConstants;
  k.pi = p.pi;
  k.c = p.c;
  k.elch = p.elch;
  k.fineStr_inv = p.fineStr_inv;
  k.h = p.h;
  k.elmass = p.elmass;
  k.restEn = p.restEn;
  k.elch_c = p.elch_c;
  k.constFact_coh = p.constFact_coh;
  k.constFact_incoh = p.constFact_incoh;
  k.fact_waveNumber = p.fact_waveNumber;
  k.fineStr = p.fineStr;
}

void FillTransportOptions(Constants& k) {
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  const PHYSICSMODELOPTIONS& m = directives::physicsModels;
  k.force_wt = t.force_wt;
  k.trackSecondaryPhotons = t.trackSecondaryPhotons;
  k.trackSecondaryElectrons = t.trackSecondaryElectrons;
  k.trackPos = t.trackPos;
  k.elastic = t.elastic;
  k.coh = t.coh;
  k.trackPhotonProducedElectrons = t.trackPhotonProducedElectrons;
  k.trackKnockOnElectrons = t.trackKnockOnElectrons;
  k.trackBremsPhotons = t.trackBremsPhotons;
  k.trackXrayPhotons = t.trackXrayPhotons;
  k.coh_thr = t.coh_thr;
  k.energyFactor = m.energyFactor;
  k.nStreams_tot = input::runOptions.nStreams;
  k.nonIsotropicBrems = m.nonIsotropicBrems;
  k.useDifferentCSforPositrons = setup::useDifferentCSforPositrons;
  k.useDPWelasticScatteringCrossSections = m.useDPWelasticScatteringCrossSections;
  k.elastic_smallAngle = m.elasticSmallAngle;
  k.brems_lowEnThr = m.brems_lowEnThr;
  k.brems_highEnThr = m.brems_highEnThr;
  k.nonIsotropicPE = m.nonIsotropicPE;
  k.pe_angularDistrThr = m.pe_angularDistrThr;
  k.pe_angularDistr_nPoints = m.pe_angularDistr_nPoints;
  k.nonUniformPPenergy = m.nonUniformPPenergy;
  k.usePPangularDistr = m.usePPangularDistr;
  k.dopplerBroadening = m.dopplerBroadening;
  k.incoh_SubtractBindingEnergy = m.incoh_SubtractBindingEnergy;
  k.use_electron_logE = setup::use_electron_logE;
  k.diffusion_totalToInelasticRatio_thr = t.diffusion_totalToInelasticRatio_thr;
  k.diffusion_distToRMSpathRatio_thr = t.diffusion_distToRMSpathRatio_thr;
  k.smoothCDF_elastic = t.smoothCDF_elastic;
  k.smoothCDF_inelastic = t.smoothCDF_inelastic;
  k.interactionForcing = setup::interactionForcing ? 1 : 0;
}

// The smallest of the elements' lowest subshell binding energies, eV.
double MinBindingEnergy() {
  double lowest = 0.0;
  for (int g = 0; g < directives::nElem_tot; ++g) {
    for (double binding : core::elementArray[g].bindingEnergy) {
      if (binding > 0.0 && (lowest == 0.0 || binding < lowest)) lowest = binding;
    }
  }
  return lowest;
}

void FillElementsAndSpectrum(Constants& k) {
  k.nElem_tot = directives::nElem_tot;
  for (int i = 0; i < kPairEnergies; ++i) k.pp_Eprim[i] = elementdata::pp_Eprim[i];
  k.n_pp_Eprim = elementdata::n_pp_Eprim;
  k.minBindingEnergy = MinBindingEnergy();
  k.part = directives::source.part;
  k.nEnerg = directives::sourceSpectrum.nEnerg;
  k.E_source = directives::sourceSpectrum.energy;
  k.weight = directives::sourceSpectrum.weight;
  std::memcpy(k.cumulativeWeight.Table(), directives::sourceSpectrum.cumulativeWeight,
              static_cast<size_t>(directives::sourceSpectrum.nEnerg) * sizeof(double));
}

void FillGeometryAndSource(Constants& k) {
  k.w = directives::layer.w;
  k.concentration = directives::layer.concentration;
  k.density = setup::layerDensity;
  k.surface_A = directives::layer.surface_A;
  k.surface_B = directives::layer.surface_B;
  k.surface_C = directives::layer.surface_C;
  k.surface_D = directives::layer.surface_D;
  k.surface_Z = directives::layer.surface_Z;
  k.beam_A = directives::source.beam_A;
  k.beam_B = directives::source.beam_B;
  k.beam_C = directives::source.beam_C;
  k.incidentDotProduct = setup::sourceEntry.incidentDotProduct;
  k.entry_X = setup::sourceEntry.entry_X;
  k.entry_Y = setup::sourceEntry.entry_Y;
  k.entry_Z = setup::sourceEntry.entry_Z;
  k.complexGeometry = directives::complexGeometry > 0 ? 1 : 0;
  k.sourcePositionType = directives::source.sourcePositionType;
  k.sourceDirectionType = directives::source.sourceDirectionType;
  std::memcpy(k.Q_source_direction, directives::source.Q_source_direction, sizeof k.Q_source_direction);
  std::memcpy(k.Q_source_position, directives::source.Q_source_position, sizeof k.Q_source_position);
  k.sourceConeCos = directives::source.sourceConeCos;
  const VECTOR center = directives::source.sourceCenter, normal = directives::source.sourceNormal;
  k.sourceCenter[0] = center.x, k.sourceCenter[1] = center.y, k.sourceCenter[2] = center.z;
  k.sourceNormal[0] = normal.x, k.sourceNormal[1] = normal.y, k.sourceNormal[2] = normal.z;
  k.sourceConstantDensityRadius = directives::source.sourceConstantDensityRadius;
  k.sourceRMSwidth = directives::source.sourceRMSwidth;
  k.sourceCell = directives::source.sourceCell;
  GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  const bool volumeSource = directives::complexGeometry > 0 && !r.sourceCumulative.empty();
  k.source_partialVoxels = volumeSource ? DataOrNull(r.sourcePartialVoxels) : nullptr;
  k.source_nPartialVoxels = volumeSource ? static_cast<int32_t>(r.sourcePartialVoxels.size()) : 0;
  k.source_completeVoxels = volumeSource ? DataOrNull(r.sourceCompleteVoxels) : nullptr;
  k.source_nCompleteVoxels = volumeSource ? static_cast<int32_t>(r.sourceCompleteVoxels.size()) : 0;
  k.source_voxelVolumeSum = volumeSource ? r.sourceCumulative.data() : nullptr;
  k.source_startVoxel = volumeSource ? r.sourceStartVoxel : 0;
  k.anglePrecision = directives::geometryPrecision.anglePrecision;
  k.distancePrecision = directives::geometryPrecision.distancePrecision;
  k.entryVoxel = setup::sourceEntry.entryVoxel;
  k.entryCell = setup::sourceEntry.entryCell;
  k.entrySurface = setup::sourceEntry.entrySurface;
  k.entryRadius = setup::sourceEntry.entryRadius;
  k.nCells = static_cast<int16_t>(directives::geometry.nCells);
  k.nMaterials = static_cast<int16_t>(directives::nMaterials);
  k.cell = directives::geometry.nCells > 0 ? directives::geometry.cell.data() : nullptr;
  k.material = directives::materials.empty() ? nullptr : directives::materials.data();
  // The simple geometry's one layer has neither per-cell statistics nor a free-motion radius.
  const bool complex = directives::complexGeometry > 0;
  k.useFreeMotionRadius = complex ? directives::geometrySetup.useFreeMotionRadius : 0;
  k.storeFreeMotionRadius = complex ? directives::geometrySetup.storeFreeMotionRadius : 0;
  k.outputCellInteractionStats = complex ? directives::geometrySetup.outputCellInteractionStats : 0;
  k.device = 0;
}

}  // namespace

void FillHostConstants() {
  Constants& k = core::hostConstants;
  FillPhysicalConstants(k);
  FillTransportOptions(k);
  FillElementsAndSpectrum(k);
  FillGeometryAndSource(k);
  FillComplexGeometryConstants(k);
}

void FillComplexGeometryConstants(Constants& k) {
  for (int b = 0; b < 16; ++b) k.bitMask[b] = static_cast<uint16_t>(1u << b);
  GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  if (directives::complexGeometry <= 0 || r.voxels.voxels.empty()) return;
  k.nVoxels2 = static_cast<int32_t>(r.voxels.voxels.size());
  k.nSmax_voxel = TrackerSizes().nSmax_voxel;
  k.voxels2 = r.voxels.voxels.data();
  k.voxel2index = r.voxels.planes.data();
  k.nXsets = directives::nXsets;
  k.nYsets = directives::nYsets;
  k.nZsets = directives::nZsets;
  k.nXplanesTot = r.axis[0].nPlanes();
  k.nYplanesTot = r.axis[1].nPlanes();
  k.nZplanesTot = r.axis[2].nPlanes();
  k.xSet = directives::xSet;
  k.ySet = directives::ySet;
  k.zSet = directives::zSet;
  k.xCoord = DataOrNull(r.axis[0].coord);
  k.yCoord = DataOrNull(r.axis[1].coord);
  k.zCoord = DataOrNull(r.axis[2].coord);
  k.nSurfaces = static_cast<int16_t>(directives::geometry.nSurfaces);
  k.nUnions = static_cast<int16_t>(directives::geometry.nUnions);
  k.surf = DataOrNull(directives::geometry.surf);
  k.unionData = DataOrNull(directives::geometry.unionData);
}
