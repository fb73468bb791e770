// The array and utility built-ins run on compiled programs: each case
// declares arrays, compiles a statement and runs it in the interpreter, then
// checks the value, the arrays and the recorded error with its text.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "language/array_builtins.h"
#include "language/compiler.h"
#include "language/undefined_value.h"
#include "tests/language/language_test_support.h"
#include "tests/support/test_paths.h"

namespace {

constexpr int kNoErrorRecorded = -2;  // errorProgram of a record without an error

class ArrayBuiltins : public testing::Test {
 protected:
  LanguageSession session;

  // Compiles `lines` as a program and runs it as a run starts it; the value
  // of its last statement (undefined when it stopped with an error).
  double Run(const std::string& lines, bool* stopped = nullptr) {
    int k = session.AddProgram("p" + std::to_string(session.language->ProgramCount()), lines);
    EXPECT_EQ(session.Program(k).info.diagnosticKind, kDiagnosticPlain) << session.Diagnostic(k);
    last = k;
    PROGRAMRUN run = session.Run(k);
    if (stopped != nullptr) *stopped = session.Program(k).code.errorProgram != kNoErrorRecorded;
    return run.value;
  }
  // The runtime-error text of the last program run ("" for none).
  std::string ErrorText() {
    CProgramCode& code = session.Program(last).code;
    char text[kDiagnosticLength + 1] = "";
    if (code.errorBuiltin != 0) {
      session.language->BuiltinErrorText(code.errorBuiltin, text, code.errorProgram, -1, code.errorCode);
    } else if (code.errorArray != 0) {
      session.language->ArrayErrorText(code.errorProgram, -1, code.errorArray, code.errorCode, text);
    }
    return text;
  }
  template <typename T>
  T* Elements(int array) {
    return static_cast<T*>(session.language->arrays[array].data);
  }
  int last = -1;
};

}  // namespace

// With index base 1 and the table 1, 2, 3, 4 the position of x counts from
// 1, 0 below the table, 4 at or above its end.
TEST_F(ArrayBuiltins, FindInTheIndexBase) {
  ASSERT_EQ(session.DeclareArrays("double v[4] = {1, 2, 3, 4}"), -1);
  EXPECT_EQ(Run("n = Find(2.5, v, 0)"), 2.0);
  EXPECT_EQ(Run("n = Find(0.5, v, 0)"), 0.0);
  EXPECT_EQ(Run("n = Find(9, v, 0)"), 4.0);
  EXPECT_EQ(Run("n = Find(3, v, 0)"), 3.0);
  EXPECT_EQ(Run("n = Find(4, v, 3)"), 4.0);
  EXPECT_EQ(Run("n = Find2(3.5, v, 1, 2, 0)"), 2.0);  // only 1, 2 searched
  EXPECT_EQ(Run("n = Find2(2.5, v, 1, 0, 2)"), 2.0);  // bisection
}

TEST_F(ArrayBuiltins, FindInIndexBaseZeroAndFloats) {
  ASSERT_EQ(session.DeclareArrays("INDEX_BASE 0\nfloat v[4] = {1, 2, 3, 4}"), -1);
  EXPECT_EQ(Run("n = Find(2.5, v, 0)"), 1.0);
  EXPECT_EQ(Run("n = Find(0.5, v, 3)"), -1.0);
  EXPECT_EQ(Run("n = Find(4, v, -7)"), 3.0);
}

// A NaN to find gives the undefined value and the program goes on; an
// integer table stops it with message 2908.
TEST_F(ArrayBuiltins, FindFaults) {
  ASSERT_EQ(session.DeclareArrays("double v[4] = {1, 2, 3, 4}\nint w[2] = {1, 2}"), -1);
  bool stopped = true;
  double n = Run("n = Find(0 / 0, v, 1)\nm = 7 + n", &stopped);
  EXPECT_FALSE(stopped);
  EXPECT_TRUE(std::isnan(n));
  Run("n = Find(1, w, 1)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Find\" (array elements are not floating-point "
            "numbers).");
}

// Bisection (40 elements and more, or Find2 method 2) and scanning (fewer,
// or Find2 method 0) give the same position for distinct elements, whatever
// the hint: a seeded comparison with the position from the definition.
TEST(LocateSorted, BisectionAndScanAgreeWithTheDefinition) {
  std::mt19937 random(20240611);
  for (int trial = 0; trial < 2000; ++trial) {
    int n = static_cast<int>(random() % 90);
    std::vector<double> a(static_cast<size_t>(n));
    double x0 = 0.0;
    for (double& e : a) e = x0 += 0.5 + (random() % 100) / 10.0;
    double x = (static_cast<double>(random() % 1000) / 1000.0) * (x0 + 4.0) - 2.0;
    if (random() % 4 == 0 && n > 0) x = a[random() % static_cast<unsigned>(n)];  // exactly an element
    int hint = static_cast<int>(random() % 100) - 5;
    int expected = -1;
    for (int j = 0; j < n; ++j) {
      if (a[static_cast<size_t>(j)] <= x) expected = j;
    }
    SCOPED_TRACE("seed 20240611, trial " + std::to_string(trial));
    EXPECT_EQ(LocateSortedDouble(n, hint, x, 0, a.data()), expected);
    EXPECT_EQ(LocateSortedDouble(n, hint, x, n + 1, a.data()), expected);
    EXPECT_EQ(LocateSortedDouble(n, hint, x, 40, a.data()), expected);
  }
}

// The values 0.5, 1, 1.5, 9 in the bins up to 1 and up to 2: counts 2, 1 and
// 3 counted (9 lies above the last edge); Hist2 adds to the counts.
TEST_F(ArrayBuiltins, Histograms) {
  ASSERT_EQ(session.DeclareArrays("double x[4] = {0.5, 1, 1.5, 9}\n"
                                  "double e[2] = {1, 2}\n"
                                  "int c[2] = {5, 5}\n"
                                  "double d[3] = {7, 7, 7}\n"
                                  "double bad[3] = {1, 1, 2}\n"
                                  "int ix[2] = {1, 2}"),
            -1);
  EXPECT_EQ(Run("n = Hist(x, e, c)"), 3.0);
  EXPECT_EQ(Elements<int32_t>(2)[0], 2);
  EXPECT_EQ(Elements<int32_t>(2)[1], 1);
  EXPECT_EQ(Run("n = Hist2(x, e, c, 2, 1)"), 2.0);  // the first two values, added
  EXPECT_EQ(Elements<int32_t>(2)[0], 4);
  EXPECT_EQ(Elements<int32_t>(2)[1], 1);
  EXPECT_EQ(Run("n = Hist(x, e, d)"), 3.0);  // two bins: the third count is left alone
  EXPECT_EQ(Elements<double>(3)[0], 2.0);
  EXPECT_EQ(Elements<double>(3)[1], 1.0);
  EXPECT_EQ(Elements<double>(3)[2], 7.0);

  bool stopped = false;
  Run("n = Hist(x, bad, d)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Hist\" (elements of array No. 2 are not sorted in "
            "ascending order).");
  Run("n = Hist2(ix, e, d, 0, 0)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Hist2\" (elements of array No. 1 are not "
            "floating-point numbers).");
  Run("n = Hist(x, e, x)", &stopped);
  EXPECT_FALSE(stopped);
}

// Reading numbers from the open input file: a decimal comma, a limit that
// leaves the rest of the line unread, lines of any length, and a token that
// is not a number.
TEST_F(ArrayBuiltins, ReadArrayFromTheOpenFile) {
  ASSERT_EQ(session.DeclareArrays("double v[5]\nint k[3]"), -1);
  bool stopped = false;
  Run("n = ReadArray(v)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"ReadArray\" (there is no file open for reading).");

  std::string scratch = MakeScratchFolder("read-array");
  std::string path = scratch + "data.txt";
  std::string longLine(995, ' ');
  longLine += "12345.25 7\r\n";  // the first number straddles byte 1000
  ASSERT_TRUE(WriteTextFile(path, "1 2,5 3 4\n5 6\n\n" + longLine + "-1.5e2\t8\nx 9\n10"));
  session.language->readFile = std::fopen(path.c_str(), "r");
  ASSERT_NE(session.language->readFile, nullptr);
  EXPECT_EQ(Run("n = ReadArray2(v, 3)"), 3.0);
  EXPECT_EQ(Elements<double>(0)[0], 1.0);
  EXPECT_EQ(Elements<double>(0)[1], 2.5);
  EXPECT_EQ(Elements<double>(0)[2], 3.0);
  EXPECT_EQ(Run("n = ReadArray(k)"), 3.0);  // the next line, then the long one; converted to int
  EXPECT_EQ(Elements<int32_t>(1)[0], 5);
  EXPECT_EQ(Elements<int32_t>(1)[1], 6);
  EXPECT_EQ(Elements<int32_t>(1)[2], 12345);
  // "-1.5e2 8" is read, then "x" is no number: the values before it stay.
  double n = Run("n = ReadArray(v)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(std::isnan(n));  // the run's result after an error
  EXPECT_EQ(Elements<double>(0)[0], -150.0);
  EXPECT_EQ(Elements<double>(0)[1], 8.0);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"ReadArray\" (the file holds data that are not "
            "numbers).");
  std::fclose(session.language->readFile);

  // "nan" is no number either; a last line without a line end is read.
  ASSERT_TRUE(WriteTextFile(path, "4 nan 5\n"));
  session.language->readFile = std::fopen(path.c_str(), "r");
  Run("n = ReadArray(v)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(Elements<double>(0)[0], 4.0);
  std::fclose(session.language->readFile);
  ASSERT_TRUE(WriteTextFile(path, "7 8\n10"));
  session.language->readFile = std::fopen(path.c_str(), "r");
  EXPECT_EQ(Run("n = ReadArray(k)"), 3.0);
  EXPECT_EQ(Elements<int32_t>(1)[2], 10);
  EXPECT_EQ(Run("n = ReadArray(k)"), 0.0);  // at the end of the file
  std::fclose(session.language->readFile);
  session.language->readFile = nullptr;
}

// Sort2 with the keys 3, 1, 2 and index base 1: keys 1, 2, 3 and positions
// 2, 3, 1. Sort orders the first row of a matrix only.
TEST_F(ArrayBuiltins, Sorting) {
  ASSERT_EQ(session.DeclareArrays("double k[3] = {3, 1, 2}\n"
                                  "int p[3]\n"
                                  "int2 m[3, 4] = {4, -1, 3, 2, 9, 8, 7, 6}\n"
                                  "double q[3]\n"
                                  "int short[2]"),
            -1);
  Run("Sort2(k, p)");
  const double keys[] = {1, 2, 3};
  const int32_t positions[] = {2, 3, 1};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Elements<double>(0)[i], keys[i]);
    EXPECT_EQ(Elements<int32_t>(1)[i], positions[i]);
  }
  EXPECT_EQ(Run("n = Size(m)"), 4.0);
  Run("Sort(m)");
  const int16_t sorted[] = {-1, 2, 3, 4, 9, 8, 7, 6};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Elements<int16_t>(2)[i], sorted[i]) << i;

  bool stopped = false;
  Run("Sort2(k, q)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Sort2\" (the data type of array No. 2 must be "
            "4-byte signed integer).");
  Run("Sort2(k, short)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Sort2\" (the number of elements in array No. 2 is "
            "less than the number of elements in array No. 1).");
  int none = 5;
  EXPECT_EQ(SortPaired(0, &none, kElementDouble, nullptr, 1), 0);
  EXPECT_EQ(none, 5);
}

// The extents of a 3 x 4 array: Size2 counts dimensions from the reference's
// first free one, in the index base.
TEST_F(ArrayBuiltins, Size2CountsDimensions) {
  ASSERT_EQ(session.DeclareArrays("double m[3, 4]"), -1);
  EXPECT_EQ(Run("n = Size2(loc(m), 1)"), 3.0);
  EXPECT_EQ(Run("n = Size2(loc(m), 2)"), 4.0);
  EXPECT_EQ(Run("n = Size2(loc(m), 3)"), 0.0);
  EXPECT_EQ(Run("n = Size2(loc(m), 0)"), 0.0);
  bool stopped = false;
  Run("x = 1\nn = Size2(x, 1)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Size2\" (first argument is not an array address).");
}

// Invert gives the determinant and leaves the inverse in place; a singular
// matrix gives 0; a matrix of floats or one that is not square stops.
TEST_F(ArrayBuiltins, InvertMatrices) {
  ASSERT_EQ(session.DeclareArrays("double a[3, 3] = {4, 7, 2, 3, 6, 1, 2, 5, 3}\n"
                                  "double s[2, 2] = {1, 2, 2, 4}\n"
                                  "float f[2, 2] = {1, 0, 0, 1}\n"
                                  "double r[2, 3]"),
            -1);
  const double original[9] = {4, 7, 2, 3, 6, 1, 2, 5, 3};
  EXPECT_NEAR(Run("d = Invert(a)"), 9.0, 1e-12);
  const double* inverse = Elements<double>(0);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double product = 0.0;
      for (int k = 0; k < 3; ++k) product += original[i * 3 + k] * inverse[k * 3 + j];
      EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-14) << i << " " << j;
    }
  }
  EXPECT_EQ(Run("d = Invert(s)"), 0.0);
  bool stopped = false;
  Run("d = Invert(f)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Invert\" (matrix elements are not 8-byte "
            "floating-point numbers).");
  Run("d = Invert(r)", &stopped);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ErrorText(), "Runtime error when executing the built-in function \"Invert\" (matrix is not square).");
}

// MatrixInvert against random well-conditioned matrices of several sizes.
TEST(MatrixInvert, InverseTimesMatrixIsTheIdentity) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (int n : {1, 2, 5, 12}) {
    std::vector<double> a(static_cast<size_t>(n * n));
    for (double& e : a) e = uniform(random);
    for (int i = 0; i < n; ++i) a[static_cast<size_t>(i * n + i)] += n;  // diagonally dominant
    std::vector<double> inverse = a;
    std::vector<int> l(static_cast<size_t>(n)), m(static_cast<size_t>(n));
    double determinant = 0.0;
    MatrixInvert(n, inverse.data(), &determinant, l.data(), m.data());
    EXPECT_NE(determinant, 0.0);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        double product = 0.0;
        for (int k = 0; k < n; ++k)
          product += a[static_cast<size_t>(i * n + k)] * inverse[static_cast<size_t>(k * n + j)];
        EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-12) << "n " << n;
      }
    }
  }
}

// loc of an array gives its data address with an array reference; Size of
// that reference is the extent of the last dimension.
TEST_F(ArrayBuiltins, LocOfArraysAndFunctions) {
  ASSERT_EQ(session.DeclareArrays("double v[4]\nuint1 b[3, 6]"), -1);
  EXPECT_EQ(Run("p = loc(v)"), static_cast<double>(reinterpret_cast<uintptr_t>(session.language->arrays[0].data)));
  EXPECT_EQ(Run("p = loc(sin)"), 33.0);  // built-in 32 + 1
  EXPECT_EQ(Run("n = Size(b)"), 6.0);
}

// Sorting a million sorted, reverse-sorted or equal keys: correct, with the
// partitioning nested no deeper than log2(n) + 1 (the first-element pivot
// with scans past equal keys would nest a million deep and take quadratic
// time).
TEST(SortPaired, MillionKeysInLogarithmicDepth) {
  constexpr int n = 1000000;
  std::vector<double> keys(n);
  std::vector<int> positions(n);
  for (int order = 0; order < 3; ++order) {
    for (int i = 0; i < n; ++i) keys[static_cast<size_t>(i)] = order == 0 ? i : (order == 1 ? n - i : 1.0);
    auto start = std::chrono::steady_clock::now();
    int depth = SortPaired(n, positions.data(), kElementDouble, keys.data(), 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(depth, 21) << "order " << order;
    for (int i = 1; i < n; ++i) ASSERT_LE(keys[static_cast<size_t>(i - 1)], keys[static_cast<size_t>(i)]);
    if (order == 0) {
      for (int i = 0; i < n; ++i) ASSERT_EQ(positions[static_cast<size_t>(i)], i);
    }
    if (order == 1) {
      for (int i = 0; i < n; ++i) ASSERT_EQ(positions[static_cast<size_t>(i)], n - 1 - i);
    }
    std::printf("sorting 10^6 %s keys: %.3f s, depth %d\n", order == 0 ? "sorted" : (order == 1 ? "reversed" : "equal"),
                seconds, depth);
  }
}
