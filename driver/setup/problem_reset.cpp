#include "driver/setup/problem_reset.h"

#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/geometry_directives.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/setup/input_checks.h"

void ResetProblemDirectives() {
  ResetRunDirectives();
  ResetMaterialDirectives();
  ResetGeometryDirectives();
  ResetSourceDirectives();
  ResetTransportDirectives();
  ResetPulseHeightDirectives();
  ResetTallyDirectives();
  ResetCellEntryDirectives();
  ResetInputChecks();
}
