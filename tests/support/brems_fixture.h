// Fixture writer for the binary bremsstrahlung angular-distribution file
// "Brems_angular_prob_dens.dat" and the matching per-element text tables.
//
// A fixture is a plain in-memory description of the 100 element records. The
// declared counts (nE, nK, nMu) are kept apart from the stored blocks, so a
// test can declare a count that does not match what follows. The writer lays
// the records out behind the record offset table exactly as the format says;
// ApplyBremsFault breaks one validity rule of the format at a chosen element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// One angular point: cosine mu of the photon's emission angle and the
// probability density p per unit mu.
struct BREMS_POINT {
  double mu = 0.0;
  double p = 0.0;
};

// The angular table at one photon energy.
struct BREMS_PHOTON_BLOCK {
  double k = 0.0;                   // photon energy (eV)
  int32_t nMu = 0;                  // declared number of points
  std::vector<BREMS_POINT> points;  // the points written, in this order
};

// The photon energies at one electron energy.
struct BREMS_ELECTRON_BLOCK {
  double E = 0.0;                                // electron energy (eV)
  int32_t nK = 0;                                // declared number of photon energies
  std::vector<BREMS_PHOTON_BLOCK> photonBlocks;  // the blocks written
};

// The record of one element.
struct BREMS_ELEMENT_RECORD {
  int32_t nE = 0;                                    // declared number of electron energies
  std::vector<BREMS_ELECTRON_BLOCK> electronBlocks;  // the blocks written
};

// A whole binary file.
struct BREMS_ANGULAR_FIXTURE {
  std::vector<BREMS_ELEMENT_RECORD> elements;             // element Z at index Z-1 (100 records)
  std::vector<int32_t> recordOffsets;                     // 100 offsets; empty: the true layout
  std::string trailingBytes;                              // written behind the record of Z = 100
  size_t keepBytes = std::numeric_limits<size_t>::max();  // the file is cut to this size
};

// Number of elements in the file (Z = 1 to 100).
constexpr int kBremsFixtureElements = 100;

// A smooth, normalised angular density for the synthetic tables: the
// dipole-aberration form p(mu) = (1 - beta^2) / (2 (1 - beta mu)^2), with beta
// the speed of an electron of kinetic energy electronEnergy (eV).
double BremsFixtureDensity(double electronEnergy, double mu);

// A consistent record with the given electron energies (eV), the photon
// energies (eV) at each of them, and nMu equally spaced mu from -1 to 1 with
// densities from BremsFixtureDensity.
BREMS_ELEMENT_RECORD MakeBremsElementRecord(const std::vector<double>& electronEnergies,
                                            const std::vector<std::vector<double>>& photonEnergies, int nMu);

// A consistent record on a generated grid: nE logarithmically spaced electron
// energies that depend on z (so elements differ), at each nK photon energies
// from 0 to E, and nMu points.
BREMS_ELEMENT_RECORD MakeBremsGridRecord(int z, int nE, int nK, int nMu);

// A valid file: the elements of zSet on the grid (nE, nK, nMu), every other
// element on the smallest valid grid (2, 2, 2).
BREMS_ANGULAR_FIXTURE MakeBremsAngularFixture(const std::vector<int>& zSet, int nE, int nK, int nMu);

// The record offsets of the true layout of the stored blocks.
std::vector<int32_t> BremsRecordOffsets(const BREMS_ANGULAR_FIXTURE& fixture);

// The byte offset just behind the record of element z in the true layout.
size_t BremsRecordEnd(const BREMS_ANGULAR_FIXTURE& fixture, int z);

// The bytes of the binary file (little-endian), cut to keepBytes.
std::string BremsAngularFileBytes(const BREMS_ANGULAR_FIXTURE& fixture);

// Writes the binary file; false on failure.
bool WriteBremsAngularFile(const std::string& path, const BREMS_ANGULAR_FIXTURE& fixture);

// The file name of the text table of element z: "026-Fe_brems_angular_prob_dens.txt".
std::string BremsTableFileName(int z);

// The text table of one record as the splitter writes it (Linux number format).
std::string BremsAngularTextTable(const BREMS_ELEMENT_RECORD& record);

// One way to break each validity rule of the binary file.
enum class BremsFault {
  // Record offset table (z is the index of the offending entry, 1 to 100).
  kFirstOffsetAtTableEnd,  // first offset 399 (z ignored)
  kEqualOffsets,           // offset z equal to offset z-1 (z >= 2)
  kDecreasingOffset,       // offset z below offset z-1 (z >= 2)
  kNegativeOffset,         // offset z the most negative int32 (caught only by a signed test)
  // Counts of element z.
  kSingleElectronEnergy,   // nE = 1
  kNegativeElectronCount,  // nE = -1
  kSinglePhotonEnergy,     // nK = 1 at the last electron energy
  kSingleAngularPoint,     // nMu = 1 at the last photon energy
  kTooManyAngularPoints,   // nMu = 257 (with 257 valid points)
  kNegativeAngularCount,   // nMu = -1
  // Electron energies of element z.
  kFirstEnergyAtLowerBound,  // first E = -1e-10
  kEqualElectronEnergies,    // last E equal to the one before
  kNaNElectronEnergy,        // last E a NaN
  // Photon energies of element z (last photon energy of the last E).
  kPhotonAboveElectronEnergy,  // k the next double above E
  kPhotonAtLowerBound,         // k = -1e-10
  kNaNPhotonEnergy,            // k a NaN
  // Angular points of element z (last photon energy of the last E).
  kMuBelowMinusOne,  // first mu the next double below -1
  kMuAboveOne,       // last mu the next double above 1
  kEqualMu,          // last mu equal to the one before
  kNaNMu,            // last mu a NaN
  kNegativeDensity,  // last p = -1e-300
  kNaNDensity,       // last p a NaN
  // The end of the file.
  kCutInOffsetTable,  // the file ends inside offset z
  kCutInValue,        // the file ends inside the last p of element z
  kCutAfterRecord     // the file ends right behind the record of element z (z < 100)
};

// Breaks one rule at element z. Offset faults fix the offsets of the current
// layout first; cuts are taken from the current layout, so apply them last.
void ApplyBremsFault(BREMS_ANGULAR_FIXTURE* fixture, BremsFault fault, int z);
