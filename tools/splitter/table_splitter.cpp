#include "tools/splitter/table_splitter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "tools/splitter/brems_binary_reader.h"
#include "tools/splitter/element_symbols.h"

const char kBremsBinaryFileName[] = "Brems_angular_prob_dens.dat";
const char kBremsTableFolder[] = "Brems_angular_prob_dens/";

namespace {

// Byte offset of the first element record: the offset table holds 100 int32.
constexpr int32_t kFirstRecordOffsetBound = 399;
// Lower bound, exclusive, of the first electron energy of a record and of every
// photon energy (eV): zero passes, round-off below zero does not.
constexpr double kLowestEnergy = -1e-10;
// Lower bound, exclusive, of the first angular point: mu = -1 passes.
constexpr double kLowestMu = -1.0000000001;
// Fewest grid points in every dimension (the tables are interpolated).
constexpr int32_t kMinGridCount = 2;
// Most angular points per photon energy.
constexpr int32_t kMaxAngularPoints = 256;

// Result of copying one element record into its table.
enum class RecordStatus { kCopied, kInvalid, kWriteFailed };

// The checks below are written as the conditions a valid value meets, so that
// a NaN, which fails every comparison, is rejected.
bool IsValidGridCount(int32_t count) { return count >= kMinGridCount; }
bool IsValidAngularCount(int32_t count) { return count >= kMinGridCount && count <= kMaxAngularPoints; }
bool IsValidElectronEnergy(double energy, double previous) { return energy > previous; }
bool IsValidPhotonEnergy(double k, double electronEnergy) { return k > kLowestEnergy && k <= electronEnergy; }
bool IsValidMu(double mu, double previous) { return mu >= -1.0 && mu <= 1.0 && mu > previous; }
bool IsValidDensity(double p) { return p >= 0.0; }

// Rule of the record offset table: 100 strictly increasing offsets, the first
// beyond the table itself. The offsets are only checked; the records are read
// in sequence behind the table.
bool CheckRecordOffsetTable(FILE* input) {
  int32_t previous = kFirstRecordOffsetBound;
  for (int z = 1; z <= kElementCount; ++z) {
    int32_t offset;
    if (!ReadBinaryInt32(input, &offset) || offset <= previous) return false;
    previous = offset;
  }
  return true;
}

// One photon-energy block: k, nMu and the nMu points (mu, p) of increasing mu.
RecordStatus CopyPhotonEnergyBlock(FILE* input, FILE* table, double electronEnergy) {
  double k;
  int32_t nMu;
  if (!ReadBinaryDouble(input, &k) || !IsValidPhotonEnergy(k, electronEnergy)) return RecordStatus::kInvalid;
  if (!ReadBinaryInt32(input, &nMu) || !IsValidAngularCount(nMu)) return RecordStatus::kInvalid;
  if (std::fprintf(table, "%-.15e\t%d\n\n", k, nMu) < 0) return RecordStatus::kWriteFailed;

  double previousMu = kLowestMu;
  for (int32_t i = 0; i < nMu; ++i) {
    double mu, p;
    if (!ReadBinaryDouble(input, &mu) || !IsValidMu(mu, previousMu)) return RecordStatus::kInvalid;
    previousMu = mu;
    if (!ReadBinaryDouble(input, &p) || !IsValidDensity(p)) return RecordStatus::kInvalid;
    if (std::fprintf(table, "% .15e\t%-.15e\n", mu, p) < 0) return RecordStatus::kWriteFailed;
  }
  if (std::fputs("\n", table) < 0) return RecordStatus::kWriteFailed;
  return RecordStatus::kCopied;
}

// One electron-energy block: E, nK and the nK photon-energy blocks.
RecordStatus CopyElectronEnergyBlock(FILE* input, FILE* table, double* previousEnergy) {
  double energy;
  int32_t nK;
  if (!ReadBinaryDouble(input, &energy) || !IsValidElectronEnergy(energy, *previousEnergy)) {
    return RecordStatus::kInvalid;
  }
  *previousEnergy = energy;
  if (std::fprintf(table, "%-.15e\n\n", energy) < 0) return RecordStatus::kWriteFailed;
  if (!ReadBinaryInt32(input, &nK) || !IsValidGridCount(nK)) return RecordStatus::kInvalid;
  if (std::fprintf(table, "%d\n\n", nK) < 0) return RecordStatus::kWriteFailed;

  for (int32_t i = 0; i < nK; ++i) {
    RecordStatus status = CopyPhotonEnergyBlock(input, table, energy);
    if (status != RecordStatus::kCopied) return status;
  }
  return RecordStatus::kCopied;
}

// One element record: nE and the nE electron-energy blocks of increasing E.
// Each line is written as soon as its values have passed their checks.
RecordStatus CopyElementRecord(FILE* input, FILE* table) {
  int32_t nE;
  if (!ReadBinaryInt32(input, &nE) || !IsValidGridCount(nE)) return RecordStatus::kInvalid;
  if (std::fprintf(table, "%d\n\n", nE) < 0) return RecordStatus::kWriteFailed;

  double previousEnergy = kLowestEnergy;
  for (int32_t i = 0; i < nE; ++i) {
    RecordStatus status = CopyElectronEnergyBlock(input, table, &previousEnergy);
    if (status != RecordStatus::kCopied) return status;
  }
  return RecordStatus::kCopied;
}

// Writes the table of element z under a temporary name and gives it its final
// name only when the record was valid and every byte reached the file.
SPLITRESULT SplitElement(FILE* input, int z) {
  const std::string path = BremsTablePath(z);
  const std::string partialPath = path + ".tmp";
  FILE* table = std::fopen(partialPath.c_str(), "w");
  if (!table) return {SplitStatus::kTableNotOpened, path};

  RecordStatus status = CopyElementRecord(input, table);
  bool closed = std::fclose(table) == 0;
  if (status == RecordStatus::kCopied && closed && std::rename(partialPath.c_str(), path.c_str()) == 0) {
    return {SplitStatus::kDone, ""};
  }
  std::remove(partialPath.c_str());
  if (status == RecordStatus::kInvalid) return {SplitStatus::kInputInvalid, ""};
  return {SplitStatus::kTableNotWritten, path};
}

}  // namespace

std::string BremsTablePath(int z) {
  char path[256];
  std::snprintf(path, sizeof path, "%s%03d-%s_brems_angular_prob_dens.txt", kBremsTableFolder, z,
                elementSymbol[z]);
  return path;
}

SPLITRESULT SplitBremsAngularFile() {
  // An existing folder is fine; one that cannot be created shows up as a table
  // that cannot be opened.
  std::error_code ignored;
  std::filesystem::create_directory(kBremsTableFolder, ignored);

  FILE* input = std::fopen(kBremsBinaryFileName, "rb");
  if (!input) return {SplitStatus::kInputNotOpened, ""};

  SPLITRESULT result;
  if (!CheckRecordOffsetTable(input)) result.status = SplitStatus::kInputInvalid;
  for (int z = 1; z <= kElementCount && result.status == SplitStatus::kDone; ++z) {
    result = SplitElement(input, z);
  }
  // Bytes behind the record of element 100 are not read.
  std::fclose(input);
  return result;
}

void PrintSplitMessage(const SPLITRESULT& result) {
  switch (result.status) {
    case SplitStatus::kDone:
      break;
    case SplitStatus::kInputNotOpened:
      std::printf("File %s could not be opened for reading.\n", kBremsBinaryFileName);
      break;
    case SplitStatus::kInputInvalid:
      std::printf("Error in file %s.\n", kBremsBinaryFileName);
      break;
    case SplitStatus::kTableNotOpened:
      std::printf("\nFile %s could not be opened for writing.\n", result.tablePath.c_str());
      break;
    case SplitStatus::kTableNotWritten:
      std::printf("\nFile %s could not be written.\n", result.tablePath.c_str());
      break;
  }
}

int SplitExitCode(SplitStatus status) { return status == SplitStatus::kDone ? 0 : 1; }
