#include "tests/support/brems_fixture.h"

#include <bit>
#include <cmath>
#include <cstdio>

namespace {

// Electron rest energy (eV).
constexpr double kElectronRestEnergy = 510998.95;
// Size of the record offset table (bytes).
constexpr size_t kOffsetTableBytes = 4 * kBremsFixtureElements;

// Chemical symbols of Z = 1 to 100 (index 0 unused).
const char* const kSymbols[kBremsFixtureElements + 1] = {
    "",   "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",  "S",
    "Cl", "Ar", "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As",
    "Se", "Br", "Kr", "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn",
    "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho",
    "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re", "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po",
    "At", "Rn", "Fr", "Ra", "Ac", "Th", "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm"};

void AppendLittleEndian(std::string* bytes, uint64_t bits, int size) {
  for (int i = 0; i < size; ++i) bytes->push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}
void AppendInt32(std::string* bytes, int32_t value) {
  AppendLittleEndian(bytes, std::bit_cast<uint32_t>(value), 4);
}
void AppendDouble(std::string* bytes, double value) {
  AppendLittleEndian(bytes, std::bit_cast<uint64_t>(value), 8);
}

std::string RecordBytes(const BREMS_ELEMENT_RECORD& record) {
  std::string bytes;
  AppendInt32(&bytes, record.nE);
  for (const BREMS_ELECTRON_BLOCK& electron : record.electronBlocks) {
    AppendDouble(&bytes, electron.E);
    AppendInt32(&bytes, electron.nK);
    for (const BREMS_PHOTON_BLOCK& photon : electron.photonBlocks) {
      AppendDouble(&bytes, photon.k);
      AppendInt32(&bytes, photon.nMu);
      for (const BREMS_POINT& point : photon.points) {
        AppendDouble(&bytes, point.mu);
        AppendDouble(&bytes, point.p);
      }
    }
  }
  return bytes;
}

BREMS_PHOTON_BLOCK MakePhotonBlock(double electronEnergy, double k, int nMu) {
  BREMS_PHOTON_BLOCK block;
  block.k = k;
  block.nMu = nMu;
  for (int i = 0; i < nMu; ++i) {
    // The ends are set exactly, so that mu = -1 and mu = 1 are both present.
    double mu = i == 0 ? -1.0 : i == nMu - 1 ? 1.0 : -1.0 + 2.0 * i / (nMu - 1);
    block.points.push_back({mu, BremsFixtureDensity(electronEnergy, mu)});
  }
  return block;
}

BREMS_ELECTRON_BLOCK& LastElectronBlock(BREMS_ANGULAR_FIXTURE* fixture, int z) {
  return fixture->elements[z - 1].electronBlocks.back();
}
BREMS_PHOTON_BLOCK& LastPhotonBlock(BREMS_ANGULAR_FIXTURE* fixture, int z) {
  return LastElectronBlock(fixture, z).photonBlocks.back();
}

void FixOffsets(BREMS_ANGULAR_FIXTURE* fixture) {
  if (fixture->recordOffsets.empty()) fixture->recordOffsets = BremsRecordOffsets(*fixture);
}

}  // namespace

double BremsFixtureDensity(double electronEnergy, double mu) {
  double gamma = 1.0 + electronEnergy / kElectronRestEnergy;
  double beta = std::sqrt(1.0 - 1.0 / (gamma * gamma));
  double denominator = 1.0 - beta * mu;
  return (1.0 - beta * beta) / (2.0 * denominator * denominator);
}

BREMS_ELEMENT_RECORD MakeBremsElementRecord(const std::vector<double>& electronEnergies,
                                            const std::vector<std::vector<double>>& photonEnergies, int nMu) {
  BREMS_ELEMENT_RECORD record;
  record.nE = static_cast<int32_t>(electronEnergies.size());
  for (size_t i = 0; i < electronEnergies.size(); ++i) {
    BREMS_ELECTRON_BLOCK electron;
    electron.E = electronEnergies[i];
    electron.nK = static_cast<int32_t>(photonEnergies[i].size());
    for (double k : photonEnergies[i]) electron.photonBlocks.push_back(MakePhotonBlock(electron.E, k, nMu));
    record.electronBlocks.push_back(electron);
  }
  return record;
}

BREMS_ELEMENT_RECORD MakeBremsGridRecord(int z, int nE, int nK, int nMu) {
  // Electron energies from 1 keV (shifted a little with z) to 1 GeV.
  const double lowest = 1e3 * (1.0 + 0.01 * z);
  const double highest = 1e9;
  std::vector<double> electronEnergies;
  std::vector<std::vector<double>> photonEnergies;
  for (int i = 0; i < nE; ++i) {
    double energy = lowest * std::pow(highest / lowest, static_cast<double>(i) / (nE - 1));
    electronEnergies.push_back(energy);
    std::vector<double> ks;
    for (int j = 0; j < nK; ++j) ks.push_back(j == nK - 1 ? energy : energy * j / (nK - 1));
    photonEnergies.push_back(ks);
  }
  return MakeBremsElementRecord(electronEnergies, photonEnergies, nMu);
}

BREMS_ANGULAR_FIXTURE MakeBremsAngularFixture(const std::vector<int>& zSet, int nE, int nK, int nMu) {
  BREMS_ANGULAR_FIXTURE fixture;
  for (int z = 1; z <= kBremsFixtureElements; ++z)
    fixture.elements.push_back(MakeBremsGridRecord(z, 2, 2, 2));
  for (int z : zSet) fixture.elements[z - 1] = MakeBremsGridRecord(z, nE, nK, nMu);
  return fixture;
}

std::vector<int32_t> BremsRecordOffsets(const BREMS_ANGULAR_FIXTURE& fixture) {
  std::vector<int32_t> offsets;
  size_t offset = kOffsetTableBytes;
  for (const BREMS_ELEMENT_RECORD& record : fixture.elements) {
    offsets.push_back(static_cast<int32_t>(offset));
    offset += RecordBytes(record).size();
  }
  return offsets;
}

size_t BremsRecordEnd(const BREMS_ANGULAR_FIXTURE& fixture, int z) {
  size_t end = kOffsetTableBytes;
  for (int i = 0; i < z; ++i) end += RecordBytes(fixture.elements[i]).size();
  return end;
}

std::string BremsAngularFileBytes(const BREMS_ANGULAR_FIXTURE& fixture) {
  std::string bytes;
  std::vector<int32_t> offsets =
      fixture.recordOffsets.empty() ? BremsRecordOffsets(fixture) : fixture.recordOffsets;
  for (int32_t offset : offsets) AppendInt32(&bytes, offset);
  for (const BREMS_ELEMENT_RECORD& record : fixture.elements) bytes += RecordBytes(record);
  bytes += fixture.trailingBytes;
  if (bytes.size() > fixture.keepBytes) bytes.resize(fixture.keepBytes);
  return bytes;
}

bool WriteBremsAngularFile(const std::string& path, const BREMS_ANGULAR_FIXTURE& fixture) {
  std::string bytes = BremsAngularFileBytes(fixture);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::string BremsTableFileName(int z) {
  char name[64];
  std::snprintf(name, sizeof name, "%03d-%s_brems_angular_prob_dens.txt", z, kSymbols[z]);
  return name;
}

std::string BremsAngularTextTable(const BREMS_ELEMENT_RECORD& record) {
  std::string text;
  char line[128];
  auto append = [&text, &line](int length) { text.append(line, static_cast<size_t>(length)); };
  append(std::snprintf(line, sizeof line, "%d\n\n", record.nE));
  for (const BREMS_ELECTRON_BLOCK& electron : record.electronBlocks) {
    append(std::snprintf(line, sizeof line, "%-.15e\n\n", electron.E));
    append(std::snprintf(line, sizeof line, "%d\n\n", electron.nK));
    for (const BREMS_PHOTON_BLOCK& photon : electron.photonBlocks) {
      append(std::snprintf(line, sizeof line, "%-.15e\t%d\n\n", photon.k, photon.nMu));
      for (const BREMS_POINT& point : photon.points) {
        append(std::snprintf(line, sizeof line, "% .15e\t%-.15e\n", point.mu, point.p));
      }
      text += "\n";
    }
  }
  return text;
}

void ApplyBremsFault(BREMS_ANGULAR_FIXTURE* fixture, BremsFault fault, int z) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  BREMS_ELEMENT_RECORD& record = fixture->elements[z - 1];
  switch (fault) {
    case BremsFault::kFirstOffsetAtTableEnd:
      FixOffsets(fixture);
      fixture->recordOffsets[0] = 399;
      break;
    case BremsFault::kEqualOffsets:
      FixOffsets(fixture);
      fixture->recordOffsets[z - 1] = fixture->recordOffsets[z - 2];
      break;
    case BremsFault::kDecreasingOffset:
      FixOffsets(fixture);
      fixture->recordOffsets[z - 1] = fixture->recordOffsets[z - 2] - 1;
      break;
    case BremsFault::kNegativeOffset:
      FixOffsets(fixture);
      fixture->recordOffsets[z - 1] = std::numeric_limits<int32_t>::min();
      break;
    case BremsFault::kSingleElectronEnergy:
      record.electronBlocks.resize(1);
      record.nE = 1;
      break;
    case BremsFault::kNegativeElectronCount:
      record.electronBlocks.clear();
      record.nE = -1;
      break;
    case BremsFault::kSinglePhotonEnergy:
      LastElectronBlock(fixture, z).photonBlocks.resize(1);
      LastElectronBlock(fixture, z).nK = 1;
      break;
    case BremsFault::kSingleAngularPoint:
      LastPhotonBlock(fixture, z).points.resize(1);
      LastPhotonBlock(fixture, z).nMu = 1;
      break;
    case BremsFault::kTooManyAngularPoints:
      LastPhotonBlock(fixture, z) =
          MakePhotonBlock(LastElectronBlock(fixture, z).E, LastPhotonBlock(fixture, z).k, 257);
      break;
    case BremsFault::kNegativeAngularCount:
      LastPhotonBlock(fixture, z).points.clear();
      LastPhotonBlock(fixture, z).nMu = -1;
      break;
    case BremsFault::kFirstEnergyAtLowerBound:
      record.electronBlocks.front().E = -1e-10;
      for (BREMS_PHOTON_BLOCK& photon : record.electronBlocks.front().photonBlocks) photon.k = -1e-10;
      break;
    case BremsFault::kEqualElectronEnergies: {
      std::vector<BREMS_ELECTRON_BLOCK>& blocks = record.electronBlocks;
      blocks.back().E = blocks[blocks.size() - 2].E;
      for (BREMS_PHOTON_BLOCK& photon : blocks.back().photonBlocks)
        photon.k = std::fmin(photon.k, blocks.back().E);
      break;
    }
    case BremsFault::kNaNElectronEnergy:
      LastElectronBlock(fixture, z).E = nan;
      break;
    case BremsFault::kPhotonAboveElectronEnergy:
      LastPhotonBlock(fixture, z).k = std::nextafter(LastElectronBlock(fixture, z).E, HUGE_VAL);
      break;
    case BremsFault::kPhotonAtLowerBound:
      LastPhotonBlock(fixture, z).k = -1e-10;
      break;
    case BremsFault::kNaNPhotonEnergy:
      LastPhotonBlock(fixture, z).k = nan;
      break;
    case BremsFault::kMuBelowMinusOne:
      LastPhotonBlock(fixture, z).points.front().mu = std::nextafter(-1.0, -2.0);
      break;
    case BremsFault::kMuAboveOne:
      LastPhotonBlock(fixture, z).points.back().mu = std::nextafter(1.0, 2.0);
      break;
    case BremsFault::kEqualMu: {
      std::vector<BREMS_POINT>& points = LastPhotonBlock(fixture, z).points;
      points.back().mu = points[points.size() - 2].mu;
      break;
    }
    case BremsFault::kNaNMu:
      LastPhotonBlock(fixture, z).points.back().mu = nan;
      break;
    case BremsFault::kNegativeDensity:
      LastPhotonBlock(fixture, z).points.back().p = -1e-300;
      break;
    case BremsFault::kNaNDensity:
      LastPhotonBlock(fixture, z).points.back().p = nan;
      break;
    case BremsFault::kCutInOffsetTable:
      fixture->keepBytes = 4 * static_cast<size_t>(z) - 2;
      break;
    case BremsFault::kCutInValue:
      fixture->keepBytes = BremsRecordEnd(*fixture, z) - 4;
      break;
    case BremsFault::kCutAfterRecord:
      fixture->keepBytes = BremsRecordEnd(*fixture, z);
      break;
  }
}
