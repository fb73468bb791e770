#include "driver/directives/cell_directives.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "core/text.h"
#include "driver/directives/directive_words.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/region_checks.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/surface_records.h"
#include "driver/input/value_forms.h"
#include "geometry/analysis_messages.h"

namespace {

// ---- Material and concentration ---------------------------------------------------

struct CELLMATERIAL {
  int32_t inUse = -1;    // MATERIAL index that transport uses
  int32_t written = -1;  // MATERIAL index the definition named
  double concentration = 0.0;
};

int32_t FindMaterialNumber(int64_t number) {
  for (int32_t k = 0; k < directives::nMaterials; ++k) {
    if (directives::materials[static_cast<size_t>(k)].number == number) return k;
  }
  return -1;
}

Status ReadConcentration(const char* what, CELLMATERIAL* m) {
  const char* token = NextDirectiveWord();
  if (token == nullptr) {
    printf("Error: Missing concentration value in the definition of a %s.\n", what);
    return kInputError;
  }
  if (!ReadWholeNumber(token, &m->concentration)) {
    printf("Error: Invalid concentration value \"%s\" in the definition of a %s.\n", token, what);
    return kInputError;
  }
  if (m->concentration == 0.0) {
    printf("Error: Zero concentration value in the definition of a %s.\n", what);
    return kInputError;
  }
  return kOk;
}

// The material token and what follows it: the concentration of a material
// m > 0, or a void (m <= 0, both indices m - 1) with an optional name in
// double quotes. what: "cell" or "union of cells".
Status ReadCellMaterial(const char* token, const char* what, CELLMATERIAL* m) {
  int64_t id = 0;
  if (!ReadWholeInteger(token, &id)) {
    printf("Error: Invalid material identifier \"%s\" in the definition of a %s.\n", token, what);
    return kInputError;
  }
  if (id <= 0) {
    m->inUse = m->written = static_cast<int32_t>(id <= INT_MIN + 1 ? INT_MIN : id - 1);
    m->concentration = 0.0;
    if (SkipQuotedName()) return kOk;
    printf("Error: Missing closing quote in the name of a material.\n");
    return kInputError;
  }
  const int32_t k = FindMaterialNumber(id);
  if (k < 0) {
    printf("Error: Undefined material identifier \"%d\".\n", static_cast<int>(id > INT_MAX ? INT_MAX : id));
    return kInputError;
  }
  const MATERIAL& mat = directives::materials[static_cast<size_t>(k)];
  m->written = k;
  m->inUse = IsLinkedMaterial(mat) ? LinkedMaterialIndex(mat) : k;
  return ReadConcentration(what, m);
}

// ---- Per-cell items: CUT_E, CUT_P, VOL, FORCE -------------------------------------

enum CellItem { kItemCutE, kItemCutP, kItemVolume, kItemForce, kCellItemCount };

struct CELLITEMRULE {
  const char* keyword;
  const char* missing;  // one %s: "a cell" or "a union of cells"
  const char* illegal;  // the value, then the owner
};

const CELLITEMRULE kCellItems[kCellItemCount] = {
    {"CUT_E", "Error: Missing value of the cutoff energy in the definition of %s.\n",
     "Error: Illegal value \"%s\" of the cutoff energy in the definition of %s (it must be a positive number).\n"},
    {"CUT_P", "Error: Missing value of the cutoff energy in the definition of %s.\n",
     "Error: Illegal value \"%s\" of the cutoff energy in the definition of %s (it must be a positive number).\n"},
    {"VOL", "Error: Missing value of the cell volume in the definition of %s.\n",
     "Error: Illegal value \"%s\" of the cell volume in the definition of %s (it must be a positive number).\n"},
    {"FORCE", "Error: Missing value of the option to apply interaction forcing in %s.\n",
     "Error: Illegal value \"%s\" of the option to apply interaction forcing in %s (it must be 0 or 1).\n"},
};

// The items of a cell or a union; -1.0 and -1 mean not given.
struct CELLOPTIONS {
  double value[kCellItemCount] = {-1.0, -1.0, -1.0, -1.0};  // CUT_E, CUT_P (input energy unit), VOL (cm^3), FORCE
  bool given[kCellItemCount] = {};
};

bool ReadItemValue(int item, const char* token, double* value) {
  if (item == kItemForce) {
    int64_t v = 0;
    if (!ReadWholeInteger(token, &v) || (v != 0 && v != 1)) return false;
    *value = static_cast<double>(v);
    return true;
  }
  return ReadWholeNumber(token, value) && *value > 0.0;
}

// When token is an item not given yet, reads its value and returns true
// (*status the outcome); otherwise returns false.
bool ReadCellItem(const char* token, const char* owner, CELLOPTIONS* o, Status* status) {
  int item = 0;
  while (item < kCellItemCount && (o->given[item] || !EqualNoCase(token, kCellItems[item].keyword))) ++item;
  if (item == kCellItemCount) return false;
  o->given[item] = true;
  *status = kInputError;
  const char* value = NextDirectiveWord();
  if (value == nullptr) {
    printf(kCellItems[item].missing, owner);
  } else if (!ReadItemValue(item, value, &o->value[item])) {
    printf(kCellItems[item].illegal, value, owner);
  } else {
    *status = kOk;
  }
  return true;
}

// An identifier of a cell or a transformation: a number in (0.5, 2^31 - 0.5),
// rounded half up.
bool ReadIdentifier(const char* token, int32_t* id) { return token != nullptr && ReadKeywordNumber(token, id); }

// ---- The items of a cell ----------------------------------------------------------

// One C<n> line being read.
struct CELLINPUT {
  int32_t n = 0;
  int32_t index = 0;  // its CELL index
  CELLOPTIONS options;
  int32_t transform = -1;  // TR<t> of a copy: TRANSFORM index
  int32_t original = -1;   // the cell it copies
  REGIONLIST region;
};

CELL& Record(const CELLINPUT& c) { return directives::geometry.cell[static_cast<size_t>(c.index)]; }

bool IsTransformItem(const char* token) { return EqualNoCaseN(token, "TR", 2); }

// The bounding surfaces of the original cell, moved by the transformation:
// a moved surface that coincides with an existing one uses it (the sense
// turned for a plane of opposite normal), any other is appended with
// identifier 0.
Status MoveOriginalRegion(CELLINPUT* c) {
  const TRANSFORM tr = directives::geometry.transforms[static_cast<size_t>(c->transform)];
  const REGIONLIST original = directives::geometry.cellArrays[static_cast<size_t>(c->original)].region;
  for (size_t k = 0; k < original.size(); ++k) {
    SURFACE s = MovedSurface(directives::geometry.surf[original.surfaces[k]], tr);
    int8_t sense = original.senses[k];
    int32_t index = FindSameSurface(s);
    if (index >= 0) {
      if (OppositePlanes(s, directives::geometry.surf[static_cast<size_t>(index)])) sense = static_cast<int8_t>(-sense);
    } else {
      s.identifier = 0;
      if (Status st = AppendSurface(s, &index)) return st;
    }
    c->region.Append(static_cast<uint16_t>(index), sense, original.surfMacrobody[k], original.surfFacet[k]);
  }
  return kOk;
}

// "TR<t> <c>": the cell is cell c moved by transformation t.
Status ReadCopyItem(const char* token, uint16_t boundingCount, CELLINPUT* c) {
  int32_t t = 0;
  if (!ReadIdentifier(token + 2, &t)) {
    printf("Error: Invalid identifier of coordinate transformation \"%s\" in the definition of a cell.\n", token);
    return kInputError;
  }
  const int32_t transform = FindTransform(t);
  if (transform < 0) {
    printf("Error: Unknown coordinate transformation \"%s\" in the definition of a cell.\n", token);
    return kInputError;
  }
  if (c->transform >= 0) {
    printf("Error: Multiple coordinate transformations of the original cell specified in the definition of a cell.\n");
    return kInputError;
  }
  if (boundingCount > 0) {
    printf(
        "Error: A coordinate transformation of the original cell cannot be specified in the definition of a cell "
        "after specifying the bounding surfaces.\n");
    return kInputError;
  }
  const char* id = NextDirectiveWord();
  int32_t original = 0;
  if (id == nullptr) {
    printf("Error: Missing identifier of the original cell after \"TR%d\" in the definition of a cell.\n", t);
    return kInputError;
  }
  if (!ReadIdentifier(id, &original)) {
    printf("Error: Invalid identifier of the original cell \"%s\" after \"TR%d\" in the definition of a cell.\n", id,
           t);
    return kInputError;
  }
  c->original = FindCell(original);
  if (c->original < 0) {
    printf("Error: Unknown identifier of the original cell \"%s\" after \"TR%d\" in the definition of a cell.\n", id,
           t);
    return kInputError;
  }
  c->transform = transform;
  const CELL& from = directives::geometry.cell[static_cast<size_t>(c->original)];
  Record(*c).copiedFrom = static_cast<int16_t>(from.copiedFrom >= 0 ? from.copiedFrom : c->original);
  return MoveOriginalRegion(c);
}

// "#<c>": cell c lies inside this cell.
Status ReadInnerCell(const char* token, CELLINPUT* c) {
  int64_t id = 0;
  if (!ReadWholeInteger(token + 1, &id) || id < 1 || id > INT_MAX) {
    printf("Error in specification of a cell \"%s\" after the complement operator \"#\".\n", token + 1);
    return kInputError;
  }
  const int32_t inner = FindCell(static_cast<int32_t>(id));
  if (inner < 0) {
    printf("Error: The cell identifier \"%d\" after the complement operator \"#\" is undefined.\n",
           static_cast<int>(id));
    return kInputError;
  }
  CELL& cell = directives::geometry.cell[static_cast<size_t>(inner)];
  if (cell.enclosingCell >= 0) {
    printf("Error: Cell %d cannot be inside cell %d, because it is inside cell %d.\n", cell.number, c->n,
           directives::geometry.cell[static_cast<size_t>(cell.enclosingCell)].number);
    return kInputError;
  }
  if (cell.unionIndex >= 0) {
    printf(
        "Error: Cell %d cannot be specified after the complement operator, because it is a part of a union of "
        "cells.\n",
        cell.number);
    return kInputError;
  }
  directives::geometry.cellArrays[static_cast<size_t>(c->index)].innerCells.push_back(inner);
  cell.enclosingCell = c->index;
  return kOk;
}

// The items after the material: copies, inner cells, per-cell items and
// bounding items, until the line ends.
Status ReadCellItems(char* token, CELLINPUT* c) {
  RegionReader reader(true, c->n);
  while (token != nullptr) {
    Status status = kOk;
    if (IsTransformItem(token)) {
      status = ReadCopyItem(token, reader.count(), c);
    } else if (token[0] == '#') {
      status = ReadInnerCell(token, c);
    } else if (!ReadCellItem(token, "a cell", &c->options, &status)) {
      const int result = reader.Add(&token);
      if (result == 0) return kInputError;
      if (result > 0 && c->transform >= 0) {
        printf(
            "Error: Bounding surfaces cannot be specified in the definition of a cell after specifying the coordinate "
            "transformation of the original cell.\n");
        return kInputError;
      }
      continue;
    }
    if (status != kOk) return status;
    token = NextDirectiveWord();
  }
  if (reader.Finish() == 0) return kInputError;
  reader.AppendTo(&c->region);
  return kOk;
}

// ---- The end of a cell definition -------------------------------------------------

void SetCellOptions(CELL* cell, const CELLOPTIONS& o) {
  cell->CUT_E = o.value[kItemCutE];
  cell->CUT_P = o.value[kItemCutP];
  cell->FORCE = static_cast<int8_t>(o.value[kItemForce]);
}

// The largest bounding list so far, and room in the set-up's pair buffer.
void RecordBoundingCount(size_t count) {
  if (static_cast<int32_t>(count) <= directives::geometry.maxCellSurfaces) return;
  directives::geometry.maxCellSurfaces = static_cast<int32_t>(count);
  if (count > 1) directives::geometry.surfacePairBuffer.resize(3 * count * (count - 1) / 2);
}

// Redundant half-spaces dropped, the volume checked, the lists stored.
Status FinishCell(CELLINPUT* c) {
  if (c->region.size() == 0) {
    printf("Error: There are no bounding surfaces listed in the definition of cell %d.\n", c->n);
    return kInputError;
  }
  RecordBoundingCount(c->region.size());
  std::vector<bool> removed;
  if (Status s = FindRedundantHalfSpaces(c->region, kMsgRegionsDoNotIntersect, c->n, &removed)) return s;
  c->region.Keep(removed);
  CELL& cell = Record(*c);
  if (c->region.size() > 1) {
    int32_t status = 0;
    if (Status s = CheckRegionVolume(c->region, kMsgCellVolumeZero, c->n, &cell.interiorPoint, &cell.interiorPointKind,
                                     &status))
      return s;
    directives::geometry.analysisStatus[static_cast<size_t>(c->index)] = status;
  }
  directives::geometry.cellArrays[static_cast<size_t>(c->index)].region = std::move(c->region);
  BindCellArrays(c->index);
  ++directives::geometry.nCells;
  return kOk;
}

// ---- Union members ----------------------------------------------------------------

// Two cells may form a union when they lie inside the same cell (or in none),
// or inside cells that belong to one union themselves.
bool SameUnionLevel(const CELL& a, const CELL& b) {
  if (a.enclosingCell == b.enclosingCell) return true;
  if (a.enclosingCell < 0 || b.enclosingCell < 0) return false;
  const int32_t ua = directives::geometry.cell[static_cast<size_t>(a.enclosingCell)].unionIndex;
  const int32_t ub = directives::geometry.cell[static_cast<size_t>(b.enclosingCell)].unionIndex;
  return ua >= 0 && ua == ub;
}

Status CheckMemberTallies(const CELL& cell) {
  if (cell.hasCellEntry[0] || cell.hasCellEntry[1] || cell.hasCellEntry[2]) {
    printf(
        "Error: Cell %d, which is used in the definition of a union, was previously specified in the definition of a "
        "cell-entry tally (the cell-entry tally for a cell that is a part of a union must be defined after the union, "
        "and can be defined only for the first cell of the union).\n",
        cell.number);
    return kInputError;
  }
  if (cell.pulseHeight > 0) {
    printf(
        "Error: Cell %d, which is used in the definition of a union, was previously specified in the definition of a "
        "pulse-height tally (the pulse-height tally for a cell that is a part of a union must be defined after the "
        "union, and can be defined only for the first cell of the union).\n",
        cell.number);
    return kInputError;
  }
  return kOk;
}

Status CheckMember(int32_t u, int32_t member) {
  const CELL& cell = directives::geometry.cell[static_cast<size_t>(member)];
  if (member == directives::source.sourceCell) {
    printf(
        "Error: Cell %d, which is used in the definition of a union, was previously defined as a source cell (the "
        "source cell that is a union of cells must be defined after the union, and its definition must specify only "
        "the first cell of the union).\n",
        cell.number);
    return kInputError;
  }
  if (cell.unionIndex >= 0) {
    printf("Error: Cell %d is already included in another union of cells.\n", cell.number);
    return kInputError;
  }
  for (int16_t earlier : directives::geometry.unionCells[static_cast<size_t>(u)]) {
    const CELL& other = directives::geometry.cell[static_cast<size_t>(earlier)];
    if (SameUnionLevel(other, cell)) continue;
    printf(
        "Geometry error: Cells %d and %d cannot be parts of the same union of cells, because their depth levels are "
        "different, or because they are inside different cells, which are not themselves parts of a union of "
        "cells.\n",
        other.number, cell.number);
    return kInputError;
  }
  return CheckMemberTallies(cell);
}

Status AddUnionMember(int32_t u, const char* token, const CELLMATERIAL& m) {
  int64_t id = 0;
  if (!ReadWholeInteger(token, &id) || id < 1 || id > INT_MAX) {
    printf("Error: Invalid cell identifier \"%s\".\n", token);
    return kInputError;
  }
  const int32_t member = FindCell(static_cast<int32_t>(id));
  if (member < 0) {
    printf("Error: Undefined cell identifier \"%d\".\n", static_cast<int>(id));
    return kInputError;
  }
  if (Status s = CheckMember(u, member)) return s;
  CELL& cell = directives::geometry.cell[static_cast<size_t>(member)];
  cell.unionIndex = u;
  cell.material = m.inUse;
  cell.materialWritten = m.written;
  cell.concentration = m.concentration;
  directives::geometry.unionCells[static_cast<size_t>(u)].push_back(static_cast<int16_t>(member));
  BindUnionCells(u);
  return kOk;
}

int32_t FindUnion(int32_t identifier) {
  for (int32_t i = 0; i < directives::geometry.nUnions; ++i) {
    if (directives::geometry.unionData[static_cast<size_t>(i)].identifier == identifier) return i;
  }
  return -1;
}

// The union's volume with its first cell, its cutoffs and forcing (given or
// not) with every member.
void ShareUnionOptions(int32_t u, const CELLOPTIONS& o) {
  const std::vector<int16_t>& members = directives::geometry.unionCells[static_cast<size_t>(u)];
  directives::geometry.givenCellVolume[static_cast<size_t>(members[0])] = o.value[kItemVolume];
  for (int16_t member : members) SetCellOptions(&directives::geometry.cell[static_cast<size_t>(member)], o);
}

}  // namespace

bool IsCellKeyword(const char* word) { return (word[0] == 'C' || word[0] == 'c') && PlainInteger(word + 1) > 0; }

bool IsUnionKeyword(const char* word) { return EqualNoCaseN(word, "UNION", 5) && PlainInteger(word + 5) > 0; }

Status DefineCell(const char* word) {
  CELLINPUT c;
  if (!ReadKeywordNumber(word + 1, &c.n)) {
    printf(
        "Error in specification of the cell \"%s\" (the first keyword format must be \"C<n>\", where \"<n>\" is a "
        "positive integer number less than 2^31 = 2147483648.\n",
        word);
    return kInputError;
  }
  if (!RequireComplexGeometry("C<n>")) return kInputError;
  if (directives::geometry.nCells >= kMaxCells) {
    printf("Error: The number of cells is greater than %d.\n", kMaxCells);
    return kInputError;
  }
  if (FindCell(c.n) >= 0) {
    printf("Error: Duplicate cell identifier \"C%d\".\n", c.n);
    return kInputError;
  }
  BeginDirectiveWords();
  char* token = NextDirectiveWord();
  if (token == nullptr) {
    printf("Error: Missing specification of a cell.\n");
    return kInputError;
  }
  c.index = directives::geometry.nCells;
  CELL& cell = NewCellRecord();
  cell.number = c.n;
  CELLMATERIAL m;
  if (Status s = ReadCellMaterial(token, "cell", &m)) return s;
  cell.material = m.inUse;
  cell.materialWritten = m.written;
  cell.concentration = m.concentration;
  token = NextDirectiveWord();
  if (token == nullptr) {
    printf("Error: There are no bounding surfaces listed in the definition of cell %d.\n", c.n);
    return kInputError;
  }
  cell.unionIndex = -1;
  cell.FORCE = -1;
  cell.CUT_E = cell.CUT_P = -1.0;
  cell.pulseHeight = 0;
  cell.pulseHeightSlot = -1;
  if (Status s = ReadCellItems(token, &c)) return s;
  SetCellOptions(&Record(c), c.options);
  directives::geometry.givenCellVolume[static_cast<size_t>(c.index)] = c.options.value[kItemVolume];
  return FinishCell(&c);
}

Status DefineUnion(const char* word) {
  int32_t n = 0;
  if (!ReadKeywordNumber(word + 5, &n)) {
    printf(
        "Error in specification of the union \"%s\" (the first keyword format must be \"UNION<n>\", where \"<n>\" is "
        "a positive integer number less than 2^31 = 2147483648.\n",
        word);
    return kInputError;
  }
  if (!RequireComplexGeometry("UNION")) return kInputError;
  if (FindUnion(n) >= 0) {
    printf("Error: Duplicate union identifier \"UNION%d\".\n", n);
    return kInputError;
  }
  BeginDirectiveWords();
  char* token = NextDirectiveWord();
  if (token == nullptr) {
    printf("Error: Missing specification of a union of cells.\n");
    return kInputError;
  }
  CELLMATERIAL m;
  if (Status s = ReadCellMaterial(token, "union of cells", &m)) return s;
  token = NextDirectiveWord();
  if (token == nullptr) {
    printf("Error: There are no cells listed in the definition of a union of cells.\n");
    return kInputError;
  }
  const int32_t u = directives::geometry.nUnions;
  directives::geometry.unionData.push_back(CELLUNION{n, 0, nullptr});
  directives::geometry.unionCells.emplace_back();
  CELLOPTIONS o;
  for (; token != nullptr; token = NextDirectiveWord()) {
    Status status = kOk;
    if (!ReadCellItem(token, "a union of cells", &o, &status)) status = AddUnionMember(u, token, m);
    if (status != kOk) return status;
  }
  const size_t members = directives::geometry.unionCells[static_cast<size_t>(u)].size();
  if (members == 0) {
    printf("Error: There are no cells listed in the definition of the union of cells \"UNION%d\".\n", n);
    return kInputError;
  }
  if (members == 1) {
    printf("Error: Only one cell is listed in the definition of a union of cells.\n");
    return kInputError;
  }
  ShareUnionOptions(u, o);
  ++directives::geometry.nUnions;
  return kOk;
}
