// The set-up of a problem after the input, in its order: the checks after
// the input, the auxiliary data files and the alternative cross sections,
// the element data, the set-up reports and source checks, the per-material
// electron tables and the Constants record. The work division and the run
// follow it.
#pragma once

#include "driver/data/element_loader.h"
#include "driver/status.h"

// Returns 0 to go on, or the exit code after the message.
Status RunSetUp();

// The element-loading options of the run, from its option variables.
ELEMENTLOADOPTIONS ElementLoadOptionsOfRun();

// Releases the element array and the material tables of an earlier set-up
// (tests run several problems in one process).
void ReleaseSetUp();
