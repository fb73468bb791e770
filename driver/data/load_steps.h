// The steps of loading one element, one file or table family each; used by
// LoadElement in order.
#pragma once

#include "driver/data/element_staging.h"
#include "driver/data/endf_reader.h"
#include "driver/data/load_options.h"

// Checks a one-range interpolation line (INT(1) = law, NBT(2) = 0) and takes
// its NP = NBT(1), which must not exceed maxPoints. On failure prints the law
// message, the ranges message or the wrong-format message and returns 1.
int CheckOneRangeLine(const ENDFREADER& reader, int law, int maxPoints, const char* lawMessage,
                      int* np);

// Prints "\nFile %s could not be opened for reading (see ...).\n".
int EndfFileMissing(const std::string& name);

// Opens the ENDF file "<endfFolder><sublibrary>/<prefix>-<ZZZ>_<symbol>_000.endf"
// of element z. Returns 0, or 1 after EndfFileMissing when it cannot be opened.
int OpenElementEndfFile(const ELEMENTLOADOPTIONS& options, const char* sublibrary,
                        const char* prefix, int z, ENDFREADER* reader);

// The electro-atomic file: cross sections, elastic angular distributions,
// bremsstrahlung spectra and energy transfer, excitation energy loss and the
// secondary-electron spectra of subshell ionization.
int ReadElectroAtomicFile(const ELEMENTLOADOPTIONS& options, ElemStaging* elem);

// The same in the steps between which the auxiliary data come in: opening,
// the sections up to the excitation energy loss, the ionization spectra.
int OpenElectroAtomicFile(const ELEMENTLOADOPTIONS& options, const ElemStaging& elem, ENDFREADER* reader);
int ReadElectroAtomicSections(ENDFREADER* reader, const ELEMENTLOADOPTIONS& options, ElemStaging* elem);
int ReadIonizationSpectra(ENDFREADER* reader, ElemStaging* elem);

// Small-angle elastic modes 1-3: completes the elastic cross section
// (section 0) and its small-angle share. code: the MF 23 elastic section.
int CompleteSmallAngleElastic(const ELEMENTLOADOPTIONS& options, int code, ElemStaging* elem);

// Elastic angles between table energies more than a factor 2 apart: fits the
// Wentzel law onto which distribution set setIndex (0 electrons, 1 partial-
// wave positrons) carries its lower table there (Elem::elasticModelEta0 and
// elasticModelLnEta), from the set's elastic cross section (section 0).
// largeAngleTables: the tables and the cross section cover the cosines up to
// 0.999999 only (ENDF/B-VIII). With warn, each such interval inside the run's
// energy range is reported. Returns 0.
int BuildElasticInterpolation(const ELEMENTLOADOPTIONS& options, int setIndex, bool largeAngleTables, bool warn,
                              ElemStaging* elem);

// The atomic relaxation file: subshells, binding energies, occupancies and
// transitions.
int ReadRelaxationFile(const ELEMENTLOADOPTIONS& options, ElemStaging* elem);

// The Compton profiles of "ComptonProfiles.dat" and their shell matching.
int ReadComptonProfiles(const ELEMENTLOADOPTIONS& options, ElemStaging* elem);

// The Slater group (1..13) of an ENDF subshell designator.
int SlaterGroupOf(int designator);

// Slater screening parameters of the photoelectron angular distribution.
void ComputePhotoelectronParameters(ElemStaging* elem);

// The photo-atomic file, with the sampling tables built from it.
int ReadPhotoAtomicFile(const ELEMENTLOADOPTIONS& options, ElemStaging* elem);

// Sampling tables: pair-production energy sharing (Bethe-Heitler with
// screening) and photoelectron angular distributions of subshell s.
void BuildPairProductionTables(const ELEMENTLOADOPTIONS& options, ElemStaging* elem);
void BuildPhotoelectronTables(const ELEMENTLOADOPTIONS& options, int subshell, ElemStaging* elem);

// Fast indexes of the element's energy grids and of the cumulative tables
// that the problem's energies [minEnergy, maxEnergy] reach (the others are
// searched by halving, which finds the same intervals).
void BuildElementIndexes(const ELEMENTLOADOPTIONS& options, ElemStaging* elem);
