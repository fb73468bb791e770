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

SOURCEENTRY sourceEntry;
double layerDensity = 0.0;

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
  const VECTOR r = source.sourceCenter;
  double d, dot;
  if (layer.surface_C == 1.0) {
    d = r.z - layer.surface_Z;
    dot = source.beam_C;
  } else {
    d = layer.surface_A * r.x + layer.surface_B * r.y + layer.surface_C * r.z + layer.surface_D;
    dot = layer.surface_A * source.beam_A + layer.surface_B * source.beam_B + layer.surface_C * source.beam_C;
  }
  sourceEntry.incidentDotProduct = dot;
  if (d >= 0.0 && d <= layer.w) {
    // On a face and pointing out of the layer: the beam never enters it.
    if ((d == 0.0 && dot < 0.0) || (d == layer.w && dot > 0.0)) {
      printf("Error: The incident beam does not hit the layer.\n");
      return 1;
    }
    sourceEntry.entry_X = r.x;
    sourceEntry.entry_Y = r.y;
    sourceEntry.entry_Z = r.z;
    return 0;
  }
  if (!(d * dot < 0.0)) {
    printf("Error: The incident beam does not hit the layer.\n");
    return 1;
  }
  const double beyond = d < 0.0 ? d : d - layer.w;
  const double t = -beyond / dot;
  sourceEntry.entry_X = r.x + t * source.beam_A;
  sourceEntry.entry_Y = r.y + t * source.beam_B;
  sourceEntry.entry_Z = r.z + t * source.beam_C;
  return 0;
}

// Without coordinate tracking no position-dependent tally can be scored.
bool FixedBeam() { return source.sourcePositionType == kPointSource && source.sourceDirectionType == kParallelBeam; }

}  // namespace

void DropPositionTallies() {
  for (int c = 0; c < kTallyClassCount; ++c) {
    nPlaneTalliesTot[c] = 0;
    nPlaneControlTallies[c] = 0;
  }
  nPulseHeight_tot = 0;
  nCellsPulseHeight = 0;
  pulseHeightControlTallies.clear();
  nControlTallies = 0;
}

// Each plane tally remembers normal . entry + offset for a fixed beam.
void SetTallyEntryValues() {
  const VECTOR entry = Init(sourceEntry.entry_X, sourceEntry.entry_Y, sourceEntry.entry_Z);
  for (int c = 0; c < kTallyClassCount; ++c) {
    for (int i = 0; i < nPlaneTalliesTot[c]; ++i) {
      PLANETALLY& tally = tallyData[c][i];
      tally.auxValue = Dot(tally.normal, entry) + tally.offset;
    }
  }
}

double AtomMassGrams(double restEnergyEv) {
  const PHYSICALCONSTANTS& k = physicalConstants;
  return restEnergyEv * k.elch / (k.c * k.c) * 1000.0;
}

void CompleteMaterialComposition(const Elem* elems) {
  for (int i = 0; i < nMaterials; ++i) {
    MATERIAL& m = materials[i];
    if (IsLinkedMaterial(m)) continue;
    if (HoldsMassFractions(m)) ToAtomFractions(elems, &m);
    m.meanAtomicMass = MeanMass(elems, m);
  }
}

void SetUpLayerCell(Elem* elems) {
  const MATERIAL& m = materials[0];
  const double meanMass = m.meanAtomicMass;
  if (layer.concentration < 0.0) {
    layerDensity = -layer.concentration;
    layer.concentration = layerDensity / meanMass;
  } else {
    layerDensity = layer.concentration * meanMass;
  }
  for (int i = 0; i < m.nElements; ++i)
    elems[m.element[i]].partialConc = m.fraction[m.element[i]] * layer.concentration;
  // A negative thickness is a mass thickness, g/cm^2.
  if (layer.w < 0.0 && layerDensity > 0.0) layer.w = -layer.w / layerDensity;

  // The layer is record 0 of the cell table, its one cell.
  CELL& cell = geometry.cell[0];
  cell = CELL{};
  cell.number = 0;
  cell.material = 0;
  cell.concentration = layer.concentration;
  cell.density = layerDensity;
  cell.CUT_E = transportOptions.cutE;
  cell.CUT_P = transportOptions.cutP;
  cell.pulseHeightSlot = -1;
  cell.unionIndex = -1;
  cell.FORCE = -1;
  geometry.nCells = 1;

  if (outputFile != nullptr) {
    std::fprintf(outputFile, "\nAtomic concentration = %15.7e 1/cm^3\n", layer.concentration);
    std::fprintf(outputFile, "Density = %15.7e g/cm^3\n\n", layerDensity);
  }
}

Status CutSpectrumAtCutoff(double cutoff) {
  SPECTRUM& s = sourceSpectrum;
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
  const int64_t histories = static_cast<int64_t>(static_cast<double>(runOptions.nParticles) * f + 0.5);
  if (histories < 1) {
    printf("Error: source energy is below cutoff energy.\n");
    return kInputError;
  }
  printf(
      "A part of the source energy spectrum is below the cutoff energy.\n\tThe number of source particles has been "
      "adjusted accordingly. The new number of particles is %lld.\n",
      static_cast<long long>(histories));
  runOptions.nParticles = histories;
  for (int j = 0; j < count; ++j) {
    s.weight[j] /= f;
    s.cumulativeWeight[j] /= f;
  }
  s.cumulativeWeight[count - 1] = 1.0;
  s.lowestSourceEnergy = cutoff;
  return kOk;
}

void SettlePositronRows() {
  const PHYSICSMODELOPTIONS& p = physicsModels;
  const bool models = p.positronBremsCorrection != 0 || p.ionDWBA != 0 || p.useDPWelasticScatteringCrossSections != 0;
  const bool positrons = source.part == kSourcePositron ||
                         transportOptions.cutE + physicalConstants.pairThreshold < sourceSpectrum.highestSourceEnergy;
  useDifferentCSforPositrons = models && positrons ? 1 : 0;
}

Status CheckSourceAgainstLayer() {
  const TRANSPORTOPTIONS& t = transportOptions;
  const bool traced = t.trackPos != 0 || source.part == kSourcePhoton;
  if (traced && FindLayerEntry() != 0) return kInputError;
  if (t.trackPos == 0) {
    DropPositionTallies();
  } else if (traced && FixedBeam()) {
    SetTallyEntryValues();
  }
  const double cutoff = source.part == kSourcePhoton ? t.cutP : t.cutE;
  if (cutoff >= sourceSpectrum.highestSourceEnergy) {
    printf("Error: source energy is below cutoff energy.\n");
    return kInputError;
  }
  if (sourceSpectrum.nEnerg > 1 && cutoff > sourceSpectrum.lowestSourceEnergy) {
    if (CutSpectrumAtCutoff(cutoff) != 0) return kInputError;
  }
  SettlePositronRows();
  return kOk;
}

void ResetSetupReports() {
  sourceEntry = SOURCEENTRY{};
  layerDensity = 0.0;
}
