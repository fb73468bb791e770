// Loading of the atomic data of the elements of a problem into ElemStaging records:
// the per-element loop with its progress line, and the settings it reads.
#pragma once

#include <cstdint>

#include "core/elements.h"
#include "driver/data/element_pool.h"
#include "driver/data/element_staging.h"
#include "driver/data/load_options.h"

namespace elementdata {
// Photon energies of the pair-production sharing tables (eV).
extern const double pp_Eprim[kPairEnergies];
// Leading entries of pp_Eprim that have tables (set while elements load).
extern int16_t n_pp_Eprim;
}  // namespace elementdata

struct AUXELECTRONDATA;

// Loads element Z into the staging record *elem (which must be zero-
// initialised: new, or cleared by ClearElementStaging). Prints the
// exact message on the console and returns 1 on a data error; 0 on success.
// aux holds the open auxiliary files and the alternative cross-section
// settings (elementIndex: the element's place in the problem's list); with
// aux null only the ENDF files and the Compton profiles are read, whatever
// the auxiliary options say.
int LoadElement(int z, const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux, int elementIndex, ElemStaging* elem);
int LoadElement(int z, const ELEMENTLOADOPTIONS& options, ElemStaging* elem);

// Loads the elements of a problem into a new element pool, record i holding
// atomicNumbers[i], through one staging record on zero pages that each
// element reuses (only the pages that the elements write take memory), with
// the once-a-second progress line. Returns 0, or 1 when an element failed
// (the pool then holds the elements before it).
int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux,
                 ELEMENTPOOL* pool);
int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options, ELEMENTPOOL* pool);

// The integrals of F^2 and F over u = x^2 up to each point of the element's
// form-factor table (ffIntF2, ffIntF), which coherent sampling inverts. The
// loader calls it after reading the table; a record filled by hand needs it
// too.
void BuildFormFactorIntegrals(ElemStaging* elem);

// Releases the host tables and indexes that loading allocated.
void FreeElementTables(ElemStaging* elem);

// Releases the host tables and zeroes the record for the next element,
// chunk by chunk where it was written: pages of it that no element writes are
// never touched.
void ClearElementStaging(ElemStaging* elem);

// Mean atomic mass of a mixture, 1000 x sum f_i A_i (A in the unit of
// Elem::atomicMass). Negative first fraction: the fractions are mass
// fractions and are turned into atom fractions in place first.
double MeanAtomicMass(double* fractions, const double* atomicMasses, int count);
