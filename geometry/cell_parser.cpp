#include "geometry/cell_parser.h"

#include <cstdio>
#include <cstring>

#include "core/allocation.h"

namespace {

// Identifiers are tested as real numbers: at least 1 means above 0.5, below
// 2^31 means below 2147483647.5, so a run of digits too long for any integer
// type is still judged by its size.
constexpr double kIdentifierLow = 0.5;
constexpr double kIdentifierHigh = 2147483647.5;

// A run of decimal digits in the token and its value.
struct Digits {
  const char* begin;
  const char* end;
  double value;
  bool empty() const { return begin == end; }
  int length() const { return static_cast<int>(end - begin); }
  int32_t integer() const { return static_cast<int32_t>(value); }
};

Digits ReadDigits(const char* p) {
  Digits d{p, p, 0.0};
  while (*d.end >= '0' && *d.end <= '9') {
    d.value = 10.0 * d.value + (*d.end - '0');
    ++d.end;
  }
  return d;
}

bool InRange(const Digits& d, bool allowZero) {
  return d.value > (allowZero ? -kIdentifierLow : kIdentifierLow) && d.value < kIdentifierHigh;
}

int32_t FindPlainSurface(const GeometryTablesView& t, int32_t identifier) {
  for (int32_t i = 0; i < t.nSurfaces; ++i)
    if (t.surfaces[i].macrobody < 0 && t.surfaces[i].identifier == identifier) return i;
  return -1;
}

int32_t FindMacrobody(const GeometryTablesView& t, int32_t identifier) {
  for (int32_t i = 0; i < t.nMacrobodies; ++i)
    if (t.macrobodies[i].identifier == identifier) return i;
  return -1;
}

int32_t FindCell(const GeometryTablesView& t, int32_t identifier) {
  for (int32_t i = 0; i < t.nCells; ++i)
    if (t.cells[i].number == identifier) return i;
  return -1;
}

// Counts the one or two ']' that may end an item; more are left in place.
int CountClosers(const char** p) {
  int n = 0;
  while (n < kMaxBracketDepth && **p == ']') {
    ++n;
    ++*p;
  }
  return n;
}

// Applies the closing brackets of an item; closing a level that was never
// opened is an error (the depth would leave its range).
bool ApplyClosers(CellParserState* st, int closers, const char* token) {
  if (closers > st->depth) {
    printf("Error: Closing bracket without an opening bracket in \"%s\".\n", token);
    return false;
  }
  st->depth -= closers;
  return true;
}

char* NextToken(const DefinitionReader& reader) {
  return reader.read(reader.input, reader.output, nullptr, kDefinitionSeparators);
}

void PrintMissingBrackets(int depth) { printf("Error: Missing closing %s.\n", depth == 1 ? "bracket" : "brackets"); }

}  // namespace

namespace {

// What one piece of an item decides: the item is finished (with the parser's
// result), or the scan goes on with the rest of the token or the next one.
enum PieceResult : int {
  kPieceError = 0,    // message printed
  kPieceItem = 1,     // an item was parsed
  kPieceClosed = -1,  // the token held closing brackets only
  kPieceGoesOn = 2,   // scan the rest: after "<c>/" or an opened bracket
};

// The scan of one item: the parser's inputs and results, the token being read
// and the context of a cell named before '/' in it.
struct ItemScan {
  CellParserState* st;
  const DefinitionReader* reader;
  const GeometryTablesView* tables;
  char** cursor;
  bool region;
  int8_t* sign;
  uint16_t* cellContext;
  int32_t* surface;
  int32_t* facet;
  char* token = nullptr;
  const char* wholeToken = nullptr;  // the token being read, for messages
  char objectSeparator = 0;          // '/' once "<c>/" has been read
  int32_t objectId = 0;              // its identifier, for messages
  const char* afterObject = nullptr;
  int8_t carriedSign = 1;  // sign of "<c>/", carried to the item after it
};

// The leading part of an item: its sign (with the signs in force) and its
// digits, and what encloses it.
struct ItemHead {
  const char* start;  // the item as written, for messages
  int8_t sign;
  Digits id;
  const char* rest;  // after the digits
  bool inFacetBracket;
  int32_t bracketBody;  // MACROBODY index of the facet bracket, or -1
};

ItemHead ReadItemHead(const ItemScan& scan) {
  const CellParserState* st = scan.st;
  ItemHead h{};
  const char* p = scan.token;
  h.start = p;
  int8_t sign = 1;
  if (*p == '-') {
    sign = -1;
    ++p;
  }
  h.sign = scan.objectSeparator != 0 ? scan.carriedSign : static_cast<int8_t>(sign * st->levelSign[st->depth]);
  h.id = ReadDigits(p);
  h.rest = h.id.end;
  h.inFacetBracket = st->depth > 0 && st->levelKind[st->depth] == kBracketMacrobody;
  h.bracketBody = h.inFacetBracket ? st->levelObject[st->depth] : -1;
  return h;
}

// Finishes an item: its results, the closing brackets after it and the next token.
int FinishItem(ItemScan& scan, int8_t sign, uint16_t cellContext, int32_t surface, int32_t facet, int closers) {
  if (closers > 0 && !ApplyClosers(scan.st, closers, scan.wholeToken)) return kPieceError;
  *scan.sign = sign;
  *scan.cellContext = cellContext;
  *scan.surface = surface;
  *scan.facet = facet;
  *scan.cursor = NextToken(*scan.reader);
  return kPieceItem;
}

// ---- A token of closing brackets only.

int ParseClosingToken(ItemScan& scan) {
  const char* p = scan.token;
  const int closers = CountClosers(&p);
  if (*p != '\0') {
    printf("Error: Invalid surface identifier \"%s\".\n", scan.token);
    return kPieceError;
  }
  if (!ApplyClosers(scan.st, closers, scan.token)) return kPieceError;
  *scan.cursor = NextToken(*scan.reader);
  return kPieceClosed;
}

// ---- "<c>*" or "<c>/*": a whole cell (regions, outside brackets).

int ParseWholeCell(ItemScan& scan, const ItemHead& h) {
  const char sep = *h.rest;
  if (!InRange(h.id, false)) {
    printf(
        "Error: Invalid object identifier \"%.*s\" (it must be a positive integer number less than "
        "2^31 = 2147483648.\n",
        h.id.length(), h.id.begin);
    return kPieceError;
  }
  const int32_t c = FindCell(*scan.tables, h.id.integer());
  if (c < 0) {
    printf("Error: There is no cell with ID %d.\n", h.id.integer());
    return kPieceError;
  }
  const char* rest = sep == '*' ? h.rest + 1 : h.rest + 2;
  if (*rest != '\0') {
    printf("Error: Invalid surface identifier \"%d%c%s\".\n", h.id.integer(), sep, h.rest + 1);
    return kPieceError;
  }
  return FinishItem(scan, h.sign, WholeCellContext(c), -1, -1, 0);
}

// ---- Where a separator '.', '/' or '*' may stand.

bool SeparatorAdmitted(const ItemScan& scan, const ItemHead& h) {
  const char sep = *h.rest;
  if (h.id.empty()) {
    printf("Error: Invalid surface identifier \"%s\".\n", h.start);
    return false;
  }
  if (scan.objectSeparator != 0 && sep != '.') {
    printf("Error: String \"%d%c%s\" contains an invalid combination of two separators.\n", scan.objectId,
           scan.objectSeparator, scan.afterObject);
    return false;
  }
  if (!scan.region && (sep == '/' || sep == '*')) {
    printf("Error: Separator '%c' found in the definition of a cell or a general macrobody.\n", sep);
    return false;
  }
  return true;
}

bool SeparatorLevelAllowed(const ItemScan& scan, const ItemHead& h) {
  const char sep = *h.rest;
  if (scan.st->depth == 2) {
    printf("Error: Separator '%c' found at bracket depth 2.\n", sep);
    return false;
  }
  if (h.inFacetBracket) {
    printf("Error: Separator '%c' found in the sequence number of a macrobody facet.\n", sep);
    return false;
  }
  if (sep != '.' && scan.st->depth == 1) {
    printf("Error: Separator '%c' found at bracket depth 1.\n", sep);
    return false;
  }
  return true;
}

// ---- The object before a separator: a macrobody before '.', a cell before
// '/' (-1 for cell identifier 0). Returns false after a message.

bool FindSeparatorObject(const ItemScan& scan, const ItemHead& h, int32_t* object) {
  const bool isCellRef = *h.rest == '/';
  if (!InRange(h.id, isCellRef)) {
    printf(
        "Error: Invalid object identifier \"%.*s\" (it must be a %s integer number less than 2^31 = "
        "2147483648.\n",
        h.id.length(), h.id.begin, isCellRef ? "non-negative" : "positive");
    return false;
  }
  const int32_t identifier = h.id.integer();
  *object = -1;
  if (isCellRef) {
    if (identifier == 0) return true;
    *object = FindCell(*scan.tables, identifier);
    if (*object < 0) printf("Error: There is no cell with ID %d.\n", identifier);
    return *object >= 0;
  }
  if (FindPlainSurface(*scan.tables, identifier) >= 0) {
    printf("Error: Surface %d is not a macrobody.\n", identifier);
    return false;
  }
  *object = FindMacrobody(*scan.tables, identifier);
  if (*object < 0) printf("Error: There is no macrobody with ID %d.\n", identifier);
  return *object >= 0;
}

// ---- "<m>.[" or "<c>/[": a bracket level of the object; its first item follows.

int OpenObjectBracket(ItemScan& scan, const ItemHead& h, int32_t object, const char* afterBracket) {
  CellParserState* st = scan.st;
  ++st->depth;
  st->levelKind[st->depth] = *h.rest == '/' ? kBracketCell : kBracketMacrobody;
  st->levelObject[st->depth] = object;
  st->levelSign[st->depth] = h.sign;
  scan.objectSeparator = 0;
  scan.token = const_cast<char*>(afterBracket);
  if (*scan.token == '\0') {
    scan.token = NextToken(*scan.reader);
    scan.wholeToken = scan.token;
    if (scan.token == nullptr) {
      PrintMissingBrackets(st->depth);
      return kPieceError;
    }
  }
  return kPieceGoesOn;
}

// ---- "<m>.<k>": facet k of macrobody m.

int ParseMacrobodyFacet(ItemScan& scan, const ItemHead& h, int32_t object, const char* after) {
  const int32_t identifier = h.id.integer();
  const MACROBODY& body = scan.tables->macrobodies[object];
  const Digits k = ReadDigits(after);
  const char* q = k.end;
  if (!k.empty() && (*q == '.' || *q == '/' || *q == '*')) {
    printf("Error: String \"%d%c%s\" contains an invalid combination of two separators.\n", identifier, *h.rest, after);
    return kPieceError;
  }
  const int closers = CountClosers(&q);
  if (k.empty() || *q != '\0') {
    printf("Error: Invalid macrobody facet identifier \"%d.%s\".\n", identifier, after);
    return kPieceError;
  }
  if (k.value == 0.0) {
    printf("Error: Zero surface identifier found after a separator.\n");
    return kPieceError;
  }
  if (!InRange(k, false)) {
    printf(
        "Error: Invalid macrobody facet identifier \"%d.%.*s\" (it must be a positive integer number less "
        "than 2^31 = 2147483648.\n",
        identifier, k.length(), k.begin);
    return kPieceError;
  }
  if (k.value > body.nFacets) {
    printf("Error: Macrobody %d has less than %d facets.\n", identifier, k.integer());
    return kPieceError;
  }
  return FinishItem(scan, h.sign, scan.st->cellContext, -(object + 1), k.integer() - 1, closers);
}

// ---- An item with a separator after its digits.

int ParseSeparatedItem(ItemScan& scan, const ItemHead& h) {
  const char sep = *h.rest;
  if (!SeparatorAdmitted(scan, h)) return kPieceError;
  if (scan.region && scan.st->depth == 0 && scan.objectSeparator == 0 &&
      (sep == '*' || (sep == '/' && h.rest[1] == '*')))
    return ParseWholeCell(scan, h);
  if (!SeparatorLevelAllowed(scan, h)) return kPieceError;
  int32_t object = -1;
  if (!FindSeparatorObject(scan, h, &object)) return kPieceError;

  // What follows the separator.
  const bool isCellRef = sep == '/';
  const char* after = h.rest + 1;
  if (*after == '\0') {
    if (scan.objectSeparator != 0)
      printf("Error: Separator '%c' is not followed by an identifier.\n", sep);
    else
      printf("Error: Separator '%c' is not followed either by an identifier or the left bracket.\n", sep);
    return kPieceError;
  }
  if (isCellRef && scan.st->depth == 0) scan.st->cellContext = static_cast<uint16_t>(object + 1);
  if (*after == '[') return OpenObjectBracket(scan, h, object, after + 1);
  if (*after == '-' || *after == '+') {
    printf("Error: Separator '%c' is followed by the sign '%c'.\n", sep, *after);
    return kPieceError;
  }
  if (!isCellRef) return ParseMacrobodyFacet(scan, h, object, after);
  // "<c>/<item>": the item follows in the same token.
  scan.objectSeparator = sep;
  scan.objectId = h.id.integer();
  scan.afterObject = after;
  scan.carriedSign = h.sign;
  scan.token = const_cast<char*>(after);
  return kPieceGoesOn;
}

// ---- The identifier 0: the inner-surface specifier of a cell-entry region.

int ParseZeroIdentifier(ItemScan& scan, const ItemHead& h, bool regionZero, int closers) {
  if (scan.st->depth > 0) {
    printf("Error: Zero surface identifier found between brackets.\n");
    return kPieceError;
  }
  if (scan.objectSeparator != 0) {
    printf("Error: Zero surface identifier found after a separator.\n");
    return kPieceError;
  }
  if (!regionZero) {
    printf("Error: Zero surface identifier found.\n");
    return kPieceError;
  }
  if (!ApplyClosers(scan.st, closers, scan.wholeToken)) return kPieceError;
  *scan.sign = h.sign;
  *scan.surface = 0;
  *scan.facet = 0;
  *scan.cursor = NextToken(*scan.reader);
  return kPieceItem;
}

void PrintInvalidPlainItem(const ItemScan& scan, const ItemHead& h) {
  if (scan.objectSeparator != 0)
    printf("Error: Invalid surface identifier \"%d%c%s\".\n", scan.objectId, scan.objectSeparator, scan.afterObject);
  else if (h.inFacetBracket)
    printf("Error: Invalid macrobody facet identifier \"%d.%s\".\n", scan.tables->macrobodies[h.bracketBody].identifier,
           h.start);
  else
    printf("Error: Invalid surface identifier \"%s\".\n", h.start);
}

void PrintOutOfRangePlainItem(const ItemScan& scan, const ItemHead& h, bool regionZero) {
  if (h.inFacetBracket)
    printf(
        "Error: Invalid macrobody facet identifier \"%d.%.*s\" (it must be a positive integer number less "
        "than 2^31 = 2147483648.\n",
        scan.tables->macrobodies[h.bracketBody].identifier, h.id.length(), h.id.begin);
  else
    printf(
        "Error: Invalid surface identifier \"%.*s\" (it must be a %s integer number less than 2^31 = "
        "2147483648.\n",
        h.id.length(), h.id.begin, regionZero ? "non-negative" : "positive");
}

// ---- A plain item: a surface, a macrobody, or a facet number inside "<m>.[".

int ParsePlainItem(ItemScan& scan, const ItemHead& h) {
  const char* q = h.rest;
  const int closers = CountClosers(&q);
  if (h.id.empty() || *q != '\0') {
    PrintInvalidPlainItem(scan, h);
    return kPieceError;
  }
  const bool regionZero = scan.region && scan.st->depth == 0 && scan.objectSeparator == 0;
  if (h.id.value == 0.0) return ParseZeroIdentifier(scan, h, regionZero, closers);
  if (!InRange(h.id, regionZero)) {
    PrintOutOfRangePlainItem(scan, h, regionZero);
    return kPieceError;
  }
  const int32_t identifier = h.id.integer();
  if (h.inFacetBracket) {
    const MACROBODY& body = scan.tables->macrobodies[h.bracketBody];
    if (h.id.value > body.nFacets) {
      printf("Error: Macrobody %d has less than %d facets.\n", body.identifier, identifier);
      return kPieceError;
    }
    return FinishItem(scan, h.sign, scan.st->cellContext, -(h.bracketBody + 1), identifier - 1, closers);
  }
  const int32_t s = FindPlainSurface(*scan.tables, identifier);
  if (s >= 0) return FinishItem(scan, h.sign, scan.st->cellContext, s, -1, closers);
  const int32_t m = FindMacrobody(*scan.tables, identifier);
  if (m < 0) {
    printf("Error: Undefined surface identifier \"%d\".\n", identifier);
    return kPieceError;
  }
  return FinishItem(scan, h.sign, scan.st->cellContext, -(m + 1), -1, closers);
}

}  // namespace

int ParseCellDefinition(CellParserState* st, const DefinitionReader& reader, const GeometryTablesView& tables,
                        char** cursor, int8_t* sign, uint16_t* cellContext, int32_t* surface, int32_t* facet,
                        bool region) {
  *sign = 0;
  *cellContext = kNoCellContext;
  *surface = -1;
  *facet = -1;

  // End of the definition.
  char* token = *cursor;
  if (token == nullptr) {
    if (st->depth == 0) return 1;
    PrintMissingBrackets(st->depth);
    return 0;
  }
  if (st->depth == 0) {
    st->cellContext = kNoCellContext;
    st->levelKind[0] = kBracketNone;
    st->levelObject[0] = -1;
    st->levelSign[0] = 1;
  }

  // The item's pieces, one after the other, until one of them ends it.
  ItemScan scan{st, &reader, &tables, cursor, region, sign, cellContext, surface, facet};
  scan.token = token;
  scan.wholeToken = token;
  for (;;) {
    if (*scan.token == ']' && scan.objectSeparator == 0) return ParseClosingToken(scan);
    const ItemHead head = ReadItemHead(scan);
    const char sep = *head.rest;
    const int result =
        sep == '.' || sep == '/' || sep == '*' ? ParseSeparatedItem(scan, head) : ParsePlainItem(scan, head);
    if (result != kPieceGoesOn) return result;
  }
}

namespace {

// Makes room for `needed` entries when the capacity (count rounded up to a
// multiple of chunk) is smaller; a cell's surfaces and senses are fixed.
void GrowArrays(bool isCell, uint16_t count, int needed, int chunk, uint16_t** surfaces, int8_t** senses,
                int16_t** surfMacrobody, int16_t** surfFacet) {
  const int capacity = (count + chunk - 1) / chunk * chunk;
  if (needed <= capacity) return;
  const size_t grown = static_cast<size_t>((needed + chunk - 1) / chunk * chunk);
  if (!isCell) {
    *surfaces = static_cast<uint16_t*>(CheckedRealloc(*surfaces, grown * sizeof(uint16_t), "bounding surfaces"));
    *senses = static_cast<int8_t*>(CheckedRealloc(*senses, grown * sizeof(int8_t), "bounding surface senses"));
  }
  *surfMacrobody =
      static_cast<int16_t*>(CheckedRealloc(*surfMacrobody, grown * sizeof(int16_t), "macrobody references"));
  *surfFacet = static_cast<int16_t*>(CheckedRealloc(*surfFacet, grown * sizeof(int16_t), "facet references"));
}

}  // namespace

int AddBoundingSurface(CellParserState* state, const DefinitionReader& reader, const GeometryTablesView& tables,
                       char** cursor, bool isCell, int32_t identifier, uint16_t* count, uint16_t** surfaces,
                       int8_t** senses, int16_t** surfMacrobody, int16_t** surfFacet, int chunk) {
  if (chunk < 1) chunk = 1;
  const char* what = isCell ? "cell" : "macrobody";

  // Parse one item.
  int8_t sign = 0;
  uint16_t cellContext = kNoCellContext;
  int32_t surface = -1;
  int32_t facet = -1;
  const int result =
      ParseCellDefinition(state, reader, tables, cursor, &sign, &cellContext, &surface, &facet, false);
  if (result != 1 || sign == 0) return result;  // error, closers only, or the definition has ended

  const int first = *count;
  if (surface >= 0 || facet >= 0) {
    // Plain surface or single facet: one entry.
    if (*count >= kMaxBoundingEntries) {
      printf("Error: The number of facets of %s %d is greater than %d.\n", what, identifier, kMaxBoundingEntries);
      return 0;
    }
    GrowArrays(isCell, *count, *count + 1, chunk, surfaces, senses, surfMacrobody, surfFacet);
    const int n = *count;
    if (surface >= 0) {
      (*surfaces)[n] = static_cast<uint16_t>(surface);
      (*senses)[n] = sign;
      (*surfMacrobody)[n] = 0;
      (*surfFacet)[n] = 0;
    } else {
      const int32_t m = -surface - 1;
      const MACROBODY& body = tables.macrobodies[m];
      const int sense = body.facetSenses[facet] * sign;
      (*surfaces)[n] = body.facetSurfaces[facet];
      (*senses)[n] = static_cast<int8_t>(body.kind == kMacrobodyGeneral ? sense : -sense);
      (*surfMacrobody)[n] = static_cast<int16_t>(sign * (m + 1));
      (*surfFacet)[n] = static_cast<int16_t>(-(facet + 1));
    }
    *count = static_cast<uint16_t>(n + 1);
  } else {
    // Whole macrobody: every facet in order.
    const int32_t m = -surface - 1;
    const MACROBODY& body = tables.macrobodies[m];
    const bool general = body.kind == kMacrobodyGeneral;
    if (!general && sign != -1) {
      printf("Error: The identifier of a standard macrobody has been specified in the definition of %s %d without "
             "the minus sign.\n",
             what, identifier);
      return 0;
    }
    if (general && sign != 1) {
      printf("Error: The identifier of a general macrobody has been specified in the definition of %s %d with the "
             "minus sign.\n",
             what, identifier);
      return 0;
    }
    if (*count + body.nFacets > kMaxBoundingEntries) {
      printf("Error: The number of facets of %s %d is greater than %d.\n", what, identifier, kMaxBoundingEntries);
      return 0;
    }
    GrowArrays(isCell, *count, *count + body.nFacets, chunk, surfaces, senses, surfMacrobody, surfFacet);
    const int16_t reference = static_cast<int16_t>(general ? m + 1 : -(m + 1));
    for (int i = 0; i < body.nFacets; ++i) {
      const int n = *count + i;
      (*surfaces)[n] = body.facetSurfaces[i];
      (*senses)[n] = body.facetSenses[i];
      (*surfMacrobody)[n] = reference;
      (*surfFacet)[n] = static_cast<int16_t>(i + 1);
    }
    *count = static_cast<uint16_t>(*count + body.nFacets);
  }

  // A general macrobody's definition counts its references to each surface.
  if (!isCell)
    for (int n = first; n < *count; ++n) ++tables.surfaces[(*surfaces)[n]].referenceCount;
  return 1;
}

char* FormatSurfaceId(const SURFACE* surface, int sign, int16_t surfMacrobody, int16_t surfFacet,
                      const MACROBODY* macrobodies, char* out, size_t outSize) {
  if (outSize == 0) return out;
  const char signChar = sign >= 1 ? '+' : '-';

  // Text of the surface itself.
  char own[48];
  if (surface->macrobody < 0) {
    if (sign != 0)
      snprintf(own, sizeof own, "%c%d", signChar, surface->identifier);
    else
      snprintf(own, sizeof own, "%d", surface->identifier);
  } else {
    const int32_t ownerId = macrobodies[surface->macrobody].identifier;
    if (sign != 0)
      snprintf(own, sizeof own, "%c%d.%d", signChar, ownerId, surface->identifier);
    else
      snprintf(own, sizeof own, "%d.%d", ownerId, surface->identifier);
  }
  if (surfMacrobody == 0) {
    snprintf(out, outSize, "%s", own);
    return out;
  }

  // The entry as the definition named it: macrobody and facet.
  const int32_t m = (surfMacrobody < 0 ? -surfMacrobody : surfMacrobody) - 1;
  const int f = surfFacet < 0 ? -surfFacet : surfFacet;
  const MACROBODY& body = macrobodies[m];
  int written;
  if (sign != 0) {
    bool plus;
    if (body.kind != kMacrobodyGeneral)
      plus = surfMacrobody > 0;
    else
      plus = f >= 1 && f <= body.nFacets && body.facetSenses[f - 1] * sign >= 1;
    written = snprintf(out, outSize, "%c%d.%d", plus ? '+' : '-', body.identifier, f);
  } else {
    written = snprintf(out, outSize, "%d.%d", body.identifier, f);
  }
  if (written < 0 || static_cast<size_t>(written) >= outSize) return out;

  // The surface behind the facet, when it is not the macrobody's own.
  if (surface->macrobody < 0 || surface->macrobody != m)
    snprintf(out + written, outSize - static_cast<size_t>(written), " (%s)", own);
  return out;
}
