// Parser of the bounding items of a cell, a general macrobody or a cell-entry
// tally region: signed surfaces, whole macrobodies, macrobody facets, bracket
// groups of facets or of a cell's surfaces and (in a region) cell references.
// The directive reader reads the head of a definition itself and hands every
// further token here; the items are appended to the four parallel
// bounding-surface arrays, and a stored entry can be written back as the text
// of its identifier for messages.
//
// Errors are values: a function prints its message on the console and returns
// 0; the caller ends the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/cell.h"
#include "core/macrobody.h"
#include "core/surface.h"

// Most entries of one bounding-surface list (also printed in the message).
constexpr int kMaxBoundingEntries = 5000;
// Deepest bracket nesting of a definition.
constexpr int kMaxBracketDepth = 2;
// cellContext of an item outside every cell reference.
constexpr uint16_t kNoCellContext = 65535;
// Separators of the tokens of a definition.
inline constexpr const char* kDefinitionSeparators = " \t\n";

// The input reader that supplies the next token of the current directive (the
// driver passes its ReadInputLine); called with text null (continue the
// current line) and kDefinitionSeparators; null at the end of the directive.
using ReadTokenFunction = char* (*)(FILE* input, FILE* output, char* text, const char* separators);

struct DefinitionReader {
  FILE* input;             // the input file
  FILE* output;            // the output file (null in the first pass)
  ReadTokenFunction read;  // the token reader
};

// The problem's tables as far as the parser reads them; the reference counts
// of `surfaces` are raised by a general macrobody's definition.
struct GeometryTablesView {
  SURFACE* surfaces;               // all surfaces, plain ones and macrobody facets
  int32_t nSurfaces;
  const MACROBODY* macrobodies;
  int32_t nMacrobodies;
  const CELL* cells;               // cells defined so far
  int32_t nCells;
};

// Kinds of the object that opened a bracket level.
enum BracketKind : int8_t {
  kBracketNone = 0,
  kBracketMacrobody = 1,  // "<m>.[": facet numbers of macrobody m follow
  kBracketCell = 2,       // "<c>/[": items of cell c follow (regions only)
};

// Parser state kept between the items of one definition; value-initialise it
// (CellParserState state{};) before the first item.
struct CellParserState {
  int32_t depth = 0;                                  // open bracket levels, 0 to 2
  int8_t levelKind[kMaxBracketDepth + 1] = {};        // BracketKind of each level (level 0: none)
  int32_t levelObject[kMaxBracketDepth + 1] = {-1, -1, -1};  // MACROBODY or CELL index; -1 for cell identifier 0
  int8_t levelSign[kMaxBracketDepth + 1] = {1, 1, 1}; // sign in force at each level
  uint16_t cellContext = kNoCellContext;              // cell reference in force (k + 1 for cell index k)
};

// The value of cellContext for a whole-cell reference "<c>*" or "<c>/*" to cell index k.
constexpr uint16_t WholeCellContext(int32_t cellIndex) { return static_cast<uint16_t>(-2 - cellIndex); }

// Parses the item at *cursor (a pointer into the current token, advanced as it
// is read; the next token is fetched with `reader` when the item ends a token).
// Returns 1 item parsed, 0 error (message printed), -1 the token held only
// closing brackets (applied; *cursor is the next token). A null *cursor means
// the definition has ended: 1 when no bracket is open (sign is then 0: no
// item), else the missing-bracket error. The region flag admits '/', '*' and
// the identifier 0 of cell-entry tally regions. Results: sign +1 or -1 (times
// the signs of the enclosing levels); cellContext kNoCellContext, k + 1 inside
// a reference to cell index k (0 for cell identifier 0) or WholeCellContext(k);
// surface the SURFACE index of a plain surface or -(macrobody index + 1); facet
// the 0-based facet index, or -1 for a plain surface or a whole macrobody.
int ParseCellDefinition(CellParserState* state, const DefinitionReader& reader, const GeometryTablesView& tables,
                        char** cursor, int8_t* sign, uint16_t* cellContext, int32_t* surface, int32_t* facet,
                        bool region);

// Parses one item without the region flag and appends what it names to the
// bounding-surface arrays of cell (isCell true) or general macrobody
// `identifier`. For a cell, `surfaces` and `senses` must hold
// kMaxBoundingEntries entries and only the two macrobody arrays grow; for a
// macrobody all four grow, in steps of `chunk` entries (capacity = count
// rounded up to a multiple of chunk). Returns 1 appended (or the definition has
// ended with no bracket open), 0 after an error message, -1 the token held only
// closing brackets.
int AddBoundingSurface(CellParserState* state, const DefinitionReader& reader, const GeometryTablesView& tables,
                       char** cursor, bool isCell, int32_t identifier, uint16_t* count, uint16_t** surfaces,
                       int8_t** senses, int16_t** surfMacrobody, int16_t** surfFacet, int chunk);

// Writes the identifier text of one stored entry (its surface, sense or 0 for
// no sign character, surfMacrobody and surfFacet entries) into `out` (at most
// outSize bytes with the terminating zero; cut short when longer). Returns out.
char* FormatSurfaceId(const SURFACE* surface, int sign, int16_t surfMacrobody, int16_t surfFacet,
                      const MACROBODY* macrobodies, char* out, size_t outSize);
