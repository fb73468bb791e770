// Set-up of the per-material electron cross-section tables (layout in
// core/material_tables.h): the merged energy grid of all (element, section)
// entries, the cumulative rows, the positron rows, the thinning to SIGMA_ERR,
// the fast energy index and the small-angle elastic shares; after all
// materials the cell forcing flags, the optional "%s_sigma.txt" files and the
// index report.
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "core/material.h"
#include "driver/directives/transport_directives.h"
#include "driver/status.h"

struct CELL;

// What the builder of one material's table reads besides the element records.
struct MATERIALTABLEOPTIONS {
  double minEnergy = 1000.0;            // Emin: lowest electron cutoff of the problem, eV
  double maxEnergy = 1e7;               // Emax: highest particle energy of the problem, eV
  int32_t elastic = 1;                  // ELASTIC: elastic entries carry cross sections
  int32_t smallAngleShares = 0;         // build elasticSmallAngleShare (DPW off, elastic and small-angle on)
  int32_t positronRows = 0;             // useDifferentCSforPositrons: rows E..2E-1
  int32_t positronBremsCorrection = 1;  // BREMS_POSITRON_CORRECTION
  double sigmaErr = 0.001;              // SIGMA_ERR: relative error allowed by the thinning; 0 keeps every point
  INDEXOPTION index = {-2, 17};         // SIGMA_E_INDEXTYPE, SIGMA_E_INDEXEXPONENT
  int32_t nElements = 0;                // nElem_tot: size of the small-angle share arrays
  // Forcing switch of each process (ForcedProcess order) by global element index.
  bool forced[kMaxElements][kForcedProcessCount] = {};
};

namespace setup {
extern uint8_t use_electron_logE;           // some electron energy index maps ln E
extern int32_t useDifferentCSforPositrons;  // positrons have their own rows
extern int32_t maxElectronEntries;          // largest entry count E over the materials
extern int32_t maxElectronEnergies;         // largest grid M over the materials
}  // namespace setup

// Ratio of the positron to the electron bremsstrahlung cross section at
// t = E / Z^2 (eV): 0.02 below 0.1 eV, 1 above 500 keV, a cubic in
// ln t - 5.87522 between (fit to the tabulated positron/electron ratio of the
// radiative stopping powers, Kim et al., Phys. Rev. A 33 (1986) 3002).
double PositronBremsRatio(double t);

// Builds the table of one material that holds its own composition. elems is
// the element array by global element index. Returns kOk, or kInputError
// when the grid exceeds kMaxElectronEnergies (nothing is kept then; the
// caller prints the message). Sets use_electron_logE when
// the built index is logarithmic.
Status BuildMaterialTable(const MATERIALTABLEOPTIONS& options, const Elem* elems, MATERIAL* material);

// Releases the tables of a material and zeroes its table fields.
void FreeMaterialTable(MATERIAL* material);

// The phase of the set-up over the problem's globals (the positron flag is
// settled before): builds every material's table with the progress line,
// resolves the forcing flags of the cells, writes the cross-section files
// when output_cs is 1 and prints the table summary and, with
// OUTPUT_INDEX_ARRAY_INFO, the index report. Returns 0 or the exit code
// after the message.
Status BuildMaterialTables(CELL* cells, int32_t nCells);

// The options of BuildMaterialTable taken from the run's settings.
MATERIALTABLEOPTIONS MaterialTableOptionsOfRun();
