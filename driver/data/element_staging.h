// ElemStaging: the record that the element loaders fill, one element at a
// time. Its tables have the fixed capacities of core/elem.h, so that every
// reader and builder can write a table before knowing its final length; the
// few tables of variable shape are host tables it owns. One staging record is
// allocated for a whole load and reused for each element: when an element is
// complete, its tables are packed with their real lengths into the element
// pool (element_pool.h) and the record is cleared for the next one. It is
// never copied to a device. Field names, units and meanings are those of Elem.
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "core/indexdata.h"

struct ElemStaging {
  int32_t Z;  // atomic number, 1..100

  // ---- Electro-atomic cross sections: 0 elastic (large angle), 1 bremsstrahlung,
  // 2 excitation, 3.. subshell ionization in file order.
  double sectionEnergy[kMaxSections][kMaxSectionPoints];  // eV
  double sectionCs[kMaxSections][kMaxSectionPoints];      // barn
  double sectionSlope[kMaxSections][kMaxSectionPoints];   // lin-lin slope, last 0
  double smallAngleStart;                                 // eV: where small-angle data replace the elastic grid
  double smallAngleShare[kMaxSmallAnglePoints];           // small-angle share on section 0's grid
  double smallAngleShareSlope[kMaxSmallAnglePoints];      // its lin-lin slopes
  double excLossEnergy[kMaxSectionPoints];                // eV, the excitation cross-section grid
  double excLoss[kMaxSectionPoints];                      // mean energy loss by excitation, eV
  double excLossSlope[kMaxSectionPoints];
  double bremsLossEnergy[kMaxLossPoints];  // eV
  double bremsLoss[kMaxLossPoints];        // mean photon energy, eV
  double bremsLossSlope[kMaxLossPoints];

  // ---- Secondary-electron spectra of subshell ionization and bremsstrahlung
  // photon spectra: abscissa (eV), normalised density, cumulative (last 1),
  // reciprocal normalised slope (last 0).
  double ionSpecEnergy[kMaxIonSubshells][kMaxSpectrumEnergies];
  double ionSpecX[kMaxIonSubshells][kMaxSpectrumEnergies][kMaxSpectrumPoints];
  double ionSpecPdf[kMaxIonSubshells][kMaxSpectrumEnergies][kMaxSpectrumPoints];
  double ionSpecCum[kMaxIonSubshells][kMaxSpectrumEnergies][kMaxSpectrumPoints];
  double ionSpecSlope[kMaxIonSubshells][kMaxSpectrumEnergies][kMaxSpectrumPoints];
  double bremsSpecEnergy[kMaxSpectrumEnergies];
  double bremsSpecX[kMaxSpectrumEnergies][kMaxSpectrumPoints];
  double bremsSpecPdf[kMaxSpectrumEnergies][kMaxSpectrumPoints];
  double bremsSpecCum[kMaxSpectrumEnergies][kMaxSpectrumPoints];
  double bremsSpecSlope[kMaxSpectrumEnergies][kMaxSpectrumPoints];

  // ---- Elastic angular distributions over the cosine.
  double elasticEnergy[kMaxElasticEnergies];  // eV
  int16_t elasticN[kMaxElasticEnergies];
  int16_t elasticMedian[kMaxElasticEnergies];  // interval holding cumulative 0.5
  double elasticCos[kMaxElasticEnergies][kMaxElasticPoints];
  double elasticPdf[kMaxElasticEnergies][kMaxElasticPoints];
  double elasticCum[kMaxElasticEnergies][kMaxElasticPoints];
  double elasticSlope[kMaxElasticEnergies][kMaxElasticPoints];

  // Mean reduced photon energy <k/E> of each bremsstrahlung spectrum, and its
  // ratio to the mean energy-transfer table (bremsLoss / E) at that energy.
  double bremsSpecMeanK[kMaxSpectrumEnergies];
  double bremsSpecMeanRatio[kMaxSpectrumEnergies];

  // ---- Elastic angles between table energies too far apart for the tables
  // alone, per distribution set (0 electrons, 1 partial-wave positrons) and
  // elastic grid interval: the screening parameter of the Wentzel law fitted
  // to the interval's lower table (0 where the interval is dense and the two
  // tables are interpolated), and ln eta of the Wentzel law that the lower
  // table is mapped onto, at kElasticModelPoints energies evenly spaced in
  // ln E from the lower to the upper table energy.
  double elasticModelEta0[2][kMaxElasticEnergies];
  double elasticModelLnEta[2][kMaxElasticEnergies][kElasticModelPoints];

  // ---- Counts of the electro-atomic tables.
  int16_t sectionN[kMaxSections];
  int16_t excLossN;
  int16_t ionSpecNE[kMaxIonSubshells];
  int16_t bremsSpecNE;
  int16_t elasticNE;
  int16_t ionSpecN[kMaxIonSubshells][kMaxSpectrumEnergies];
  int16_t bremsSpecN[kMaxSpectrumEnergies];
  int16_t ionSpecMedian[kMaxIonSubshells][kMaxSpectrumEnergies];
  int16_t bremsSpecMedian[kMaxSpectrumEnergies];
  int16_t bremsLossN;
  int32_t nSections;   // electro-atomic sections read
  int32_t nSubshells;  // nSections - 3
  // ENDF subshell designator (MT - 533) of each ionization subshell, in file
  // order: the vacancy it leaves for the relaxation tables below.
  int16_t ionDesignator[kMaxIonSubshells];

  // ---- Bremsstrahlung photon angular distributions (host tables, allocated
  // when the angular distribution is in use): per electron energy e of the
  // photon spectra and photon energy k of spectrum e, a density over the
  // cosine of the emission angle in the five-part sampling form.
  double*** bremsAngCos;     // [e][k] -> cosines, increasing
  double*** bremsAngPdf;     // [e][k] -> normalised densities
  double*** bremsAngCum;     // [e][k] -> cumulative integral, 0 .. exactly 1
  double*** bremsAngSlope;   // [e][k] -> reciprocal normalised lin-lin slopes, last 0
  int32_t** bremsAngN;       // [e][k] -> point count (2..256)
  int16_t** bremsAngMedian;  // [e][k] -> interval holding cumulative 0.5

  // ---- Small-angle elastic model constants.
  double screeningEta0;     // eV^2
  double screeningCoulomb;  // dimensionless

  // ---- Atomic relaxation, by ENDF subshell designator unless said otherwise.
  double bindingEnergy[kMaxDesignator];                 // eV
  double transEnergy[kMaxDesignator][kMaxTransitions];  // eV
  double transProb[kMaxDesignator][kMaxTransitions];    // normalised per subshell
  double transCum[kMaxDesignator][kMaxTransitions];     // running sum, last 1
  int16_t subshellDesignator[kMaxDesignator];           // designators in file order
  int16_t occupancy[kMaxDesignator];                    // electrons (rounded)
  int16_t profileIndex[kMaxDesignator];                 // 1-based Compton profile used
  int16_t nTransitions[kMaxDesignator];
  int16_t transFill[kMaxDesignator][kMaxTransitions];  // designator filling the vacancy
  int16_t transEmit[kMaxDesignator][kMaxTransitions];  // Auger emitter, 0 radiative
  double atomicMass;                                   // eV (atom rest energy)
  double partialConc;                                  // simple geometry: number density of the element in the layer
  double cumOccupancy[kMaxDesignator];                 // running electron fraction in file order, last 1

  // ---- Photo-atomic cross sections and factors: abscissa, value, their
  // natural logarithms and log-log exponents (lin-lin where said).
  double photoionEnergy[kMaxDesignator][kMaxPhotoionPoints];  // eV, file order
  double photoionCs[kMaxDesignator][kMaxPhotoionPoints];      // barn
  double photoionLnEnergy[kMaxDesignator][kMaxPhotoionPoints];
  double photoionLnCs[kMaxDesignator][kMaxPhotoionPoints];
  double photoionSlope[kMaxDesignator][kMaxPhotoionPoints];
  double pePar[kMaxDesignator];  // photoelectron angular parameter, 1/angstrom^2
  double cohEnergy[kMaxCoherentPoints], cohCs[kMaxCoherentPoints];
  double cohLnEnergy[kMaxCoherentPoints], cohLnCs[kMaxCoherentPoints];
  double cohSlope[kMaxCoherentPoints];
  double incohEnergy[kMaxPhotonPoints], incohCs[kMaxPhotonPoints];
  double incohLnEnergy[kMaxPhotonPoints], incohLnCs[kMaxPhotonPoints];
  double incohSlope[kMaxPhotonPoints];
  // Form factor and S(x) over x = sin(theta/2)/lambda (1/angstrom): lin-lin on
  // the first interval, log-log after.
  double ffX[kMaxFormFactorPoints], ff[kMaxFormFactorPoints];
  double ffLnX[kMaxFormFactorPoints], ffLnY[kMaxFormFactorPoints];
  double ffSlope[kMaxFormFactorPoints];
  // Integrals of F^2 and F over u = x^2 (1/angstrom^2) from 0 to each point
  // of the form-factor grid, with the table's own interpolation (F = 0 below
  // its first point): the cumulative distributions of coherent sampling.
  double ffIntF2[kMaxFormFactorPoints];
  double ffIntF[kMaxFormFactorPoints];
  double sfX[kMaxPhotonPoints], sf[kMaxPhotonPoints];
  double sfLnX[kMaxPhotonPoints], sfLnY[kMaxPhotonPoints];
  double sfSlope[kMaxPhotonPoints];
  double anomImagX[kMaxPhotonPoints], anomImag[kMaxPhotonPoints];  // lin-lin
  double anomImagSlope[kMaxPhotonPoints];
  double anomRealX[kMaxPhotonPoints], anomReal[kMaxPhotonPoints];  // lin-lin
  double anomRealSlope[kMaxPhotonPoints];
  // Pair production: lin-lin on the first interval, log-log after.
  double ppEnergy[kMaxPhotonPoints], ppCs[kMaxPhotonPoints];
  double ppLnEnergy[kMaxPhotonPoints], ppLnCs[kMaxPhotonPoints];
  double ppSlope[kMaxPhotonPoints];
  int16_t photoionN[kMaxDesignator];
  int16_t cohN, incohN, ffN, sfN, anomImagN, anomRealN, ppN;

  // ---- Host tables of variable length (owned; see FreeElementTables).
  // Photoelectron angular distributions: per subshell (file order), per
  // photoionization energy, a table of pe_angularDistr_nPoints entries.
  double*** peAngCos;
  double*** peAngPdf;
  double*** peAngCum;
  double*** peAngSlope;
  int16_t** peAngMedian;
  int16_t peAngN;  // points of each photoelectron table
  // Pair production: share x of the kinetic energy given to the electron, per
  // photon energy of the fixed list, kPairTablePoints entries of room each.
  double** ppSpecX;
  double** ppSpecPdf;
  double** ppSpecCum;
  double** ppSpecSlope;
  int16_t* ppSpecN;
  int16_t* ppSpecMedian;
  // Compton profiles J(q), q in atomic units: the momentum grid and one row
  // per profile shell (normalised J, cumulative, reciprocal slopes).
  double* profileQ;
  double** profileJ;
  double** profileCum;
  double** profileSlope;
  int16_t* profileMedian;
  int16_t nProfiles;

  // ---- Positron data: cross sections on the grid of each electron section
  // (the electron values where no positron data replace them: partial-wave
  // elastic in row 0, DWBA ionization in rows 3..), and the partial-wave
  // elastic angular distributions of positrons.
  double sectionCsPositron[kMaxSections][kMaxSectionPoints];     // barn
  double sectionSlopePositron[kMaxSections][kMaxSectionPoints];  // lin-lin slope, last 0
  int16_t elasticNPositron[kMaxElasticEnergies];
  int16_t elasticMedianPositron[kMaxElasticEnergies];
  double elasticCosPositron[kMaxElasticEnergies][kMaxElasticPoints];
  double elasticPdfPositron[kMaxElasticEnergies][kMaxElasticPoints];
  double elasticCumPositron[kMaxElasticEnergies][kMaxElasticPoints];
  double elasticSlopePositron[kMaxElasticEnergies][kMaxElasticPoints];

  // ---- Fast indexes of the element's grids.
  INDEXDATA excLossIndex;                                             // excLossEnergy
  INDEXDATA ionSpecEnergyIndex[kMaxIonSubshells];                     // ionSpecEnergy[s]
  INDEXDATA ionSpecCumIndex[kMaxIonSubshells][kMaxSpectrumEnergies];  // ionSpecCum[s][e]
  INDEXDATA elasticEnergyIndex;                                       // elasticEnergy
  INDEXDATA elasticCumIndex[kMaxElasticEnergies];                     // elasticCum[e]
};
