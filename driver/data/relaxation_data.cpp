// Atomic relaxation data of one element (ENDF-6 MF 28 / MT 533): subshells,
// binding energies, occupancies and the radiative and non-radiative
// transitions that fill a vacancy.
#include <cmath>
#include <cstdio>

#include "driver/data/load_steps.h"

namespace {

// Relative agreement demanded between a tabulated transition energy and the
// binding-energy difference (ENDF/B-VII files).
constexpr double kTransitionEnergyTolerance = 1e-5;

// Section code of the relaxation data (MF 28, MT 533).
constexpr int kRelaxationCode = 28533;

// Binding-energy difference of a transition, 0 when negative.
double TransitionEnergyFromBinding(const ElemStaging& elem, int vacancy, int t) {
  double d = elem.bindingEnergy[vacancy] - elem.bindingEnergy[elem.transFill[vacancy][t]];
  if (elem.transEmit[vacancy][t] != 0) d -= elem.bindingEnergy[elem.transEmit[vacancy][t]];
  return d < 0.0 ? 0.0 : d;
}

// ENDF/B-VIII tabulates transition energies that are stale against its own
// updated binding energies: use the binding-energy differences. ENDF/B-VII
// energies must agree with them.
int SettleTransitionEnergies(bool fromBinding, ElemStaging* elem) {
  for (int s = 0; s < elem->nSubshells; ++s) {
    const int vacancy = elem->subshellDesignator[s];
    for (int t = 0; t < elem->nTransitions[vacancy]; ++t) {
      const double d = TransitionEnergyFromBinding(*elem, vacancy, t);
      double& energy = elem->transEnergy[vacancy][t];
      if (fromBinding) {
        energy = d;
        continue;
      }
      const bool consistent = energy == 0.0
                                  ? d == 0.0
                                  : d != 0.0 && std::fabs(energy / d - 1.0) <=
                                                    kTransitionEnergyTolerance;
      if (!consistent) {
        std::printf("\nIncorrect transition energy found.\n");
        return 1;
      }
    }
  }
  return 0;
}

int ValidDesignator(int d) { return d >= 0 && d < kMaxDesignator; }

// Every ionization subshell of the electro-atomic file must be a subshell of
// the relaxation file, so that its vacancy has a binding energy and its
// transitions.
bool IonizationSubshellsRelax(const ElemStaging& elem) {
  for (int s = 0; s < elem.nSubshells; ++s) {
    bool found = false;
    for (int r = 0; r < elem.nSubshells && !found; ++r) found = elem.subshellDesignator[r] == elem.ionDesignator[s];
    if (!found) return false;
  }
  return true;
}

// One subshell block: the control line is in reader->line.
int ReadSubshell(ENDFREADER* reader, int s, double* electrons, ElemStaging* elem) {
  const int d = static_cast<int>(std::lround(EndfField(reader->line, 1)));
  const int ntr = EndfIntField(reader->line, 6);
  if (!ValidDesignator(d) || d == 0 || s >= kMaxDesignator || ntr < 0 || ntr > kMaxTransitions)
    return 1;
  if (!ReadEndfLine(reader)) return 1;
  elem->subshellDesignator[s] = static_cast<int16_t>(d);
  elem->bindingEnergy[d] = EndfField(reader->line, 1);
  elem->occupancy[d] = static_cast<int16_t>(std::lround(EndfField(reader->line, 2)));
  *electrons += elem->occupancy[d];
  elem->cumOccupancy[s] = *electrons / elem->Z;
  double sum = 0.0;
  for (int t = 0; t < ntr; ++t) {
    if (!ReadEndfLine(reader)) return 1;
    const int fill = static_cast<int>(std::lround(EndfField(reader->line, 1)));
    const int emit = static_cast<int>(std::lround(EndfField(reader->line, 2)));
    if (!ValidDesignator(fill) || !ValidDesignator(emit)) return 1;
    elem->transFill[d][t] = static_cast<int16_t>(fill);
    elem->transEmit[d][t] = static_cast<int16_t>(emit);
    elem->transEnergy[d][t] = EndfField(reader->line, 3);
    elem->transProb[d][t] = EndfField(reader->line, 4);
    sum += elem->transProb[d][t];
    elem->transCum[d][t] = sum;
  }
  elem->nTransitions[d] = static_cast<int16_t>(ntr);
  if (sum > 0.0) {
    for (int t = 0; t < ntr; ++t) {
      elem->transProb[d][t] /= sum;
      elem->transCum[d][t] /= sum;
    }
    elem->transCum[d][ntr - 1] = 1.0;
  }
  return 0;
}

}  // namespace

int ReadRelaxationFile(const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  ENDFREADER reader;
  if (OpenElementEndfFile(options, "atomic_relax", "atom", elem->Z, &reader) != 0) return 1;
  // AWR is the atom's mass in neutron masses; the rest energy in eV follows.
  const PHYSICALCONSTANTS& k = options.constants;
  const double neutronRestEnergy = k.neutronMass * k.c * k.c / k.elch;

  // Head line (AWR) and the control line of the first subshell.
  int inRow = 0;
  reader.sectionCode = 0;
  while (inRow < 2) {
    if (!ReadEndfLine(&reader)) {
      CloseEndfFile(&reader);
      return EndfFormatError(reader.sectionCode);
    }
    const int code = EndfLineCode(reader.line);
    if (code != 0) reader.sectionCode = code;
    inRow = code == kRelaxationCode ? inRow + 1 : 0;
    if (inRow == 1) elem->atomicMass = EndfField(reader.line, 2) * neutronRestEnergy;
  }

  int s = 0;
  double electrons = 0.0;
  while (reader.sectionCode == kRelaxationCode) {
    if (ReadSubshell(&reader, s, &electrons, elem) != 0) break;
    ++s;
    reader.sectionCode = ReadEndfLine(&reader) ? EndfLineCode(reader.line) : 0;
  }
  const int generation = reader.generation;
  CloseEndfFile(&reader);
  if (reader.sectionCode != 0 || s != elem->nSubshells) return EndfFormatError(reader.sectionCode);
  if (!IonizationSubshellsRelax(*elem)) return EndfFormatError(kRelaxationCode);
  elem->cumOccupancy[s - 1] = 1.0;
  return SettleTransitionEnergies(generation >= 8, elem);
}
