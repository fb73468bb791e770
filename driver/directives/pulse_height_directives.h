// The PULSE_HEIGHT directive: one pulse-height tally per line, over the whole
// geometry or one cell (with the other cells of its union).
#pragma once

#include <cstdint>
#include <vector>

#include "core/pulse_height.h"
#include "core/tally.h"
#include "driver/input/keyword_names.h"

namespace directives {
extern std::vector<PULSEHEIGHTTALLY> pulseHeightTally;
extern int32_t nPulseHeight_tot;
extern int32_t nWholeGeometryPulseHeight;      // whole-geometry tallies so far (their ordinals)
extern std::vector<int16_t> cellsPulseHeight;  // cell index of each pulse-height slot
extern int16_t nCellsPulseHeight;
extern std::vector<CONTROLTALLY> pulseHeightControlTallies;
extern bool pulseHeightTalliesPresent;
}  // namespace directives

// The directive module: true when word is PULSE_HEIGHT (repeatable).
bool HandlePulseHeightDirective(const char* word);

// Appends PULSE_HEIGHT.
void ListPulseHeightDirectives(KEYWORDNAMES* names);

// The state before the passes.
void ResetPulseHeightDirectives();
