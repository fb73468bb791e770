// The hand-shake between a running user program and the input reader, and the
// replay of its lines in the second pass. The program thread here is a test
// double that writes scripted directive lines through the language's output
// routine; it is not the embedded language.
#include "driver/input/program_blocks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/programinfo.h"
#include "driver/input/options.h"
#include "language/compiler.h"
#include "platform/keys.h"
#include "platform/threads.h"
#include "tests/driver/input_test_support.h"
#include "tests/support/test_paths.h"

namespace {

// What the scripted program writes in directive mode.
std::vector<std::string> script;
std::atomic<bool> loopUntilInterrupted{false};
std::atomic<int> delayBeforeWritingMs{0};
double compiledTimeLimit = 2.0;

void CompileAccepted(const char*, int, PROGRAMINFO* info, CProgramCode* code, int) {
  info->diagnosticKind = kDiagnosticPlain;
  for (int line : {1, 2, 3}) code->AppendInstruction(0, 0, line, 0, nullptr, nullptr);
  code->timeLimit = compiledTimeLimit;
}

int ArraysAccepted(const char*, char*) { return -1; }

void ScriptedProgram(void*) {
  if (delayBeforeWritingMs > 0) SleepMilliseconds(delayBeforeWritingMs);
  for (const std::string& piece : script) language::compiler->WriteDirectiveOutput(piece.c_str(), 1);
  RUNCONTROL& run = *language::compiler->runControl;
  // The reader takes the last of the waiting keys: Q is typed once Esc was seen.
  bool typedQ = false;
  while (loopUntilInterrupted && !run.interruptRequest.load()) {
    if (!typedQ && language::compiler->escPressed.load()) {
      InjectKeys("q");
      typedQ = true;
    }
    YieldThread();
  }
  if (loopUntilInterrupted) run.code->interruptedAt = 0;  // stopped mid-run
  run.running.store(0, std::memory_order_release);
}

}  // namespace

class ProgramBlocks : public testing::Test {
 protected:
  static INPUTRUN Run(const std::string& input, std::vector<std::string> lines,
                      const std::vector<std::string>& args = {}) {
    script = std::move(lines);
    testHooks = [] {
      input::languageServices.compileProgram = CompileAccepted;
      input::languageServices.parseArrays = ArraysAccepted;
      input::languageServices.programThread = ScriptedProgram;
    };
    INPUTRUN run = RunInput(input, args);
    testHooks = nullptr;
    return run;
  }
};

TEST_F(ProgramBlocks, GeneratedLinesAreTakenStoredAndReplayed) {
  INPUTRUN run = Run("PROGRAM gen\n  Dir(\"TASKS 4\")\n  Dir(\"SEED 7\")\nEND PROGRAM\nN 10\n",
                     {"TASKS 4\n", "SE", "ED 7"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(input::runOptions.nThreads, 4);
  EXPECT_EQ(input::runOptions.seed, 7);  // the last line, written without a newline, is completed
  EXPECT_EQ(input::runOptions.nParticles, 10);
  ASSERT_EQ(language::compiler->ProgramCount(), 1);
  const PROGRAMRECORD& record = *language::compiler->programs[0];
  ASSERT_EQ(record.outputLines.GetCount(), 2);
  EXPECT_STREQ(record.outputLines.GetAt(1), "SEED 7\n");
  // The block is echoed whole with the directives it wrote, then the input goes on.
  EXPECT_NE(run.outputText.find("PROGRAM gen\n  Dir(\"TASKS 4\")\n  Dir(\"SEED 7\")\nEND PROGRAM\n"
                                "******** Directives written by user program \"gen\": ********\nTASKS 4\nSEED 7\n"
                                "******** End of the directives written by user program \"gen\". ********\nN 10\n"),
            std::string::npos)
      << run.outputText;
}

TEST_F(ProgramBlocks, FailedGeneratedDirectiveIsShownInTheEcho) {
  INPUTRUN run = Run("PROGRAM gen\n  Dir(\"TASKS x\")\nEND PROGRAM\n", {"TASKS x\n"});
  EXPECT_EQ(run.code, 1);
#if TQ_GPU_BUILD
  EXPECT_EQ(run.console, "Error: Invalid number of CPU threads \"x\".\n");
#else
  EXPECT_EQ(run.console, "Error: Invalid number of threads \"x\".\n");
#endif
  EXPECT_NE(run.outputText.find("  Dir(\"TASKS x\")\n******** Invalid Trenqual input directive:\n******** TASKS x\nEND PROGRAM\n"),
            std::string::npos)
      << run.outputText;
}

TEST_F(ProgramBlocks, FirstGeneratedLogLineOpensTheLog) {
  std::string log = MakeScratchFolder("program-log") + "run.log";
  INPUTRUN run = Run("PROGRAM gen\nEND PROGRAM\n", {"LOG " + log + "\n", "N 3\n"}, {"writeLog", "1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(ReadWholeFile(log).rfind("LOG " + log + "\nN 3\n", 0), 0u) << ReadWholeFile(log);
}

TEST_F(ProgramBlocks, BlockOrderErrors) {
  struct Case {
    std::string input;
    std::string console;
  } cases[] = {
      {"ARRAYS\nEND ARRAYS\nARRAYS\nEND ARRAYS\n",
       "\n******** Error: only one \"ARRAYS\" directive is allowed. ********\n"},
      {"SUBROUTINE s\nEND SUBROUTINE\nARRAYS\nEND ARRAYS\n",
       "\n******** Error: the \"ARRAYS\" directive must precede the definitions of global parameters, programs and subroutines. ********\n"},
      {"SUBROUTINE s\nEND SUBROUTINE\nPARAMETERS\nEND PARAMETERS\n",
       "Error: the \"PARAMETERS\" directive must precede the definitions of all other programs and subroutines.\n"},
      {"PROGRAM\nEND PROGRAM\n", "Error: User program name has not been specified.\n"},
  };
  for (const Case& c : cases) {
    INPUTRUN run = Run(c.input, {});
    EXPECT_EQ(run.code, 1) << c.input;
    EXPECT_EQ(run.console, c.console) << c.input;
  }
}

TEST_F(ProgramBlocks, EscThenQInterruptsARunningProgram) {
  loopUntilInterrupted = true;
  InjectKeys("\x1b");
  INPUTRUN run = Run("PROGRAM spin\n  loop\nEND PROGRAM\n", {});
  loopUntilInterrupted = false;
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.console.find("\nThe escape key has been pressed."), std::string::npos) << run.console;
  EXPECT_NE(run.console.find("\nThe 'Esc' and 'Q' keys have been pressed. Interrupting execution of the user program.\n"),
            std::string::npos);
  EXPECT_NE(run.console.find("Execution of the program was interrupted by the user"), std::string::npos);
}

// With the language's own program thread: a program that writes nothing runs
// to its end, and the input goes on behind its block.
TEST_F(ProgramBlocks, AProgramThatWritesNothingLetsTheInputGoOn) {
  INPUTRUN run = RunInput("PROGRAM gen\n  x = 1\nEND PROGRAM\nN 1\n");
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "");
  EXPECT_EQ(input::runOptions.nParticles, 1);
  EXPECT_NE(run.outputText.find("PROGRAM gen\n  x = 1\nEND PROGRAM\nN 1\n"), std::string::npos) << run.outputText;
}

TEST_F(ProgramBlocks, LongRunningProgramGetsTheTimeWarningOnce) {
  compiledTimeLimit = 0.01;
  delayBeforeWritingMs = 100;
  INPUTRUN run = Run("PROGRAM slow\nEND PROGRAM\n", {"N 2\n"});
  compiledTimeLimit = 2.0;
  delayBeforeWritingMs = 0;
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console,
            "\nExecution time of the user program exceeds 0.01 seconds. Press the escape key and then 'Q' to attempt to interrupt execution of the user program.\n");
  EXPECT_EQ(input::runOptions.nParticles, 2);
}

// The language's own block parser and compiler behind the reader: compile-time
// messages are printed with their line, a warning lets the input go on, and a
// compiled PROGRAM runs and writes its directives.
TEST(ProgramBlocksCompiled, DiagnosticsOfCompiledBlocks) {
  struct Case {
    std::string input;
    int code;
    std::string console;
  } cases[] = {
      {"SUBROUTINE s(a, b)\n  y = a\nEND SUBROUTINE\nN 3\n", 0,
       "\n******** Warning: formal parameter \"b\" is not used. ********\n"
       "Line No. 2 of user program \"s\" with the syntax warning:\n  y = a\n\n"},
      {"SUBROUTINE s\n  y = 1\nEND SUBROUTINE\nN 3\n", 0, ""},
      {"PROGRAM gen\n  x = (1 + 2\nEND PROGRAM\nN 3\n", 1,
       "\n******** Error: mismatched parentheses. ********\n"
       "Line No. 2 of user program \"gen\" with the syntax error:\n  x = (1 + 2\n\n"},
      {"SUBROUTINE s(a,\n  a)\n  y = a\nEND SUBROUTINE\n", 1,
       "\n******** Error: duplicate name \"a\" found in the list of formal parameters. ********\n"
       "Line No. 2 of user program \"s\" with the syntax error:\n  a)\n\n"},
      {"ARRAYS\n  double a[0]\nEND ARRAYS\nN 3\n", 1,
       "\n******** Invalid value of a dimension of array \"a\". ********\n"},
  };
  for (const Case& c : cases) {
    INPUTRUN run = RunInput(c.input);
    EXPECT_EQ(run.code, c.code) << c.input;
    EXPECT_EQ(run.console, c.console) << c.input;
  }
}

TEST(ProgramBlocksCompiled, AProgramIsCompiledAndRun) {
  INPUTRUN run = RunInput(
      "ARRAYS\n  double a[3]\nEND ARRAYS\nPROGRAM gen\n  a[1] = 2\n  Dir(\"N \", a[1])\nEND PROGRAM\nSEED 3\n");
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "");
  EXPECT_EQ(input::runOptions.nParticles, 2);
  EXPECT_EQ(input::runOptions.seed, 3);
  ASSERT_EQ(language::compiler->ProgramCount(), 1);
  EXPECT_EQ(language::compiler->programs[0]->code.instructionCount, 4);
  ASSERT_EQ(language::compiler->programs[0]->outputLines.GetCount(), 1);
  EXPECT_STREQ(language::compiler->programs[0]->outputLines.GetAt(0), "N 2\n");
  EXPECT_EQ(language::compiler->programs[0]->outputLineSources.Items<int32_t>()[0], 2);  // the line of the Dir call
}

// A warning in the PARAMETERS code does not keep it from declaring its
// global parameters.
TEST(ProgramBlocksCompiled, ParametersWithAWarningDeclareTheirGlobals) {
  INPUTRUN run = RunInput("PARAMETERS\n  a = 1\n  if (a > 0) b = 2\nEND PARAMETERS\n");
  EXPECT_NE(run.console.find("Warning: the result may be undefined"), std::string::npos) << run.console;
  ASSERT_EQ(language::compiler->nGlobalParameters, 2);
  EXPECT_STREQ(language::compiler->globalParameterNames[0].name, "a");
  EXPECT_STREQ(language::compiler->globalParameterNames[1].name, "b");
}

// The PARAMETERS code runs like a program: its globals take their values
// (from @0 here) before the programs behind it run.
TEST(ProgramBlocksCompiled, ParametersRunBeforeThePrograms) {
  INPUTRUN run = RunInput("PARAMETERS\n  n = @0 * 2\nEND PARAMETERS\nPROGRAM gen\n  Dir(\"N \", n + 1)\nEND PROGRAM\n",
                          {"@0", "5"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(input::runOptions.nParticles, 11);
  EXPECT_EQ(language::compiler->globalValues[0], 10);
}

// A first pass that ends at a failed directive while the program still
// writes lines: the program is stopped before the second pass, which reports
// the directive; nothing waits for ever.
TEST(ProgramBlocksCompiled, AProgramStillRunningWhenThePassEndsIsStopped) {
  INPUTRUN run = RunInput("PROGRAM gen\n  Dir(\"TASKS x\")\n  while (1) Dir(\"N 1\")\nEND PROGRAM\n");
  EXPECT_EQ(run.code, 1);
#if TQ_GPU_BUILD
  EXPECT_EQ(run.console, "Error: Invalid number of CPU threads \"x\".\n");
#else
  EXPECT_EQ(run.console, "Error: Invalid number of threads \"x\".\n");
#endif
  EXPECT_EQ(language::compiler->runControl->running.load(), 0);
}

// A program thread that cannot be started ends the run with the platform's
// message and exit code 1, without waiting for it.
TEST(ProgramBlocksCompiled, AFailedThreadStartEndsTheRun) {
  testHooks = [] { input::languageServices.programStackBytes = ~size_t{0} >> 1; };
  INPUTRUN run = RunInput("PROGRAM gen\n  Dir(\"N 1\")\nEND PROGRAM\n");
  testHooks = nullptr;
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.console, "_beginthread failed (thread No. 0).\n");
  EXPECT_EQ(language::compiler->runControl->running.load(), 0);
}

// The diagnostic of a block after a program has run shows the block's own
// source line.
TEST(ProgramBlocksCompiled, ALaterBlockShowsItsOwnSourceLine) {
  INPUTRUN run =
      RunInput("PROGRAM first\n  Dir(\"N 1\")\nEND PROGRAM\nPROGRAM second\n  n = 2\n  x = (n + 1\nEND PROGRAM\n");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.console,
            "\n******** Error: mismatched parentheses. ********\n"
            "Line No. 3 of user program \"second\" with the syntax error:\n  x = (n + 1\n\n");
}
