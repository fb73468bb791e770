// The set-up tables of a complex geometry in the output file, after the
// element data are loaded: the cells' materials, volumes and masses, the
// coordinate planes bracketing each cell and the extent of the points found
// inside each cell.
#pragma once

#include <cstdio>

// Concentration and density of every cell from its material's mean atomic
// mass: a negative concentration is a density in g/cm^3.
void CompleteCellDensities();

// The three tables, in order, into out.
void WriteGeometryTables(FILE* out);
