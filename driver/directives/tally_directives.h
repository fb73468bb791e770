// Binning ranges, surface-crossing (plane) tallies and the tally switches:
// the tables that the scoring, the tally files and the devices read.
#pragma once

#include <cstdint>
#include <vector>

#include "core/tally.h"
#include "driver/directives/directive_keywords.h"
#include "driver/input/keyword_names.h"
#include "driver/status.h"

namespace directives {
extern TALLYRANGE rangeData[kQuantityCount][kMaxRangesPerQuantity];
extern int32_t nRanges[kQuantityCount];
extern PLANETALLY tallyData[kTallyClassCount][kMaxPlaneTalliesPerClass];
extern int32_t nPlaneTalliesTot[kTallyClassCount];
}  // namespace directives

// The running layout of all tables of each class: one entry per table and
// stacked plane. The bin count of a table is also its half offset (the
// second half of a table array starts there).
struct TALLYLAYOUT {
  std::vector<int32_t> oneDimHalf;   // bins of each 1-D table
  std::vector<int32_t> twoDimHalf;   // bins (product) of each 2-D table
  std::vector<uint8_t> oneDimEFlux;  // energy-flux flag of each 1-D table
  std::vector<uint8_t> twoDimEFlux;
  int64_t binTotal = 0;  // bins over all tables and planes of the class
};
namespace directives {
extern TALLYLAYOUT tallyLayout[kTallyClassCount];

// Tallies watched by the run monitor: written during the run or with a target error.
extern CONTROLTALLY planeControlTallies[kTallyClassCount][kMaxPlaneTalliesPerClass];
extern int32_t nPlaneControlTallies[kTallyClassCount];
extern int32_t nControlTallies;  // over all classes, pulse-height and cell-entry tallies included
extern bool targetErrorGiven;    // some tally has AVGERR, MINERR or MAXERR
}  // namespace directives

// Defaults that the tally directives take when a tally is defined (with the
// tally-output mode and interval of tallyOutputOptions). The energy switches
// are read in the first pass, so they hold wherever they stand.
struct TALLYOPTIONS {
  int32_t perSource = 0;    // TALLIES_PER_SOURCE
  int32_t eFlux = 1;        // TALLIES_E_FLUX: energy flux of plane and cell-entry tallies
  int32_t eDeposition = 1;  // TALLIES_E_DEPOSITION: energy deposition of pulse-height tallies
};
namespace directives {
extern TALLYOPTIONS tallyOptions;
}  // namespace directives

enum TallyKeyword {
  kTalliesPerSourceKeyword = kTallyKeywordBase,
  kTalliesEFluxKeyword,
  kTalliesEDepositionKeyword,
};

namespace directives {
// Quantity keywords and the words that name their ranges in messages.
extern const char* const kQuantityKeyword[kQuantityCount];
extern const char* const kQuantityWord[kQuantityCount];
}  // namespace directives

// The directive module: tally switches and plane tallies (TALLY, ETALLY, PTALLY).
bool HandleTallyDirective(const char* word);

// Appends the tally switches and TALLY[<n>], ETALLY[<n>], PTALLY[<n>].
void ListTallyDirectives(KEYWORDNAMES* names);

// A binning-range line (second pass): word begins with the quantity keyword
// nameIndex. Returns 0 on success, 1 after printing the error.
Status ParseBinningKeyword(const char* word, int nameIndex);

// The range named name (any quantity, without regard to case), or null;
// *quantity and *index receive its place.
const TALLYRANGE* FindRange(const char* name, int* quantity, int* index);

// A comma-separated list of origin codes 0..11, with an optional leading '-'
// for "all but these", into orgEnabled (one flag per origin code); false,
// orgEnabled unchanged, when the list is malformed.
bool ParseOriginList(const char* value, uint8_t* orgEnabled);

// Divides the limits of every range of quantity q, and the LIM bounds of q of
// every plane tally, by factor; recomputes the bins per unit.
void ConvertTallyQuantityUnit(int q, double factor);

// The state before the passes.
void ResetTallyDirectives();
