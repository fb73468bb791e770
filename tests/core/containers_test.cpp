#include "core/containers.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CDynArray, SetAtGrowZeroFillsTheGap) {
  CDynArray array;
  array.SetAt(5, 42);
  ASSERT_EQ(array.GetCount(), 6);
  EXPECT_EQ(array.ByteSize(), 24);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(array.Items<int>()[i], 0) << i;
  EXPECT_EQ(array.Items<int>()[5], 42);
}

TEST(CDynArray, InsertAndRemoveAtTheEnds) {
  CDynArray array;
  int values[] = {1, 2, 3};
  for (int v : values) array.InsertAt(array.GetCount(), &v);  // append
  int front = 0;
  array.InsertAt(0, &front);
  ASSERT_EQ(array.GetCount(), 4);
  const int expected[] = {0, 1, 2, 3};
  EXPECT_EQ(std::memcmp(array.Items<int>(), expected, sizeof expected), 0);

  array.RemoveAt(0);
  array.RemoveAt(array.GetCount() - 1);
  ASSERT_EQ(array.GetCount(), 2);
  EXPECT_EQ(array.Items<int>()[0], 1);
  EXPECT_EQ(array.Items<int>()[1], 2);
  EXPECT_EQ(array.ByteSize(), 8);
}

TEST(CDynArray, RemovingTheOnlyElementReleasesTheBlock) {
  CDynArray array;
  array.SetAt(0, 7);
  array.RemoveAt(0);
  EXPECT_EQ(array.GetCount(), 0);
  EXPECT_EQ(array.ByteSize(), 0);
  EXPECT_EQ(array.Items<int>(), nullptr);
}

TEST(CDynArray, ClearingKeepsTheElementSize) {
  CDynArray doubles(8);
  double x = 1.5;
  doubles.SetAtGrow(0, &x);
  doubles.Clear();
  EXPECT_EQ(doubles.GetCount(), 0);
  x = 2.5;
  doubles.SetAtGrow(1, &x);
  EXPECT_EQ(doubles.ByteSize(), 16);
  EXPECT_EQ(doubles.Items<double>()[0], 0.0);
  EXPECT_EQ(doubles.Items<double>()[1], 2.5);
}

TEST(CStr, AssignAppendInsertLeft) {
  CStr s;
  EXPECT_STREQ(s.c_str(), "");
  s = "abc";
  s += "def";
  EXPECT_STREQ(s.c_str(), "abcdef");
  EXPECT_EQ(s.GetLength(), 6);
  s.Insert(0, "<");
  s.Insert(s.GetLength(), ">");
  s.Insert(4, "-");
  EXPECT_STREQ(s.c_str(), "<abc-def>");
  CStr abc("abc");
  EXPECT_STREQ(CStr::Left(10, abc).c_str(), "abc");
  EXPECT_STREQ(CStr::Left(2, abc).c_str(), "ab");
  EXPECT_STREQ(CStr::Left(0, abc).c_str(), "");
}

TEST(CStr, TrimRight) {
  struct Case {
    const char* text;
    const char* trimmed;
  } cases[] = {
      {" a b \t ", " a b"}, {" \t \t", ""}, {"", ""}, {"ab", "ab"}, {"a\tb\t", "a\tb"},
  };
  for (const Case& c : cases) {
    CStr s(c.text);
    const char* before = s.c_str();
    s.TrimRight();
    EXPECT_STREQ(s.c_str(), c.trimmed) << '"' << c.text << '"';
    EXPECT_EQ(s.GetLength(), static_cast<int>(strlen(c.trimmed)));
    if (strcmp(c.text, c.trimmed) == 0) {
      EXPECT_EQ(s.c_str(), before) << "block touched";
    }
  }
}

TEST(CStr, SearchesOutsideQuotes) {
  struct Case {
    const char* text;
    int start;
    const char* pattern;
    int expected;
  } cases[] = {
      {"a\"x+y\"+z", -1, "+", 6},   // the plus inside the literal is skipped
      {"a\"x+y", -1, "+", -1},      // literal never closed
      {"a+b", -1, "+", 1},
      {"a+b+c", 1, "+", 3},         // the search begins after start
      {"x\"a\"y\"b\"+", -1, "+", 8},  // two literals before the hit
      {"abc", -1, "+", -1},
      {"f(\"a//b\") // c", -1, "//", 10},
  };
  for (const Case& c : cases) {
    CStr s(c.text);
    int found = strlen(c.pattern) == 1 ? CStr::FindCharOutsideQuotes(s, c.start, c.pattern[0])
                                       : CStr::FindOutsideQuotes(s, c.start, c.pattern);
    EXPECT_EQ(found, c.expected) << c.text;
  }
  CStr s("abcd");
  EXPECT_EQ(CStr::FindOutsideQuotes(s, -1, ""), 4);
}

TEST(CStrArray, SetAtGrowFillsGapWithOwnEmptyTexts) {
  CStrArray lines;
  lines.SetAtGrow(3, "x");
  ASSERT_EQ(lines.GetCount(), 4);
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(lines.GetAt(i), "") << i;
    EXPECT_NE(lines[i].c_str(), nullptr);
  }
  EXPECT_NE(lines[0].c_str(), lines[1].c_str());
  EXPECT_STREQ(lines.GetAt(3), "x");
  lines.SetAtGrow(1, "replaced");
  EXPECT_STREQ(lines.GetAt(1), "replaced");
  EXPECT_EQ(lines.ElementSize(), static_cast<int>(sizeof(CStr)));
}

TEST(CStrArray, AddInsertSetSize) {
  CStrArray lines;
  lines.Add("one");
  lines.Add("three");
  lines.InsertEmptyAt(1);
  lines[1] = "two";
  lines.InsertEmptyAt(0);
  lines.InsertEmptyAt(lines.GetCount());
  ASSERT_EQ(lines.GetCount(), 5);
  const char* expected[] = {"", "one", "two", "three", ""};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(lines.GetAt(i), expected[i]);

  lines.SetSize(2);
  ASSERT_EQ(lines.GetCount(), 2);
  EXPECT_STREQ(lines.GetAt(1), "one");
  lines.SetSize(4);
  EXPECT_STREQ(lines.GetAt(3), "");
  lines.SetSize(0);
  EXPECT_EQ(lines.GetCount(), 0);
  EXPECT_EQ(lines.ByteSize(), 0);
  lines.Add("again");
  EXPECT_STREQ(lines.GetAt(0), "again");
}

#include <cstdio>

#include "core/allocation.h"

TEST(Allocation, ExhaustedHeapNamesWhatFailedAndExitsWithOne) {
  // The message goes to standard output; the child sends it to stderr so the
  // death test can read it.
  EXPECT_EXIT(
      {
        std::freopen("/dev/stderr", "w", stdout);
        AllocationFailed("dynamic array", 4096);
      },
      testing::ExitedWithCode(1), "Error: Memory allocation failed \\(dynamic array, 4096 bytes\\)\\.");
}

TEST(Allocation, ReallocatingToZeroReleasesTheBlock) {
  void* block = CheckedMalloc(16, "test block");
  EXPECT_EQ(CheckedRealloc(block, 0, "test block"), nullptr);
}
