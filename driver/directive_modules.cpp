#include "driver/directive_modules.h"

#include "driver/material_directives.h"
#include "driver/pulse_height_directives.h"
#include "driver/run_directives.h"
#include "driver/source_directives.h"
#include "driver/tally_directives.h"
#include "driver/transport_directives.h"

const DirectiveModule directiveModules[] = {
    HandleMaterialDirective, HandleSourceDirective, HandleTransportDirective,
    HandlePulseHeightDirective, HandleRunDirective, HandleTallyDirective,
};
const int directiveModuleCount = static_cast<int>(sizeof directiveModules / sizeof directiveModules[0]);

int ParseBinningLine(const char* word, int nameIndex) { return ParseBinningKeyword(word, nameIndex); }
