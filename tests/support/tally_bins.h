// The bins of a 1-D tally file as the programs write them.
#pragma once

#include <string>
#include <vector>

// One bin of a 1-D tally file: upper bin edge, signed particle count (negative
// for crossings against the plane's normal), energy flux (the energy sum in
// the input's energy unit) and its relative standard deviation.
struct TALLYBIN {
  double upper = 0.0;
  double count = 0.0;
  double flux = 0.0;
  double relSDev = 0.0;
};

// The rows of a 1-D tally file after its header line (none when the file
// cannot be read).
std::vector<TALLYBIN> ReadTallyBins(const std::string& path);
