// The output, console and file built-ins, run in small programs: the text of
// string constants and numbers cut to 1000 characters, number formats, the
// write and read files, SkipLines and System.
#include "language/output_builtins.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "language/compiler.h"
#include "tests/language/language_test_support.h"
#include "tests/support/test_paths.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A program run with its console output (the print file) caught in a file.
struct CONSOLERUN {
  PROGRAMRUN run;
  std::string console;
};

CONSOLERUN RunWithConsole(LanguageSession& session, const std::string& program) {
  int k = session.AddProgram("main", program);
  EXPECT_LT(session.Program(k).info.diagnosticKind, kDiagnosticSyntaxError) << session.Diagnostic(k);
  FILE* console = std::tmpfile();
  session.language->printFile = console;
  CONSOLERUN result;
  result.run = session.Run(k);
  std::fflush(console);
  std::rewind(console);
  int ch;
  while ((ch = std::fgetc(console)) != EOF) result.console += static_cast<char>(ch);
  std::fclose(console);
  session.language->printFile = stdout;
  return result;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

// A literal is cut to what is left of the 1000 characters; a number that does
// not fit is dropped with everything behind it; the newline always follows.
TEST(OutputBuiltins, TextsAreCutAt1000Characters) {
  const std::string x1200(1200, 'x');
  const std::string x995(995, 'x');
  const std::string x994(994, 'x');
  const std::string x998(998, 'x');
  struct Case {
    std::string statement;
    std::string printed;
  } cases[] = {
      {"Print(\"abc\")", "abc\n"},
      {"Print(\"a\", 1, \"b\", 2.5)", "a1b2.5\n"},
      {"Print2(\"no newline\")", "no newline"},
      {"Print(" + Quoted(x1200) + ")", std::string(1000, 'x') + "\n"},
      {"Print(" + Quoted(x995) + ", 123456, \" tail\")", x995 + "\n"},
      {"Print(" + Quoted(x994) + ", 123456, \" tail\")", x994 + "123456\n"},
      {"Print(" + Quoted(x998) + ", 12, \"xyz\")", x998 + "12\n"},
  };
  for (const Case& c : cases) {
    LanguageSession session;
    CONSOLERUN result = RunWithConsole(session, c.statement);
    EXPECT_EQ(result.console, c.printed) << c.statement.substr(0, 40);
  }
}

// SetNumberFormat takes one conversion of a double among literal text, with
// a field width and a precision of at most 1000; anything else leaves the
// format as it was, and a blank text restores "%.14g".
TEST(OutputBuiltins, NumberFormats) {
  struct Case {
    const char* format;
    const char* printed;  // Print(1 / 3) after SetNumberFormat("%.2f") and SetNumberFormat(format)
  } cases[] = {
      {"%10.3f", "     0.333\n"},
      {"x = %-12.5e units", "x = 3.33333e-01  units\n"},
      {"%%%5.2g", "% 0.33\n"},
      {"%5.g", "  0.3\n"},
      {" ", "0.33333333333333\n"},
      {"%+g", "0.33\n"},
      {"% g", "0.33\n"},
      {"%#g", "0.33\n"},
      {"%d", "0.33\n"},
      {"%5.2lf", "0.33\n"},
      {"%g %g", "0.33\n"},
      {"%g%", "0.33\n"},
      {"%nang", "0.33\n"},
      {"%1001f", "0.33\n"},
      {"%.1001f", "0.33\n"},
      {"%.2000000000f", "0.33\n"},
  };
  for (const Case& c : cases) {
    LanguageSession session;
    CONSOLERUN result = RunWithConsole(
        session, std::string("SetNumberFormat(\"%.2f\")\nSetNumberFormat(") + Quoted(c.format) + ")\nPrint(1 / 3)");
    EXPECT_EQ(result.console, c.printed) << c.format;
  }
  // A format of 100 characters is too long, one of 99 is not.
  for (size_t length : {99u, 100u}) {
    std::string format = "%.3f" + std::string(length - 4, 'a');
    LanguageSession session;
    CONSOLERUN result =
        RunWithConsole(session, "SetNumberFormat(\"%.2f\")\nSetNumberFormat(" + Quoted(format) + ")\nPrint(1 / 3)");
    EXPECT_EQ(result.console, length == 99 ? "0.333" + std::string(95, 'a') + "\n" : "0.33\n") << length;
  }
  // A wide field that fits stays whole; the text holds it.
  LanguageSession session;
  CONSOLERUN result = RunWithConsole(session, "SetNumberFormat(\"%500.1f\")\nPrint(\"a\", 1)");
  EXPECT_EQ(result.console, "a" + std::string(497, ' ') + "1.0\n");
}

TEST(OutputBuiltins, WriteFilesAndTheirResults) {
  const std::string folder = MakeScratchFolder("output-builtins");
  const std::string first = folder + "first.txt";
  const std::string second = folder + "second.txt";
  LanguageSession session;
  CONSOLERUN result = RunWithConsole(
      session, "r1 = FcloseW()\nr2 = FopenW(\"  \")\nr3 = FopenW(" + Quoted(first) + ")\nWrite(\"a \", 1)\n" +
                   "Write2(\"b\")\nr4 = FopenW(\" \")\nr5 = FopenW(" + Quoted(folder + "none/x.txt") + ")\n" +
                   "Write(\" c\")\nr6 = FopenW(" + Quoted(second) + ")\nWrite(\"d\")\nr7 = FcloseW()\n" +
                   "r8 = FcloseW()\nWrite(\"N 5\")\n" +
                   "Print(r1, \" \", r2, \" \", r3, \" \", r4, \" \", r5, \" \", r6, \" \", r7, \" \", r8)");
  EXPECT_EQ(result.console, "0 0 1 -1 -1 1 0 0\n");
  EXPECT_EQ(ReadFile(first), "a 1\nb c\n");
  EXPECT_EQ(ReadFile(second), "d\n");
  // Write without a write file writes directive lines, as Dir does.
  EXPECT_EQ(result.run.lines, std::vector<std::string>{"N 5"});
  EXPECT_EQ(session.language->writeFile, nullptr);
}

// FopenR opens read-only; SkipLines counts whole lines, however long, and a
// last line without a newline.
TEST(OutputBuiltins, ReadFileAndSkipLines) {
  const std::string folder = MakeScratchFolder("output-builtins");
  const std::string path = folder + "lines.txt";
  ASSERT_TRUE(WriteTextFile(path, std::string(5000, 'a') + "\nshort\nlast without a newline"));
  LanguageSession session;
  CONSOLERUN result = RunWithConsole(
      session, "s0 = SkipLines(2)\nr1 = FopenR(" + Quoted(folder + "missing.txt") + ")\nr2 = FopenR(" + Quoted(path) +
                   ")\ns1 = SkipLines(0)\ns2 = SkipLines(-3)\ns3 = SkipLines(1)\ns4 = SkipLines(5)\n" +
                   "r3 = FopenR(\"\")\n" +
                   "Print(s0, \" \", r1, \" \", r2, \" \", s1, \" \", s2, \" \", s3, \" \", s4, \" \", r3)");
  EXPECT_EQ(result.console, "0 0 1 0 0 1 2 -1\n");
  FILE* file = session.language->readFile;
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::fputc('x', file), EOF);  // a stream opened for reading only
  LanguageSession again;
  CONSOLERUN closed = RunWithConsole(again, "r = FopenR(" + Quoted(path) + ")\nPrint(FcloseR(), \" \", FcloseR())");
  EXPECT_EQ(closed.console, "0 0\n");
}

// System runs its text with the shell after the write file is flushed, gives
// the command's exit status and lets the reader poll the keyboard again.
TEST(OutputBuiltins, SystemRunsACommand) {
  const std::string folder = MakeScratchFolder("output-builtins");
  const std::string file = folder + "written.txt";
  const std::string copy = folder + "copy.txt";
  LanguageSession session;
  CONSOLERUN result = RunWithConsole(
      session, "FopenW(" + Quoted(file) + ")\nWrite(\"before the command\")\ns1 = System(\"cp " + file + " " + copy +
                   "\")\ns2 = System(\"exit \", 3)\ns3 = System(\"kill -9 $$\")\nPrint(s1, \" \", s2, \" \", s3)");
  EXPECT_EQ(result.console, "0 3 -1\n");
  EXPECT_EQ(ReadFile(copy), "before the command\n");
  EXPECT_EQ(session.language->keyboardPollingAllowed.load(), 1);
}

TEST(OutputBuiltins, NumberFormatBounds) {
  EXPECT_TRUE(NumberFormatIsBounded("%1000.1000f"));
  EXPECT_FALSE(NumberFormatIsBounded("%1001f"));
  EXPECT_FALSE(NumberFormatIsBounded("%.99999999999999999999f"));
  EXPECT_TRUE(NumberFormatIsBounded("%-12.5e"));
  EXPECT_FALSE(NumberFormatIsBounded("%d"));
}
