// The hand-over of the tally definitions to the transport: hostTallyTables
// pointed at the directive records after the set-up, read-only while the
// workers run.
#pragma once

// Fills hostTallyTables from the binning ranges, the plane tallies and their
// table layout, the pulse-height tallies and the cells that carry them. Call
// after the cells are known (the constants fill) and before the work division.
void FillTallyTables();
