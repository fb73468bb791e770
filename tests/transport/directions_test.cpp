// Isotropic, cone and turned directions against their densities.
#include "transport/directions.h"
#include "core/physical_constants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "core/randgen.h"
#include "core/vector.h"
#include "geometry/frames.h"
#include "tests/support/chisquare.h"

namespace {

constexpr int kSamples = 200000;

VECTOR Unit(VECTOR v) { return v / Norm(v); }

// Azimuth of v about the unit axis a, in (-pi, pi], measured in a frame about a.
double AzimuthAbout(VECTOR v, VECTOR a) {
  double frame[9];
  MakeFrame(frame, a, 1e-12);
  VECTOR local;
  RotateVectorTransposed(&local, frame, v);
  return std::atan2(local.y, local.x);
}

// Chi-square of the cosines of directions about an axis against the cosine
// density on [lo, 1]. nTests is the size of the family of tests.
void ExpectCosinesFollow(const std::function<double(double)>& density, const std::vector<VECTOR>& dirs, VECTOR axis,
                         double lo, int nTests, const char* what) {
  std::vector<double> cosines;
  cosines.reserve(dirs.size());
  for (const VECTOR& d : dirs) cosines.push_back(Dot(Unit(d), axis));
  const CHISQUARERESULT r = ChiSquareAgainstDensity(cosines, density, lo, 1.0, 100);
  EXPECT_TRUE(ChiSquarePasses(r, nTests)) << what << " about (" << axis.x << ", " << axis.y << ", " << axis.z
                                          << "): " << Describe(r);
}

void ExpectAzimuthsUniform(const std::vector<VECTOR>& dirs, VECTOR axis, int nTests, const char* what) {
  std::vector<double> phis;
  phis.reserve(dirs.size());
  for (const VECTOR& d : dirs) phis.push_back(AzimuthAbout(d, axis));
  const CHISQUARERESULT r = ChiSquareAgainstDensity(phis, [](double) { return 0.5 / kPi; }, -kPi, kPi, 72);
  EXPECT_TRUE(ChiSquarePasses(r, nTests)) << what << " azimuth: " << Describe(r);
}

const VECTOR kAxes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.6, 0.0, -0.8}, {1 / 1.7320508075688772, 1 / 1.7320508075688772, -1 / 1.7320508075688772}};
constexpr int kAxisCount = sizeof(kAxes) / sizeof(kAxes[0]);

}  // namespace

TEST(IsotropicTest, DirectionsAreUniformOnTheSphereAboutEveryAxis) {
  CRandGen rng;
  rng.RandomInitialise(271, 828);
  std::vector<VECTOR> dirs(kSamples);
  const double momentum = 1.7e6;  // eV
  for (VECTOR& d : dirs) {
    d = Isotropic(rng, momentum);
    ASSERT_NEAR(Norm(d), momentum, 1e-9 * momentum);
  }
  for (const VECTOR& axis : kAxes) ExpectCosinesFollow(IsotropicCosineDensity, dirs, axis, -1.0, kAxisCount + 1, "isotropic");
  ExpectAzimuthsUniform(dirs, Init(0, 1, 0), kAxisCount + 1, "isotropic about the polar axis y");

  PARTICLECOORD pc{Init(1, 2, 3), Init(0, 0, 0)};
  Isotropic(rng, &pc, 1.0);
  EXPECT_NEAR(Norm(pc.dir), 1.0, 1e-15);
  EXPECT_EQ(pc.pos.z, 3.0);  // the position is left alone
}

TEST(ConeTest, CosinesAreUniformBetweenTheConeCosineAndOne) {
  const double coneCosines[] = {0.95, 0.0, -0.6};
  const VECTOR axis = Unit(Init(0.3, -0.4, 0.5));
  double q[9];
  MakeFrame(q, axis, 1e-12);  // local z onto the cone axis
  CRandGen rng;
  rng.RandomInitialise(3, 14);
  for (double coneCos : coneCosines) {
    std::vector<VECTOR> dirs(kSamples);
    for (VECTOR& d : dirs) {
      d = ConeDirection(rng, coneCos, q);
      ASSERT_NEAR(Norm(d), 1.0, 1e-14);
    }
    ExpectCosinesFollow([&](double mu) { return ConeCosineDensity(mu, coneCos); }, dirs, axis, coneCos, 6, "cone");
    ExpectAzimuthsUniform(dirs, axis, 6, "cone");
  }
}

TEST(NonIsotropicTest, TurnsByTheGivenCosineAndKeepsTheLength) {
  // Directions along the axes, on the switch |u_y| = 1/2 between the two
  // frames, and random ones; lengths far from 1.
  std::vector<VECTOR> directions = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},       {0, -1, 0},
                                    {0, 0, 1},  {0, 0, -1}, {0.5, 0.5, 0.70710678118654757},
                                    {0.0, -0.5, 0.8660254037844386}};
  CRandGen rng;
  rng.RandomInitialise(60, 61);
  for (int k = 0; k < 200; ++k) directions.push_back(Unit(Init(rng.random() - 0.5, rng.random() - 0.5, rng.random() - 0.5)));
  for (const VECTOR& unit : directions) {
    const double oldLength = 3.0e5 * (1.0 + rng.random());
    const VECTOR d = oldLength * unit;
    const double invLength = 1.0 / Norm(d);
    for (int k = 0; k < 20; ++k) {
      const double mu = 2.0 * rng.random() - 1.0;
      const double phi = 2.0 * kPi * rng.random();
      const double length = 1e3 * (1.0 + rng.random());
      const VECTOR turned = NonIsotropic(d, length, invLength, mu, phi);
      ASSERT_NEAR(Norm(turned), length, 1e-12 * length) << unit.x << " " << unit.y << " " << unit.z;
      ASSERT_NEAR(Dot(turned, d) * invLength / length, mu, 1e-12) << unit.x << " " << unit.y << " " << unit.z;
    }
    const VECTOR forward = NonIsotropic(d, 2.0, invLength, 1.0, 1.234);
    const VECTOR backward = NonIsotropic(d, 2.0, invLength, -1.0, 4.321);
    for (double VECTOR::*c : {&VECTOR::x, &VECTOR::y, &VECTOR::z}) {
      EXPECT_NEAR(forward.*c, 2.0 * unit.*c, 1e-14);
      EXPECT_NEAR(backward.*c, -2.0 * unit.*c, 1e-14);
    }
  }

  PARTICLECOORD pc{Init(4, 5, 6), Init(0, 0, 2)};
  NonIsotropic(&pc, 1.0, 0.5, 0.0, 0.0);
  EXPECT_NEAR(Dot(pc.dir, Init(0, 0, 1)), 0.0, 1e-15);
  EXPECT_NEAR(Norm(pc.dir), 1.0, 1e-15);
  EXPECT_EQ(pc.pos.x, 4.0);
}

// An isotropic polar cosine and a uniform azimuth turn any direction into an
// isotropic one; a fixed cosine with a uniform azimuth spreads the new
// direction uniformly in azimuth about the old one.
TEST(NonIsotropicTest, UniformAzimuthsTurnIntoTheRightDensities) {
  CRandGen rng;
  rng.RandomInitialise(1000, 2000);
  const VECTOR starts[] = {{0, 2, 0}, {0.1, 0.2, -3}};  // the two local frames
  for (const VECTOR& d : starts) {
    const double invLength = 1.0 / Norm(d);
    std::vector<VECTOR> isotropic(kSamples);
    std::vector<VECTOR> fixedCone(kSamples);
    for (int k = 0; k < kSamples; ++k) {
      isotropic[k] = NonIsotropic(d, 1.0, invLength, 1.0 - 2.0 * rng.random(), 2.0 * kPi * rng.random());
      fixedCone[k] = NonIsotropic(d, 1.0, invLength, 0.3, 2.0 * kPi * rng.random());
    }
    const int family = 2 * (kAxisCount + 1);
    for (const VECTOR& axis : kAxes) {
      ExpectCosinesFollow(IsotropicCosineDensity, isotropic, axis, -1.0, family, "turned isotropically");
    }
    ExpectAzimuthsUniform(fixedCone, d * invLength, family, "turned by a fixed cosine");
  }
}
