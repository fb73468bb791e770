// Loading of the atomic data of the elements of a problem into Elem records:
// the per-element loop with its progress line, and the settings it reads.
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "core/elements.h"
#include "driver/data/load_options.h"

// Photon energies of the pair-production sharing tables (eV).
extern const double pp_Eprim[kPairEnergies];
// Leading entries of pp_Eprim that have tables (set while elements load).
extern int16_t n_pp_Eprim;

struct AUXELECTRONDATA;

// Loads element Z into *elem (which must be zero-initialised). Prints the
// exact message on the console and returns 1 on a data error; 0 on success.
// aux holds the open auxiliary files and the alternative cross-section
// settings (elementIndex: the element's place in the problem's list); with
// aux null only the ENDF files and the Compton profiles are read, whatever
// the auxiliary options say.
int LoadElement(int z, const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux, int elementIndex,
                Elem* elem);
int LoadElement(int z, const ELEMENTLOADOPTIONS& options, Elem* elem);

// Loads the elements of a problem, one record per atomic number, with the
// once-a-second progress line. Returns 0 or the failing element's code.
int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options,
                 AUXELECTRONDATA* aux, Elem* elems);
int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options,
                 Elem* elems);

// The integrals of F^2 and F over u = x^2 up to each point of the element's
// form-factor table (ffIntF2, ffIntF), which coherent sampling inverts. The
// loader calls it after reading the table; a record filled by hand needs it
// too.
void BuildFormFactorIntegrals(Elem* elem);

// Releases the host tables and indexes that loading allocated.
void FreeElementTables(Elem* elem);

// Mean atomic mass of a mixture, 1000 x sum f_i A_i (A in the unit of
// Elem::atomicMass). Negative first fraction: the fractions are mass
// fractions and are turned into atom fractions in place first.
double MeanAtomicMass(double* fractions, const double* atomicMasses, int count);
