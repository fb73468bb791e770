#include "driver/setup/input_checks.h"

#include <cmath>
#include <string>

#include "core/stream_control.h"
#include "core/text.h"
#include "driver/build_variant.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/precision_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/input_reader.h"
#include "platform/paths.h"

namespace setup {
DEVICESELECTION deviceSelection;
FILE* altFile = nullptr;
bool interactionForcing = false;
double diffusionRatioSqrt = 0.0;
double diffusionRatioSqrtInv = 0.0;
}  // namespace setup

namespace {

constexpr double kDpwEnergyLimit = 1e9;    // eV: the Dirac partial-wave tables end at 1 GeV
constexpr double kMaxSourceEnergy = 1e11;  // eV: 100 GeV
constexpr uint32_t kMinSourceVolumePoints = 10000;  // the least N_RAND_SOURCE_VOLUME accepts
constexpr int32_t kDefaultStreams = 64;
constexpr double kRadian = 180.0 / 3.141592653589793;  // degrees per radian

TRANSPORTOPTIONS& transport = directives::transportOptions;

// ---- First block ---------------------------------------------------------------

int CheckAltFile() {
  if (input::altFileName.empty()) return 0;
  if (EqualNoCase(input::altFileName, input::inputFileName)) {
    printf("Error: Alternative cross sections info file name is the same as input file name (\"%s\").\n",
           input::inputFileName.c_str());
    return 1;
  }
  if (EqualNoCase(input::altFileName, input::outputFileName)) {
    printf("Error: Alternative cross sections info file name is the same as output file name (\"%s\").\n",
           input::outputFileName.c_str());
    return 1;
  }
  if (input::runOptions.writeLog && EqualNoCase(input::altFileName, input::logFileName)) {
    printf("Error: Alternative cross sections info file name is the same as log file name (\"%s\").\n",
           input::logFileName.c_str());
    return 1;
  }
  setup::altFile = OpenRegularFileForReading(input::altFileName, "r");
  if (setup::altFile == nullptr) {
    printf("Alternative cross sections info file \"%s\" could not be opened for reading.\n",
           input::altFileName.c_str());
    return 1;
  }
  return 0;
}

// The device options of Trenqual_CUDA against one another.
int CheckDeviceOptions() {
  RUNOPTIONS& o = input::runOptions;
  if (o.rand_CUDA == 2) {
    printf(
        "Warning: CUDA random number generator type 2 cannot be used with the 32-bit version of Trenqual_CUDA. CUDA "
        "random number generator type set to 1.\n");
    o.rand_CUDA = 1;
  }
  if (o.nUse_CUDA > 0 && o.nSkip_CUDA > 0) {
    printf("The option \"use_CUDA\" cannot be used together with the option \"skip_CUDA\".\n");
    return 1;
  }
  if (o.nUse_CUDA > 0 && (input::commandLineGiven.first_CUDA || input::commandLineGiven.last_CUDA)) {
    printf("The option \"use_CUDA\" cannot be used together with options \"first_CUDA\" or \"last_CUDA\".\n");
    return 1;
  }
  if (o.nR_CUDA > 0 && o.nUse_CUDA == 0) {
    printf("The option \"r_CUDA\" can be used only together with the option \"use_CUDA\".\n");
    return 1;
  }
  if (o.blockSize_CUDA > 0 && o.threads_CUDA % o.blockSize_CUDA != 0) {
    printf(
        "Error: The number of GPU threads (%d) is not a multiple of the block size for CUDA kernel execution (%d).\n",
        o.threads_CUDA, o.blockSize_CUDA);
    return 1;
  }
  if (o.threads_CUDA == 0) o.tasks_CUDA = 0;
  o.maxBankedRatio_CUDA = static_cast<int>(std::ceil(4.0 * o.maxBankedRatio_CUDA) + 1e-10) * 0.25;
  return 0;
}

int CheckLayer() {
  if (directives::layer.concentration == 0.0) {
    printf("Error: Concentration value is zero.\n");
    return 1;
  }
  const bool needsThickness = directives::source.part == kSourcePhoton || transport.trackPos != 0;
  if (directives::layer.w == 0.0 && needsThickness) {
    printf("Error: Thickness value is zero.\n");
    return 1;
  }
  return 0;
}

void SettleElasticOptions() {
  const bool dpw = directives::physicsModels.useDPWelasticScatteringCrossSections != 0;
  if (transport.elasticPDFError < 0.0) transport.elasticPDFError = dpw ? -transport.elasticPDFError : 0.0;
  if (transport.smoothCDF_elastic < 0) transport.smoothCDF_elastic = dpw ? 1 : 0;
}

// ---- Second block ------------------------------------------------------------------

int CheckEnergyLimits(bool elasticGiven) {
  double& highest = directives::sourceSpectrum.highestSourceEnergy;
  if (directives::source.part == kSourcePositron && highest < input::physicalConstants.restEn)
    highest = input::physicalConstants.restEn;
  if (transport.elastic < 0) transport.elastic = transport.trackPos;
  if (transport.elastic != 0 && directives::physicsModels.useDPWelasticScatteringCrossSections != 0 &&
      highest > kDpwEnergyLimit) {
    printf(
        "When Dirac partial-wave elastic scattering cross sections are used, the maximum particle energy cannot exceed "
        "1 GeV.\n");
    return 1;
  }
  if (elasticGiven && transport.elastic != 0 && transport.trackPos == 0) {
    printf("When particle coordinate tracking is off, elastic scattering of electrons must also be off.\n");
    return 1;
  }
  if (highest >= kMaxSourceEnergy) {
    printf("The maximum particle energy must be less than 100 GeV.\n");
    return 1;
  }
  return 0;
}

int SettleCoherentScattering() {
  if (directives::source.part == kSourcePhoton) return 0;
  if (transport.coh < 0) {
    transport.coh = transport.trackSecondaryPhotons != 0 && transport.trackPos != 0 ? 1 : 0;
  } else if (transport.coh != 0 && transport.trackPos == 0) {
    printf(
        "When particle coordinate tracking is off and source particles are not photons, coherent scattering of photons "
        "must also be off.\n");
    return 1;
  }
  return 0;
}

int SettleTracking() {
  TRANSPORTOPTIONS& t = transport;
  if (t.trackPhotonProducedElectrons < 0) t.trackPhotonProducedElectrons = t.trackSecondaryElectrons;
  if (t.trackKnockOnElectrons < 0) t.trackKnockOnElectrons = t.trackSecondaryElectrons;
  if (t.trackBremsPhotons < 0) t.trackBremsPhotons = t.trackSecondaryPhotons;
  if (t.trackXrayPhotons < 0) t.trackXrayPhotons = t.trackSecondaryPhotons;
  PHYSICSMODELOPTIONS& m = directives::physicsModels;
  if (t.trackBremsPhotons == 0 || t.trackPos == 0) m.nonIsotropicBrems = 0;
  if (t.trackPhotonProducedElectrons == 0 || t.trackPos == 0) {
    m.nonIsotropicPE = 0;
    m.usePPangularDistr = 0;
  }
  if (directives::sourceSpectrum.highestSourceEnergy < input::physicalConstants.pairThreshold) {
    m.usePPangularDistr = 0;
    m.nonUniformPPenergy = 0;
  }
  if (t.trackSecondaryElectrons == 0) {
    if (t.trackPhotonProducedElectrons != 0) {
      printf("When secondary electron tracking is off, photon-produced electron tracking must also be off.\n");
      return 1;
    }
    if (t.trackKnockOnElectrons != 0) {
      printf("When secondary electron tracking is off, knock-on electron tracking must also be off.\n");
      return 1;
    }
  }
  if (t.trackSecondaryPhotons == 0) {
    if (t.trackBremsPhotons != 0) {
      printf("When secondary photon tracking is off, bremsstrahlung photon tracking must also be off.\n");
      return 1;
    }
    if (t.trackXrayPhotons != 0) {
      printf("When secondary photon tracking is off, X-ray photon tracking must also be off.\n");
      return 1;
    }
  }
  return 0;
}

// Trenqual: the CPU workers each need a stream of their own; more than N of
// either is idle.
int CheckStreamsCpu() {
  RUNOPTIONS& o = input::runOptions;
  if (o.nThreads > o.nParticles) o.nThreads = static_cast<int32_t>(o.nParticles);
  if (o.nStreams > o.nParticles) o.nStreams = static_cast<int32_t>(o.nParticles);
  if (o.nThreads > o.nStreams) {
    printf("Error: Number of threads exceeds the number of streams of random numbers (%d > %d).\n", o.nThreads,
           o.nStreams);
    return 1;
  }
  return 0;
}

void SettleBremsAngularDistribution() {
  if (directives::physicsModels.nonIsotropicBrems != 0) {
    directives::physicsModels.nonIsotropicBrems =
        directives::physicsModels.brems_highEnThr > directives::physicsModels.brems_lowEnThr ? 1 : -1;
  }
}

// Forcing is on when any element of the problem has any process forced.
int SettleForcing() {
  setup::interactionForcing = false;
  for (int e = 0; e < directives::nElem_tot; ++e) {
    for (int p = 0; p < kForcedProcessCount; ++p) {
      if (ForcingSwitch(p, directives::elementZ[e]) != 0) setup::interactionForcing = true;
    }
  }
  if (setup::interactionForcing && transport.trackSecondaryElectrons == 0) {
    printf("When interaction forcing is on, secondary electron tracking must also be on.\n");
    return 1;
  }
  return 0;
}

void SettleTracks() {
  if (transport.nTracks <= 0) return;
  if (transport.trackPos == 0) {
    printf("Warning: Particle tracks cannot be calculated when option \"TRACKPOS 0\" is used.\n");
  } else if (setup::interactionForcing) {
    printf("Warning: Particle tracks cannot be calculated when interaction forcing is used.\n");
  } else if (input::runOptions.nThreads == 0) {
    printf(
        "Warning: Particle tracks cannot be calculated on CUDA devices. No particle tracks will be output, because the "
        "number of CPU threads is zero.\n");
  }
  if (transport.trackPos == 0 || setup::interactionForcing || input::runOptions.nThreads == 0) transport.nTracks = 0;
}

// ---- Devices (Trenqual_CUDA) --------------------------------------------------------

void PrintDeviceReport(const char* text) {
  printf("%s", text);
  const bool toOutput =
      !setup::deviceSelection.allEmulated && (input::runOptions.stats_CUDA == 1 || input::runOptions.stats_CUDA == 3);
  if (toOutput && input::outputFile != nullptr) std::fprintf(input::outputFile, "\n%s", text);
}

void ReportDeviceCount(int count) {
  char line[64];
  if (count == 0) {
    std::snprintf(line, sizeof line, "No CUDA devices found.\n");
  } else if (count == 1) {
    std::snprintf(line, sizeof line, "1 CUDA device found.\n");
  } else {
    std::snprintf(line, sizeof line, "%d CUDA devices found.\n", count);
  }
  PrintDeviceReport(line);
}

void SetUpDevices(int count) {
  for (int i = 0; i < count && i < kMaxCudaDevices; ++i) {
    const CUDADEVICEINFO device = CudaDeviceInfo(i);
    setup::deviceSelection.clockRateHz[i] = device.clockKHz * 1000.0;
    setup::deviceSelection.globalMemory[i] = device.globalMemory;
    char line[256];
    std::snprintf(line, sizeof line,
                  "Device No. %d: compute capability %d.%d, clock rate %g MHz, memory clock rate %g MHz, global memory "
                  "%g MB, shared memory %g kB.\n",
                  i + 1, device.major, device.minor, device.clockKHz / 1000.0, device.memoryClockKHz / 1000.0,
                  static_cast<double>(device.globalMemory) / 1048576.0,
                  static_cast<double>(device.sharedMemoryPerBlock) / 1024.0);
    PrintDeviceReport(line);
    ResetCudaDevice(i);
  }
  if (input::runOptions.last_CUDA < input::runOptions.first_CUDA) input::runOptions.last_CUDA = count - 1;
  SelectCudaDevice(input::runOptions.first_CUDA);
}

bool IsUsed(int device) {
  for (int i = 0; i < setup::deviceSelection.nUsed; ++i) {
    if (setup::deviceSelection.used[i] == device) return true;
  }
  return false;
}

// The emulated range of a run without a use_CUDA list.
int SelectEmulatedRange(int count) {
  const RUNOPTIONS& o = input::runOptions;
  if (o.emfirst_CUDA == o.first_CUDA && o.emlast_CUDA == o.last_CUDA) {
    setup::deviceSelection.allEmulated = true;
    return 0;
  }
  if (count == 0) {
    printf(
        "Since no CUDA devices were found, the range of emulated CUDA devices must coincide with the range of all used "
        "CUDA devices.\n");
    return 1;
  }
  if (o.emfirst_CUDA < 0 && o.emlast_CUDA < 0) return 0;
  const int first = o.emfirst_CUDA >= 0 ? o.emfirst_CUDA : o.first_CUDA;
  const int last = o.emlast_CUDA >= 0 ? o.emlast_CUDA : o.last_CUDA;
  if (first < o.first_CUDA || last > o.last_CUDA) {
    printf("Error: The range of emulated CUDA devices does not belong to the range of all used CUDA devices.\n");
    return 1;
  }
  for (int d = first; d <= last; ++d) setup::deviceSelection.emulated[d] = true;
  return 0;
}

void RemoveUsedDevice(int index) {
  DEVICESELECTION& s = setup::deviceSelection;
  for (int i = index; i + 1 < s.nUsed; ++i) {
    s.used[i] = s.used[i + 1];
    s.ratio[i] = s.ratio[i + 1];
  }
  --s.nUsed;
}

int ChooseDevices(int count) {
  RUNOPTIONS& o = input::runOptions;
  DEVICESELECTION& s = setup::deviceSelection;
  if (o.first_CUDA > o.last_CUDA || o.first_CUDA < 0 || o.last_CUDA < 0) {
    printf(
        "Error: The sequence number of the first CUDA device exceeds the sequence number of the last CUDA device.\n");
    return 1;
  }
  if (o.emfirst_CUDA >= 0 && o.emlast_CUDA >= 0 && o.emfirst_CUDA > o.emlast_CUDA) {
    printf(
        "Error: The sequence number of the first emulated CUDA device exceeds the sequence number of the last emulated "
        "device.\n");
    return 1;
  }
  s.nUsed = 0;
  if (o.nUse_CUDA > 0) {
    for (int i = 0; i < o.nUse_CUDA; ++i) s.used[s.nUsed++] = o.use_CUDA[i] - 1;
  } else {
    for (int d = o.first_CUDA; d <= o.last_CUDA && s.nUsed < kMaxCudaDevices; ++d) s.used[s.nUsed++] = d;
    if (!s.allEmulated) {
      if (int code = SelectEmulatedRange(count)) return code;
    }
  }
  if (s.allEmulated) {
    for (int i = 0; i < s.nUsed; ++i) s.emulated[s.used[i]] = true;
  } else {
    for (int i = 0; i < o.nEm_CUDA; ++i) {
      if (IsUsed(o.em_CUDA[i] - 1)) s.emulated[o.em_CUDA[i] - 1] = true;
    }
  }
  for (int k = 0; k < o.nSkip_CUDA; ++k) {
    for (int i = 0; i < s.nUsed; ++i) {
      if (s.used[i] == o.skip_CUDA[k] - 1) RemoveUsedDevice(i--);
    }
  }
  if (s.nUsed == 0) {
    o.tasks_CUDA = 0;
    return 0;
  }
  bool everyEmulated = true;
  for (int i = 0; i < s.nUsed; ++i) everyEmulated = everyEmulated && s.emulated[s.used[i]];
  if (everyEmulated) {
    s.allEmulated = true;
    if (o.nThreads == 0) {
      printf("Error: The number of CPU threads is zero, although all CUDA devices are emulated.\n");
      return 1;
    }
  }
  return 0;
}

int ApplyDeviceRatios() {
  RUNOPTIONS& o = input::runOptions;
  DEVICESELECTION& s = setup::deviceSelection;
  if (o.tasks_CUDA == 0 || o.nR_CUDA == 0) return 0;
  if (o.nR_CUDA != s.nUsed) {
    printf("Error: The specified number of device ratios is not equal to the specified number of used CUDA devices.\n");
    return 1;
  }
  for (int i = 0; i < s.nUsed; ++i) s.ratio[i] = o.r_CUDA[i];
  s.ratioSum = 0.0;
  for (int i = 0; i < s.nUsed; ++i) {
    if (!(s.ratio[i] > 0.0)) {
      RemoveUsedDevice(i--);
    } else {
      s.ratioSum += s.ratio[i];
    }
  }
  if (s.nUsed == 0) {
    o.tasks_CUDA = 0;
    o.threads_CUDA = 0;
  }
  return 0;
}

bool EmulationRequested() {
  const RUNOPTIONS& o = input::runOptions;
  return o.nEm_CUDA > 0 || setup::deviceSelection.allEmulated || o.emfirst_CUDA >= 0 || o.emlast_CUDA >= 0;
}

int SettleDeviceHeapAndBalance() {
  RUNOPTIONS& o = input::runOptions;
  const bool realGpuWork = o.tasks_CUDA != 0 && !setup::deviceSelection.allEmulated;
  if (realGpuWork) {
    if (o.heap_CUDA < 0) {
      o.heap_CUDA = directives::pulseHeightTalliesPresent ? 1 : 2;
      printf(directives::pulseHeightTalliesPresent
                 ? "Parameter \"heap_CUDA\" has not been specified. Defaulting to heap_CUDA = 1 "
                   "(because pulse-height tallies are used).\n"
                 : "Parameter \"heap_CUDA\" has not been specified. Defaulting to heap_CUDA = 2 "
                   "(because pulse-height tallies are not used).\n");
    } else if (o.heap_CUDA == 2 && directives::pulseHeightTalliesPresent) {
      printf("Error: The pulse-height tallies cannot be calculated with command-line option \"heap_CUDA 2\".\n");
      return 1;
    }
    if (o.nThreads == 0 && setup::deviceSelection.nUsed == 1) o.balance_CUDA = 0;
  } else {
    o.stats_CUDA = 0;
    o.balance_CUDA = 0;
  }
  if (o.balance_CUDA != 0) {
    if (EmulationRequested()) {
      printf(
          "The option \"balance_CUDA 1\" cannot be used together with command-line keywords \"em_CUDA\", "
          "\"emulate_CUDA\", \"emfirst_CUDA\" or \"emlast_CUDA\".\n");
      return 1;
    }
    if (o.heap_CUDA == 0) {
      printf("The option \"balance_CUDA 1\" is not compatible with \"heap_CUDA 0\".");
      return 1;
    }
  }
  if (o.tasks_CUDA != 0 && directives::targetErrorGiven && EmulationRequested()) {
    printf(
        "Command-line keywords \"em_CUDA\", \"emulate_CUDA\", \"emfirst_CUDA\" and \"emlast_CUDA\" are not allowed "
        "when \"target errors\" are assigned to tallies.\n");
    return 1;
  }
  return 0;
}

int EnumerateDevices() {
  RUNOPTIONS& o = input::runOptions;
  setup::deviceSelection = DEVICESELECTION{};
  setup::deviceSelection.allEmulated = o.emulate_CUDA != 0;
  if (o.tasks_CUDA != 0) {
    const int count = CudaDeviceCount();
    setup::deviceSelection.nFound = count;
    ReportDeviceCount(count);
    const bool firstAndLastGiven = input::commandLineGiven.first_CUDA && input::commandLineGiven.last_CUDA;
    if (!(count == 0 && (setup::deviceSelection.allEmulated || firstAndLastGiven))) SetUpDevices(count);
    if (int code = ChooseDevices(count)) return code;
  }
  if (int code = ApplyDeviceRatios()) return code;
  return SettleDeviceHeapAndBalance();
}

// The source volume's random points, when not given: those of a cell volume,
// at least the smallest count that the directive accepts.
void SettleSourceVolumePoints() {
  GEOMETRYSETUPOPTIONS& g = directives::geometrySetup;
  if (g.nRandSourceVolume != 0) return;
  g.nRandSourceVolume = g.nRandCellVolume > kMinSourceVolumePoints ? g.nRandCellVolume : kMinSourceVolumePoints;
}

// A cell cutoff: the given one in eV, or the global one (already in eV).
double CellCutoff(double given, double global, double factor) { return given < 0.0 ? global : given / factor; }

// The cells' cutoffs in eV (the global ones where none was given); the
// global cutoffs then become the smallest of the cells'.
void ConvertCellCutoffs(double factor) {
  TRANSPORTOPTIONS& t = transport;
  double lowestE = 0.0, lowestP = 0.0;
  for (int32_t i = 0; i < directives::geometry.nCells; ++i) {
    CELL& c = directives::geometry.cell[static_cast<size_t>(i)];
    c.CUT_E = CellCutoff(c.CUT_E, t.cutE, factor);
    c.CUT_P = CellCutoff(c.CUT_P, t.cutP, factor);
    lowestE = i == 0 || c.CUT_E < lowestE ? c.CUT_E : lowestE;
    lowestP = i == 0 || c.CUT_P < lowestP ? c.CUT_P : lowestP;
  }
  if (directives::geometry.nCells == 0) return;
  t.cutE = lowestE;
  t.cutP = lowestP;
}

}  // namespace

Status CheckInputConsistency() {
  if (int code = CheckAltFile()) return code;
  if (gpuBuild) {
    if (int code = CheckDeviceOptions()) return code;
  }
  if (directives::nMaterials == 0) {
    printf("Error: Specification of the material is missing.\n");
    return kInputError;
  }
  if (input::runOptions.nParticles == 0) {
    printf("Error: The number of particles is zero.\n");
    return kInputError;
  }
  if (directives::complexGeometry <= 0) {
    if (int code = CheckLayer()) return code;
  } else if (transport.trackPos == 0) {
    printf("Error: Option \"TRACKPOS 0\" is not allowed in complex geometry mode.\n");
    return kInputError;
  }
  SettleElasticOptions();
  if (directives::sourceSpectrum.count == 0) {
    printf("Error: The source energy spectrum is not defined.\n");
    return kInputError;
  }
  SettleSourceVolumePoints();
  return FinishSpectrum(directives::physicsModels.eContiguous);
}

void ConvertInputUnits() {
  const double f = directives::physicsModels.energyFactor;
  if (f != 1.0) {
    for (int i = 0; i < directives::sourceSpectrum.nEnerg; ++i) directives::sourceSpectrum.energy[i] /= f;
    directives::sourceSpectrum.highestSourceEnergy /= f;
    directives::sourceSpectrum.lowestSourceEnergy /= f;
    if (transport.cutEGiven) transport.cutE /= f;
    if (transport.cutPGiven) transport.cutP /= f;
    if (directives::physicsModels.brems_lowEnThrGiven) directives::physicsModels.brems_lowEnThr /= f;
    if (directives::physicsModels.brems_highEnThrGiven) directives::physicsModels.brems_highEnThr /= f;
    if (directives::physicsModels.pe_angularDistrThrGiven) directives::physicsModels.pe_angularDistrThr /= f;
    for (PULSEHEIGHTTALLY& ph : directives::pulseHeightTally) {
      ph.lower /= f;
      ph.upper /= f;
      ph.invWidth = ph.bins / (ph.upper - ph.lower);
    }
    ConvertTallyQuantityUnit(kQuantityE, f);
  }
  if (directives::complexGeometry > 0) ConvertCellCutoffs(f);
  // Angles of the binning ranges and LIM bounds are given in degrees.
  ConvertTallyQuantityUnit(kQuantityTheta, kRadian);
  ConvertTallyQuantityUnit(kQuantityPhi, kRadian);
}

Status CheckAfterGeometrySetup() {
  ConvertInputUnits();
  const bool elasticGiven = transport.elastic >= 0;
  if (int code = CheckEnergyLimits(elasticGiven)) return code;
  if (int code = SettleCoherentScattering()) return code;
  if (int code = SettleTracking()) return code;
  setup::diffusionRatioSqrt = std::sqrt(transport.diffusion_totalToInelasticRatio_thr);
  setup::diffusionRatioSqrtInv = 1.0 / setup::diffusionRatioSqrt;
  if (input::runOptions.nStreams < 0) input::runOptions.nStreams = kDefaultStreams;
  if (!gpuBuild) {
    if (int code = CheckStreamsCpu()) return code;
  }
  SettleBremsAngularDistribution();
  if (!gpuBuild && input::runOptions.nStreams > kMaxStreams) {
    printf("Error: The number of streams of random numbers cannot be greater than %d.\n", kMaxStreams);
    return kInputError;
  }
  if (gpuBuild) {
    if (int code = EnumerateDevices()) return code;
  }
  if (int code = SettleForcing()) return code;
  SettleTracks();
  return kOk;
}

void ResetInputChecks() {
  setup::deviceSelection = DEVICESELECTION{};
  if (setup::altFile != nullptr) std::fclose(setup::altFile);
  setup::altFile = nullptr;
  setup::interactionForcing = false;
  setup::diffusionRatioSqrt = 0.0;
  setup::diffusionRatioSqrtInv = 0.0;
}
