// The steps of loading one element, one file or table family each; used by
// LoadElement in order.
#pragma once

#include "core/elem.h"
#include "driver/data/element_loader.h"
#include "driver/data/endf_reader.h"

// Checks a one-range interpolation line (INT(1) = law, NBT(2) = 0) and takes
// its NP = NBT(1), which must not exceed maxPoints. On failure prints the law
// message, the ranges message or the wrong-format message and returns 1.
int CheckOneRangeLine(const ENDFREADER& reader, int law, int maxPoints, const char* lawMessage,
                      int* np);

// Prints "\nFile %s could not be opened for reading (see ...).\n".
int EndfFileMissing(const std::string& name);

// The electro-atomic file: cross sections, elastic angular distributions,
// bremsstrahlung spectra and energy transfer, excitation energy loss and the
// secondary-electron spectra of subshell ionization.
int ReadElectroAtomicFile(const ELEMENTLOADOPTIONS& options, Elem* elem);

// The atomic relaxation file: subshells, binding energies, occupancies and
// transitions.
int ReadRelaxationFile(const ELEMENTLOADOPTIONS& options, Elem* elem);

// The Compton profiles of "ComptonProfiles.dat" and their shell matching.
int ReadComptonProfiles(const ELEMENTLOADOPTIONS& options, Elem* elem);

// The Slater group (1..13) of an ENDF subshell designator.
int SlaterGroupOf(int designator);

// Slater screening parameters of the photoelectron angular distribution.
void ComputePhotoelectronParameters(Elem* elem);

// The photo-atomic file, with the sampling tables built from it.
int ReadPhotoAtomicFile(const ELEMENTLOADOPTIONS& options, Elem* elem);

// Sampling tables: pair-production energy sharing (Bethe-Heitler with
// screening) and photoelectron angular distributions of subshell s.
void BuildPairProductionTables(const ELEMENTLOADOPTIONS& options, Elem* elem);
void BuildPhotoelectronTables(const ELEMENTLOADOPTIONS& options, int subshell, Elem* elem);

// Fast indexes of the element's energy grids and cumulative tables.
void BuildElementIndexes(const ELEMENTLOADOPTIONS& options, Elem* elem);
