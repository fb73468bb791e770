// Angular distribution of bremsstrahlung photons: the density of the cosine mu
// of the photon direction relative to the electron direction, per element,
// electron kinetic energy E and photon energy k.
//
// Up to 1 MeV: the two-dipole model fitted to partial-wave shape functions
// (Kissel, Quarles and Pratt, At. Data Nucl. Data Tables 28 (1983) 381; fit
// form of Acosta, Llovet and Salvat, Appl. Phys. Lett. 80 (2002) 3228):
//   p(mu) = [A (3/8)(1 + mu'^2) + (1 - A)(3/4)(1 - mu'^2)] (1 - B^2) / (1 - B mu)^2,
//   mu' = (mu - B) / (1 - B mu),
// with ln A and B interpolated from the fitted table (pdbrang.p18). Above
// 1 MeV: the Koch-Motz formula 2BS (Rev. Mod. Phys. 31 (1959) 920).
//
// Densities are functions of x = 1 - mu (0 forward, 2 backward), which keeps
// the forward peak of high energies resolved in double precision.
#pragma once

#include <functional>
#include <vector>

#include "tools/auxdata/numerics.h"
#include "tools/auxdata/penelope_sources.h"

// Electron kinetic energies (eV) that bound the fitted table and its use.
constexpr double kBremsFitLowestEnergy = 1e3;
constexpr double kBremsFitHighestEnergy = 1e6;
// Reduced photon energies above this take the fit at this value.
constexpr double kBremsFitHighestKappa = 0.95;

// The fitted table made ready for interpolation: per tabulated element and
// energy, natural cubic splines of ln A and B in K.
struct BREMSFITMODEL {
  BREMSANGULARFIT fit;
  std::vector<double> beta;  // speed of the tabulated energies
  std::vector<std::vector<CUBICSPLINE>> lnA, b;  // [element][energy], splines in K
};
BREMSFITMODEL MakeBremsFitModel(const BREMSANGULARFIT& fit);

struct DIPOLEPARAMETERS {
  double a = 1.0;  // weight of the (1 + mu'^2) dipole shape
  double b = 0.0;  // boost velocity
};

// A and B at atomic number z, electron kinetic energy E (eV) and photon
// energy k (eV): splines in K (clamped above 0.95), then in beta(E), then
// linear in Z between tabulated elements (Z above the last one takes the last
// one's values). Below 1 keV the 1 keV values, with B scaled by
// beta(E) / beta(1 keV); above 1 MeV the 1 MeV values.
DIPOLEPARAMETERS FittedDipoleParameters(const BREMSFITMODEL& model, int z, double energyEv, double photonEv);

// The fitted density at x = 1 - mu (normalised over mu in [-1, 1]).
double FittedDipoleDensity(const DIPOLEPARAMETERS& p, double x);

// The 2BS angular factor at x = 1 - mu (not normalised): with energies in
// units of m c^2, E0 and E the total electron energies before and after
// emission, y = E0 theta and
//   1/M(y) = (k / (2 E0 E))^2 + (Z^(1/3) / (111 (y^2 + 1)))^2,
// it is 16 y^2 E / ((y^2+1)^4 E0) - (E0 + E)^2 / ((y^2+1)^2 E0^2)
//       + [(E0^2 + E^2) / ((y^2+1)^2 E0^2) - 4 y^2 E / ((y^2+1)^4 E0)] ln M(y).
// The small-angle formula is taken as the density per unit solid angle,
// hence per unit mu.
double KochMotz2bsFactor(int z, double energyEv, double photonEv, double x);

// A tabulated density of mu: cosines rising from -1 to 1 and densities
// normalised by the density's integral; l1Error is the integral of
// |lin-lin interpolation - density| over mu.
struct ANGULARTABLE {
  std::vector<double> mu, density;
  double l1Error = 0.0;
};

// Tabulates the density f(x), x = 1 - mu, at points chosen adaptively,
// clustered toward mu = 1 in ln(1 - mu): starting from one point a decade
// down to peakScale / 1000, the interval with the largest L1 error of its
// chord is split (at the geometric middle in 1 - mu) until the total L1 error
// of the normalised density is below `tolerance` or maxPoints are used.
ANGULARTABLE TabulateAngularDensity(const std::function<double(double)>& f, double peakScale, int maxPoints,
                                    double tolerance);

// L1 error target of the bremsstrahlung tables, and their most points per
// (E, k): all the 256 cosines the format allows. A lin-lin table of N points
// on a forward peak of shape 1 / (1 + (1 - mu) / s)^2 keeps an L1 error near
// 13.5 / N^2 however the points are placed, so the peaks of MeV electrons
// need 90 to 155 points for 1e-3 (with 64 they would keep 0.3 to 0.7 %).
constexpr double kBremsAngularTolerance = 1e-3;
constexpr int kBremsAngularMaxPoints = 256;

// The table of element z at electron energy E and photon energy k (eV): the
// fitted model up to 1 MeV, 2BS above.
ANGULARTABLE BremsAngularTable(const BREMSFITMODEL& model, int z, double energyEv, double photonEv);
