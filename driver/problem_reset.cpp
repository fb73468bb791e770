#include "driver/problem_reset.h"

#include "driver/input_checks.h"
#include "driver/material_directives.h"
#include "driver/pulse_height_directives.h"
#include "driver/run_directives.h"
#include "driver/source_directives.h"
#include "driver/tally_directives.h"
#include "driver/transport_directives.h"

void ResetProblemDirectives() {
  ResetRunDirectives();
  ResetMaterialDirectives();
  ResetSourceDirectives();
  ResetTransportDirectives();
  ResetPulseHeightDirectives();
  ResetTallyDirectives();
  ResetInputChecks();
}
