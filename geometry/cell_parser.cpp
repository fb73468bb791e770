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

  // Context of the item: the cell named before '/' in this token, if any.
  char objectSeparator = 0;   // '/' once "<c>/" has been read
  int32_t objectId = 0;       // its identifier, for messages
  const char* afterObject = nullptr;
  int8_t carriedSign = 1;     // sign of "<c>/", carried to the item after it
  const char* wholeToken = token;  // the token being read, for messages

  for (;;) {
    const char* p = token;

    // A token of closing brackets only.
    if (*p == ']' && objectSeparator == 0) {
      const int closers = CountClosers(&p);
      if (*p != '\0') {
        printf("Error: Invalid surface identifier \"%s\".\n", token);
        return 0;
      }
      if (!ApplyClosers(st, closers, token)) return 0;
      *cursor = NextToken(reader);
      return -1;
    }

    // Sign and leading identifier.
    const char* itemStart = p;
    int8_t itemSign = 1;
    if (*p == '-') {
      itemSign = -1;
      ++p;
    }
    itemSign = objectSeparator != 0 ? carriedSign : static_cast<int8_t>(itemSign * st->levelSign[st->depth]);
    const Digits id = ReadDigits(p);
    p = id.end;
    const bool inFacetBracket = st->depth > 0 && st->levelKind[st->depth] == kBracketMacrobody;
    const int32_t bracketBody = inFacetBracket ? st->levelObject[st->depth] : -1;
    const char sep = *p;

    if (sep == '.' || sep == '/' || sep == '*') {
      // Separators: where they are admitted.
      if (id.empty()) {
        printf("Error: Invalid surface identifier \"%s\".\n", itemStart);
        return 0;
      }
      if (objectSeparator != 0 && sep != '.') {
        printf("Error: String \"%d%c%s\" contains an invalid combination of two separators.\n", objectId,
               objectSeparator, afterObject);
        return 0;
      }
      if (!region && (sep == '/' || sep == '*')) {
        printf("Error: Separator '%c' found in the definition of a cell or a general macrobody.\n", sep);
        return 0;
      }
      if (region && st->depth == 0 && objectSeparator == 0 && (sep == '*' || (sep == '/' && p[1] == '*'))) {
        // Whole-cell reference "<c>*" or "<c>/*".
        if (!InRange(id, false)) {
          printf("Error: Invalid object identifier \"%.*s\" (it must be a positive integer number less than "
                 "2^31 = 2147483648.\n",
                 id.length(), id.begin);
          return 0;
        }
        const int32_t c = FindCell(tables, id.integer());
        if (c < 0) {
          printf("Error: There is no cell with ID %d.\n", id.integer());
          return 0;
        }
        const char* rest = sep == '*' ? p + 1 : p + 2;
        if (*rest != '\0') {
          printf("Error: Invalid surface identifier \"%d%c%s\".\n", id.integer(), sep, p + 1);
          return 0;
        }
        *sign = itemSign;
        *cellContext = WholeCellContext(c);
        *cursor = NextToken(reader);
        return 1;
      }
      if (st->depth == 2) {
        printf("Error: Separator '%c' found at bracket depth 2.\n", sep);
        return 0;
      }
      if (inFacetBracket) {
        printf("Error: Separator '%c' found in the sequence number of a macrobody facet.\n", sep);
        return 0;
      }
      if (sep != '.' && st->depth == 1) {
        printf("Error: Separator '%c' found at bracket depth 1.\n", sep);
        return 0;
      }
      // The object: a macrobody before '.', a cell before '/'.
      const bool isCellRef = sep == '/';
      if (!InRange(id, isCellRef)) {
        printf("Error: Invalid object identifier \"%.*s\" (it must be a %s integer number less than 2^31 = "
               "2147483648.\n",
               id.length(), id.begin, isCellRef ? "non-negative" : "positive");
        return 0;
      }
      const int32_t identifier = id.integer();
      int32_t object = -1;
      if (isCellRef) {
        if (identifier != 0) {
          object = FindCell(tables, identifier);
          if (object < 0) {
            printf("Error: There is no cell with ID %d.\n", identifier);
            return 0;
          }
        }
      } else {
        if (FindPlainSurface(tables, identifier) >= 0) {
          printf("Error: Surface %d is not a macrobody.\n", identifier);
          return 0;
        }
        object = FindMacrobody(tables, identifier);
        if (object < 0) {
          printf("Error: There is no macrobody with ID %d.\n", identifier);
          return 0;
        }
      }

      // What follows the separator.
      const char* after = p + 1;
      if (*after == '\0') {
        if (objectSeparator != 0)
          printf("Error: Separator '%c' is not followed by an identifier.\n", sep);
        else
          printf("Error: Separator '%c' is not followed either by an identifier or the left bracket.\n", sep);
        return 0;
      }
      if (isCellRef && st->depth == 0) st->cellContext = static_cast<uint16_t>(object + 1);
      if (*after == '[') {
        // Open a bracket level of the object; its first item follows.
        ++st->depth;
        st->levelKind[st->depth] = isCellRef ? kBracketCell : kBracketMacrobody;
        st->levelObject[st->depth] = object;
        st->levelSign[st->depth] = itemSign;
        objectSeparator = 0;
        token = const_cast<char*>(after + 1);
        if (*token == '\0') {
          token = NextToken(reader);
          wholeToken = token;
          if (token == nullptr) {
            PrintMissingBrackets(st->depth);
            return 0;
          }
        }
        continue;
      }
      if (*after == '-' || *after == '+') {
        printf("Error: Separator '%c' is followed by the sign '%c'.\n", sep, *after);
        return 0;
      }
      if (isCellRef) {
        // "<c>/<item>": the item follows in the same token.
        objectSeparator = sep;
        objectId = identifier;
        afterObject = after;
        carriedSign = itemSign;
        token = const_cast<char*>(after);
        continue;
      }

      // "<m>.<k>": one facet of macrobody m.
      const MACROBODY& body = tables.macrobodies[object];
      const Digits k = ReadDigits(after);
      const char* q = k.end;
      if (!k.empty() && (*q == '.' || *q == '/' || *q == '*')) {
        printf("Error: String \"%d%c%s\" contains an invalid combination of two separators.\n", identifier, sep,
               after);
        return 0;
      }
      const int closers = CountClosers(&q);
      if (k.empty() || *q != '\0') {
        printf("Error: Invalid macrobody facet identifier \"%d.%s\".\n", identifier, after);
        return 0;
      }
      if (k.value == 0.0) {
        printf("Error: Zero surface identifier found after a separator.\n");
        return 0;
      }
      if (!InRange(k, false)) {
        printf("Error: Invalid macrobody facet identifier \"%d.%.*s\" (it must be a positive integer number less "
               "than 2^31 = 2147483648.\n",
               identifier, k.length(), k.begin);
        return 0;
      }
      if (k.value > body.nFacets) {
        printf("Error: Macrobody %d has less than %d facets.\n", identifier, k.integer());
        return 0;
      }
      *sign = itemSign;
      *cellContext = st->cellContext;
      *surface = -(object + 1);
      *facet = k.integer() - 1;
      if (!ApplyClosers(st, closers, wholeToken)) return 0;
      *cursor = NextToken(reader);
      return 1;
    }

    // A plain item: surface, macrobody, or a facet number inside "<m>.[".
    const char* q = p;
    const int closers = CountClosers(&q);
    if (id.empty() || *q != '\0') {
      if (objectSeparator != 0)
        printf("Error: Invalid surface identifier \"%d%c%s\".\n", objectId, objectSeparator, afterObject);
      else if (inFacetBracket)
        printf("Error: Invalid macrobody facet identifier \"%d.%s\".\n", tables.macrobodies[bracketBody].identifier,
               itemStart);
      else
        printf("Error: Invalid surface identifier \"%s\".\n", itemStart);
      return 0;
    }
    const bool regionZero = region && st->depth == 0 && objectSeparator == 0;
    if (id.value == 0.0) {
      if (st->depth > 0) {
        printf("Error: Zero surface identifier found between brackets.\n");
        return 0;
      }
      if (objectSeparator != 0) {
        printf("Error: Zero surface identifier found after a separator.\n");
        return 0;
      }
      if (!regionZero) {
        printf("Error: Zero surface identifier found.\n");
        return 0;
      }
      // The inner-surface specifier of a cell-entry tally region.
      if (!ApplyClosers(st, closers, wholeToken)) return 0;
      *sign = itemSign;
      *surface = 0;
      *facet = 0;
      *cursor = NextToken(reader);
      return 1;
    }
    if (!InRange(id, regionZero)) {
      if (inFacetBracket)
        printf("Error: Invalid macrobody facet identifier \"%d.%.*s\" (it must be a positive integer number less "
               "than 2^31 = 2147483648.\n",
               tables.macrobodies[bracketBody].identifier, id.length(), id.begin);
      else
        printf("Error: Invalid surface identifier \"%.*s\" (it must be a %s integer number less than 2^31 = "
               "2147483648.\n",
               id.length(), id.begin, regionZero ? "non-negative" : "positive");
      return 0;
    }
    const int32_t identifier = id.integer();
    if (inFacetBracket) {
      const MACROBODY& body = tables.macrobodies[bracketBody];
      if (id.value > body.nFacets) {
        printf("Error: Macrobody %d has less than %d facets.\n", body.identifier, identifier);
        return 0;
      }
      *surface = -(bracketBody + 1);
      *facet = identifier - 1;
    } else {
      const int32_t s = FindPlainSurface(tables, identifier);
      if (s >= 0) {
        *surface = s;
      } else {
        const int32_t m = FindMacrobody(tables, identifier);
        if (m < 0) {
          printf("Error: Undefined surface identifier \"%d\".\n", identifier);
          return 0;
        }
        *surface = -(m + 1);
      }
      *facet = -1;
    }
    *sign = itemSign;
    *cellContext = st->cellContext;
    if (!ApplyClosers(st, closers, wholeToken)) return 0;
    *cursor = NextToken(reader);
    return 1;
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
