// CELL: one cell of the geometry (the simple geometry's layer is record 0):
// its material and concentration, its energy cutoffs, its pulse-height slot
// and its interaction-forcing switch. The bounding surfaces, the enclosing
// and inner cells and the cell-entry tally lists join with the geometry.
#pragma once

#include <cstdint>

struct CELL {
  int32_t number;          // n of C<n>
  int32_t material;        // material index in use; negative = void
  double concentration;    // atoms per cm^3: times a per-atom cross section, the inverse mean free path
  double density;          // g/cm^3
  double CUT_E;            // electron and positron cutoff energy, eV
  double CUT_P;            // photon cutoff energy, eV
  int32_t pulseHeight;     // number of pulse-height tallies on the cell
  int32_t pulseHeightSlot; // the cell's slot in the pulse-height deposit array
  int32_t unionIndex;      // union of cells, -1 none
  int8_t FORCE;            // interaction forcing in this cell (0 or 1; negative = not given)
};
