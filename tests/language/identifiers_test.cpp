// Compiler::CheckIdentifier over a table of names and modes: spelling rules,
// reserved names (system variables, built-ins from code 14 on), the objects
// that are errors in their own mode and clashes in the others, trimming, and
// the clash list.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "language/compiler.h"

namespace {

struct CLASHEXPECTATION {
  int kind;
  int index;
  const char* name;
};

struct Case {
  const char* name;
  int mode;
  int index;                 // *index on entry
  const char* label;
  int result;
  const char* message;       // on rejection
  int indexAfter;            // *index on return
  const char* trimmed;       // the name after the call
  std::vector<CLASHEXPECTATION> clashes;
};

// Global parameters "alpha" and "shared"; programs "prog", "other" and
// "Shared"; arrays "arr" and "SHARED".
class Identifiers : public testing::Test {
 protected:
  Compiler language;

  void SetUp() override {
    for (const char* name : {"alpha", "shared"}) {
      std::snprintf(language.globalParameterNames[language.nGlobalParameters++].name, 64, "%s", name);
    }
    for (const char* name : {"prog", "other", "Shared"}) {
      language.programs.push_back(std::make_unique<PROGRAMRECORD>());
      std::snprintf(language.programs.back()->info.name, sizeof language.programs.back()->info.name, "%s", name);
    }
    const int32_t two[] = {2};
    for (const char* name : {"arr", "SHARED"}) ASSERT_EQ(language.AddArray(name, kElementInt, 1, two), kArrayAdded);
  }
};

}  // namespace

TEST_F(Identifiers, Table) {
  const char* kEmpty = "Identifier cannot be empty.";
  const char* kSeparators = "Identifier cannot contain separators or special symbols.";
  const char* kDigit = "Identifier cannot begin with a number.";
  const Case cases[] = {
      // Spelling, without and with a label.
      {"", 5, -1, nullptr, 0, kEmpty, -1, "", {}},
      {" \t ", 5, -1, nullptr, 0, kEmpty, -1, " \t ", {}},
      {"   ", 3, -1, "Program name", 0, "Program name cannot be empty.", -1, "   ", {}},
      {"  2x", 0, -1, nullptr, 0, kDigit, -1, "  2x", {}},
      {"9", 5, -1, "Array name", 0, "Array name cannot begin with a number.", -1, "9", {}},
      {"a+b", 0, -1, nullptr, 0, kSeparators, -1, "a+b", {}},
      {"x.y", 3, -1, "Program name", 0, "Program name cannot contain separators or special symbols.", -1, "x.y", {}},
      {"p%s", 0, -1, nullptr, 0, kSeparators, -1, "p%s", {}},
      {"q\"", 0, -1, nullptr, 0, kSeparators, -1, "q\"", {}},
      {"  abc  ", 0, -1, nullptr, 1, "", -1, "abc", {}},
      {"\tx1\t", 5, -1, nullptr, 1, "", -1, "x1", {}},
      // System variables and built-ins, in any case.
      {"IER", 0, 7, nullptr, 0, "Error: the name \"IER\" is already used to identify a system variable.", -1, "IER", {}},
      {"ier", 5, 7, nullptr, 0, "Error: the name \"ier\" is already used to identify a system variable.", -1, "ier", {}},
      {"AbsErr", 0, 7, nullptr, 0, "Error: the name \"AbsErr\" is already used to identify a system variable.", -1, "AbsErr", {}},
      {" NEVAL", 0, 7, nullptr, 0, "Error: the name \"NEVAL\" is already used to identify a system variable.", -1, "NEVAL", {}},
      {"Int", 0, 7, nullptr, 0, "Error: the name \"Int\" is already used to identify a built-in function.", -3, "Int", {}},
      {"DIR", 3, 7, nullptr, 0, "Error: the name \"DIR\" is already used to identify a built-in function.", -3, "DIR", {}},
      {"sqrt", 5, 7, nullptr, 0, "Error: the name \"sqrt\" is already used to identify a built-in function.", -3, "sqrt", {}},
      {"Sort2", 0, 7, nullptr, 0, "Error: the name \"Sort2\" is already used to identify a built-in function.", -3, "Sort2", {}},
      {"Add", 0, 7, nullptr, 1, "", 7, "Add", {}},      // operators are not names
      {"OR", 5, 7, nullptr, 1, "", 7, "OR", {}},
      // Global parameters: a clash, except in mode 1.
      {"alpha", 0, -1, nullptr, 1, "", -1, "alpha", {{kGlobalParameterObject, 0, "alpha"}}},
      {"ALPHA", 5, -1, nullptr, 1, "", -1, "ALPHA", {{kGlobalParameterObject, 0, "alpha"}}},
      {"alpha", 1, -1, nullptr, 1, "", -1, "alpha", {}},
      {"alpha", -1, -1, nullptr, 1, "", -1, "alpha", {}},
      // Programs: an error in mode 3 (its own index left out), a clash otherwise.
      {"prog", 3, -1, "Program name", 0, "Error: the name \"prog\" is already used to identify a program.", 0, "prog", {}},
      {"OTHER", 3, 0, "Program name", 0, "Error: the name \"OTHER\" is already used to identify a program.", 1, "OTHER", {}},
      {"prog", 3, 0, "Program name", 1, "", 0, "prog", {}},
      {"prog", -3, 0, nullptr, 1, "", 0, "prog", {}},
      {"other", 0, 1, nullptr, 1, "", 1, "other", {{kProgramObject, 1, "other"}}},
      // Arrays: an error in mode 5 (its own index left out), a clash otherwise.
      {"arr", 5, -1, "Array name", 0, "Error: the name \"arr\" is already used to identify an array.", 0, "arr", {}},
      {"ARR", -5, -1, nullptr, 0, "Error: the name \"ARR\" is already used to identify an array.", 0, "ARR", {}},
      {"arr", 5, 0, nullptr, 1, "", 0, "arr", {}},
      {"arr", 6, 0, nullptr, 1, "", 0, "arr", {}},
      {"arr", 6, 1, nullptr, 1, "", 1, "arr", {{kArrayObject, 0, "arr"}}},
      {"arr", 0, -1, nullptr, 1, "", -1, "arr", {{kArrayObject, 0, "arr"}}},
      {"arr", 3, -1, nullptr, 1, "", -1, "arr", {{kArrayObject, 0, "arr"}}},
      // One name, three objects: in the order global parameter, program, array.
      {"shared", 0, -1, nullptr, 1, "", -1, "shared",
       {{kGlobalParameterObject, 1, "shared"}, {kProgramObject, 2, "Shared"}, {kArrayObject, 1, "SHARED"}}},
      {"shared", 1, -1, nullptr, 1, "", -1, "shared", {{kProgramObject, 2, "Shared"}, {kArrayObject, 1, "SHARED"}}},
      {"shared", 3, 2, nullptr, 1, "", 2, "shared", {{kGlobalParameterObject, 1, "shared"}, {kArrayObject, 1, "SHARED"}}},
      {"shared", 5, -1, nullptr, 0, "Error: the name \"shared\" is already used to identify an array.", 1, "shared", {}},
  };
  for (const Case& c : cases) {
    char name[64];
    std::snprintf(name, sizeof name, "%s", c.name);
    int index = c.index;
    char message[2000] = "";
    IDENTIFIERCLASHES clashes;
    int result = language.CheckIdentifier(name, c.mode, &index, c.label, message, &clashes);
    std::string what = std::string("\"") + c.name + "\" mode " + std::to_string(c.mode);
    EXPECT_EQ(result, c.result) << what;
    EXPECT_STREQ(message, c.message) << what;
    EXPECT_EQ(index, c.indexAfter) << what;
    EXPECT_STREQ(name, c.trimmed) << what;
    if (result == 0) {
      EXPECT_TRUE(clashes.empty()) << what;  // nothing is appended on a rejection
      continue;
    }
    ASSERT_EQ(clashes.size(), c.clashes.size()) << what;
    for (size_t k = 0; k < clashes.size(); ++k) {
      EXPECT_EQ(clashes[k].kind, c.clashes[k].kind) << what;
      EXPECT_EQ(clashes[k].index, c.clashes[k].index) << what;
      EXPECT_EQ(clashes[k].name, c.clashes[k].name) << what;
    }
  }
}

// The list gathers the clashes of several checks (the parameters of one
// program); a null list or index is allowed.
TEST_F(Identifiers, ClashListAccumulates) {
  IDENTIFIERCLASHES clashes;
  char first[] = "alpha";
  char second[] = "arr";
  int index = -1;
  EXPECT_EQ(language.CheckIdentifier(first, 0, &index, nullptr, language.message, &clashes), 1);
  EXPECT_EQ(language.CheckIdentifier(second, 0, &index, nullptr, language.message, &clashes), 1);
  ASSERT_EQ(clashes.size(), 2u);
  EXPECT_EQ(clashes[0].kind, kGlobalParameterObject);
  EXPECT_EQ(clashes[1].kind, kArrayObject);
  char third[] = "prog";
  EXPECT_EQ(language.CheckIdentifier(third, 3, nullptr, nullptr, language.message, nullptr), 0);
  char fourth[] = "fresh";
  EXPECT_EQ(language.CheckIdentifier(fourth, 5, nullptr, nullptr, language.message, nullptr), 1);
}
