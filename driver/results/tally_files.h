// Tally result files: plane tallies (one file per table and stacked plane),
// cell-entry tallies (one file per energy range) and pulse-height tallies
// (one file per tally), with the relative standard deviation of every bin and
// the tally's error figure that the run's stopping rule watches.
//
// The three writers share the result folder and one kept file: the first
// file opened during the run stays open and is rewritten in place (truncated
// to its new content) each time it is due; every other file is reopened.
#pragma once

#include <cstdint>

#include "core/task.h"
#include "driver/status.h"

// What the writers read besides the tally definitions (GetTallyTables()).
struct TALLYFILECONTEXT {
  const char* folder = "";  // result folder ("...Files_..."), with or without a trailing '/'
  double displayFactor[kQuantityCount] = {1, 1, 1, 1, 1, 1, 1};  // per quantity, into printed bin positions
  double energyFactor = 1.0;                                     // eV to the output energy unit, into printed energies
  int32_t perSource = 0;           // TALLIES_PER_SOURCE: values per source history (times invN)
  bool weighted = false;           // the records hold weight sums (interaction forcing)
  const CTask* records = nullptr;  // the totals record (end of run) or the live worker records
  int32_t nRecords = 0;
  // Pulse-height file names and dose.
  const int32_t* cellId = nullptr;                  // [cell] the n of C<n>
  const double* cellDensity = nullptr;              // [cell] g/cm^3
  const double* cellVolume = nullptr;               // [cell] cm^3, negative when not known
  double totalMass = 0.0;                           // g, of the whole geometry
  const int32_t* pulseHeightCountOfCell = nullptr;  // [cell] pulse-height tallies on the cell
  int32_t nWholeGeometryPulseHeight = 0;            // pulse-height tallies of the whole geometry
};

// Error mode of a tally's error figure.
enum TallyErrorMode : int32_t { kErrorAverage = 0, kErrorMinimum = 1, kErrorMaximum = 2 };

// The error figure of one tally: over the bins with a non-zero relative
// standard deviation, their average, minimum or maximum (0 when none).
struct TALLYERRORFIGURE {
  int32_t mode = kErrorAverage;  // in: TallyErrorMode
  double value = 0.0;            // out: the figure
  double lastBin = 0.0;          // out: relative standard deviation of the last bin evaluated
};

// Calling modes: at the end of the run write = false and error = null (files
// written from ctx.records, every file closed); during the run with output
// write = true and error given (the kept file is flushed and left open); an
// evaluation only with write = false and error given (no file touched).
// invN is 1 / N, N the number of source histories the sums refer to.
void WritePlaneTallies(const TALLYFILECONTEXT& ctx, int32_t tally, int32_t row, bool write, TALLYERRORFIGURE* error,
                       double invN);
void WriteCellEntryTallies(const TALLYFILECONTEXT& ctx, int32_t tally, int32_t row, bool write, TALLYERRORFIGURE* error,
                           double invN);
void WritePulseHeightTallies(const TALLYFILECONTEXT& ctx, int32_t tally, bool write, TALLYERRORFIGURE* error,
                             double invN);

// True once a write or close of a tally file has failed (the message, naming
// the file, is printed at the first failure).
bool TallyFileWriteFailed();

// Closes the kept file, if any (a run that ends without rewriting it), and
// forgets the writers' state (folder made, open failures reported, write
// failures). Returns kInputError when a write or close failed since the last
// call, else kOk.
Status CloseTallyFiles();
