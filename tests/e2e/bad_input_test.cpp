// Malformed inputs given to the built Trenqual: every one ends with exit code
// 1, the directive's own message naming the bad value and, for a fault in a
// line, "Error in line <n> of input file ..." with the line; the output file
// ends with that line and no result folder is made. No input hangs the
// program (each run is limited to 30 s).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

struct BADINPUT {
  const char* name;
  std::string input;
  std::string message;  // the directive's message (a prefix of it for 10 MB values)
  int line;             // the line named by the location message; 0: none
};

// A literal with its NUL bytes kept.
template <size_t N>
std::string Bytes(const char (&bytes)[N]) {
  return std::string(bytes, N - 1);
}

const std::string kLayer = "MAT 13 1\nCONC -2.699\nTHICK 0.2\nPART E\n";
const std::string kTenMegabytes(10u << 20, '9');

std::vector<BADINPUT> Cases() {
  return {
      // Truncated lines and files that end in the middle of a directive.
      {"truncated range", kLayer + "N 10\nE 0 7",
       "Error: Number of entries in specification of the energy range \"E\" is less than 3.\n", 6},
      {"truncated keyword", "MAT 13 1\nTHI", "Error: Invalid number or input directive \"THI\".\n", 2},
      {"truncated surface", "Surface 0 0 1 0 0\n",
       "Error: Number of entries in specification of the front surface of the layer is less than 6.\n", 1},
      {"value missing at the end", "MAT 13 1\nTHICK", "Error: Thickness value is missing.\n", 2},
      {"continued past the end", "MAT 13 1\nTHICK &", "Error: Thickness value is missing.\n", 2},
      {"continued surface past the end", "Surface 0 0 1 &\n",
       "Error: Number of entries in specification of the front surface of the layer is less than 6.\n", 1},
      {"unterminated quote", "MAT \"lead 82 1\n", "Error: Missing closing quote in the name of the material.\n", 1},
      // Binary junk.
      {"junk bytes", "MAT 13 1\n\x01\x02\xff\xfe\x80\n",
       "Error: Invalid number or input directive \"\x01\x02\xff\xfe\x80\".\n", 2},
      {"NUL byte", Bytes("MAT 13 1\nTHICK 0.2\0junk\n"),
       "Error: Line No. 2 of the input file holds a NUL character (the file is not a text file).\n", 2},
      // Huge numbers.
      {"huge count", "N 99999999999999999999999\n", "Error: Invalid number of particles \"99999999999999999999999\".\n",
       1},
      {"count beyond double", "N 1e400\n", "Error: Invalid number of particles \"1e400\".\n", 1},
      {"huge atomic number", "MAT 1e999 1\n", "Error: Illegal atomic number \"1e999\".\n", 1},
      {"huge thickness", "THICK 1e999\n",
       "Error: Invalid thickness value \"1e999\" (should be a non-negative number).\n", 1},
      {"fractional count", "N 2.5\n", "Error: Invalid number of particles \"2.5\".\n", 1},
      {"negative thickness", "MAT 13 1\nTHICK -0.2\n",
       "Error: Invalid thickness value \"-0.2\" (should be a non-negative number).\n", 2},
      // NaN and infinity spelled every way.
      {"nan", "THICK nan\n", "Error: Invalid thickness value \"nan\" (should be a non-negative number).\n", 1},
      {"NAN", "THICK NAN\n", "Error: Invalid thickness value \"NAN\" (should be a non-negative number).\n", 1},
      {"-nan", "THICK -nan\n", "Error: Invalid thickness value \"-nan\" (should be a non-negative number).\n", 1},
      {"nan(payload)", "THICK nan(0x7ff)\n",
       "Error: Invalid thickness value \"nan(0x7ff)\" (should be a non-negative number).\n", 1},
      {"inf", "N inf\n", "Error: Invalid number of particles \"inf\".\n", 1},
      {"+INF", "N +INF\n", "Error: Invalid number of particles \"+INF\".\n", 1},
      {"-Infinity", "N -Infinity\n", "Error: Invalid number of particles \"-Infinity\".\n", 1},
      {"infinity cutoff", "CUT_E infinity\n",
       "Error: Illegal value \"infinity\" of the electron low-energy cutoff (it must be a positive number).\n", 1},
      {"NaN fraction", "MAT 13 NaN\n", "Error: Illegal element fraction \"NaN\".\n", 1},
      {"nan bin count", "E 0 700 nan\n", "Error: Invalid number \"nan\" in specification of the energy range \"E\".\n",
       1},
      {"NaN concentration", "MAT 13 1\nCONC -NaN\n", "Error: Invalid concentration value \"-NaN\".\n", 2},
      {"inf spectrum weight", kLayer + "N 10\n5e5 1e6 &\n0 INF\n",
       "Error: Invalid number or input directive \"INF\".\n", 7},
      // 10 MB lines.
      {"10 MB number", "MAT 13 1\nTHICK " + kTenMegabytes + "\n", "Error: Invalid thickness value \"9999", 2},
      {"10 MB word", kLayer + kTenMegabytes + "x\n", "Error: Invalid number or input directive \"9999", 5},
      // A keyword used twice.
      {"keyword twice", "N 5\nN 6\n", "Error: Keyword \"N\" is used more than once in the input file.\n", 2},
  };
}

// The line that locates the fault, as the console and the output file show it.
std::string LocationLine(const std::string& folder, const BADINPUT& c) {
  std::string text;
  size_t start = 0;
  for (int n = 1; n < c.line; ++n) start = c.input.find('\n', start) + 1;
  const size_t end = c.input.find('\n', start);
  const std::string line = c.input.substr(start, end == std::string::npos ? std::string::npos : end - start);
  for (size_t i = 0; i < line.size() && i < 120; ++i) {
    const unsigned char ch = static_cast<unsigned char>(line[i]);
    text += ch == '\t' || (ch >= 0x20 && ch < 0x7f) ? static_cast<char>(ch) : '?';
  }
  if (line.size() > 120) text += "...";
  return "Error in line " + std::to_string(c.line) + " of input file \"" + folder + "input.txt\": " + text + "\n";
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TEST(EndToEndBadInput, EveryMalformedInputEndsWithItsMessageAndExitCodeOne) {
  const std::vector<BADINPUT> cases = Cases();
  ASSERT_GE(cases.size(), 20u);
  const std::string folder = MakeScratchFolder("e2e-bad-input");
  const std::string program = InstallProgram(folder);
  for (const BADINPUT& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string run = folder + "run/";
    fs::remove_all(run);
    fs::create_directories(run);
    WriteTextFile(run + "input.txt", c.input);
    // 30 s at most: a hang fails.
    const std::string command = "cd " + Quoted(run) + " && timeout 30 " + Quoted(program) + " in " +
                                Quoted(run + "input.txt") + " dir " +
                                Quoted(fs::absolute(EndfFolder()).string() + "/") + " > console.txt 2>&1 < /dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string console = ReadText(run + "console.txt");
    EXPECT_NE(console.find(c.message), std::string::npos) << console.substr(0, 400);
    const std::string output = ReadText(run + "input_out.txt");
    if (c.line > 0) {
      const std::string location = LocationLine(run, c);
      EXPECT_NE(console.find(location), std::string::npos) << console.substr(0, 400);
      // The output file, when the second pass made it, ends with the location.
      if (!output.empty()) {
        EXPECT_EQ(output.substr(output.size() - std::min(output.size(), location.size())), location);
      }
    }
    EXPECT_FALSE(fs::exists(run + "Files_input_out.txt"));
  }
}

}  // namespace
