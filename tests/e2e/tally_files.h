// The tally files of a run's result folder, read back and compared between
// runs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/tally_bins.h"

// The sum of the bins' counts.
double TotalCount(const std::vector<TALLYBIN>& bins);

// The result folder "Files_<input without .txt>_out.txt/" of a run, with the
// trailing '/'.
std::string ResultFolder(const PROGRAMRUN& run, const std::string& input);

// Every tally file of a folder (the names holding "TALLY") with its text.
std::map<std::string, std::string> TallyFiles(const std::string& folder);

// Every bin of two runs' tally file within 4 standard deviations of their
// difference: the count by Poisson statistics (at least one particle), the
// flux by the files' own deviations where both bins hold 10 particles or
// more. The first file counts particles, the second at least minShare of
// them (more than none with the default). Failures name label and fileB.
void ExpectAgreement(const std::string& fileA, const std::string& fileB, const std::string& label = "",
                     double minShare = 0.0);
