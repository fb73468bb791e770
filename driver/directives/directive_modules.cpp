#include "driver/directives/directive_modules.h"

#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/geometry_directives.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/precision_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"

namespace directives {
const DIRECTIVEMODULE directiveModules[] = {
    {HandleMaterialDirective, ListMaterialDirectives},
    {HandleGeometryDirective, ListGeometryDirectives},
    {HandlePrecisionDirective, ListPrecisionDirectives},
    {HandleSourceDirective, ListSourceDirectives},
    {HandleTransportDirective, ListTransportDirectives},
    {HandlePulseHeightDirective, ListPulseHeightDirectives},
    {HandleRunDirective, ListRunDirectives},
    {HandleTallyDirective, ListTallyDirectives},
    {HandleCellEntryDirective, ListCellEntryDirectives},
};
const int directiveModuleCount = static_cast<int>(sizeof directiveModules / sizeof directiveModules[0]);
}  // namespace directives

Status ParseBinningLine(const char* word, int nameIndex) { return ParseBinningKeyword(word, nameIndex); }
