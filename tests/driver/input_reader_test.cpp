#include "driver/input/input_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/input/options.h"
#include "driver/input/program_blocks.h"
#include "driver/run_main.h"
#include "language/compiler.h"
#include "tests/driver/input_test_support.h"
#include "tests/support/test_paths.h"

namespace {

struct READ {
  std::vector<std::string> words;  // the words of the first logical line
  std::string secondLineWord;      // the first word of the next logical line
  std::string console;
  std::string echo;
};

// Reads the first logical line of text (and the first word of the next one)
// as the second pass does, echoing into a scratch output file.
READ ReadLogicalLine(const std::string& text) {
  if (language::compiler == nullptr) {
    EXPECT_EQ(CreateCompiler(), 0);
  }
  SetDefaultOptions();
  std::string folder = MakeScratchFolder("reader");
  WriteTextFile(folder + "in.txt", text);
  input::inputFile = fopen((folder + "in.txt").c_str(), "r");
  input::outputFile = fopen((folder + "echo.txt").c_str(), "w");
  input::inputPass = 1;
  ResetInputReader();
  ResetProgramState(1);

  READ read;
  testing::internal::CaptureStdout();
  for (char* word = ReadInputLine(input::inputFile, input::outputFile, InputLineBuffer(), kWordSeparators);
       word != nullptr; word = NextWord()) {
    read.words.push_back(word);
  }
  if (char* next = ReadInputLine(input::inputFile, input::outputFile, InputLineBuffer(), kWordSeparators)) {
    read.secondLineWord = next;
  }
  read.console = testing::internal::GetCapturedStdout();
  fclose(input::outputFile);
  fclose(input::inputFile);
  input::outputFile = input::inputFile = nullptr;
  read.echo = ReadWholeFile(folder + "echo.txt");
  return read;
}

}  // namespace

TEST(InputReader, LogicalLines) {
  const std::string longWord(2500, 'w');
  struct Case {
    std::string text;
    std::vector<std::string> words;
    std::string next;
  } cases[] = {
      {"A 1 &\n2\nB\n", {"A", "1", "2"}, "B"},
      {"A 1 // note\nB\n", {"A", "1"}, "B"},
      {"   \n\t\n// comment only\nA\tx\n", {"A", "x"}, ""},
      {"A\r\nB\r\n", {"A"}, "B"},
      {"A &\n\n&\nB C\nD\n", {"A", "B", "C"}, "D"},
      {"X " + longWord + " y\n", {"X", longWord, "y"}, ""},
      {"A", {"A"}, ""},
      {"", {}, ""},
  };
  for (const Case& c : cases) {
    READ read = ReadLogicalLine(c.text);
    EXPECT_EQ(read.words, c.words) << c.text.substr(0, 40);
    EXPECT_EQ(read.secondLineWord, c.next) << c.text.substr(0, 40);
    EXPECT_EQ(read.console, "");
  }
}

TEST(InputReader, ContinuationNotLastWarnsAndDropsTheRest) {
  READ read = ReadLogicalLine("A 1& 2\nB\nC\n");
  EXPECT_EQ(read.words, (std::vector<std::string>{"A", "1", "B"}));
  EXPECT_EQ(read.secondLineWord, "C");
  EXPECT_EQ(read.console,
            "Warning: The line-continuation character '&' in line No. 1 is not the last character of the line. The remainder of the line will be ignored.\n");
}

TEST(InputReader, EchoesEveryPhysicalLineWithItsComment) {
  READ read = ReadLogicalLine("\n// head\nA 1 & // first\n 2\nB\n");
  EXPECT_EQ(read.echo, "\n// head\nA 1 & // first\n 2\nB\n");
}

TEST(InputReader, RestOfLine) {
  if (language::compiler == nullptr) {
    ASSERT_EQ(CreateCompiler(), 0);
  }
  std::string folder = MakeScratchFolder("reader-rest");
  WriteTextFile(folder + "in.txt", "OUT  my file.txt  \n");
  input::inputFile = fopen((folder + "in.txt").c_str(), "r");
  input::outputFile = nullptr;
  input::inputPass = 0;
  ResetInputReader();
  ResetProgramState(0);
  EXPECT_STREQ(ReadInputLine(input::inputFile, nullptr, InputLineBuffer(), kWordSeparators), "OUT");
  EXPECT_STREQ(RestOfLine(), " my file.txt  ");
  EXPECT_EQ(RestOfLine(), nullptr);
  fclose(input::inputFile);
  input::inputFile = nullptr;
}
