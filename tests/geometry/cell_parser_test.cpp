// Tests of the parser of cell, general macrobody and tally-region definitions:
// valid items and their stored entries, every error message, brackets, the
// entry limit, chunked growth and the identifier text of stored entries.
#include "geometry/cell_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Token source standing in for the input reader: one directive's tokens.
std::vector<std::string> gTokens;
size_t gNext = 0;
char* ReadListToken(FILE*, FILE*, char* text, const char* separators) {
  EXPECT_EQ(text, nullptr);
  EXPECT_STREQ(separators, " \t\n");
  if (gNext >= gTokens.size()) return nullptr;
  return gTokens[gNext++].data();
}
// Starts a directive; returns its first token (the cursor).
char* StartTokens(const std::vector<std::string>& tokens) {
  gTokens = tokens;
  gNext = 0;
  return ReadListToken(nullptr, nullptr, nullptr, " \t\n");
}

SURFACE MakeSurface(int32_t identifier, int32_t macrobody) {
  SURFACE s{};
  s.identifier = identifier;
  s.macrobody = macrobody;
  s.type = kSurfacePlane;
  return s;
}

// Surfaces: S12 (0), S3 (1), S1 (2); RCC 7 facets (3, 4, 5); BOX 9 facets (6..11).
// Macrobodies: RCC 7 (0), general MB 20 = -12 3 7.2 (1), BOX 9 (2). Cells C5 (0), C6 (1).
class CellParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    surfaces = {MakeSurface(12, -1), MakeSurface(3, -1), MakeSurface(1, -1)};
    for (int i = 1; i <= 3; ++i) surfaces.push_back(MakeSurface(i, 0));
    for (int i = 1; i <= 6; ++i) surfaces.push_back(MakeSurface(i, 2));
    macrobodies.resize(3);
    macrobodies[0] = {kMacrobodyRCC, 7, 3, rccSurfaces, rccSenses, -1, nullptr, nullptr};
    macrobodies[1] = {kMacrobodyGeneral, 20, 3, mbSurfaces, mbSenses, -1, mbMacrobody, mbFacet};
    macrobodies[2] = {kMacrobodyBOX, 9, 6, boxSurfaces, boxSenses, -1, nullptr, nullptr};
    cells.resize(2);
    cells[0].number = 5;
    cells[1].number = 6;
    tables = {surfaces.data(), static_cast<int32_t>(surfaces.size()), macrobodies.data(),
              static_cast<int32_t>(macrobodies.size()), cells.data(), static_cast<int32_t>(cells.size())};
  }

  struct Item {
    int result;
    int sign;
    int cellContext;
    int surface;
    int facet;
  };

  // Parses a whole directive item by item; stops at the first error.
  std::vector<Item> ParseAll(const std::vector<std::string>& tokens, bool region, std::string* out) {
    CellParserState state{};
    char* cursor = StartTokens(tokens);
    std::vector<Item> items;
    testing::internal::CaptureStdout();
    for (int guard = 0; guard < 100; ++guard) {
      const bool last = cursor == nullptr;
      int8_t sign;
      uint16_t context;
      int32_t surface, facet;
      const int r = ParseCellDefinition(&state, reader, tables, &cursor, &sign, &context, &surface, &facet, region);
      items.push_back({r, sign, context, surface, facet});
      if (r == 0 || last) break;
    }
    *out = testing::internal::GetCapturedStdout();
    return items;
  }

  struct Entry {
    int surface;
    int sense;
    int macrobody;
    int facet;
    bool operator==(const Entry&) const = default;
  };

  // Runs AddBoundingSurface over a cell's directive; returns the last result.
  int AddAll(const std::vector<std::string>& tokens, bool isCell, std::vector<Entry>* entries, std::string* out) {
    CellParserState state{};
    char* cursor = StartTokens(tokens);
    uint16_t count = 0;
    std::vector<uint16_t> fixedSurfaces(kMaxBoundingEntries);
    std::vector<int8_t> fixedSenses(kMaxBoundingEntries);
    uint16_t* s = isCell ? fixedSurfaces.data() : nullptr;
    int8_t* senses = isCell ? fixedSenses.data() : nullptr;
    int16_t* mb = nullptr;
    int16_t* facet = nullptr;
    int r = 1;
    testing::internal::CaptureStdout();
    while (true) {
      const bool last = cursor == nullptr;
      r = AddBoundingSurface(&state, reader, tables, &cursor, isCell, 40, &count, &s, &senses, &mb, &facet, 10);
      if (r == 0 || last) break;
    }
    *out = testing::internal::GetCapturedStdout();
    entries->clear();
    for (int i = 0; i < count; ++i) entries->push_back({s[i], senses[i], mb[i], facet[i]});
    if (!isCell) {
      free(s);
      free(senses);
    }
    free(mb);
    free(facet);
    return r;
  }

  uint16_t rccSurfaces[3] = {3, 4, 5};
  int8_t rccSenses[3] = {-1, -1, 1};
  uint16_t mbSurfaces[3] = {0, 1, 4};
  int8_t mbSenses[3] = {-1, 1, 1};
  int16_t mbMacrobody[3] = {0, 0, 1};
  int16_t mbFacet[3] = {0, 0, -2};
  uint16_t boxSurfaces[6] = {6, 7, 8, 9, 10, 11};
  int8_t boxSenses[6] = {-1, -1, -1, -1, -1, -1};
  std::vector<SURFACE> surfaces;
  std::vector<MACROBODY> macrobodies;
  std::vector<CELL> cells;
  GeometryTablesView tables{};
  DefinitionReader reader{nullptr, nullptr, ReadListToken};
};

struct AddCase {
  std::vector<std::string> tokens;
  std::vector<std::vector<int>> entries;  // surface, sense, surfMacrobody, surfFacet
};

TEST_F(CellParserTest, ValidCellItemsAppendTheirEntries) {
  const AddCase cases[] = {
      {{"-12"}, {{0, -1, 0, 0}}},
      {{"12"}, {{0, 1, 0, 0}}},
      {{"-12", "3", "-1"}, {{0, -1, 0, 0}, {1, 1, 0, 0}, {2, -1, 0, 0}}},
      {{"-7"}, {{3, -1, -1, 1}, {4, -1, -1, 2}, {5, 1, -1, 3}}},
      {{"7.2"}, {{4, 1, 1, -2}}},
      {{"-7.3"}, {{5, 1, -1, -3}}},
      {{"7.[1", "-3]"}, {{3, 1, 1, -1}, {5, 1, -1, -3}}},
      {{"-7.[1", "-3]"}, {{3, -1, -1, -1}, {5, -1, 1, -3}}},
      {{"7.[-2]"}, {{4, -1, -1, -2}}},
      {{"7.[", "2]", "12"}, {{4, 1, 1, -2}, {0, 1, 0, 0}}},
      {{"7.[1", "2", "]", "-3"}, {{3, 1, 1, -1}, {4, 1, 1, -2}, {1, -1, 0, 0}}},
      {{"20"}, {{0, -1, 2, 1}, {1, 1, 2, 2}, {4, 1, 2, 3}}},
      {{"20.2"}, {{1, 1, 2, -2}}},
      {{"-20.1"}, {{0, 1, -2, -1}}},
      {{"-9", "12"},
       {{6, -1, -3, 1}, {7, -1, -3, 2}, {8, -1, -3, 3}, {9, -1, -3, 4}, {10, -1, -3, 5}, {11, -1, -3, 6},
        {0, 1, 0, 0}}},
  };
  for (const AddCase& c : cases) {
    std::vector<Entry> entries;
    std::string out;
    EXPECT_EQ(AddAll(c.tokens, true, &entries, &out), 1) << c.tokens[0];
    EXPECT_EQ(out, "") << c.tokens[0];
    std::vector<Entry> expected;
    for (const auto& e : c.entries) expected.push_back({e[0], e[1], e[2], e[3]});
    EXPECT_EQ(entries, expected) << c.tokens[0];
  }
}

struct ErrorCase {
  std::vector<std::string> tokens;
  bool region;
  const char* message;
};

TEST_F(CellParserTest, MalformedItemsPrintTheirMessage) {
  const ErrorCase cases[] = {
      {{"5/3"}, false, "Error: Separator '/' found in the definition of a cell or a general macrobody.\n"},
      {{"5*"}, false, "Error: Separator '*' found in the definition of a cell or a general macrobody.\n"},
      {{"7.[1"}, false, "Error: Missing closing bracket.\n"},
      {{"7.["}, false, "Error: Missing closing bracket.\n"},
      {{"5/[7.[1"}, true, "Error: Missing closing brackets.\n"},
      {{"0.1"}, false,
       "Error: Invalid object identifier \"0\" (it must be a positive integer number less than 2^31 = 2147483648.\n"},
      {{"3000000000.1"}, false,
       "Error: Invalid object identifier \"3000000000\" (it must be a positive integer number less than 2^31 = "
       "2147483648.\n"},
      {{"3000000000/1"}, true,
       "Error: Invalid object identifier \"3000000000\" (it must be a non-negative integer number less than 2^31 = "
       "2147483648.\n"},
      {{"0*"}, true,
       "Error: Invalid object identifier \"0\" (it must be a positive integer number less than 2^31 = 2147483648.\n"},
      {{"5/[7.[1.2"}, true, "Error: Separator '.' found at bracket depth 2.\n"},
      {{"7.[1.2"}, false, "Error: Separator '.' found in the sequence number of a macrobody facet.\n"},
      {{"5/[6/1"}, true, "Error: Separator '/' found at bracket depth 1.\n"},
      {{"5/[6*"}, true, "Error: Separator '*' found at bracket depth 1.\n"},
      {{"99/1"}, true, "Error: There is no cell with ID 99.\n"},
      {{"99*"}, true, "Error: There is no cell with ID 99.\n"},
      {{"99.1"}, false, "Error: There is no macrobody with ID 99.\n"},
      {{"7."}, false, "Error: Separator '.' is not followed either by an identifier or the left bracket.\n"},
      {{"5/"}, true, "Error: Separator '/' is not followed either by an identifier or the left bracket.\n"},
      {{"7.-1"}, false, "Error: Separator '.' is followed by the sign '-'.\n"},
      {{"5/-3"}, true, "Error: Separator '/' is followed by the sign '-'.\n"},
      {{"7.1.2"}, false, "Error: String \"7.1.2\" contains an invalid combination of two separators.\n"},
      {{"7.1/2"}, false, "Error: String \"7.1/2\" contains an invalid combination of two separators.\n"},
      {{"5/3/1"}, true, "Error: String \"5/3/1\" contains an invalid combination of two separators.\n"},
      {{"5/3x"}, true, "Error: Invalid surface identifier \"5/3x\".\n"},
      {{"5*x"}, true, "Error: Invalid surface identifier \"5*x\".\n"},
      {{"12x"}, false, "Error: Invalid surface identifier \"12x\".\n"},
      {{"-12x"}, false, "Error: Invalid surface identifier \"-12x\".\n"},
      {{"abc"}, false, "Error: Invalid surface identifier \"abc\".\n"},
      {{"+12"}, false, "Error: Invalid surface identifier \"+12\".\n"},
      {{"-"}, false, "Error: Invalid surface identifier \"-\".\n"},
      {{"12]]]"}, false, "Error: Invalid surface identifier \"12]]]\".\n"},
      {{"7.[1", "0]"}, false, "Error: Zero surface identifier found between brackets.\n"},
      {{"5/[0]"}, true, "Error: Zero surface identifier found between brackets.\n"},
      {{"7.0"}, false, "Error: Zero surface identifier found after a separator.\n"},
      {{"5/0"}, true, "Error: Zero surface identifier found after a separator.\n"},
      {{"0"}, false, "Error: Zero surface identifier found.\n"},
      {{"-0"}, false, "Error: Zero surface identifier found.\n"},
      {{"2147483648"}, false,
       "Error: Invalid surface identifier \"2147483648\" (it must be a positive integer number less than 2^31 = "
       "2147483648.\n"},
      {{"99999999999999999999999"}, false,
       "Error: Invalid surface identifier \"99999999999999999999999\" (it must be a positive integer number less "
       "than 2^31 = 2147483648.\n"},
      {{"2147483648"}, true,
       "Error: Invalid surface identifier \"2147483648\" (it must be a non-negative integer number less than 2^31 = "
       "2147483648.\n"},
      {{"12.1"}, false, "Error: Surface 12 is not a macrobody.\n"},
      {{"44"}, false, "Error: Undefined surface identifier \"44\".\n"},
      {{"5/44"}, true, "Error: Undefined surface identifier \"44\".\n"},
      {{"5/7."}, true, "Error: Separator '.' is not followed by an identifier.\n"},
      {{"7.2x"}, false, "Error: Invalid macrobody facet identifier \"7.2x\".\n"},
      {{"7.x"}, false, "Error: Invalid macrobody facet identifier \"7.x\".\n"},
      {{"7.[1", "2x]"}, false, "Error: Invalid macrobody facet identifier \"7.2x]\".\n"},
      {{"7.4"}, false, "Error: Macrobody 7 has less than 4 facets.\n"},
      {{"7.[1", "4]"}, false, "Error: Macrobody 7 has less than 4 facets.\n"},
      {{"7.2147483648"}, false,
       "Error: Invalid macrobody facet identifier \"7.2147483648\" (it must be a positive integer number less than "
       "2^31 = 2147483648.\n"},
      {{"7.[2147483648]"}, false,
       "Error: Invalid macrobody facet identifier \"7.2147483648\" (it must be a positive integer number less than "
       "2^31 = 2147483648.\n"},
      // Closing a bracket that was never opened.
      {{"]"}, false, "Error: Closing bracket without an opening bracket in \"]\".\n"},
      {{"12]"}, false, "Error: Closing bracket without an opening bracket in \"12]\".\n"},
      {{"7.[1", "2]]"}, false, "Error: Closing bracket without an opening bracket in \"2]]\".\n"},
      {{"7.[", "2]]"}, false, "Error: Closing bracket without an opening bracket in \"2]]\".\n"},
      {{"7.[1", "]]"}, false, "Error: Closing bracket without an opening bracket in \"]]\".\n"},
  };
  for (const ErrorCase& c : cases) {
    std::string out;
    const std::vector<Item> items = ParseAll(c.tokens, c.region, &out);
    EXPECT_EQ(items.back().result, 0) << c.tokens.back();
    EXPECT_EQ(out, c.message) << c.tokens.back();
  }
}

TEST_F(CellParserTest, AppendingErrorsPrintTheirMessage) {
  const ErrorCase cases[] = {
      {{"7"}, false,
       "Error: The identifier of a standard macrobody has been specified in the definition of cell 40 without the "
       "minus sign.\n"},
      {{"-7.[1", "]", "9"}, false,
       "Error: The identifier of a standard macrobody has been specified in the definition of cell 40 without the "
       "minus sign.\n"},
      {{"-20"}, false,
       "Error: The identifier of a general macrobody has been specified in the definition of cell 40 with the minus "
       "sign.\n"},
      {{"5/3"}, false, "Error: Separator '/' found in the definition of a cell or a general macrobody.\n"},
  };
  for (const ErrorCase& c : cases) {
    std::vector<Entry> entries;
    std::string out;
    EXPECT_EQ(AddAll(c.tokens, true, &entries, &out), 0) << c.tokens[0];
    EXPECT_EQ(out, c.message) << c.tokens[0];
  }
  std::vector<Entry> entries;
  std::string out;
  EXPECT_EQ(AddAll({"-20"}, false, &entries, &out), 0);
  EXPECT_EQ(out,
            "Error: The identifier of a general macrobody has been specified in the definition of macrobody 40 with "
            "the minus sign.\n");
}

TEST_F(CellParserTest, RegionItemsCarryTheirCellContext) {
  struct RegionCase {
    std::vector<std::string> tokens;
    std::vector<Item> items;  // without the final end-of-definition call
  };
  const int none = kNoCellContext;
  const RegionCase cases[] = {
      {{"5/3"}, {{1, 1, 1, 1, -1}}},
      {{"-5/3"}, {{1, -1, 1, 1, -1}}},
      {{"6/12"}, {{1, 1, 2, 0, -1}}},
      {{"0/3"}, {{1, 1, 0, 1, -1}}},
      {{"5/7.2"}, {{1, 1, 1, -1, 1}}},
      {{"5/7"}, {{1, 1, 1, -1, -1}}},
      {{"5*"}, {{1, 1, WholeCellContext(0), -1, -1}}},
      {{"6/*"}, {{1, 1, WholeCellContext(1), -1, -1}}},
      {{"0"}, {{1, 1, none, 0, 0}}},
      {{"3", "5/3"}, {{1, 1, none, 1, -1}, {1, 1, 1, 1, -1}}},
      {{"5/[3", "-12]", "12"}, {{1, 1, 1, 1, -1}, {1, -1, 1, 0, -1}, {1, 1, none, 0, -1}}},
      {{"-5/[3", "-12]"}, {{1, -1, 1, 1, -1}, {1, 1, 1, 0, -1}}},
      {{"5/[7.[1", "-2]]", "3"}, {{1, 1, 1, -1, 0}, {1, -1, 1, -1, 1}, {1, 1, none, 1, -1}}},
      {{"5/[3", "7.[2]", "]", "1"}, {{1, 1, 1, 1, -1}, {1, 1, 1, -1, 1}, {-1, 0, none, -1, -1}, {1, 1, none, 2, -1}}},
      {{"5/[3", "7.[2", "3]]"}, {{1, 1, 1, 1, -1}, {1, 1, 1, -1, 1}, {1, 1, 1, -1, 2}}},
  };
  for (const RegionCase& c : cases) {
    std::string out;
    std::vector<Item> items = ParseAll(c.tokens, true, &out);
    EXPECT_EQ(out, "") << c.tokens[0];
    ASSERT_EQ(items.size(), c.items.size() + 1) << c.tokens[0];
    EXPECT_EQ(items.back().result, 1) << c.tokens[0];  // the definition ends with no bracket open
    EXPECT_EQ(items.back().sign, 0) << c.tokens[0];
    for (size_t i = 0; i < c.items.size(); ++i) {
      const Item& a = items[i];
      const Item& e = c.items[i];
      EXPECT_EQ(a.result, e.result) << c.tokens[0] << " item " << i;
      EXPECT_EQ(a.sign, e.sign) << c.tokens[0] << " item " << i;
      EXPECT_EQ(a.cellContext, e.cellContext) << c.tokens[0] << " item " << i;
      EXPECT_EQ(a.surface, e.surface) << c.tokens[0] << " item " << i;
      EXPECT_EQ(a.facet, e.facet) << c.tokens[0] << " item " << i;
    }
  }
}

TEST_F(CellParserTest, TheEntry5001IsRefused) {
  // 5000 plain entries fit; the 5001st does not.
  std::vector<std::string> tokens(kMaxBoundingEntries, "12");
  std::vector<Entry> entries;
  std::string out;
  EXPECT_EQ(AddAll(tokens, true, &entries, &out), 1);
  EXPECT_EQ(entries.size(), 5000u);
  tokens.push_back("-3");
  EXPECT_EQ(AddAll(tokens, true, &entries, &out), 0);
  EXPECT_EQ(out, "Error: The number of facets of cell 40 is greater than 5000.\n");
  EXPECT_EQ(entries.size(), 5000u);
  // A whole macrobody that would cross the limit is refused as a whole.
  tokens.assign(kMaxBoundingEntries - 2, "12");
  tokens.push_back("-7");
  EXPECT_EQ(AddAll(tokens, true, &entries, &out), 0);
  EXPECT_EQ(out, "Error: The number of facets of cell 40 is greater than 5000.\n");
  EXPECT_EQ(entries.size(), 4998u);
  tokens.assign(kMaxBoundingEntries - 3, "12");
  tokens.push_back("-7");
  EXPECT_EQ(AddAll(tokens, true, &entries, &out), 1);
  EXPECT_EQ(entries.size(), 5000u);
  // The same limit for a general macrobody, whose arrays grow.
  tokens.assign(kMaxBoundingEntries + 1, "3");
  EXPECT_EQ(AddAll(tokens, false, &entries, &out), 0);
  EXPECT_EQ(out, "Error: The number of facets of macrobody 40 is greater than 5000.\n");
  EXPECT_EQ(entries.size(), 5000u);
}

TEST_F(CellParserTest, MacrobodyDefinitionGrowsInChunksAndCountsReferences) {
  // 23 entries cross two chunk boundaries, one of them inside a whole macrobody.
  std::vector<std::string> tokens;
  for (int i = 0; i < 8; ++i) tokens.push_back(i % 2 ? "12" : "-3");
  tokens.push_back("-9");  // entries 8 to 13
  for (int i = 0; i < 6; ++i) tokens.push_back("1");
  tokens.push_back("7.[1");
  tokens.push_back("-2]");
  tokens.push_back("7.3");
  std::vector<Entry> entries;
  std::string out;
  ASSERT_EQ(AddAll(tokens, false, &entries, &out), 1) << out;
  ASSERT_EQ(entries.size(), 23u);
  EXPECT_EQ(entries[0], (Entry{1, -1, 0, 0}));
  EXPECT_EQ(entries[1], (Entry{0, 1, 0, 0}));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(entries[8 + i], (Entry{6 + i, -1, -3, i + 1}));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(entries[14 + i], (Entry{2, 1, 0, 0}));
  EXPECT_EQ(entries[20], (Entry{3, 1, 1, -1}));
  EXPECT_EQ(entries[21], (Entry{4, -1, -1, -2}));
  EXPECT_EQ(entries[22], (Entry{5, -1, 1, -3}));
  EXPECT_EQ(surfaces[0].referenceCount, 4u);
  EXPECT_EQ(surfaces[1].referenceCount, 4u);
  EXPECT_EQ(surfaces[2].referenceCount, 6u);
  for (int i = 3; i < 12; ++i) EXPECT_EQ(surfaces[i].referenceCount, 1u) << i;
  // A cell's definition leaves the reference counts alone.
  ASSERT_EQ(AddAll({"-12", "-9"}, true, &entries, &out), 1);
  EXPECT_EQ(surfaces[0].referenceCount, 4u);
  EXPECT_EQ(surfaces[6].referenceCount, 1u);
}

TEST_F(CellParserTest, FormatSurfaceIdWritesTheIdentifierText) {
  struct FormatCase {
    int surface;
    int sign;
    int16_t macrobody;
    int16_t facet;
    const char* text;
  };
  const FormatCase cases[] = {
      {0, -1, 0, 0, "-12"},
      {0, 1, 0, 0, "+12"},
      {0, 0, 0, 0, "12"},
      {4, -1, -1, 2, "-7.2"},      // RCC 7 named whole
      {4, 1, 1, -2, "+7.2"},       // its facet 2 named with a plus sign
      {4, -1, -1, -2, "-7.2"},
      {4, 0, 1, -2, "7.2"},
      {0, -1, 2, 1, "+20.1 (-12)"},  // general 20, item 1 (-12): stored sense times sign
      {0, 1, 2, 1, "-20.1 (+12)"},
      {0, 0, 2, 1, "20.1 (12)"},
      {4, 1, 2, 3, "+20.3 (+7.2)"},  // item 3 of 20 is facet 2 of RCC 7
      {4, 0, 2, 3, "20.3 (7.2)"},
      {4, -1, 0, 0, "-7.2"},         // a facet surface stored without a macrobody reference
  };
  for (const FormatCase& c : cases) {
    char text[64];
    EXPECT_STREQ(FormatSurfaceId(&surfaces[c.surface], c.sign, c.macrobody, c.facet, macrobodies.data(), text,
                                 sizeof text),
                 c.text);
  }
  // A short buffer is cut, never overrun.
  char small[6] = "xxxxx";
  EXPECT_STREQ(FormatSurfaceId(&surfaces[0], -1, 2, 1, macrobodies.data(), small, 5), "+20.");
}

}  // namespace
