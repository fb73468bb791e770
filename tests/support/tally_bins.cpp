#include "tests/support/tally_bins.h"

#include <cstdio>
#include <fstream>

std::vector<TALLYBIN> ReadTallyBins(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string line;
  std::vector<TALLYBIN> bins;
  std::getline(file, line);  // header
  while (std::getline(file, line)) {
    TALLYBIN b;
    if (std::sscanf(line.c_str(), "%lf %lf %lf %lf", &b.upper, &b.count, &b.flux, &b.relSDev) == 4) bins.push_back(b);
  }
  return bins;
}
