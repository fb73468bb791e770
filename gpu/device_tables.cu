// The device copies of the run's read-only tables that the host/device
// functions reach through their accessors (GetConstants, GetTallyTables,
// GetElem, StreamControlOf and RandGenOf). The GPU build fills them before
// its first launch; the records they point at live in device global memory.
#include "core/constants.h"
#include "core/element_table.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"

__constant__ Constants deviceConstants;
__constant__ TALLYTABLES deviceTallyTables;
__constant__ const Elem* deviceElementArray;
__constant__ DEVICESTREAMS deviceStreams;
