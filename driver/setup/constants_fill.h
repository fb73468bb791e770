// Fills the Constants record that every transport worker reads (the host
// copy; each device receives its own copy with device addresses) from the
// run's option variables and the tables of the set-up.
#pragma once

#include "core/constants.h"

// After the per-material tables: every field but the device addresses.
void FillHostConstants();

// The interaction-forcing tables of a Constants record: the names of the six
// forced-process groups, the group of each electron section type and the
// number of section types in each group.
void FillForcingTables(Constants& k);

// The complex geometry's part of a Constants record: bitMask, the voxels and
// voxel2index, the plane sets and coordinates, the surfaces and unions (null
// and 0 in the simple geometry, bitMask always).
void FillComplexGeometryConstants(Constants& k);
