// A simple-geometry electron problem with real ENDF/B data: the elements of
// one material loaded through the element loader, the material's cumulative
// electron cross-section table merged over all sections (every grid point
// kept, halving search), one layer cell and the Constants of the run.
#pragma once

#include <memory>
#include <vector>

#include "core/cell.h"
#include "core/elem.h"
#include "core/material.h"
#include "driver/data/element_pool.h"

struct ELECTRONPROBLEM {
  ELEMENTPOOL pool;          // the element array
  Elem* elements = nullptr;  // pool.elements
  int nElements = 0;
  MATERIAL material{};
  CELL cell{};
  std::vector<std::vector<double>> rows;    // cumulative columns
  std::vector<std::vector<double>> slopes;
  std::vector<double*> rowPointers, slopePointers;
  std::vector<double> grid;
  std::vector<uint8_t> entryElement, entrySection;
  bool comptonProfiles = false;  // also read the Compton profiles (Doppler broadening of photons)
  int elasticSmallAngle = 0;     // ELASTIC_SMALL_ANGLE mode of the loaded data and of the run
  std::vector<std::vector<double>> smallAngleShare, smallAngleShareSlope;  // per element, on the grid
  std::vector<double*> shareRows, shareSlopeRows;
  ~ELECTRONPROBLEM();
};

// Loads elements z[0..n-1] with atom fractions and builds the table on
// [eMin, eMax]; the layer is w cm thick (front face z = 0), the material's
// concentration `atomsPerCm3`. Sets elementArray and the host Constants (the
// run's switches all on, electron source of energy E0 entering at z = zStart
// along +z, cutoffs cutE and cutP). False when an element fails to load.
bool SetElectronProblem(ELECTRONPROBLEM& p, const int* z, const double* fractions, int n, double atomsPerCm3, double w,
                        double E0, double cutE, double cutP, double zStart);
