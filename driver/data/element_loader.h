// Loading of the atomic data of the elements of a problem into ElemStaging records:
// the per-element loop with its progress line, and the settings it reads.
#pragma once

#include <cstdint>
#include <string>

#include "driver/data/element_pool.h"
#include "driver/data/element_staging.h"
#include "core/elements.h"
#include "core/physical_constants.h"

// The run options that the element loader reads. Defaults are those of a run
// whose input sets none of them (after the consistency checks settled them).
struct ELEMENTLOADOPTIONS {
  std::string endfFolder = "ENDF/";  // ENDF/B library folder, with trailing '/'
  std::string dataFolder;            // program data folder ("ComptonProfiles.dat")
  double minEnergy = 1000.0;         // eV: lowest cutoff energy of the problem (Emin)
  double maxEnergy = 1.0e7;          // eV: highest particle energy of the problem (Emax)
  // Physical constants of the run (fine-structure constant, rest energies).
  PHYSICALCONSTANTS constants = ComputePhysicalConstants();
  // Elastic scattering.
  int elastic = 1;               // ELASTIC: elastic scattering simulated
  int elasticDpw = 1;            // ELASTIC_DPW: partial-wave data replace the ENDF data
  int elasticSmallAngle = 0;     // ELASTIC_SMALL_ANGLE: small-angle treatment 0..3
  double elasticPdfError = 0.1;  // ELASTIC_PDF_ERROR (thinning when positive)
  double elasticCdfStep = 0.01;  // ELASTIC_CDF_STEP
  double elasticCdfCutoff = 1e-12;  // ELASTIC_CDF_CUTOFF
  int smoothCdfElastic = 1;         // SMOOTH_CDF_ELASTIC as settled: how the tables are sampled
  // Photons.
  int incohDoppler = 1;              // INCOH_DOPPLER: read the Compton profiles
  int peAngularDistr = 1;            // PE_ANGULAR_DISTR (nonIsotropicPE)
  int peAngularDistrN = 21;          // PE_ANGULAR_DISTR_N (pe_angularDistr_nPoints)
  double peAngularDistrThr = 50000;  // PE_ANGULAR_DISTR_THR, eV (pe_angularDistrThr)
  int ppEnergyDistr = 1;             // PP_ENERGY_DISTR (nonUniformPPenergy)
  // Auxiliary electron data.
  int bremsAngularDistr = 1;  // BREMS_ANGULAR_DISTR (nonIsotropicBrems)
  int bremsBinaryData = 1;    // BREMS_BINARY_DATA: binary file instead of text tables
  std::string bremsTableFolder = "Brems_angular_prob_dens/";  // BREMS_ANGULAR_DISTR_DIR, with '/'
  int ionDwba = 1;            // ION_DWBA: DWBA ionization cross sections
  int outputCs = 0;           // output_cs: write the per-element cross-section files
  std::string crossSectionFolder = "Cross sections/";  // folder of those files, with '/'
  // Requested fast indexes (type, largest exponent, first point excluded).
  int elasticEIndexType = -2, elasticEIndexExponent = 17;
  int elasticCdfIndexType = -2, elasticCdfIndexExponent = 18;
  bool elasticCdfExcludeFirst = true;
  int excEIndexType = -2, excEIndexExponent = 17;
  int ionEIndexType = -2, ionEIndexExponent = 17;
  int ionSecECdfIndexType = -4, ionSecECdfIndexExponent = 18;
  bool ionSecECdfExcludeFirst = false;
};

// Photon energies of the pair-production sharing tables (eV).
extern const double pp_Eprim[kPairEnergies];
// Leading entries of pp_Eprim that have tables (set while elements load).
extern int16_t n_pp_Eprim;

struct AUXELECTRONDATA;

// Loads element Z into the staging record *elem (which must be zero-
// initialised: new, or cleared by ClearElementStaging). Prints the
// exact message on the console and returns 1 on a data error; 0 on success.
// aux holds the open auxiliary files and the alternative cross-section
// settings (elementIndex: the element's place in the problem's list); with
// aux null only the ENDF files and the Compton profiles are read, whatever
// the auxiliary options say.
int LoadElement(int z, const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux, int elementIndex,
                ElemStaging* elem);
int LoadElement(int z, const ELEMENTLOADOPTIONS& options, ElemStaging* elem);

// Loads the elements of a problem into a new element pool, record i holding
// atomicNumbers[i], through one staging record on zero pages that each
// element reuses (only the pages that the elements write take memory), with
// the once-a-second progress line. Returns 0, or 1 when an element failed
// (the pool then holds the elements before it).
int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options,
                 AUXELECTRONDATA* aux, ELEMENTPOOL* pool);
int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options,
                 ELEMENTPOOL* pool);

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
