// End-to-end runs of Sarvetto: each case writes a synthetic binary
// bremsstrahlung angular-distribution file into a scratch folder, runs the
// built tool there and checks its message, exit code and text tables.
//
// Golden tables are rewritten from the tool's output only when the
// environment variable TQ_REGENERATE_GOLDEN is set; review them in the diff.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/brems_fixture.h"
#include "tests/support/test_paths.h"

namespace {

const char kBinaryFileName[] = "Brems_angular_prob_dens.dat";
const char kTableFolder[] = "Brems_angular_prob_dens/";
const char kInvalidFileMessage[] = "Error in file Brems_angular_prob_dens.dat.\n";
const char kOlderTable[] = "an older table\n";

// Output of one run of the tool.
struct TOOLRUN {
  int exitCode = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A scratch folder with the tool's working folder "work/" inside it.
struct SCRATCH {
  std::string root;  // holds the captured output
  std::string work;  // the tool's working folder
  std::string tables() const { return work + kTableFolder; }
};

SCRATCH MakeToolFolder(const std::string& name) {
  SCRATCH scratch;
  scratch.root = MakeScratchFolder("splitter/" + name);
  scratch.work = scratch.root + "work/";
  std::filesystem::create_directories(scratch.work);
  return scratch;
}

// Runs Sarvetto in scratch.work; shellSetup runs in the tool's shell first.
TOOLRUN RunSarvetto(const SCRATCH& scratch, const std::string& arguments = "",
                    const std::string& shellSetup = "") {
  const std::string command = "( cd '" + scratch.work + "' || exit 99; " + shellSetup +
                              " exec '" SARVETTO_PATH "' " + arguments + " ) > '" + scratch.root +
                              "stdout.txt' 2> '" + scratch.root + "stderr.txt'; echo $? > '" + scratch.root +
                              "exit.txt'";
  TOOLRUN run;
  if (std::system(command.c_str()) != 0) return run;
  run.exitCode = std::atoi(ReadWholeFile(scratch.root + "exit.txt").value_or("-1").c_str());
  run.output = ReadWholeFile(scratch.root + "stdout.txt").value_or("");
  run.errors = ReadWholeFile(scratch.root + "stderr.txt").value_or("");
  return run;
}

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Expects the tables of elements 1 to lastComplete to hold their records and
// nothing else in the table folder but the names in `others`.
void ExpectCompleteTables(const SCRATCH& scratch, const BREMS_ANGULAR_FIXTURE& fixture, int lastComplete,
                          const std::set<std::string>& others = {}) {
  std::set<std::string> expected = others;
  for (int z = 1; z <= lastComplete; ++z) {
    const std::string name = BremsTableFileName(z);
    expected.insert(name);
    EXPECT_EQ(ReadWholeFile(scratch.tables() + name), BremsAngularTextTable(fixture.elements[z - 1])) << name;
  }
  EXPECT_EQ(FolderEntries(scratch.tables()), expected);
}

// Iron on the edges of the valid ranges: E = 0 first, k = 0, k = E, photon
// energies out of order, mu = -1 and 1 at the ends, p = 0 and -0, and extreme
// magnitudes in the number format.
BREMS_ELEMENT_RECORD EdgeOfRangeRecord() {
  BREMS_ELEMENT_RECORD record =
      MakeBremsElementRecord({0.0, 1e3, 2.5e6}, {{0.0, 0.0}, {1e3, 0.0, 250.0}, {2.5e6, 1e6, 1e-300}}, 3);
  BREMS_PHOTON_BLOCK& block = record.electronBlocks[1].photonBlocks[0];
  block.points = {{-1.0, 0.0}, {-0.5, -0.0}, {0.25, 1.7976931348623157e308}, {1.0, 4.9e-324}};
  block.nMu = 4;
  return record;
}

// A valid file: iron on the edges, uranium with 256 angular points (the most
// allowed), the other elements on the smallest grid.
BREMS_ANGULAR_FIXTURE ValidFixture() {
  BREMS_ANGULAR_FIXTURE fixture = MakeBremsAngularFixture({92}, 3, 4, 256);
  fixture.elements[25] = EdgeOfRangeRecord();
  return fixture;
}

SCRATCH PrepareRun(const std::string& name, const BREMS_ANGULAR_FIXTURE& fixture) {
  SCRATCH scratch = MakeToolFolder(name);
  EXPECT_TRUE(WriteBremsAngularFile(scratch.work + kBinaryFileName, fixture));
  return scratch;
}

void PutOlderTable(const SCRATCH& scratch, int z) {
  std::filesystem::create_directories(scratch.tables());
  ASSERT_TRUE(WriteTextFile(scratch.tables() + BremsTableFileName(z), kOlderTable));
}

void CompareWithGolden(const SCRATCH& scratch, int z) {
  const std::string name = BremsTableFileName(z);
  std::optional<std::string> table = ReadWholeFile(scratch.tables() + name);
  ASSERT_TRUE(table.has_value()) << name;
  const std::string goldenPath = std::string(SPLITTER_GOLDEN_FOLDER) + name;
  if (std::getenv("TQ_REGENERATE_GOLDEN")) {
    ASSERT_TRUE(WriteTextFile(goldenPath, *table));
    return;
  }
  EXPECT_EQ(table, ReadWholeFile(goldenPath)) << "golden " << goldenPath;
}

TEST(SarvettoRun, WritesEveryTableOfAValidFile) {
  struct VALIDCASE {
    const char* name;
    std::string arguments;
    void (*change)(BREMS_ANGULAR_FIXTURE*);
    bool olderTables;
  };
  const std::vector<VALIDCASE> cases = {
      {"plain", "", [](BREMS_ANGULAR_FIXTURE*) {}, false},
      {"arguments_ignored", "--help another-file.dat", [](BREMS_ANGULAR_FIXTURE*) {}, false},
      {"trailing_bytes_ignored", "",
       [](BREMS_ANGULAR_FIXTURE* f) { f->trailingBytes = std::string("\xff\x01\x02", 3); }, false},
      {"offsets_increasing_off_layout", "",
       [](BREMS_ANGULAR_FIXTURE* f) {
         f->recordOffsets.clear();
         for (int32_t z = 1; z <= kBremsFixtureElements; ++z) f->recordOffsets.push_back(399 + z);
       },
       false},
      {"older_tables_overwritten", "", [](BREMS_ANGULAR_FIXTURE*) {}, true},
  };
  for (const VALIDCASE& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    BREMS_ANGULAR_FIXTURE fixture = ValidFixture();
    testCase.change(&fixture);
    SCRATCH scratch = PrepareRun(std::string("valid_") + testCase.name, fixture);
    if (testCase.olderTables) {
      for (int z = 1; z <= kBremsFixtureElements; ++z) PutOlderTable(scratch, z);
    }

    TOOLRUN run = RunSarvetto(scratch, testCase.arguments);

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "");
    ExpectCompleteTables(scratch, fixture, kBremsFixtureElements);
    for (int z : {1, 26, 100}) CompareWithGolden(scratch, z);
  }
}

TEST(SarvettoRun, MissingBinaryFileIsReportedAfterCreatingTheFolder) {
  SCRATCH scratch = MakeToolFolder("missing_binary");

  TOOLRUN run = RunSarvetto(scratch);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "File Brems_angular_prob_dens.dat could not be opened for reading.\n");
  EXPECT_TRUE(std::filesystem::is_directory(scratch.tables()));
  EXPECT_TRUE(FolderEntries(scratch.tables()).empty());
}

// One case per validity rule of the binary file. The tables before the
// element at fault stay complete; the table in progress keeps its older
// version, and nothing else is written.
TEST(SarvettoRun, RejectsEveryBrokenRuleOfTheBinaryFile) {
  struct FAULTCASE {
    const char* name;
    BremsFault fault;
    int z;                // element (or offset entry) at fault
    int tableInProgress;  // first table not written
  };
  const std::vector<FAULTCASE> cases = {
      {"first_offset_399", BremsFault::kFirstOffsetAtTableEnd, 1, 1},
      {"equal_offsets", BremsFault::kEqualOffsets, 50, 1},
      {"decreasing_offset", BremsFault::kDecreasingOffset, 2, 1},
      {"negative_last_offset", BremsFault::kNegativeOffset, 100, 1},
      {"cut_in_offset_table", BremsFault::kCutInOffsetTable, 100, 1},
      {"nE_1", BremsFault::kSingleElectronEnergy, 1, 1},
      {"nE_negative", BremsFault::kNegativeElectronCount, 3, 3},
      {"first_E_at_lower_bound", BremsFault::kFirstEnergyAtLowerBound, 7, 7},
      {"equal_E", BremsFault::kEqualElectronEnergies, 92, 92},
      {"NaN_E", BremsFault::kNaNElectronEnergy, 8, 8},
      {"nK_1", BremsFault::kSinglePhotonEnergy, 5, 5},
      {"k_above_E", BremsFault::kPhotonAboveElectronEnergy, 26, 26},
      {"k_at_lower_bound", BremsFault::kPhotonAtLowerBound, 9, 9},
      {"NaN_k", BremsFault::kNaNPhotonEnergy, 10, 10},
      {"nMu_1", BremsFault::kSingleAngularPoint, 26, 26},
      {"nMu_257", BremsFault::kTooManyAngularPoints, 92, 92},
      {"nMu_negative", BremsFault::kNegativeAngularCount, 100, 100},
      {"mu_below_minus_one", BremsFault::kMuBelowMinusOne, 11, 11},
      {"mu_above_one", BremsFault::kMuAboveOne, 92, 92},
      {"equal_mu", BremsFault::kEqualMu, 12, 12},
      {"NaN_mu", BremsFault::kNaNMu, 13, 13},
      {"negative_p", BremsFault::kNegativeDensity, 100, 100},
      {"NaN_p", BremsFault::kNaNDensity, 14, 14},
      {"cut_in_last_value", BremsFault::kCutInValue, 100, 100},
      {"cut_after_record", BremsFault::kCutAfterRecord, 41, 42},
  };
  for (const FAULTCASE& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    BREMS_ANGULAR_FIXTURE fixture = ValidFixture();
    ApplyBremsFault(&fixture, testCase.fault, testCase.z);
    SCRATCH scratch = PrepareRun(std::string("fault_") + testCase.name, fixture);
    PutOlderTable(scratch, testCase.tableInProgress);

    TOOLRUN run = RunSarvetto(scratch);

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, kInvalidFileMessage);
    EXPECT_EQ(run.errors, "");
    const std::string inProgress = BremsTableFileName(testCase.tableInProgress);
    ExpectCompleteTables(scratch, fixture, testCase.tableInProgress - 1, {inProgress});
    EXPECT_EQ(ReadWholeFile(scratch.tables() + inProgress), kOlderTable);
  }
}

TEST(SarvettoRun, TableFolderThatCannotBeCreatedIsReported) {
  SCRATCH scratch = PrepareRun("folder_blocked", ValidFixture());
  // A plain file where the table folder should be.
  ASSERT_TRUE(WriteTextFile(scratch.work + "Brems_angular_prob_dens", "not a folder\n"));

  TOOLRUN run = RunSarvetto(scratch);

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(
      run.output,
      "\nFile Brems_angular_prob_dens/001-H_brems_angular_prob_dens.txt could not be opened for writing.\n");
}

// A table that cannot be written in full is reported and leaves neither a
// partial table nor its temporary file behind.
TEST(SarvettoRun, TableThatCannotBeWrittenIsNotLeftHalfWritten) {
  {
    SCOPED_TRACE("file size limit");
    // Hydrogen's table needs more than the 512 bytes the limit allows.
    BREMS_ANGULAR_FIXTURE fixture = MakeBremsAngularFixture({1}, 3, 3, 10);
    SCRATCH scratch = PrepareRun("write_limit", fixture);

    TOOLRUN run = RunSarvetto(scratch, "", "trap '' XFSZ; ulimit -f 1;");

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output,
              "\nFile Brems_angular_prob_dens/001-H_brems_angular_prob_dens.txt could not be written.\n");
    ExpectCompleteTables(scratch, fixture, 0);
  }
  {
    SCOPED_TRACE("final name taken by a folder");
    BREMS_ANGULAR_FIXTURE fixture = ValidFixture();
    SCRATCH scratch = PrepareRun("name_taken", fixture);
    const std::string blocked = BremsTableFileName(3);
    std::filesystem::create_directories(scratch.tables() + blocked + "/inner");

    TOOLRUN run = RunSarvetto(scratch);

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output,
              "\nFile Brems_angular_prob_dens/003-Li_brems_angular_prob_dens.txt could not be written.\n");
    ExpectCompleteTables(scratch, fixture, 2, {blocked});
  }
}

// The simulator reads the binary file by its offset table, so the fixture's
// table must point at each record: nE and the first E must be found there.
TEST(BremsFixture, OffsetTablePointsAtEveryRecord) {
  BREMS_ANGULAR_FIXTURE fixture = ValidFixture();
  fixture.trailingBytes = "tail";
  const std::string bytes = BremsAngularFileBytes(fixture);
  ASSERT_EQ(bytes.size(), BremsRecordEnd(fixture, kBremsFixtureElements) + 4);
  for (int z = 1; z <= kBremsFixtureElements; ++z) {
    int32_t offset, nE;
    double firstEnergy;
    std::memcpy(&offset, bytes.data() + 4 * (z - 1), 4);
    ASSERT_LE(static_cast<size_t>(offset) + 12, bytes.size()) << z;
    std::memcpy(&nE, bytes.data() + offset, 4);
    std::memcpy(&firstEnergy, bytes.data() + offset + 4, 8);
    EXPECT_EQ(static_cast<size_t>(offset), z == 1 ? 400 : BremsRecordEnd(fixture, z - 1)) << z;
    EXPECT_EQ(nE, fixture.elements[z - 1].nE) << z;
    EXPECT_EQ(firstEnergy, fixture.elements[z - 1].electronBlocks[0].E) << z;
  }
}

// The synthetic angular density is normalised over -1 <= mu <= 1.
TEST(BremsFixture, DensityIsNormalised) {
  for (double energy : {0.0, 1e4, 1e6, 1e7}) {
    const int intervals = 200000;
    double sum = 0.0;
    for (int i = 0; i < intervals; ++i) {
      double mu = -1.0 + 2.0 * (i + 0.5) / intervals;
      sum += BremsFixtureDensity(energy, mu) * 2.0 / intervals;
    }
    EXPECT_NEAR(sum, 1.0, 1e-3) << energy;
  }
}

}  // namespace
