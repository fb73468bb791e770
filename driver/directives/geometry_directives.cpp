#include "driver/directives/geometry_directives.h"

#include "driver/directives/cell_directives.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/precision_directives.h"
#include "driver/directives/surface_directives.h"
#include "driver/directives/transform_directives.h"
#include "driver/input/input_reader.h"

namespace {

using DefineFunction = Status (*)(const char* word);

struct GEOMETRYKEYWORD {
  bool (*matches)(const char* word);
  DefineFunction define;
  const char* forms[2];  // the manual's names of the keyword
};

const GEOMETRYKEYWORD kGeometryKeywords[] = {
    {IsSurfaceKeyword, DefineSurface, {"S<n>", nullptr}},
    {IsUnionKeyword, DefineUnion, {"UNION<n>", nullptr}},
    {IsCellKeyword, DefineCell, {"C<n>", nullptr}},
    {IsTransformKeyword, DefineTransform, {"TR<n>", "*TR<n>"}},
};

}  // namespace

bool HandleGeometryDirective(const char* word) {
  for (const GEOMETRYKEYWORD& k : kGeometryKeywords) {
    if (!k.matches(word)) continue;
    input::lastKeyword = -1;
    if (input::inputPass == 0) {
      SkipRestOfLine();
      input::lineDone = true;
      return true;
    }
    input::lineDone = k.define(word) == kOk;
    return true;
  }
  return false;
}

void ListGeometryDirectives(KEYWORDNAMES* names) {
  for (const GEOMETRYKEYWORD& k : kGeometryKeywords) {
    for (const char* form : k.forms) {
      if (form != nullptr) AddKeywordName(names, form);
    }
  }
}

void ResetGeometryDirectives() {
  ResetGeometryTables();
  ResetPrecisionDirectives();
}
