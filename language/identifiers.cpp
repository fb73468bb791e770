// Checking the name of a new program, parameter or array.
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "language/compiler.h"
#include "language/messages.h"

namespace {

// The separators and special symbols that no identifier may contain.
constexpr const char* kSeparatorCharacters = "+-/*^=,().!?<>;:[]{}|\\'%\"";

constexpr int kFirstIdentifierBuiltin = 14;  // codes 0..13 are operators

bool EqualIgnoringCase(const char* a, const char* b) {
  size_t n = std::strlen(a);
  return n == std::strlen(b) && EqualNoCaseN(a, b, n);
}

// Fetches message `number` and formats it with one text argument.
void FormatMessage(char* out, int number, const char* argument) {
  char format[2000];
  GetMessageText(number, format, sizeof format);
  if (argument == nullptr) {
    std::snprintf(out, 2000, "%s", format);
  } else {
    std::snprintf(out, 2000, format, argument);
  }
}

void TrimInPlace(char* name) {
  const char* start = SkipBlanks(name);
  size_t length = std::strlen(start);
  std::memmove(name, start, length + 1);
  while (length > 0 && IsBlank(name[length - 1])) name[--length] = '\0';
}

}  // namespace

int Compiler::CheckIdentifier(char* name, int mode, int* index, const char* label, char* messageOut,
                              int* clashKind) {
  *clashKind = 0;
  if (OnlyBlanks(name)) {
    FormatMessage(messageOut, label ? 2238 : 2288, label);
    return 0;
  }
  if (std::strpbrk(name, kSeparatorCharacters) != nullptr) {
    FormatMessage(messageOut, label ? 2232 : 2289, label);
    return 0;
  }
  if (*SkipBlanks(name) >= '0' && *SkipBlanks(name) <= '9') {
    FormatMessage(messageOut, label ? 2233 : 2290, label);
    return 0;
  }
  TrimInPlace(name);
  mode = mode < 0 ? -mode : mode;

  if (mode != 1) {
    for (int p = 0; p < nGlobalParameters; ++p) {
      if (EqualIgnoringCase(globalParameterNames[p].name, name)) {
        *clashKind = 1;
        break;
      }
    }
  }
  for (int v = 0; v < kSystemVariableCount; ++v) {
    if (EqualIgnoringCase(systemVariableNames[v], name)) {
      FormatMessage(messageOut, 2292, name);
      *index = -1;
      return 0;
    }
  }
  for (int code = kFirstIdentifierBuiltin; code < kBuiltinCount; ++code) {
    if (EqualIgnoringCase(builtinNames[code], name)) {
      FormatMessage(messageOut, 2293, name);
      *index = -3;
      return 0;
    }
  }
  for (int p = 0; p < ProgramCount(); ++p) {
    if (mode == 3 && p == *index) continue;
    if (!EqualIgnoringCase(programs[p]->info.name, name)) continue;
    if (mode == 3) {
      FormatMessage(messageOut, 2235, name);
      *index = p;
      return 0;
    }
    if (*clashKind == 0) *clashKind = 3;
  }
  return 1;
}
