// The end of a run: the summary line, the source-point extent, the per-cell
// activity tables and the interaction-statistics report in the output file,
// then the result folder with copies of the output and log files, the
// per-cell statistics, the tally files and the tracks.
#pragma once

#include <cstdio>
#include <string>
#include "driver/status.h"

// Writes the summary and the result files from resultTotals. Returns 0, or 1
// when a result file could not be written (its message printed).
Status WriteRunSummary();

// Copies file `name` into folder as folder/name+extension. kind names the
// file in the message when it cannot be read ("Output", "Log"). Returns 0 (an
// empty file is not copied), or 1 after the message.
Status CopyIntoResultFolder(const std::string& name, const std::string& folder, const char* kind);

// The two activity tables of the cells (with per-cell statistics).
void WriteCellActivity(FILE* out);
