#include "tests/transport/photon_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/physical_constants.h"
#include "driver/data/element_loader.h"
#include "tests/support/test_paths.h"
#include "transport/photon_flight.h"

namespace {

// The folder is a scratch folder of the test that made it, removed when that
// test passes: a later test makes it again.
std::string DataFolderWithProfiles() {
  static std::string folder;
  if (folder.empty() || !std::filesystem::exists(folder + "ComptonProfiles.dat")) {
    folder = MakeScratchFolder("photon_data");
    std::ifstream in(SharedDataFolder() + "aux/ComptonProfiles.dat", std::ios::binary);
    std::ofstream out(folder + "ComptonProfiles.dat", std::ios::binary);
    out << in.rdbuf();
  }
  return folder;
}

void SetMaterial(PHOTONPROBLEM& p, const std::vector<double>& fractions) {
  p.material = MATERIAL{};
  p.material.nElements = p.nElements;
  double sum = 0.0;
  for (double f : fractions) sum += f;
  for (int32_t j = 0; j < p.nElements; ++j) {
    p.material.element[j] = j;
    p.material.fraction[j] = fractions[j] / sum;
  }
  core::elementArray = p.elements;
}

}  // namespace

PHOTONPROBLEM::~PHOTONPROBLEM() {
  task.reset();
  if (core::elementArray == elements) core::elementArray = nullptr;
  FreeElementPool(&pool);
}

bool LoadPhotonElements(PHOTONPROBLEM& p, const std::vector<int>& z, const std::vector<double>& fractions) {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = EndfFolder();
  options.dataFolder = DataFolderWithProfiles();
  options.elasticDpw = 0;
  options.maxEnergy = 2e7;
  p.nElements = static_cast<int32_t>(z.size());
  const int code = LoadElements(z.data(), p.nElements, options, &p.pool);
  p.elements = p.pool.elements;
  if (code != 0) return false;
  SetMaterial(p, fractions);
  return true;
}

void UseSyntheticElements(PHOTONPROBLEM& p, ElemStaging* elements, const std::vector<double>& fractions) {
  p.nElements = static_cast<int32_t>(fractions.size());
  StartElementPool(p.nElements, &p.pool);
  for (int32_t i = 0; i < p.nElements; ++i) AddElementToPool(elements[i], i, &p.pool);
  for (int32_t i = 0; i < p.nElements; ++i) FreeElementTables(&elements[i]);
  delete[] elements;
  p.elements = p.pool.elements;
  SetMaterial(p, fractions);
}

void SetPhotonOptions(const Elem* elements, int32_t nElements) {
  Constants& k = core::hostConstants;
  const PHYSICALCONSTANTS pc = ComputePhysicalConstants();
  k.pi = pc.pi;
  k.restEn = pc.restEn;
  k.fineStr = pc.fineStr;
  k.fineStr_inv = pc.fineStr_inv;
  k.constFact_coh = pc.constFact_coh;
  k.constFact_incoh = pc.constFact_incoh;
  k.coh = 1;
  k.coh_thr = 1e-4;
  k.trackPos = 1;
  k.trackSecondaryPhotons = 1;
  k.trackXrayPhotons = 1;
  k.dopplerBroadening = 1;
  k.incoh_SubtractBindingEnergy = 1;
  k.nonIsotropicPE = 1;
  k.pe_angularDistr_nPoints = 21;
  k.nonUniformPPenergy = 1;
  k.usePPangularDistr = 1;
  k.smoothCDF_inelastic = 1;
  k.nElem_tot = nElements;
  std::memcpy(k.pp_Eprim, elementdata::pp_Eprim, sizeof k.pp_Eprim);
  k.n_pp_Eprim = elementdata::n_pp_Eprim;
  double lowest = 1e300;
  for (int32_t i = 0; i < nElements; ++i)
    if (elements[i].nSubshells > 0) lowest = std::min(lowest, LowestBindingEnergy(elements[i]));
  k.minBindingEnergy = lowest;
}

void SetPhotonRun(PHOTONPROBLEM& p, double E, double w, double concentration, uint64_t N) {
  SetSimpleProblem();
  SetPhotonOptions(p.elements, p.nElements);
  Constants& k = core::hostConstants;
  k.trackPhotonProducedElectrons = 0;
  p.sourceEnergy[0] = E;
  k.E_source = p.sourceEnergy;
  k.w = w;
  k.concentration = concentration;
  p.cell = CELL{};
  p.cell.material = 0;
  p.cell.concentration = concentration;
  p.cell.CUT_E = 1000.0;
  p.cell.CUT_P = 1000.0;
  p.cell.unionIndex = -1;
  k.cell = &p.cell;
  k.material = &p.material;
  DealStreams(p.streams, 1, N, 1);
  p.task = std::make_unique<CTask>(true);
  GiveStreams(*p.task, 0, 1, 1);
}

PHOTONSIGMAS MaterialSigmas(const PHOTONPROBLEM& p, double E) {
  PHOTONSIGMAS s;
  const Constants& k = GetConstants();
  for (int32_t j = 0; j < p.nElements; ++j) {
    PHOTONELEMENTCACHE c;
    const Elem& el = p.elements[j];
    const double total = PhotonElementCrossSections(el, E, std::log(E), true, 2.0 * k.restEn, c);
    const double f = p.material.fraction[j] * kBarn;
    const double photo = el.nSubshells > 0 ? c.shellCumulative[el.nSubshells - 1] - c.sigma_coh - c.sigma_incoh : 0.0;
    s.part[kPhotonCoherent] += f * c.sigma_coh;
    s.part[kPhotonIncoherent] += f * c.sigma_incoh;
    s.part[kPhotonPhotoelectric] += f * photo;
    s.part[kPhotonPair] += f * (total - c.sigma_coh - c.sigma_incoh - photo);
    s.total += f * total;
  }
  return s;
}

bool RunOneHistory(CTask& task) {
  if (task.HistoryStart() != kStepGoesOn) return false;
  while (task.nBanked >= 0) {
    task.E_stepStart = task.E;
    const int32_t r = task.Step();
    if (r == kStepFatal || r == kStepSuspended) return false;
    if (r == kStepInteraction && IsPhoton(task.kind) && task.photonSurvival <= 0) task.ReadBankedParticle();
  }
  task.state = kStateHistoryEnded;
  return true;
}
