// Auxiliary electron data of one element: bremsstrahlung angular
// distributions, alternative excitation and ionization cross sections,
// positron rows, DWBA ionization, partial-wave elastic data, the EEDL total
// elastic cross sections, and the per-element cross-section files.
#pragma once

#include <string>
#include <vector>

#include "driver/data/aux_files.h"
#include "driver/data/element_staging.h"
#include "driver/data/load_options.h"

// The auxiliary steps between the electro-atomic sections and the fast
// indexes, in order: alternative excitation and ionization cross sections,
// positron rows, DWBA ionization, partial-wave elastic data. elementIndex is
// the element's place in the problem's element list (its ALT settings).
int LoadAuxiliaryElectronData(const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux, int elementIndex,
                              ElemStaging* elem);

// Bremsstrahlung angular distributions from the binary file (files->brems,
// options.bremsBinaryData) or the element's text table; they must match the
// element's bremsstrahlung photon spectra. "Error in file %s.\n" on any fault.
int ReadBremsAngularDistributions(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files, ElemStaging* elem);

// Replaces the excitation cross section (section 2) and extends the
// energy-loss table with the levels of the file that the settings name.
int ApplyAltExcitation(const ALTCSSETTINGS& settings, ElemStaging* elem);

// Scales the subshell ionization cross sections to the total of the file
// that the settings name, extends them by the interpolation rule and inserts
// the additional energies.
int ApplyAltIonization(const ELEMENTLOADOPTIONS& options, const ALTCSSETTINGS& settings,
                       const std::vector<double>& additionalEnergies, ElemStaging* elem);

// Positron cross sections start as copies of the electron ones.
void CopyPositronRows(ElemStaging* elem);

// DWBA subshell ionization cross sections of electrons and positrons.
int ReadDwbaIonization(AUXDATAFILES* files, ElemStaging* elem);

// Partial-wave (DPW) elastic cross sections and angular distributions.
int ReadDpwElastic(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files, ElemStaging* elem);

// The total elastic cross sections (eV, barn) of element z from
// "EEDL_elastic.dat" in dataFolder. Its layout: a line "Z = <z>" opens each
// element's block; every further non-blank line up to the next "Z =" line or
// the end of the file holds an energy and a cross section.
int ReadEedlElastic(const std::string& dataFolder, int z, std::vector<double>* energies,
                    std::vector<double>* totals);

// The files "<symbol>_exc_E_loss.txt" and "<symbol>_ionization_<s>.txt" in
// the element folder "<ZZ>-<symbol>/" of the cross-section folder.
int WriteElementCrossSectionFiles(const ELEMENTLOADOPTIONS& options, const ElemStaging& elem);

// Slopes (y[i+1] - y[i]) / (x[i+1] - x[i]) of a lin-lin table, the last 0.
void LinLinSlopes(const double* x, const double* y, int n, double* slope);
