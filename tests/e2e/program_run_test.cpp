// Runs of the built Trenqual with programs of the embedded language: the
// example whose program writes the source spectrum and N from @0, a spectrum
// computed with integrals and a root, the diagnostics of a syntax warning, a
// syntax error and a runtime error (golden files), Esc then Q typed on the
// program's terminal, and the execution-time warning.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

// The lines of text between the two frame lines of the directives that a
// program wrote into the echo.
std::string EchoedDirectives(const std::string& output, const std::string& program) {
  const std::string open = "******** Directives written by user program \"" + program + "\": ********\n";
  const std::string close = "******** End of the directives written by user program \"" + program + "\". ********\n";
  size_t begin = output.find(open);
  size_t end = output.find(close);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "";
  begin += open.size();
  return output.substr(begin, end - begin);
}

// The numbers of the line that begins with `head` (blanks before it skipped).
std::vector<double> NumbersOfLine(const std::string& text, const std::string& head) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, head.size(), head) != 0) continue;
    std::istringstream words(line.substr(start + head.size()));
    std::vector<double> numbers;
    double x;
    while (words >> x) numbers.push_back(x);
    return numbers;
  }
  return {};
}

}  // namespace

// The example: its program writes N = 1000 @0 and 71 spectrum lines (Kramers'
// law for a 150 kV tube); the run takes both. The mean source energy is the
// law's, (E0 (E0 - 10) - (E0^2 - 100) / 2) / (E0 ln(E0 / 10) - (E0 - 10))
// keV, within the statistical error of 2000 photons.
TEST(ProgramRun, TheExampleWritesItsSpectrumAndNumberOfHistories) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder("e2e-program-spectrum"));
  const PROGRAMRUN run =
      RunProgramOn(program, std::string(EXAMPLES_DIR) + "xray_tube_program.txt", "xray_tube_program.txt",
                   {"in", "xray_tube_program.txt", "dir", EndfFolder(), "tasks", "2", "@0", "2"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const std::string output = ReadText(run.folder + "xray_tube_program_out.txt");
  const std::string directives = EchoedDirectives(output, "tube");
  ASSERT_EQ(directives.rfind("N 2000\n10 0\n12 25.348233519093\n14 21.122601974089\n", 0), 0u) << directives;
  EXPECT_NE(directives.find("\n148 0.040847808366802\n150 0.013453049821115\n"), std::string::npos) << directives;
  EXPECT_EQ(std::count(directives.begin(), directives.end(), '\n'), 72);

  EXPECT_NE(output.find("number of source particles = 2000,"), std::string::npos) << output;
  const std::vector<double> source = NumbersOfLine(output, "source ");
  ASSERT_GE(source.size(), 3u) << output;
  const double e0 = 150;
  const double mean = (e0 * (e0 - 10) - (e0 * e0 - 100) / 2) / (e0 * std::log(e0 / 10) - (e0 - 10));
  const double sigma = 30.0 / std::sqrt(2000.0);  // the spread of the law is below 30 keV
  EXPECT_NEAR(source[2], mean, 4 * sigma) << "mean source energy, keV";
  // The tally behind the filter exists.
  EXPECT_NE(ReadText(run.folder + "Files_xray_tube_program_out.txt/PTALLY1_E.txt"), "");
}

// A program that computes its source spectrum with the numerical built-ins:
// the density exp(-E/T), T = 50 keV, from 10 keV to the energy eMax above
// which a fraction 0.001 of it lies (a Root of an Inti), 20 bins whose
// weights are Ints of the density. eMax is 10 + T ln 1000 keV, the weight of
// (e1, e2] T (exp(-e1/T) - exp(-e2/T)); the run samples that spectrum (its
// mean source energy, uniform within each bin, within 4 standard errors).
TEST(ProgramRun, ASpectrumFromIntegralsAndARoot) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder("e2e-program-integrals"));
  const PROGRAMRUN run = RunProgram(program, "program_integral_energies.txt",
                                    {"in", "program_integral_energies.txt", "dir", EndfFolder(), "tasks", "2"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const std::string output = ReadText(run.folder + "program_integral_energies_out.txt");
  std::istringstream lines(EchoedDirectives(output, "source"));
  const double t = 50, eMin = 10, eMax = eMin + t * std::log(1000.0);
  std::vector<double> energies, weights;
  double e = 0, w = 0;
  while (lines >> e >> w) {
    energies.push_back(e);
    weights.push_back(w);
  }
  ASSERT_EQ(energies.size(), 21u) << output;
  EXPECT_EQ(energies[0], eMin);
  EXPECT_EQ(weights[0], 0);
  EXPECT_NEAR(energies[20], eMax, 1e-8);
  double sum = 0, moment = 0, square = 0;
  for (size_t i = 1; i < energies.size(); ++i) {
    const double e1 = energies[i - 1], e2 = energies[i];
    EXPECT_NEAR(e2 - e1, (eMax - eMin) / 20, 1e-8) << i;
    const double exact = t * (std::exp(-e1 / t) - std::exp(-e2 / t));
    EXPECT_NEAR(weights[i], exact, 1e-10 * exact) << "bin " << i;
    sum += exact;
    moment += exact * (e1 + e2) / 2;
    square += exact * (e1 * e1 + e1 * e2 + e2 * e2) / 3;
  }
  const double mean = moment / sum;
  const double sigma = std::sqrt(square / sum - mean * mean) / std::sqrt(2000.0);
  EXPECT_NE(output.find("number of source particles = 2000,"), std::string::npos) << output;
  const std::vector<double> source = NumbersOfLine(output, "source ");
  ASSERT_GE(source.size(), 3u) << output;
  EXPECT_NEAR(source[2], mean, 4 * sigma) << "mean source energy, keV";
}

// Diagnostics of program blocks, on the console and in the echo: a syntax
// warning lets the run go on, a syntax error and a runtime error stop it.
TEST(ProgramRun, DiagnosticsMatchTheGoldenFiles) {
  struct Case {
    const char* input;
    std::vector<std::string> args;
    int exitCode;
    const char* golden;
  } cases[] = {
      {"program_warning.txt", {"@0", "40", "check", "0"}, 0, "program_warning"},
      {"program_syntax_error.txt", {"check", "0"}, 1, "program_syntax_error"},
      {"program_runtime_error.txt", {"check", "0"}, 1, "program_runtime_error"},
  };
  const std::string program = InstallProgram(MakeScratchFolder("e2e-program-diagnostics"));
  for (const Case& c : cases) {
    std::vector<std::string> args = {"in", c.input};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const PROGRAMRUN run = RunProgram(program, c.input, args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.input << "\n" << run.console;
    EXPECT_EQ(CompareWithGolden(run.console, std::string(c.golden) + "_console.txt"), "") << c.input;
    std::string outputName = std::string(c.input);
    outputName.insert(outputName.size() - 4, "_out");
    EXPECT_EQ(CompareWithGolden(MaskProgramPath(ReadText(run.folder + outputName)), std::string(c.golden) + "_out.txt"),
              "")
        << c.input;
  }
}

// Esc, then Q, typed on the terminal of a program that never ends: the
// program stops where it was, the run ends with its diagnostic, exit code 1.
TEST(ProgramRun, EscThenQInterruptsAProgramThatNeverEnds) {
  const std::string program = InstallProgram(MakeScratchFolder("e2e-program-spin"));
  const PROGRAMRUN run = RunProgramOnTerminal(
      program, "program_spin.txt", {"in", "program_spin.txt", "check", "0"},
      {{"Execution time of the user program exceeds 2 seconds.", "\x1b"}, {"The escape key has been pressed.", "q"}},
      60);
  EXPECT_EQ(run.exitCode, 1) << run.console;
  EXPECT_EQ(run.console,
            "\nExecution time of the user program exceeds 2 seconds. Press the escape key and then 'Q' to attempt to "
            "interrupt execution of the user program.\n"
            "\nThe escape key has been pressed. Press Q to attempt to interrupt execution of the user program, or any "
            "other key except 'Esc' to cancel the escape key.\n"
            "\nThe 'Esc' and 'Q' keys have been pressed. Interrupting execution of the user program.\n"
            "\n******** Execution of the program was interrupted by the user, or an unspecified runtime error "
            "occurred. ********\n"
            "Line No. 3 of user program \"spin\", where the runtime error occurred:\n"
            "  while (1) x = x + 1\n\n");
}

// A program busy for 2.5 s (by the language's monotonic clock) gets the
// reader's warning once, after 2 s, and then writes its directive.
TEST(ProgramRun, TheTimeWarningFiresFromTheMonotonicClock) {
  const std::string program = InstallProgram(MakeScratchFolder("e2e-program-slow"));
  const PROGRAMRUN run = RunProgram(program, "program_slow.txt", {"in", "program_slow.txt", "check", "0"});
  EXPECT_EQ(run.exitCode, 0) << run.console;
  EXPECT_EQ(run.console,
            "\nExecution time of the user program exceeds 2 seconds. Press the escape key and then 'Q' to attempt to "
            "interrupt execution of the user program.\n");
  EXPECT_EQ(EchoedDirectives(ReadText(run.folder + "program_slow_out.txt"), "slow"), "N 7\n");
}
