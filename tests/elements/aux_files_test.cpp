// Raw readers, the opening checks of the auxiliary binary files and the
// alternative cross-sections information file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/data/aux_files.h"
#include "driver/data/raw_readers.h"
#include "tests/support/aux_fixture.h"
#include "tests/support/brems_fixture.h"
#include "tests/support/test_paths.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

FILE* OpenBytes(const std::string& bytes) {
  const std::string path = MakeScratchFolder("raw") + "bytes.bin";
  EXPECT_TRUE(WriteTextFile(path, bytes));
  return std::fopen(path.c_str(), "rb");
}

TEST(RawReaders, ReadWholeValuesAndReportValuesCutShort) {
  std::string bytes;
  const double d = -1.25e-7;
  const int32_t i = -123456;
  const int16_t s = 999;
  bytes.append(reinterpret_cast<const char*>(&d), 8);
  bytes.append(reinterpret_cast<const char*>(&i), 4);
  bytes.append(reinterpret_cast<const char*>(&s), 2);
  bytes += "abc";  // three bytes: too few for an int32
  FILE* file = OpenBytes(bytes);
  double dv = 0;
  int32_t iv = 0;
  int16_t sv = 0;
  EXPECT_EQ(ReadDouble(file, &dv), 1);
  EXPECT_EQ(ReadInt(file, &iv), 1);
  EXPECT_EQ(ReadShort(file, &sv), 1);
  EXPECT_EQ(dv, d);
  EXPECT_EQ(iv, i);
  EXPECT_EQ(sv, s);
  EXPECT_EQ(ReadInt(file, &iv), 0);
  EXPECT_EQ(ReadShort(file, &sv), 0);
  std::fclose(file);
}

TEST(RawReaders, NonBlankLinesSkipBlanksAndKeepTheLastLineWithoutEnd) {
  const std::string longLine(150, 'x');
  FILE* file = OpenBytes(" \t\n\n\r\nfirst line\r\n   \n\t second\n" + longLine + "\nlast");
  char buffer[kNonBlankLineBuffer];
  std::vector<std::string> lines;
  while (ReadNonBlankLine(file, buffer)) lines.push_back(buffer);
  std::fclose(file);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "first line");
  EXPECT_EQ(lines[1], "\t second");
  EXPECT_EQ(lines[2], std::string(99, 'x'));  // a long line comes in pieces
  EXPECT_EQ(lines[3], std::string(51, 'x'));
  EXPECT_EQ(lines[4], "last");
}

// ---- Opening the binary files.

struct AUXFOLDER {
  std::string folder = MakeScratchFolder("auxfiles");
  ELEMENTLOADOPTIONS options;
  AUXFOLDER() {
    options.dataFolder = folder;
    options.bremsAngularDistr = options.bremsBinaryData = options.ionDwba = options.elasticDpw = 1;
  }
  void Write(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteTextFile(folder + name, bytes));
  }
  void WriteAllValid() {
    ASSERT_TRUE(WriteBremsAngularFile(folder + "Brems_angular_prob_dens.dat",
                                      MakeBremsAngularFixture({}, 2, 2, 2)));
    Write("IonDWBA.dat", IonDwbaFileBytes({}));
    Write("ElasticDPW_totalCS.dat", DpwTotalFileBytes({}));
    Write("ElasticDPW_angularDistr.dat", DpwAngularFileBytes({-1.0, 0.0, 1.0}, {}));
  }
  // Opens, closes, and returns the console output.
  std::string Open(int* code) {
    AUXDATAFILES files;
    testing::internal::CaptureStdout();
    *code = OpenAuxiliaryDataFiles(options, &files);
    CloseAuxiliaryDataFiles(&files);
    return testing::internal::GetCapturedStdout();
  }
};

void SetInt32(std::string* bytes, size_t at, int32_t value) { std::memcpy(&(*bytes)[at], &value, 4); }

TEST(AuxiliaryFiles, ValidFilesOpenAndKeepTheirTables) {
  AUXFOLDER f;
  f.WriteAllValid();
  AUXDATAFILES files;
  ASSERT_EQ(OpenAuxiliaryDataFiles(f.options, &files), 0);
  EXPECT_EQ(files.bremsOffsets[0], 400);
  EXPECT_EQ(files.dwbaOffsets[0], 396);
  EXPECT_EQ(files.dpwTotalOffsets[0], 400);
  EXPECT_EQ(files.dpwAngularOffsets[0], 8 * 3 + 402);
  EXPECT_EQ(files.dpwCosines, (std::vector<double>{-1.0, 0.0, 1.0}));
  CloseAuxiliaryDataFiles(&files);
  // Switched-off models need no file.
  AUXFOLDER empty;
  empty.options.bremsBinaryData = empty.options.ionDwba = empty.options.elasticDpw = 0;
  int code = -1;
  EXPECT_EQ(empty.Open(&code), "");
  EXPECT_EQ(code, 0);
}

TEST(AuxiliaryFiles, EachMissingFileIsNamed) {
  for (const char* missing : {"Brems_angular_prob_dens.dat", "IonDWBA.dat", "ElasticDPW_totalCS.dat",
                              "ElasticDPW_angularDistr.dat"}) {
    AUXFOLDER f;
    f.WriteAllValid();
    std::remove((f.folder + missing).c_str());
    int code = 0;
    EXPECT_EQ(f.Open(&code), "File " + f.folder + missing + " could not be opened for reading.\n");
    EXPECT_EQ(code, 1);
  }
}

TEST(AuxiliaryFiles, BrokenHeadersAreErrorsInTheirFile) {
  struct CASE {
    const char* file;
    std::string (*make)();
    bool expectError;
  };
  auto cosines = [](int n) {
    std::vector<double> c(n > 0 ? n : 0);
    for (int i = 0; i < n; ++i) c[i] = -1.0 + 2.0 * i / (n - 1);
    return c;
  };
  const std::string dpwOk = DpwAngularFileBytes(cosines(3), {});
  std::string dwbaAt395 = IonDwbaFileBytes({}), dwbaAt396 = dwbaAt395;
  SetInt32(&dwbaAt395, 0, 395);
  std::string dwbaEqual = IonDwbaFileBytes({});
  SetInt32(&dwbaEqual, 4, 396);
  std::string totalAt399 = DpwTotalFileBytes({});
  SetInt32(&totalAt399, 0, 399);
  std::string angularAtHeader = dpwOk;  // first offset 8n + 401
  SetInt32(&angularAtHeader, 2 + 8 * 3, 8 * 3 + 401);
  std::string angularN1 = dpwOk;
  const int16_t one = 1, big = 1001;
  std::memcpy(&angularN1[0], &one, 2);
  std::string angularN1001 = dpwOk;
  std::memcpy(&angularN1001[0], &big, 2);
  std::string bremsAt399;
  {
    BREMS_ANGULAR_FIXTURE fixture = MakeBremsAngularFixture({}, 2, 2, 2);
    ApplyBremsFault(&fixture, BremsFault::kFirstOffsetAtTableEnd, 1);
    bremsAt399 = BremsAngularFileBytes(fixture);
  }
  const std::pair<std::string, std::string> cases[] = {
      {"IonDWBA.dat", dwbaAt395},          {"IonDWBA.dat", dwbaEqual},
      {"IonDWBA.dat", dwbaAt396.substr(0, 200)},
      {"ElasticDPW_totalCS.dat", totalAt399},
      {"ElasticDPW_angularDistr.dat", angularAtHeader},
      {"ElasticDPW_angularDistr.dat", angularN1},
      {"ElasticDPW_angularDistr.dat", angularN1001},
      {"ElasticDPW_angularDistr.dat", dpwOk.substr(0, 20)},
      {"Brems_angular_prob_dens.dat", bremsAt399},
  };
  for (const auto& [name, bytes] : cases) {
    AUXFOLDER f;
    f.WriteAllValid();
    f.Write(name, bytes);
    int code = 0;
    EXPECT_EQ(f.Open(&code), "Error in file " + f.folder + name + ".\n") << name;
    EXPECT_EQ(code, 1);
  }
  // The smallest valid first offsets are accepted.
  AUXFOLDER f;
  f.WriteAllValid();
  int code = -1;
  EXPECT_EQ(f.Open(&code), "");
  EXPECT_EQ(code, 0);
}

// ---- The information file.

struct ALTRUN {
  int code = -1;
  std::string console, echo;
  ALTCSINFO info;
};

// Reads the text as the information file of a problem of iron and copper.
ALTRUN ReadAlt(const std::string& text, std::vector<int> zs = {26, 29}) {
  const std::string folder = MakeScratchFolder("alt");
  EXPECT_TRUE(WriteTextFile(folder + "alt.txt", text));
  FILE* alt = std::fopen((folder + "alt.txt").c_str(), "r");
  FILE* out = std::fopen((folder + "out.txt").c_str(), "w");
  ALTRUN run;
  testing::internal::CaptureStdout();
  run.code = ReadAltCrossSectionsInfo(alt, "alt.txt", zs.data(), static_cast<int>(zs.size()), out,
                                      &run.info);
  run.console = testing::internal::GetCapturedStdout();
  std::fclose(out);
  run.echo = ReadAll(folder + "out.txt");
  return run;
}

const std::string kHead = "\nAlternative cross sections info file:\n" + std::string(88, '-') + "\n";
const std::string kFoot = "\n" + std::string(89, '-') + "\n";

TEST(AltInfoFile, BlankLinesAreEchoedAndChangeNothing) {
  const ALTRUN run = ReadAlt("\n   \n\t\n");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.echo, kHead + "\n   \n\t\n" + kFoot);
  ASSERT_EQ(run.info.elements.size(), 2u);
  EXPECT_FALSE(run.info.elements[0].excFileGiven);
  EXPECT_EQ(run.info.elements[0].excInterpRule, 5);
  EXPECT_TRUE(run.info.additionalEnergies.empty());
}

TEST(AltInfoFile, SettingsReachTheirElement) {
  const ALTRUN run = ReadAlt(
      "exc_fn 26 my exc file.txt \n"
      "EXC_FN 47 other.txt\n"  // silver is not in the problem
      "ION_FN 29 ion.txt\n"
      "ION_FN 29 ion2.txt\n"  // the last line wins
      "EXC_INTERP_END 26 5e4\n"
      "ION_INTERP_RULE 29 3\n"
      "EXC_INTERP_COEFS 26 1 2 3 4 5\n"
      "0\n"
      "12.5\n"
      "last line without end");
  ASSERT_EQ(run.code, 1);  // "last" is no number
  const ALTCSSETTINGS& fe = run.info.elements[0];
  const ALTCSSETTINGS& cu = run.info.elements[1];
  EXPECT_TRUE(fe.excFileGiven);
  EXPECT_EQ(fe.excFileName, "my exc file.txt");
  EXPECT_EQ(cu.ionFileName, "ion2.txt");
  EXPECT_EQ(fe.excInterpEnd, 5e4);
  EXPECT_EQ(cu.ionInterpRule, 3);
  EXPECT_TRUE(fe.excCoefsGiven);
  EXPECT_EQ(fe.excInterpCoefs[3], 4.0);
  EXPECT_EQ(run.info.additionalEnergies, (std::vector<double>{0.0, 12.5}));
  EXPECT_EQ(run.console,
            "Error in the alternative cross sections info file \"alt.txt\": Invalid number "
            "\"last\".\n");
}

TEST(AltInfoFile, EveryMessage) {
  const std::pair<std::string, std::string> cases[] = {
      {"EXC_FN", "Error: Atomic number is missing in specification of the alternative excitation "
                 "cross section file name.\n"},
      {"ION_FN 0 x", "Error: Illegal atomic number number \"0\" in specification of the alternative "
                     "ionization cross section file name.\n"},
      {"EXC_FN 101 x", "Error: Illegal atomic number \"101\" in specification of the alternative "
                       "excitation cross section file name.\n"},
      {"EXC_FN 26  \t ", "Error: Alternative excitation cross-section file name for Fe (Z = 26) is "
                         "missing.\n"},
      {"ION_FN 29", "Error: Alternative ionization cross-section file name for Cu (Z = 29) is "
                    "missing.\n"},
      {"ION_INTERP_END", "Error: Atomic number is missing in specification of the ionization cross "
                         "section interpolation range endpoint.\n"},
      {"EXC_INTERP_END 26", "Error: Endpoint energy value of the excitation cross section "
                            "interpolation range for Fe (Z = 26) is missing.\n"},
      {"ION_INTERP_END -3 1", "Error: Illegal atomic number \"-3\" in specification of the "
                              "ionization cross section interpolation range endpoint.\n"},
      {"EXC_INTERP_RULE 200 1", "Error: Illegal atomic number \"200\" in specification of the "
                                "excitation cross section interpolation rule.\n"},
      {"ION_INTERP_RULE 29", "Error: Ionization cross section interpolation rule specifier for Cu "
                             "(Z = 29) is missing.\n"},
      {"EXC_INTERP_COEFS", "Error: Atomic number is missing in specification of the excitation "
                           "cross section interpolation coefficients.\n"},
      {"ION_INTERP_COEFS 26 1 2 3", "Error: Number of interpolation coefficients for ionization "
                                    "cross section of Fe (Z = 26) is less than 4.\n"},
      {"EXC_INTERP_COEFS 29 1 2x 3 4", "Error: Invalid interpolation coefficient \"2x\" for "
                                       "excitation cross section of Cu (Z = 29).\n"},
      {"-1", "Error in the alternative cross sections info file \"alt.txt\": Invalid number "
             "\"-1\".\n"},
      {"1e", "Error in the alternative cross sections info file \"alt.txt\": Invalid number "
             "\"1e\".\n"},
  };
  for (const auto& [line, message] : cases) {
    const ALTRUN run = ReadAlt(line + "\n");
    EXPECT_EQ(run.code, 1) << line;
    EXPECT_EQ(run.console, message) << line;
  }
}

TEST(AltInfoFile, LinesWithNulBytesAreNoNumbers) {
  // A line that starts with a NUL byte once read past the string's start.
  for (const std::string& text : {std::string("\0\n", 2), std::string("12\0junk\n", 8), std::string("\0", 1)}) {
    const ALTRUN run = ReadAlt(text);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.console.find("Invalid number"), std::string::npos) << run.console;
    EXPECT_TRUE(run.info.additionalEnergies.empty());
  }
}

TEST(AltInfoFile, AtMostOneThousandAdditionalEnergies) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += std::to_string(i) + "\n";
  ALTRUN run = ReadAlt(text);
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.info.additionalEnergies.size(), 1000u);
  run = ReadAlt(text + "5\n");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.console, "Error in the alternative cross sections info file \"alt.txt\": Number of "
                         "additional energy values exceeds 1000.\n");
}

TEST(AltInfoFile, NoFileGivesTheDefaults) {
  const int zs[] = {1, 2, 3};
  ALTCSINFO info;
  info.additionalEnergies = {1.0};
  EXPECT_EQ(ReadAltCrossSectionsInfo(nullptr, "", zs, 3, nullptr, &info), 0);
  EXPECT_EQ(info.elements.size(), 3u);
  EXPECT_TRUE(info.additionalEnergies.empty());
  EXPECT_EQ(info.elements[2].ionInterpRule, 5);
}

}  // namespace
