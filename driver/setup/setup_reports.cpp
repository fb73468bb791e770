#include "driver/setup/setup_reports.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/source.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "driver/setup/material_table_builder.h"

namespace setup {
SOURCEENTRY sourceEntry;
double layerDensity = 0.0;
}  // namespace setup

namespace {

// ---- Materials -------------------------------------------------------------------------

bool HoldsMassFractions(const MATERIAL& m) { return m.nElements > 0 && m.fraction[m.element[0]] < 0.0; }

// Mass fractions |f_i| become atom fractions (|f_i| / A_i) / sum_j (|f_j| / A_j).
void ToAtomFractions(const Elem* elems, MATERIAL* m) {
  double sum = 0.0;
  for (int i = 0; i < m->nElements; ++i) {
    const int g = m->element[i];
    sum += std::fabs(m->fraction[g]) / AtomMassGrams(elems[g].atomicMass);
  }
  for (int i = 0; i < m->nElements; ++i) {
    const int g = m->element[i];
    m->fraction[g] = std::fabs(m->fraction[g]) / AtomMassGrams(elems[g].atomicMass) / sum;
  }
}

double MeanMass(const Elem* elems, const MATERIAL& m) {
  double mean = 0.0;
  for (int i = 0; i < m.nElements; ++i)
    mean += m.fraction[m.element[i]] * AtomMassGrams(elems[m.element[i]].atomicMass);
  return mean;
}

// ---- Beam entry ------------------------------------------------------------------------

// The layer spans 0 <= d <= w, d the signed distance from its front plane.
int FindLayerEntry() {
  const VECTOR r = directives::source.sourceCenter;
  double d, dot;
  if (directives::layer.surface_C == 1.0) {
    d = r.z - directives::layer.surface_Z;
    dot = directives::source.beam_C;
  } else {
    d = directives::layer.surface_A * r.x + directives::layer.surface_B * r.y + directives::layer.surface_C * r.z +
        directives::layer.surface_D;
    dot = directives::layer.surface_A * directives::source.beam_A +
          directives::layer.surface_B * directives::source.beam_B +
          directives::layer.surface_C * directives::source.beam_C;
  }
  setup::sourceEntry.incidentDotProduct = dot;
  if (d >= 0.0 && d <= directives::layer.w) {
    // On a face and pointing out of the layer: the beam never enters it.
    if ((d == 0.0 && dot < 0.0) || (d == directives::layer.w && dot > 0.0)) {
      printf("Error: The incident beam does not hit the layer.\n");
      return 1;
    }
    setup::sourceEntry.entry_X = r.x;
    setup::sourceEntry.entry_Y = r.y;
    setup::sourceEntry.entry_Z = r.z;
    return 0;
  }
  if (!(d * dot < 0.0)) {
    printf("Error: The incident beam does not hit the layer.\n");
    return 1;
  }
  const double beyond = d < 0.0 ? d : d - directives::layer.w;
  const double t = -beyond / dot;
  setup::sourceEntry.entry_X = r.x + t * directives::source.beam_A;
  setup::sourceEntry.entry_Y = r.y + t * directives::source.beam_B;
  setup::sourceEntry.entry_Z = r.z + t * directives::source.beam_C;
  return 0;
}

// Without coordinate tracking no position-dependent tally can be scored.
bool FixedBeam() {
  return directives::source.sourcePositionType == kPointSource &&
         directives::source.sourceDirectionType == kParallelBeam;
}

}  // namespace

void DropPositionTallies() {
  for (int c = 0; c < kTallyClassCount; ++c) {
    directives::nPlaneTalliesTot[c] = 0;
    directives::nPlaneControlTallies[c] = 0;
  }
  directives::nPulseHeight_tot = 0;
  directives::nCellsPulseHeight = 0;
  directives::pulseHeightControlTallies.clear();
  directives::nControlTallies = 0;
}

// Each plane tally remembers normal . entry + offset for a fixed beam.
void SetTallyEntryValues() {
  const VECTOR entry = Init(setup::sourceEntry.entry_X, setup::sourceEntry.entry_Y, setup::sourceEntry.entry_Z);
  for (int c = 0; c < kTallyClassCount; ++c) {
    for (int i = 0; i < directives::nPlaneTalliesTot[c]; ++i) {
      PLANETALLY& tally = directives::tallyData[c][i];
      tally.auxValue = Dot(tally.normal, entry) + tally.offset;
    }
  }
}

double AtomMassGrams(double restEnergyEv) {
  const PHYSICALCONSTANTS& k = input::physicalConstants;
  return restEnergyEv * k.elch / (k.c * k.c) * 1000.0;
}

void CompleteMaterialComposition(const Elem* elems) {
  for (int i = 0; i < directives::nMaterials; ++i) {
    MATERIAL& m = directives::materials[i];
    if (IsLinkedMaterial(m)) continue;
    if (HoldsMassFractions(m)) ToAtomFractions(elems, &m);
    m.meanAtomicMass = MeanMass(elems, m);
  }
}

void SetUpLayerCell(Elem* elems) {
  const MATERIAL& m = directives::materials[0];
  const double meanMass = m.meanAtomicMass;
  if (directives::layer.concentration < 0.0) {
    setup::layerDensity = -directives::layer.concentration;
    directives::layer.concentration = setup::layerDensity / meanMass;
  } else {
    setup::layerDensity = directives::layer.concentration * meanMass;
  }
  for (int i = 0; i < m.nElements; ++i)
    elems[m.element[i]].partialConc = m.fraction[m.element[i]] * directives::layer.concentration;
  // A negative thickness is a mass thickness, g/cm^2.
  if (directives::layer.w < 0.0 && setup::layerDensity > 0.0)
    directives::layer.w = -directives::layer.w / setup::layerDensity;

  // The layer is record 0 of the cell table, its one cell.
  CELL& cell = directives::geometry.cell[0];
  cell = CELL{};
  cell.number = 0;
  cell.material = 0;
  cell.concentration = directives::layer.concentration;
  cell.density = setup::layerDensity;
  cell.CUT_E = directives::transportOptions.cutE;
  cell.CUT_P = directives::transportOptions.cutP;
  cell.pulseHeightSlot = -1;
  cell.unionIndex = -1;
  cell.FORCE = -1;
  directives::geometry.nCells = 1;

  if (input::outputFile != nullptr) {
    std::fprintf(input::outputFile, "\nAtomic concentration = %15.7e 1/cm^3\n", directives::layer.concentration);
    std::fprintf(input::outputFile, "Density = %15.7e g/cm^3\n\n", setup::layerDensity);
  }
}

Status CutSpectrumAtCutoff(double cutoff) {
  SPECTRUM& s = directives::sourceSpectrum;
  const int n = s.nEnerg;
  int i = 0;
  while (i < n && s.energy[i] < cutoff) ++i;
  std::vector<double> energy, weight;
  if (s.energy[i] == cutoff) {
    energy.assign(s.energy + i, s.energy + n);
    weight.assign(s.weight + i, s.weight + n);
  } else {
    energy.push_back(cutoff);
    weight.push_back(0.0);
    for (int j = i; j < n; ++j) {
      energy.push_back(s.energy[j]);
      weight.push_back(s.weight[j]);
    }
    weight[1] = s.weight[i] * (s.energy[i] - cutoff) / (s.energy[i] - s.energy[i - 1]);
  }
  weight[0] = 0.0;
  const int count = static_cast<int>(energy.size());
  // The arrays only shrink or keep their length (a split drops at least one
  // point below the cutoff), so they stay where they are.
  s.nEnerg = count;
  s.weight = s.energy + count;
  double sum = 0.0;
  for (int j = 0; j < count; ++j) {
    s.energy[j] = energy[j];
    s.weight[j] = weight[j];
    sum += weight[j];
    s.cumulativeWeight[j] = sum;
  }
  const double f = sum;
  const int64_t histories = static_cast<int64_t>(static_cast<double>(input::runOptions.nParticles) * f + 0.5);
  if (histories < 1) {
    printf("Error: source energy is below cutoff energy.\n");
    return kInputError;
  }
  printf(
      "A part of the source energy spectrum is below the cutoff energy.\n\tThe number of source particles has been "
      "adjusted accordingly. The new number of particles is %lld.\n",
      static_cast<long long>(histories));
  input::runOptions.nParticles = histories;
  for (int j = 0; j < count; ++j) {
    s.weight[j] /= f;
    s.cumulativeWeight[j] /= f;
  }
  s.cumulativeWeight[count - 1] = 1.0;
  s.lowestSourceEnergy = cutoff;
  return kOk;
}

void SettlePositronRows() {
  const PHYSICSMODELOPTIONS& p = directives::physicsModels;
  const bool models = p.positronBremsCorrection != 0 || p.ionDWBA != 0 || p.useDPWelasticScatteringCrossSections != 0;
  const bool positrons = directives::source.part == kSourcePositron ||
                         directives::transportOptions.cutE + input::physicalConstants.pairThreshold <
                             directives::sourceSpectrum.highestSourceEnergy;
  setup::useDifferentCSforPositrons = models && positrons ? 1 : 0;
}

Status CheckSourceAgainstLayer() {
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  const bool traced = t.trackPos != 0 || directives::source.part == kSourcePhoton;
  if (traced && FindLayerEntry() != 0) return kInputError;
  if (t.trackPos == 0) {
    DropPositionTallies();
  } else if (traced && FixedBeam()) {
    SetTallyEntryValues();
  }
  const double cutoff = directives::source.part == kSourcePhoton ? t.cutP : t.cutE;
  if (cutoff >= directives::sourceSpectrum.highestSourceEnergy) {
    printf("Error: source energy is below cutoff energy.\n");
    return kInputError;
  }
  if (directives::sourceSpectrum.nEnerg > 1 && cutoff > directives::sourceSpectrum.lowestSourceEnergy) {
    if (CutSpectrumAtCutoff(cutoff) != 0) return kInputError;
  }
  SettlePositronRows();
  return kOk;
}

void ResetSetupReports() {
  setup::sourceEntry = SOURCEENTRY{};
  setup::layerDensity = 0.0;
}
