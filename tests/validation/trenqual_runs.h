// Runs of the built Trenqual on generated inputs, and the figures read back
// from its output file and tally files.
#pragma once

#include <string>
#include <vector>

#include "tests/support/tally_bins.h"

struct TRENQUALRUN {
  int exitCode = -1;
  std::string folder;  // where the run wrote its files, with a trailing '/'
  std::string name;    // input name without ".txt"
  std::string output;  // the output file "<name>_out.txt"
  // A tally file of the run's result folder, e.g. "PTALLY1_THETA.txt".
  std::string TallyPath(const std::string& file) const { return folder + "Files_" + name + "_out.txt/" + file; }
};

// Writes the input text as <folder>/<name>.txt (the folder is made) and runs
// the program there with the ENDF folder, `workers` workers and streams and
// the seed; standard output goes to console.txt.
TRENQUALRUN RunTrenqual(const std::string& program, const std::string& folder, const std::string& name,
                        const std::string& input, const std::string& endfFolder, int workers, int seed);

// The number after `label` in text; NaN when the label is missing.
double NumberAfter(const std::string& text, const std::string& label);

// The whole file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);
