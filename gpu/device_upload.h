// The problem's copy to one device: the spectrum, the complex geometry's
// tables (plane sets, surfaces, voxels, voxel2index, unions), the cells, the
// materials with their electron tables, the tally definitions and zeroed
// score arrays, and the element block, each record rebuilt on the host with the device
// addresses of its tables (innermost lists first) before it is copied; then
// the set-up kernels CopyConstantsToDevice and CopyElementDataToDevice.
//
// Every device call is checked: a failure prints "\nCUDA error (%s).\n" and
// ends the program with exit code 2.
#pragma once

#include <cstdint>
#include <vector>

#include "core/cell.h"
#include "core/constants.h"
#include "core/elem.h"
#include "core/tally_tables.h"

// The host's tables of the problem.
struct HOSTPROBLEM {
  const Constants* constants = nullptr;  // the host record: host addresses
  const TALLYTABLES* tallyTables = nullptr;
  const Elem* elements = nullptr;  // the element block: nElements records, then their tables
  int64_t elementBytes = 0;
  int32_t nElements = 0;
  bool weighted = false;  // interaction forcing: weight sums in place of counts
  int32_t device = 0;     // CUDA device number that receives the copy
};

// The tally score arrays of a device, zeroed at the upload and shaped as a
// worker's (TASKTALLIES): the device tasks score into them. The host keeps
// the device addresses of every array for the read-back.
struct DEVICETALLIES {
  // Device addresses of the address tables, one per class (what a device
  // task's TASKTALLIES holds).
  int64_t** oneDimTallies[kTallyClassCount] = {};
  double** oneDimTallies_wt[kTallyClassCount] = {};
  double** oneDimTallies_E[kTallyClassCount] = {};
  int64_t** twoDimTallies[kTallyClassCount] = {};
  double** twoDimTallies_wt[kTallyClassCount] = {};
  double** twoDimTallies_E[kTallyClassCount] = {};
  int64_t*** cellEntryHist[kTallyClassCount] = {};
  double*** cellEntryHist_wt[kTallyClassCount] = {};
  double*** cellEntryHist_E[kTallyClassCount] = {};
  int64_t** pulseHeightHist = nullptr;
  double** pulseHeightEnergy = nullptr;
  // The same address tables on the host: per class and table slot (1-D, 2-D),
  // per class, tally and energy range (cell entry), per tally (pulse height);
  // null where the mode or the tally keeps no such array.
  std::vector<int64_t*> oneDimCounts[kTallyClassCount];
  std::vector<double*> oneDimWeights[kTallyClassCount];
  std::vector<double*> oneDimEnergies[kTallyClassCount];
  std::vector<int64_t*> twoDimCounts[kTallyClassCount];
  std::vector<double*> twoDimWeights[kTallyClassCount];
  std::vector<double*> twoDimEnergies[kTallyClassCount];
  std::vector<std::vector<int64_t*>> cellEntryCounts[kTallyClassCount];
  std::vector<std::vector<double*>> cellEntryWeights[kTallyClassCount];
  std::vector<std::vector<double*>> cellEntryEnergies[kTallyClassCount];
  std::vector<int64_t*> pulseHeightCounts;
  std::vector<double*> pulseHeightEnergies;
};

// What a device holds of the problem after the upload.
struct DEVICEPROBLEM {
  Constants constants{};     // the record the device received (device addresses)
  TALLYTABLES tallyTables;   // likewise
  Elem* elements = nullptr;  // the device's element block
  DEVICETALLIES tallies;
};

// Copies the problem to the current device and runs the two set-up kernels.
// Returns -1, or the index of an element whose tables the device does not
// find inside its copy of the block (the caller reports it).
int32_t UploadProblem(const HOSTPROBLEM& host, DEVICEPROBLEM* device);

// The offsets in Elem of every table reference of its own (not those inside
// its tables), which CopyElementDataToDevice follows.
std::vector<int64_t> ElementReferenceOffsets();
