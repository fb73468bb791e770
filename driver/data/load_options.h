// The run options that the loading of element data reads: shared by the
// per-element loader, its steps and the auxiliary data files.
#pragma once

#include <string>

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
  int elastic = 1;                  // ELASTIC: elastic scattering simulated
  int elasticDpw = 1;               // ELASTIC_DPW: partial-wave data replace the ENDF data
  int elasticSmallAngle = 0;        // ELASTIC_SMALL_ANGLE: small-angle treatment 0..3
  double elasticPdfError = 0.1;     // ELASTIC_PDF_ERROR (thinning when positive)
  double elasticCdfStep = 0.01;     // ELASTIC_CDF_STEP
  double elasticCdfCutoff = 1e-12;  // ELASTIC_CDF_CUTOFF
  int smoothCdfElastic = 1;         // SMOOTH_CDF_ELASTIC as settled: how the tables are sampled
  // Photons.
  int incohDoppler = 1;              // INCOH_DOPPLER: read the Compton profiles
  int peAngularDistr = 1;            // PE_ANGULAR_DISTR (nonIsotropicPE)
  int peAngularDistrN = 21;          // PE_ANGULAR_DISTR_N (pe_angularDistr_nPoints)
  double peAngularDistrThr = 50000;  // PE_ANGULAR_DISTR_THR, eV (pe_angularDistrThr)
  int ppEnergyDistr = 1;             // PP_ENERGY_DISTR (nonUniformPPenergy)
  // Auxiliary electron data.
  int bremsAngularDistr = 1;                                  // BREMS_ANGULAR_DISTR (nonIsotropicBrems)
  int bremsBinaryData = 1;                                    // BREMS_BINARY_DATA: binary file instead of text tables
  std::string bremsTableFolder = "Brems_angular_prob_dens/";  // BREMS_ANGULAR_DISTR_DIR, with '/'
  int ionDwba = 1;                                            // ION_DWBA: DWBA ionization cross sections
  int outputCs = 0;                                           // output_cs: write the per-element cross-section files
  std::string crossSectionFolder = "Cross sections/";         // folder of those files, with '/'
  // Requested fast indexes (type, largest exponent, first point excluded).
  int elasticEIndexType = -2, elasticEIndexExponent = 17;
  int elasticCdfIndexType = -2, elasticCdfIndexExponent = 18;
  bool elasticCdfExcludeFirst = true;
  int excEIndexType = -2, excEIndexExponent = 17;
  int ionEIndexType = -2, ionEIndexExponent = 17;
  int ionSecECdfIndexType = -4, ionSecECdfIndexExponent = 18;
  bool ionSecECdfExcludeFirst = false;
};
