// After the element data are loaded: the materials' atom fractions and mean
// atomic masses, the layer's concentration and density with their lines in
// the output file, where the source beam enters the layer, the source energy
// against the cutoff (the spectrum cut there, the number of histories
// adjusted), and whether positrons need cross-section rows of their own.
// The cell tables of the complex geometry join with the geometry set-up.
#pragma once

#include <cstdint>
#include <vector>

#include "core/cell.h"
#include "core/elem.h"
#include "driver/status.h"

// Where a point source with a fixed direction enters the geometry.
struct SOURCEENTRY {
  double incidentDotProduct = 0.0;                     // cosine between the beam and the layer's normal
  double entry_X = 0.0, entry_Y = 0.0, entry_Z = 0.0;  // entry point, cm
  int32_t entryVoxel = -1;                             // complex geometry: voxel of the entry
  int16_t entryCell = -1;                              // complex geometry: slot of the entered cell in the voxel
  int16_t entrySurface = -1;                           // -1 before the trace, -2 when the source lies in a cell
  double entryRadius = 0.0;                            // free-motion radius at the entry, cm
};
namespace setup {
extern SOURCEENTRY sourceEntry;

extern double layerDensity;  // g/cm^3 of the layer's material
}  // namespace setup

// Mass of one atom in grams from the atom's rest energy in eV.
double AtomMassGrams(double restEnergyEv);

// Mass fractions become atom fractions and every material that holds its
// own composition gets its mean atomic mass (g per atom); elems is the
// element array by global element index.
void CompleteMaterialComposition(const Elem* elems);

// The simple geometry's layer as cell 0 of the cell table (geometry_tables.h): concentration and density from CONC
// (a negative value is a density), each element's number density, a mass
// thickness (negative THICK) turned into a length, the cutoffs; writes the
// concentration and density lines into the output file.
void SetUpLayerCell(Elem* elems);

// The source checks of the simple geometry, in order: beam entry, tallies
// without coordinate tracking, source energy against the cutoff and the cut
// of the spectrum, the positron flag. Returns 0 or 1 after the message.
Status CheckSourceAgainstLayer();

// Cuts the source spectrum at the cutoff energy and adjusts N; returns 1
// after "Error: source energy is below cutoff energy.\n" when fewer than half
// a history would be left.
Status CutSpectrumAtCutoff(double cutoff);

// Without coordinate tracking: the plane and pulse-height tallies of every
// class dropped, with their control lists.
void DropPositionTallies();

// Every plane tally's value at the source entry point: normal . entry + offset.
void SetTallyEntryValues();

// useDifferentCSforPositrons from the positron models and the source.
void SettlePositronRows();

// The state before a run.
void ResetSetupReports();
