// Elem: the atomic data of one element, loaded at set-up from the ENDF/B
// electro-atomic, photo-atomic and atomic-relaxation files, the Compton-profile
// table and the auxiliary electron data, and only read afterwards. Energies in
// eV, cross sections in barn, cosines dimensionless.
//
// The loaders fill a staging record whose tables have the fixed capacities
// below (driver/data/element_staging.h); the element's tables are then packed,
// each with the length its data have, into one pooled block after the records
// of all elements (driver/data/element_pool.h). An Elem record keeps the
// counts, the per-subshell and per-energy constants and, for every table, a
// block-relative reference (REL, core/relative.h): the records and their
// tables form one block that stays valid when it is copied byte for byte to
// another address, such as a CUDA device. The transport reads a table as
// before (el.sectionEnergy[s][i], el.elasticCos[e][j]); the bracket comments
// give each table's extent.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/indexdata.h"
#include "core/relative.h"

// Capacities of the element tables.
constexpr int kMaxSections = 40;              // electro-atomic cross-section sections
constexpr int kMaxSectionPoints = 2000;       // points of a section (after merges)
constexpr int kMaxSectionPointsRead = 1000;   // points of a section as read from ENDF
constexpr int kMaxIonSubshells = kMaxSections - 3;  // subshells with ionization data
constexpr int kMaxSpectrumEnergies = 10;      // incident energies of a spectrum family
constexpr int kMaxSpectrumPoints = 160;       // points of one secondary or photon spectrum
constexpr int kMaxElasticEnergies = 100;      // incident energies of elastic distributions
constexpr int kMaxElasticPoints = 1000;       // points of one elastic distribution
constexpr int kMaxLossPoints = 1000;          // bremsstrahlung energy-transfer table
constexpr int kMaxSmallAnglePoints = 1000;    // small-angle share on the elastic grid
constexpr int kMaxDesignator = 40;            // ENDF subshell designators 0..39
constexpr int kOccupancyGuide = 32;           // entries of the subshell guide by occupation
constexpr int kMaxTransitions = 1000;         // transitions that fill one subshell
constexpr int kMaxPhotoionPoints = 1100;      // photoionization table of one subshell
constexpr int kMaxCoherentPoints = 3000;      // coherent cross section
constexpr int kMaxPhotonPoints = 1000;        // incoherent, pair production, S(x), anomalous
constexpr int kMaxFormFactorPoints = 1500;    // coherent form factor
constexpr int kComptonMomenta = 31;           // momentum values of the Compton profiles
constexpr int kPairEnergies = 12;             // photon energies of the pair-production tables
constexpr int kPairTablePoints = 21;          // room of one pair-production table
constexpr int kMaxBremsAngularPoints = 256;   // cosines of one bremsstrahlung angular table
constexpr int kElasticModelPoints = 17;       // screening parameters across one wide elastic interval

// One transition that fills a vacancy, as the relaxation cascade reads it.
// The designators are clamped to what the cascade tells apart: every fill
// designator below 0 is a vacancy of designator 0, every one from
// kMaxDesignator on a vacancy beyond the counted ones (core/photon_state.h),
// and so is every emitter from kMaxDesignator on; an emitter below 0 is -1.
struct RELAXTRANSITION {
  double energy;   // eV
  int16_t fill;    // designator of the subshell that fills the vacancy, 0..kMaxDesignator
  int16_t emit;    // designator of the Auger electron's subshell, -1..kMaxDesignator, 0 radiative
  int32_t unused;  // 0
};

// A guide cell of the transitions: the draws r with floor(r nCells) = g.
// Most cells can only select two transitions, first and first + 1, or one:
// the cell holds the designators of both (the one twice) with the
// cumulative probability of the first as threshold (infinite for one), so
// that the vacancies a draw leaves follow from its cell alone, without a
// branch. A cell that can select more transitions has the threshold -1:
// its draws search the row's thresholds from its first transition on.
struct RELAXCELL {
  double threshold;
  int16_t first;
  int8_t fill[2];  // RELAXTRANSITION::fill of first and first + 1
  int8_t emit[2];  // RELAXTRANSITION::emit of those
  int16_t unused;  // 0
};

// The draws of a transition are placed on a grid of 2^kRelaxDrawBits steps,
// floor(r 2^kRelaxDrawBits), once for every row: a row of 2^b guide cells
// takes the draw's cell from it with a shift, floor(r 2^b) exactly.
constexpr int kRelaxDrawBits = 16;

// The transitions that fill a vacancy of one designator: n = nTransitions[d]
// records, their sampling thresholds and a power of two of guide cells.
// Threshold j is the cumulative probability of transition j, the last
// one's infinite: every draw selects a transition, the last one for a draw
// above every cumulative value. A designator without transitions has
// cellShift -1 and no tables.
struct RELAXROW {
  REL<RELAXCELL> cells;              // [2^(kRelaxDrawBits - cellShift)]
  REL<double> thresholds;            // [n]
  REL<RELAXTRANSITION> transitions;  // [n]
  int32_t cellShift;                 // the draw's cell is its grid step >> cellShift
  int32_t unused;                    // 0
};
static_assert(sizeof(RELAXCELL) == 16);
static_assert(sizeof(RELAXTRANSITION) == 16);
static_assert(sizeof(RELAXROW) == 32);

struct Elem {
  int32_t Z;  // atomic number, 1..100

  // ---- Electro-atomic cross sections: 0 elastic (large angle), 1 bremsstrahlung,
  // 2 excitation, 3.. subshell ionization in file order. [nSections][sectionN[s]]
  REL<REL<double>> sectionEnergy;  // eV
  REL<REL<double>> sectionCs;      // barn
  REL<REL<double>> sectionSlope;   // lin-lin slope, last 0
  double smallAngleStart;  // eV: where small-angle data replace the elastic grid
  REL<double> smallAngleShare;       // [sectionN[0]] small-angle share on section 0's grid
  REL<double> smallAngleShareSlope;  // [sectionN[0]] its lin-lin slopes
  REL<double> excLossEnergy;         // [excLossN] eV, the excitation cross-section grid
  REL<double> excLoss;               // [excLossN] mean energy loss by excitation, eV
  REL<double> excLossSlope;          // [excLossN]
  REL<double> bremsLossEnergy;       // [bremsLossN] eV
  REL<double> bremsLoss;             // [bremsLossN] mean photon energy, eV
  REL<double> bremsLossSlope;        // [bremsLossN]

  // ---- Secondary-electron spectra of subshell ionization and bremsstrahlung
  // photon spectra: abscissa (eV), normalised density, cumulative (last 1),
  // reciprocal normalised slope (last 0).
  double ionSpecEnergy[kMaxIonSubshells][kMaxSpectrumEnergies];
  REL<REL<REL<double>>> ionSpecX;  // [nSubshells][ionSpecNE[s]][ionSpecN[s][e]]
  REL<REL<REL<double>>> ionSpecPdf;
  REL<REL<REL<double>>> ionSpecCum;
  REL<REL<REL<double>>> ionSpecSlope;
  double bremsSpecEnergy[kMaxSpectrumEnergies];
  REL<REL<double>> bremsSpecX;  // [bremsSpecNE][bremsSpecN[e]]
  REL<REL<double>> bremsSpecPdf;
  REL<REL<double>> bremsSpecCum;
  REL<REL<double>> bremsSpecSlope;

  // ---- Elastic angular distributions over the cosine.
  double elasticEnergy[kMaxElasticEnergies];  // eV
  int16_t elasticN[kMaxElasticEnergies];
  int16_t elasticMedian[kMaxElasticEnergies];  // interval holding cumulative 0.5
  REL<REL<double>> elasticCos;                 // [elasticNE][elasticN[e]]
  REL<REL<double>> elasticPdf;
  REL<REL<double>> elasticCum;
  REL<REL<double>> elasticSlope;

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
  REL<double[kElasticModelPoints]> elasticModelLnEta[2];  // [elasticNE]

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

  // ---- Bremsstrahlung photon angular distributions (null when the angular
  // distribution is not in use): per electron energy e of the photon spectra
  // and photon energy k of spectrum e, a density over the cosine of the
  // emission angle in the five-part sampling form.
  REL<REL<REL<double>>> bremsAngCos;    // [bremsSpecNE][bremsSpecN[e]][bremsAngN[e][k]] cosines, increasing
  REL<REL<REL<double>>> bremsAngPdf;    // normalised densities
  REL<REL<REL<double>>> bremsAngCum;    // cumulative integral, 0 .. exactly 1
  REL<REL<REL<double>>> bremsAngSlope;  // reciprocal normalised lin-lin slopes, last 0
  REL<REL<int32_t>> bremsAngN;          // [bremsSpecNE][bremsSpecN[e]] point count (2..256)
  REL<REL<int16_t>> bremsAngMedian;     // interval holding cumulative 0.5

  // ---- Small-angle elastic model constants.
  double screeningEta0;     // eV^2
  double screeningCoulomb;  // dimensionless

  // ---- Atomic relaxation, by ENDF subshell designator unless said otherwise.
  double bindingEnergy[kMaxDesignator];  // eV
  REL<REL<double>> transEnergy;          // [kMaxDesignator][nTransitions[d]] eV
  REL<REL<double>> transProb;            // normalised per subshell
  REL<REL<double>> transCum;             // running sum, last 1
  int16_t subshellDesignator[kMaxDesignator];  // designators in file order
  int16_t occupancy[kMaxDesignator];           // electrons (rounded)
  int16_t profileIndex[kMaxDesignator];        // 1-based Compton profile used
  int16_t nTransitions[kMaxDesignator];
  REL<REL<int16_t>> transFill;  // [kMaxDesignator][nTransitions[d]] designator filling the vacancy
  REL<REL<int16_t>> transEmit;  // Auger emitter, 0 radiative
  double atomicMass;   // eV (atom rest energy)
  double partialConc;  // simple geometry: number density of the element in the layer
  double cumOccupancy[kMaxDesignator];  // running electron fraction in file order, last 1

  // ---- Photo-atomic cross sections and factors: abscissa, value, their
  // natural logarithms and log-log exponents (lin-lin where said).
  REL<REL<double>> photoionEnergy;  // [nSubshells][photoionN[s]] eV, file order
  REL<REL<double>> photoionCs;      // barn
  REL<REL<double>> photoionLnEnergy;
  REL<REL<double>> photoionLnCs;
  REL<REL<double>> photoionSlope;
  double pePar[kMaxDesignator];  // photoelectron angular parameter, 1/angstrom^2
  REL<double> cohEnergy, cohCs;  // [cohN]
  REL<double> cohLnEnergy, cohLnCs;
  REL<double> cohSlope;
  REL<double> incohEnergy, incohCs;  // [incohN]
  REL<double> incohLnEnergy, incohLnCs;
  REL<double> incohSlope;
  // Form factor and S(x) over x = sin(theta/2)/lambda (1/angstrom): lin-lin on
  // the first interval, log-log after.
  REL<double> ffX, ff;  // [ffN]
  REL<double> ffLnX, ffLnY;
  REL<double> ffSlope;
  // Integrals of F^2 and F over u = x^2 (1/angstrom^2) from 0 to each point
  // of the form-factor grid, with the table's own interpolation (F = 0 below
  // its first point): the cumulative distributions of coherent sampling.
  REL<double> ffIntF2;  // [ffN]
  REL<double> ffIntF;
  REL<double> sfX, sf;  // [sfN]
  REL<double> sfLnX, sfLnY;
  REL<double> sfSlope;
  REL<double> anomImagX, anomImag;  // [anomImagN] lin-lin
  REL<double> anomImagSlope;
  REL<double> anomRealX, anomReal;  // [anomRealN] lin-lin
  REL<double> anomRealSlope;
  // Pair production: lin-lin on the first interval, log-log after.
  REL<double> ppEnergy, ppCs;  // [ppN]
  REL<double> ppLnEnergy, ppLnCs;
  REL<double> ppSlope;
  int16_t photoionN[kMaxDesignator];
  int16_t cohN, incohN, ffN, sfN, anomImagN, anomRealN, ppN;

  // ---- Sampling tables built at load time (null when not built).
  // Photoelectron angular distributions: per subshell (file order), per
  // photoionization energy, a table of peAngN points (null rows above the
  // problem's energies). The cosines are the same in every table.
  REL<RELROWS<double>> peAngCos;  // [nSubshells][photoionN[s]][peAngN]
  REL<RELROWS<double>> peAngPdf;
  REL<RELROWS<double>> peAngCum;
  REL<RELROWS<double>> peAngSlope;
  REL<REL<int16_t>> peAngMedian;  // [nSubshells][photoionN[s]]
  int16_t peAngN;                 // points of each photoelectron table
  // Pair production: share x of the kinetic energy given to the electron, per
  // photon energy of the fixed list (null rows past the problem's energies).
  REL<REL<double>> ppSpecX;  // [kPairEnergies][ppSpecN[j]]
  REL<REL<double>> ppSpecPdf;
  REL<REL<double>> ppSpecCum;
  REL<REL<double>> ppSpecSlope;
  int16_t ppSpecN[kPairEnergies];
  int16_t ppSpecMedian[kPairEnergies];
  // Compton profiles J(q), q in atomic units: the momentum grid and one row
  // per profile shell (normalised J, cumulative, reciprocal slopes).
  REL<double> profileQ;       // [kComptonMomenta]
  REL<REL<double>> profileJ;  // [nProfiles][kComptonMomenta]
  REL<REL<double>> profileCum;
  REL<REL<double>> profileSlope;
  REL<int16_t> profileMedian;  // [nProfiles]
  int16_t nProfiles;

  // ---- Positron data: cross sections on the grid of each electron section
  // (the electron values where no positron data replace them: partial-wave
  // elastic in row 0, DWBA ionization in rows 3..), and the partial-wave
  // elastic angular distributions of positrons.
  REL<REL<double>> sectionCsPositron;     // [nSections][sectionN[s]] barn
  REL<REL<double>> sectionSlopePositron;  // lin-lin slope, last 0
  int16_t elasticNPositron[kMaxElasticEnergies];
  int16_t elasticMedianPositron[kMaxElasticEnergies];
  REL<REL<double>> elasticCosPositron;  // [elasticNE][elasticNPositron[e]]
  REL<REL<double>> elasticPdfPositron;
  REL<REL<double>> elasticCumPositron;
  REL<REL<double>> elasticSlopePositron;

  // ---- Fast indexes of the element's grids.
  ELEMINDEX excLossIndex;               // excLossEnergy
  REL<ELEMINDEX> ionSpecEnergyIndex;    // [nSubshells] ionSpecEnergy[s]
  REL<REL<ELEMINDEX>> ionSpecCumIndex;  // [nSubshells][ionSpecNE[s]] ionSpecCum[s][e]
  ELEMINDEX elasticEnergyIndex;         // elasticEnergy
  REL<ELEMINDEX> elasticCumIndex;       // [elasticNE] elasticCum[e]

  // ---- One search places an energy on every subshell's photoionization
  // grid: the union of the subshells' ln E grids (each value once) and, per
  // union point u and subshell k (file order), the interval of subshell k's
  // grid that holds ln E from point u up to the next one, -1 where subshell
  // k's table does not cover those energies.
  REL<double> photoionUnionLnEnergy;   // [photoionUnionN]
  REL<int16_t> photoionUnionInterval;  // [photoionUnionN][nSubshells]
  int32_t photoionUnionN;              // 0: none (each subshell searched on its own)

  // ---- The transitions that fill a vacancy of designator d as the cascade
  // samples them (RELAXROW above), one row per designator; rows without
  // transitions (and the row of designator 0) end the cascade.
  REL<RELAXROW> relaxRows;  // [kMaxDesignator]

  // ---- Guide to the subshell of a share u of the electrons: entry g is
  // the first subshell (file order) whose cumulative occupation reaches
  // g / kOccupancyGuide (lowered by a relative 1e-12).
  int16_t occupancyGuide[kOccupancyGuide];

  // ---- Running smallest and largest values of the form factor and the
  // incoherent scattering function: entry i is the range of points 0..i.
  REL<double> ffRunLow, ffRunHigh;  // [ffN]
  REL<double> sfRunLow, sfRunHigh;  // [sfN]

  // ---- Buckets of the photon grids searched at every new photon energy or
  // incoherent try: the union photoionization grid, the coherent and
  // incoherent ln E grids and the ln x grid of S(x).
  GRIDBUCKETS photoionUnionBuckets;
  GRIDBUCKETS cohBuckets;
  GRIDBUCKETS incohBuckets;
  GRIDBUCKETS sfBuckets;
};

// The host and the device compilers must agree on this layout; fields spread
// over the record pin it (any difference of padding moves the later ones).
static_assert(offsetof(Elem, Z) == 0);
static_assert(offsetof(Elem, sectionEnergy) == 8);
static_assert(offsetof(Elem, ionSpecEnergy) == 104);
static_assert(offsetof(Elem, elasticEnergy) == 3208);
static_assert(offsetof(Elem, bremsAngCos) == 7984);
static_assert(offsetof(Elem, bindingEnergy) == 8048);
static_assert(offsetof(Elem, photoionEnergy) == 9064);
static_assert(offsetof(Elem, peAngCos) == 9784);
static_assert(offsetof(Elem, profileQ) == 9912);
static_assert(offsetof(Elem, sectionCsPositron) == 9960);
static_assert(offsetof(Elem, excLossIndex) == 10408);
static_assert(offsetof(Elem, elasticCumIndex) == 10552);
static_assert(offsetof(Elem, photoionUnionLnEnergy) == 10560);
static_assert(offsetof(Elem, relaxRows) == 10584);
static_assert(offsetof(Elem, occupancyGuide) == 10592);
static_assert(offsetof(Elem, ffRunLow) == 10656);
static_assert(offsetof(Elem, photoionUnionBuckets) == 10688);
static_assert(sizeof(Elem) == 10816);

// Where an energy lies on an element's elastic grid, for one distribution set:
// the interval i, the weight w of its upper table in ln E, and for a wide
// interval the screening parameters of the lower table's Wentzel law (eta0,
// 0 for a dense interval) and of the law at the energy (eta).
struct ELASTICPOINT {
  int16_t i;
  double w;
  double eta0;
  double eta;
};

constexpr int32_t kGridSpots = 128;  // remembered intervals per worker (a power of 2)

// An interval of one of an element's energy grids, remembered by a worker for
// the energies that follow: reused while lo <= E < hi, so that a run of
// collisions within one interval neither searches the grid nor takes the
// logarithm of its width again. key names the grid (element and family).
struct GRIDSPOT {
  double lo = 1.0;       // grid[i] (with hi below lo: empty)
  double hi = 0.0;       // grid[i + 1]
  double lnWidth = 0.0;  // ln(hi / lo), when both are positive and hi > lo
  int32_t key = -1;      // -1: empty
  int16_t i = 0;
};

static_assert(sizeof(GRIDSPOT) == 32);
