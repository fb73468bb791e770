// The interaction-statistics report: the total slots of a summed record and
// the printed blocks (overall, and per cell into the per-cell file).
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/interaction_stats.h"
#include "driver/status.h"

// What the report needs to know about the run besides the records.
struct STATSREPORTCONTEXT {
  bool complexGeometry = false;
  bool trackPos = true;           // particle positions are followed
  bool photonSource = false;      // the source particles are photons
  bool weights = false;           // interaction forcing: weight slots instead of counts
  bool gpuBuild = false;          // the GPU build starts four headings with a line break
  double energyFactor = 1.0;      // eV to the output energy unit
  const char* energyUnit = "eV";  // "eV", "keV" or "MeV"
  double restEnergy = 510998.95;  // electron rest energy, eV
  int32_t nCells = 0;
  const int32_t* cellId = nullptr;          // [cell] the n of C<n>
  const int32_t* cellUnion = nullptr;       // [cell] union index, -1 none
  const int32_t* unionFirstCell = nullptr;  // [union] index of its first cell
  const int32_t* unionId = nullptr;         // [union] the n of UNION<n>
};

// Adds the derived totals to slots 137..160 of a summed record (the transport
// leaves them at 0; run once per record). perCell: the "source" terms are the
// cell's entries rather than the source particles.
void CompleteInteractionTotals(INTERACTIONSTATS& s, bool perCell, const STATSREPORTCONTEXT& ctx);

// Prints one block per cell index from first to last (-1 = the overall
// record; a later member of a union is passed over). With console set each
// block goes to the console first, then to out. factor = 1 / source particles.
void PrintInteractionStats(FILE* out, const INTERACTIONSTATS& overall, const INTERACTIONSTATS* perCell, double factor,
                           int32_t first, int32_t last, bool console, const STATSREPORTCONTEXT& ctx);

// Writes the per-cell blocks of every cell to path ("..._cellInteractionStats.txt").
// Returns 0, or 1 after printing "File \"%s\" could not be opened for writing.\n"
// (or an error naming the file when it could not be written).
Status WriteCellInteractionStats(const char* path, const INTERACTIONSTATS& overall, const INTERACTIONSTATS* perCell,
                                 double factor, const STATSREPORTCONTEXT& ctx);
