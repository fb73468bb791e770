// Random blocks made of the language's own words, compiled one after the
// other: the compiler never fails on them, every block that compiles has a
// well-formed block table (blocks in order, ending at the instruction count,
// jumps within the program) and operands inside its value buffer. A failure
// prints the seed and the block, which replay it.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "language/compiler.h"
#include "tests/language/language_test_support.h"

namespace {

const char* const kWords[] = {
    "x",   "y",     "k", "a", "m",  "sub", "sin",  "max",  "loc",  "Sum",     "Print", "IER",  "Return",
    "1",   "2.5",   "0", "+", "-",  "*",   "/",    "^",    "=",    "==",      "<",     ">=",   "!=",
    "&",   "|",     "(", ")", "[",  "]",   ",",    ";",    "{",    "}",       "if",    "else", "while",
    "for", "\"t\"", " ", " ", "\n", "\n",  "x = ", "y = ", "k = ", "a[1] = ", "//",
};

std::string RandomBlock(std::mt19937& random) {
  std::uniform_int_distribution<int> length(1, 30);
  std::uniform_int_distribution<size_t> word(0, sizeof kWords / sizeof kWords[0] - 1);
  std::string block = "x = 1\ny = 2\nk = 0\n";
  for (int n = length(random); n > 0; --n) block += kWords[word(random)];
  return block;
}

// Programs of the grammar: assignments to variables and array elements,
// calls, loc, inline expressions, if/else, while and for, braced or not.
class ProgramGenerator {
 public:
  explicit ProgramGenerator(std::mt19937& random) : random_(random) {}

  std::string Program() {
    std::string text = "x = 1\ny = 2\nk = 0\n";
    for (int n = Pick(1, 5); n > 0; --n) text += Statement(2);
    return text;
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  std::string Expression(int depth) {
    if (depth <= 0) {
      const char* leaves[] = {"x", "y", "k", "1", "2.5", "a[1]", "m[2, 3]", "IER"};
      return leaves[Pick(0, 7)];
    }
    switch (Pick(0, 8)) {
      case 0:
        return "sin(" + Expression(depth - 1) + ")";
      case 1:
        return "max(" + Expression(depth - 1) + ", " + Expression(depth - 1) + ")";
      case 2:
        return "Sum(k * (" + Expression(depth - 1) + "), k, 1, " + Expression(depth - 1) + ")";
      case 3:
        return "loc(x) + loc(a[" + Expression(depth - 1) + "])";
      case 4:
        return "(" + Expression(depth - 1) + ")";
      case 5:
        return "-" + Expression(depth - 1);
      case 6:
        return Expression(depth - 1) + " * -(" + Expression(depth - 1) + ")";
      default: {
        const char* operators[] = {" + ", " - ", " * ", " / ", " ^ ", " < ", " >= ", " <> ", " & ", " | "};
        return Expression(depth - 1) + operators[Pick(0, 9)] + Expression(depth - 1);
      }
    }
  }

  std::string Body(int depth) {
    if (Pick(0, 2) == 0) return " " + Simple();
    std::string body = " {\n";
    for (int n = Pick(1, 3); n > 0; --n) body += Statement(depth - 1);
    return body + "}\n";
  }

  std::string Simple() {
    switch (Pick(0, 4)) {
      case 0:
        return "a[" + Expression(1) + "] = " + Expression(2) + "\n";
      case 1:
        return "Print(\"t \", " + Expression(2) + ")\n";
      case 2:
        return "sub(x, a)\n";
      default:
        return (Pick(0, 1) ? "x = " : "y = ") + Expression(3) + "\n";
    }
  }

  std::string Statement(int depth) {
    if (depth <= 0) return Simple();
    switch (Pick(0, 5)) {
      case 0: {
        std::string text = "if (" + Expression(2) + ")" + Body(depth);
        if (Pick(0, 1) == 0) text += "else" + Body(depth);
        return text;
      }
      case 1:
        return "while (k < 3)" + Body(depth);
      case 2:
        return "for (k = 0; k < 2; k = k + 1)" + Body(depth);
      default:
        return Simple();
    }
  }

  std::mt19937& random_;
};

// What must hold of every compiled program.
void ExpectWellFormed(const CProgramCode& code, const std::string& block) {
  int count = code.instructionCount;
  int blocks = code.blockCount;
  ASSERT_GT(blocks, 0) << block;
  int previous = 0;
  for (int b = 0; b < blocks; ++b) {
    int end = code.blockEnds.Items<int32_t>()[b];
    EXPECT_GE(end, previous) << block;
    EXPECT_LE(code.jumpTargets.Items<int32_t>()[b], count) << block;
    EXPECT_GE(code.nextBlocks.Items<int32_t>()[b], 0) << block;
    EXPECT_LT(code.nextBlocks.Items<int32_t>()[b], blocks) << block;
    previous = end;
  }
  EXPECT_EQ(previous, count) << block;
  EXPECT_EQ(code.valueCapacity, 2 * code.slotCount) << block;
  for (int i = 0; i < count; ++i) {
    EXPECT_LT(code.resultSlots.Items<int32_t>()[i], code.slotCount) << block;
    for (int k = 0; k < code.OperandCount(i); ++k) {
      if (code.OperandKinds(i)[k] != kOperandExpression) continue;
      double first = *code.Operands(i)[k];
      EXPECT_GE(first, 0) << block;
      EXPECT_LT(first, i) << block;
    }
  }
}

}  // namespace

TEST(CompilerProperties, ProgramsOfTheGrammarCompileWellFormed) {
  const uint32_t seed = 7031;
  std::mt19937 random(seed);
  ProgramGenerator generator(random);
  for (int round = 0; round < 500; ++round) {
    LanguageSession session;
    ASSERT_EQ(session.DeclareArrays("double a[3]\ndouble m[2, 3]"), -1);
    session.AddProgram("sub", "loc(y), loc(v[])) y = v[1]", true);
    std::string program = generator.Program();
    int k = session.AddProgram("p", program);
    ASSERT_LT(session.Program(k).info.diagnosticKind, kDiagnosticSyntaxError)
        << "seed " << seed << " round " << round << "\n"
        << program << session.Diagnostic(k);
    ExpectWellFormed(session.Program(k).code, program);
  }
}

TEST(CompilerProperties, RandomBlocksCompileOrFailCleanly) {
  const uint32_t seed = 20240611;
  std::mt19937 random(seed);
  int compiled = 0;
  for (int round = 0; round < 1500; ++round) {
    LanguageSession session;
    ASSERT_EQ(session.DeclareArrays("double a[3]\ndouble m[2, 3]"), -1);
    session.AddProgram("sub", "loc(y), loc(v[])) y = v[1]", true);
    std::string block = RandomBlock(random);
    int k = session.AddProgram("p", block);
    const PROGRAMINFO& info = session.Program(k).info;
    ASSERT_TRUE(info.diagnosticKind >= 0 && info.diagnosticKind <= 2) << "seed " << seed << " round " << round;
    if (info.diagnosticKind == kDiagnosticSyntaxError) {
      EXPECT_NE(info.diagnostic[0], '\0') << block;
      continue;
    }
    ++compiled;
    ExpectWellFormed(session.Program(k).code, block);
  }
  EXPECT_GT(compiled, 20);  // some of the word soups are programs
}
