#include "driver/directives/cell_entry_directives.h"

#include <climits>
#include <cstdio>
#include <string>

#include "core/text.h"
#include "driver/directives/directive_words.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/value_forms.h"

namespace directives {
std::vector<CELLENTRYTALLY> cellEntryTally[kTallyClassCount];
int32_t nCellEntryTallies[kTallyClassCount];
std::vector<CONTROLTALLY> cellEntryControlTallies[kTallyClassCount];
}  // namespace directives

namespace {

const char* const kEntryPrefix[kTallyClassCount] = {"ECELL_ENTRY", "PCELL_ENTRY", "CELL_ENTRY"};

// Items of a cell-entry tally that take a value.
enum EntryItem { kEntryTarget, kEntryOutput, kEntryInterval, kEntryOrg, kEntryEFlux, kEntryItemCount };

// A cell the tally covers: its bounding surfaces, the list that the
// tally's surface items name them from (the original's, for a copy) and the
// positions that those items have named.
struct COVEREDCELL {
  int32_t index;
  const REGIONLIST* region;
  const REGIONLIST* named;
  std::vector<bool> matched;
  bool inner;  // the cell contains other cells
};

// One cell-entry line being read.
struct ENTRYINPUT {
  int row = 0;
  std::string name;  // CELL_ENTRY5 ...
  CELLENTRYTALLY rec{};
  int32_t owner = 0;     // identifier of the cell, or of its union, in messages
  bool isUnion = false;  // the tally covers a union
  std::vector<COVEREDCELL> covered;
  bool given[kEntryItemCount] = {};
  int targetKind = kNoTarget;
  double target = 0.0;
  int outputValue = -1;    // OUTPUT value, -1 not given
  int mode = 0;            // +1 surfaces named to count, -1 surfaces named to leave out, 0 none named
  bool zeroGiven = false;  // the inner-surface specifier "0"
  CellParserState parser{};
};

// ---- The keyword, the cell and the type ------------------------------------------

int EntryRowOf(const char* word, size_t* prefixLength) {
  for (int row = 0; row < kTallyClassCount; ++row) {
    const size_t n = std::string(kEntryPrefix[row]).size();
    if (EqualNoCaseN(word, kEntryPrefix[row], n)) {
      *prefixLength = n;
      return row;
    }
  }
  return -1;
}

Status ReadTallyNumber(const char* word, size_t prefixLength, ENTRYINPUT* t) {
  int64_t n = 0;
  if (!ReadWholeInteger(word + prefixLength, &n) || n < 1 || n > INT_MAX) {
    printf(
        "Error in specification of the cell-entry tally \"%s\": the first keyword format must be \"CELL_ENTRY<n>\", "
        "\"ECELL_ENTRY<n>\" or \"PCELL_ENTRY<n>\", where \"<n>\" is a positive integer number.\n",
        word);
    return kInputError;
  }
  if (directives::complexGeometry == 0) {
    printf(
        "Error: Keyword \"CELL_ENTRY<n>\", \"ECELL_ENTRY<n>\" or \"PCELL_ENTRY<n>\" can be used only in complex "
        "geometry mode, but the previous directives imply simple geometry.\n");
    return kInputError;
  }
  if (directives::complexGeometry < 0) directives::complexGeometry = 1;
  t->rec.number = static_cast<int32_t>(n);
  t->name = kEntryPrefix[t->row] + std::to_string(n);
  for (const CELLENTRYTALLY& other : directives::cellEntryTally[t->row]) {
    if (other.number != t->rec.number) continue;
    printf("Error: Duplicate cell-entry tally identifier \"%s\".\n", t->name.c_str());
    return kInputError;
  }
  return kOk;
}

void Cover(ENTRYINPUT* t, int32_t index) {
  const CELL& cell = directives::geometry.cell[static_cast<size_t>(index)];
  const REGIONLIST* region = &directives::geometry.cellArrays[static_cast<size_t>(index)].region;
  const REGIONLIST* named = region;
  if (cell.copiedFrom >= 0) {
    const REGIONLIST* original = &directives::geometry.cellArrays[static_cast<size_t>(cell.copiedFrom)].region;
    if (original->size() == region->size()) named = original;  // translated position by position
  }
  t->covered.push_back(COVEREDCELL{index, region, named, std::vector<bool>(region->size()), cell.innerCellCount > 0});
}

Status ReadTallyCell(ENTRYINPUT* t) {
  const char* token = NextDirectiveWord();
  if (token == nullptr) {
    printf("Error: Definition of a cell-entry tally is missing.\n");
    return kInputError;
  }
  int64_t id = 0;
  if (!ReadWholeInteger(token, &id) || id < 1 || id > INT_MAX) {
    printf("Error: Invalid specification of a cell \"%s\" in the definition of a cell-entry tally.\n", token);
    return kInputError;
  }
  const int32_t index = FindCell(static_cast<int32_t>(id));
  if (index < 0) {
    printf("Error: Undefined cell identifier \"%d\" in the definition of a cell-entry tally.\n", static_cast<int>(id));
    return kInputError;
  }
  const int32_t u = directives::geometry.cell[static_cast<size_t>(index)].unionIndex;
  if (u < 0) {
    t->owner = static_cast<int32_t>(id);
    Cover(t, index);
    return kOk;
  }
  const std::vector<int16_t>& members = directives::geometry.unionCells[static_cast<size_t>(u)];
  if (members[0] != index) {
    printf("Error: Cell-entry tallies for unions must include the identifier of the first cell of the union.\n");
    return kInputError;
  }
  t->isUnion = true;
  t->owner = directives::geometry.unionData[static_cast<size_t>(u)].identifier;
  for (int16_t member : members) Cover(t, member);
  return kOk;
}

Status ReadTallyType(ENTRYINPUT* t) {
  const char* token = NextDirectiveWord();
  if (token == nullptr) {
    printf("Error: The type of a cell-entry tally is missing.\n");
    return kInputError;
  }
  int64_t type = 0;
  if (!ReadWholeInteger(token, &type) || type < kCountExits || type > kCountBoth) {
    printf("Error: Invalid specification of the type of a cell-entry tally (it must be from -1 to 2).\n");
    return kInputError;
  }
  t->rec.entryType = static_cast<int8_t>(type);
  return kOk;
}

// ---- Items with a value ------------------------------------------------------------

int EntryItemOf(const char* word, int* targetKind) {
  static const char* const kTargetWords[3] = {"AVGERR", "MINERR", "MAXERR"};
  for (int k = 0; k < 3; ++k) {
    if (EqualNoCase(word, kTargetWords[k])) {
      *targetKind = k;
      return kEntryTarget;
    }
  }
  static const char* const kItemWords[kEntryItemCount] = {nullptr, "OUTPUT", "INTERVAL", "ORG", "E_FLUX"};
  for (int item = kEntryOutput; item < kEntryItemCount; ++item) {
    if (EqualNoCase(word, kItemWords[item])) return item;
  }
  return -1;
}

Status PrintDuplicateItem(const ENTRYINPUT& t, int item) {
  static const char* const kDuplicate[kEntryItemCount] = {
      "Error: Duplicate specification of the relative standard deviation in the definition of a cell-entry tally.\n",
      "Error: Duplicate specification of the option to write the cell-entry tally data to a file during the "
      "simulation.\n",
      "Error: Duplicate specification of the time interval of writing the cell-entry tally data to a file during the "
      "simulation.\n",
      "Error: Duplicate specification of the particle origin type in \"%s\".\n",
      "Error: Duplicate specification of the option to calculate the energy flux tally in \"%s\".\n"};
  printf(kDuplicate[item], t.name.c_str());
  return kInputError;
}

Status PrintMissingValue(const ENTRYINPUT& t, int item) {
  static const char* const kMissing[kEntryItemCount] = {
      "Error: Value of the relative standard deviation is missing in specification of the cell-entry tally \"%s\".\n",
      "Error: Value of the option to write the tally data to a file during the simulation is missing in specification "
      "of the cell-entry tally \"%s\".\n",
      "Error: Value of the time interval of writing the tally data to a file during the simulation is missing in "
      "specification of the cell-entry tally \"%s\".\n",
      "Error: Specification of the particle types to be included in the cell-entry tally \"%s\" is incomplete.\n",
      "Error: Specification of the option to calculate the energy flux tally in \"%s\" is incomplete.\n"};
  printf(kMissing[item], t.name.c_str());
  return kInputError;
}

bool ReadZeroOrOne(const char* value, int* result) {
  int64_t v = 0;
  if (!ReadWholeInteger(value, &v) || (v != 0 && v != 1)) return false;
  *result = static_cast<int>(v);
  return true;
}

Status ReadTarget(ENTRYINPUT* t, int kind, const char* value) {
  double v = 0.0;
  if (!ReadWholeNumber(value, &v) || !(v > 0.0 && v < 1.0)) {
    printf(
        "Error: Illegal value of the relative standard deviation \"%s\" in the definition of a cell-entry tally (it "
        "must be greater than 0 and less than 1).\n",
        value);
    return kInputError;
  }
  t->targetKind = kind;
  t->target = v;
  directives::targetErrorGiven = true;
  return kOk;
}

Status ReadItemValue(ENTRYINPUT* t, int item, int targetKind, const char* value) {
  int v = 0;
  double seconds = 0.0;
  switch (item) {
    case kEntryTarget:
      return ReadTarget(t, targetKind, value);
    case kEntryOutput:
      if (ReadZeroOrOne(value, &t->outputValue)) return kOk;
      printf(
          "Error: Illegal value \"%s\" of the option to write the cell-entry tally data to a file during the "
          "simulation (it must be 0 or 1).\n",
          value);
      return kInputError;
    case kEntryInterval:
      if (ReadWholeNumber(value, &seconds) && seconds >= 1.0) {
        t->rec.outputInterval = seconds;
        return kOk;
      }
      printf(
          "Error: Illegal value \"%s\" of the time interval of writing the cell-entry tally data to a file during the "
          "simulation (it cannot be less than 1 s).\n",
          value);
      return kInputError;
    case kEntryOrg:
      if (ParseOriginList(value, t->rec.orgEnabled)) return kOk;
      printf(
          "Error: Illegal definition of the set of particle origin types \"%s\" in the definition of a cell-entry "
          "tally (the values of origin types must be comma-delimited integer numbers from 0 to %d, optionally with "
          "the minus sign before the first number).\n",
          value, kOriginTypeCount - 1);
      return kInputError;
    default:
      if (ReadZeroOrOne(value, &v)) {
        t->rec.eFlux = static_cast<uint8_t>(v);
        return kOk;
      }
      printf(
          "Error: Illegal value of the option to calculate the energy flux tally \"%s\" in \"%s\" (it must be 0 or "
          "1).\n",
          value, t->name.c_str());
      return kInputError;
  }
}

Status AddEnergyRange(ENTRYINPUT* t, const char* word) {
  int index = -1;
  for (int i = 0; i < directives::nRanges[kQuantityE] && index < 0; ++i) {
    if (EqualNoCase(std::string(directives::rangeData[kQuantityE][i].name), std::string(word))) index = i;
  }
  if (index < 0) {
    printf(
        "Error: \"%s\" is not a valid specification of a surface or an energy range in the definition of a "
        "cell-entry tally.\n",
        word);
    return kInputError;
  }
  if (t->rec.nEnergyRanges >= kMaxCellEntryRanges) {
    printf("Error: The number of energy ranges in the definition of the cell-entry tally \"%s\" is greater than %d.\n",
           t->name.c_str(), kMaxCellEntryRanges);
    return kInputError;
  }
  t->rec.energyRange[t->rec.nEnergyRanges++] = index;
  return kOk;
}

// ---- Surface items of the tally --------------------------------------------------------

const char* OwnerWords(const ENTRYINPUT& t) { return t.isUnion ? "union of cells" : "cell"; }

// The item's text as the definition of a region would write it.
std::string ItemText(int8_t sign, int32_t surface, int32_t facet) {
  char text[128];
  if (surface >= 0) {
    FormatSurfaceId(&directives::geometry.surf[static_cast<size_t>(surface)], sign, 0, 0,
                    directives::geometry.macrobodies.data(), text, sizeof text);
  } else {
    const int32_t m = -surface - 1;
    const uint16_t s = directives::geometry.macrobodies[static_cast<size_t>(m)].facetSurfaces[facet];
    FormatSurfaceId(&directives::geometry.surf[s], sign, static_cast<int16_t>(sign * (m + 1)),
                    static_cast<int16_t>(-(facet + 1)), directives::geometry.macrobodies.data(), text, sizeof text);
  }
  return text;
}

Status PrintNotBounding(const ENTRYINPUT& t, int8_t sign, int32_t surface, int32_t facet) {
  if (surface < 0 && facet < 0) {
    const int32_t id = directives::geometry.macrobodies[static_cast<size_t>(-surface - 1)].identifier;
    if (t.isUnion) {
      printf(
          "Error: Neither of the surfaces included in macrobody \"S%d\" used in the definition of a cell-entry tally "
          "is among the bounding surfaces of the cells composing union of cells No. %d (if they are included in the "
          "original definition of the union, then they were removed during the initial geometry check, because they "
          "are outside the cells composing the union).\n",
          id, t.owner);
    } else {
      printf(
          "Error: Neither of the surfaces included in macrobody \"S%d\" used in the definition of a cell-entry tally "
          "is among the bounding surfaces of cell No. %d (if they are included in the original definition of the "
          "cell, then they were removed during the initial geometry check, because they are outside the cell).\n",
          id, t.owner);
    }
    return kInputError;
  }
  const std::string text = ItemText(sign, surface, facet);
  if (t.isUnion) {
    printf(
        "Error: Surface %s used in the definition of a cell-entry tally is not one of the bounding surfaces of union "
        "of "
        "cells No. %d (if it is included in the original definition of one of the cells composing the union, then it "
        "was removed during the initial geometry check, because it is outside the cell).\n",
        text.c_str(), t.owner);
  } else {
    printf(
        "Error: Surface %s used in the definition of a cell-entry tally is not one of the bounding surfaces of cell "
        "No. "
        "%d (if it is included in the original definition of the cell, then it was removed during the initial geometry "
        "check, because it is outside the cell).\n",
        text.c_str(), t.owner);
  }
  return kInputError;
}

// Whether position k of a region is what the item names: a surface, a
// facet, or any facet of a whole macrobody.
bool ItemNames(const REGIONLIST& region, size_t k, int32_t surface, int32_t facet) {
  const uint16_t s = region.surfaces[k];
  if (surface >= 0) return s == surface;
  const MACROBODY& body = directives::geometry.macrobodies[static_cast<size_t>(-surface - 1)];
  if (facet >= 0) return s == body.facetSurfaces[facet];
  for (uint16_t f = 0; f < body.nFacets; ++f) {
    if (s == body.facetSurfaces[f]) return true;
  }
  return false;
}

// The cell context of a whole-cell reference "<c>*" (WholeCellContext), as
// opposed to k + 1 inside a reference "<c>/..." to cell index k.
bool IsWholeCellContext(uint16_t context) {
  return context != kNoCellContext && context >= WholeCellContext(kMaxCells - 1);
}

// The cell index that a context names, or -1 for none (no reference, or cell
// identifier 0: any cell).
int32_t ContextCell(uint16_t context) {
  if (context == kNoCellContext || context == 0) return -1;
  return IsWholeCellContext(context) ? WholeCellContext(0) - context : context - 1;
}

// The covered cells an item applies to: one cell named by its reference, or all.
Status TargetCells(const ENTRYINPUT& t, uint16_t context, int32_t* only) {
  *only = -1;
  const int32_t cell = ContextCell(context);
  if (cell < 0) return kOk;
  for (const COVEREDCELL& c : t.covered) {
    if (c.index == cell) {
      *only = cell;
      return kOk;
    }
  }
  printf("Error: Cell %d named in the definition of the cell-entry tally \"%s\" is not a cell that the tally covers.\n",
         directives::geometry.cell[static_cast<size_t>(cell)].number, t.name.c_str());
  return kInputError;
}

Status ApplyInnerSpecifier(ENTRYINPUT* t) {
  for (const COVEREDCELL& c : t->covered) {
    if (c.inner) {
      t->zeroGiven = true;
      return kOk;
    }
  }
  if (t->isUnion) {
    printf(
        "Error: Definition of the cell-entry tally for union of cells No. %d includes the inner-surface specifier "
        "\"0\", although that union of cells does not contain any other cells.\n",
        t->owner);
  } else {
    printf(
        "Error: Definition of the cell-entry tally for cell No. %d includes the inner-surface specifier \"0\", "
        "although that cell does not contain any other cells.\n",
        t->owner);
  }
  return kInputError;
}

// One parsed surface item of the tally: marks the bounding positions it names.
Status ApplySurfaceItem(ENTRYINPUT* t, int8_t sign, uint16_t context, int32_t surface, int32_t facet) {
  if (surface == 0 && facet == 0) return ApplyInnerSpecifier(t);
  const int mode = sign > 0 ? 1 : -1;
  if (t->mode != 0 && t->mode != mode) {
    printf(
        "Error: Negative surface identifiers are mixed with positive ones in the definition of a cell-entry tally.\n");
    return kInputError;
  }
  t->mode = mode;
  int32_t only = -1;
  if (Status s = TargetCells(*t, context, &only)) return s;
  const bool wholeCell = IsWholeCellContext(context);
  int named = 0;
  for (COVEREDCELL& c : t->covered) {
    if (only >= 0 && c.index != only) continue;
    for (size_t k = 0; k < c.matched.size(); ++k) {
      if (!wholeCell && !ItemNames(*c.named, k, surface, facet)) continue;
      c.matched[k] = true;
      ++named;
    }
  }
  return named > 0 ? kOk : PrintNotBounding(*t, sign, surface, facet);
}

Status ReadSurfaceSpecification(char** token, ENTRYINPUT* t) {
  int8_t sign = 0;
  uint16_t context = kNoCellContext;
  int32_t surface = -1, facet = -1;
  const int result = ParseCellDefinition(&t->parser, DirectiveDefinitionReader(), ParserTables(), token, &sign,
                                         &context, &surface, &facet, true);
  if (result == 0) return kInputError;
  if (result < 0 || sign == 0) return kOk;
  return ApplySurfaceItem(t, sign, context, surface, facet);
}

// ---- The line ----------------------------------------------------------------------

Status ReadEntryItems(ENTRYINPUT* t) {
  char* token = NextDirectiveWord();
  while (token != nullptr) {
    int targetKind = 0;
    const int item = EntryItemOf(token, &targetKind);
    if (item < 0 && token[0] != 'E' && token[0] != 'e') {
      if (Status s = ReadSurfaceSpecification(&token, t)) return s;
      continue;
    }
    if (item < 0) {
      if (Status s = AddEnergyRange(t, token)) return s;
    } else {
      if (t->given[item]) return PrintDuplicateItem(*t, item);
      t->given[item] = true;
      const char* value = NextDirectiveWord();
      if (value == nullptr) return PrintMissingValue(*t, item);
      if (Status s = ReadItemValue(t, item, targetKind, value)) return s;
    }
    token = NextDirectiveWord();
  }
  if (t->parser.depth > 0) return ReadSurfaceSpecification(&token, t);
  if (t->rec.nEnergyRanges > 0) return kOk;
  printf("Error: There are no energy ranges listed in the definition of a cell-entry tally.\n");
  return kInputError;
}

// ---- Registration ------------------------------------------------------------------

// Whether the tally counts entries through position k of covered cell c, and
// from the cells inside it.
bool SurfaceSelected(const ENTRYINPUT& t, const COVEREDCELL& c, size_t k) {
  if (t.mode == 0) return !t.zeroGiven;
  return t.mode > 0 ? c.matched[k] : !c.matched[k];
}

bool InnerSelected(const ENTRYINPUT& t, const COVEREDCELL& c) {
  if (!c.inner) return false;
  return t.mode < 0 ? !t.zeroGiven : (t.zeroGiven || t.mode == 0);
}

Status CheckSomethingCounted(const ENTRYINPUT& t) {
  if (t.mode >= 0) return kOk;
  for (const COVEREDCELL& c : t.covered) {
    for (size_t k = 0; k < c.matched.size(); ++k) {
      if (!c.matched[k]) return kOk;
    }
  }
  printf("Error: All surfaces of %s No. %d are excluded in the definition of a cell-entry tally.\n", OwnerWords(t),
         t.owner);
  return kInputError;
}

void AddToSlot(ENTRYROW& row, const REGIONLIST& region, uint16_t slot, uint16_t tally) {
  if (row.count.empty()) {
    uint16_t highest = 0;
    for (uint16_t s : region.surfaces) highest = s > highest ? s : highest;
    row.count.assign(static_cast<size_t>(highest) + 2, 0);
    row.lists.assign(static_cast<size_t>(highest) + 2, {});
  }
  for (uint16_t listed : row.lists[slot]) {
    if (listed == tally) return;
  }
  row.lists[slot].push_back(tally);
  ++row.count[slot];
}

void RegisterTally(const ENTRYINPUT& t, uint16_t tally) {
  for (const COVEREDCELL& c : t.covered) {
    ENTRYROW& row = directives::geometry.cellArrays[static_cast<size_t>(c.index)].entry[t.row];
    bool any = false;
    for (size_t k = 0; k < c.region->size(); ++k) {
      if (!SurfaceSelected(t, c, k)) continue;
      AddToSlot(row, *c.region, static_cast<uint16_t>(c.region->surfaces[k] + 1), tally);
      any = true;
    }
    if (InnerSelected(t, c)) {
      AddToSlot(row, *c.region, 0, tally);
      any = true;
    }
    if (!any) continue;
    directives::geometry.cell[static_cast<size_t>(c.index)].hasCellEntry[t.row] = 1;
    BindCellArrays(c.index);
  }
}

void StoreTally(ENTRYINPUT* t) {
  CELLENTRYTALLY& rec = t->rec;
  if (t->outputValue >= 0) {
    rec.writeDuringRun = static_cast<uint8_t>(t->outputValue);
  } else if (t->targetKind != kNoTarget && directives::tallyOutputOptions.mode == 1) {
    rec.writeDuringRun = 1;
  }
  const int32_t index = directives::nCellEntryTallies[t->row];
  if (t->targetKind != kNoTarget || rec.writeDuringRun) {
    directives::cellEntryControlTallies[t->row].push_back(CONTROLTALLY{index, t->targetKind, t->target});
    ++directives::nControlTallies;
  }
  RegisterTally(*t, static_cast<uint16_t>(index));
  directives::cellEntryTally[t->row].push_back(rec);
  ++directives::nCellEntryTallies[t->row];
}

Status DefineCellEntryTally(const char* word, int row, size_t prefixLength) {
  ENTRYINPUT t;
  t.row = row;
  if (Status s = ReadTallyNumber(word, prefixLength, &t)) return s;
  BeginDirectiveWords();
  if (Status s = ReadTallyCell(&t)) return s;
  if (Status s = ReadTallyType(&t)) return s;
  t.rec.eFlux = static_cast<uint8_t>(directives::tallyOptions.eFlux != 0);
  t.rec.writeDuringRun = static_cast<uint8_t>(directives::tallyOutputOptions.mode == 2);
  t.rec.outputInterval = directives::tallyOutputOptions.interval;
  for (uint8_t& on : t.rec.orgEnabled) on = 1;
  if (Status s = ReadEntryItems(&t)) return s;
  if (Status s = CheckSomethingCounted(t)) return s;
  StoreTally(&t);
  return kOk;
}

}  // namespace

bool HandleCellEntryDirective(const char* word) {
  size_t prefixLength = 0;
  const int row = EntryRowOf(word, &prefixLength);
  if (row < 0) return false;
  input::lastKeyword = -1;
  if (input::inputPass == 0) {
    SkipRestOfLine();
    input::lineDone = true;
    return true;
  }
  input::lineDone = DefineCellEntryTally(word, row, prefixLength) == kOk;
  return true;
}

void ListCellEntryDirectives(KEYWORDNAMES* names) {
  for (const char* prefix : kEntryPrefix) AddKeywordName(names, std::string(prefix) + "<n>");
}

void ResetCellEntryDirectives() {
  for (int row = 0; row < kTallyClassCount; ++row) {
    directives::cellEntryTally[row].clear();
    directives::nCellEntryTallies[row] = 0;
    directives::cellEntryControlTallies[row].clear();
  }
}
