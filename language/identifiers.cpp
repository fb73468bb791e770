// Checking the name of a new program, parameter, variable or array.
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "language/compiler.h"
#include "language/messages.h"

namespace {

// The separators and special symbols that no identifier may contain.
constexpr const char* kSeparatorCharacters = "+-/*^=,().!?<>;:[]{}|\\'%\"";

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

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// The spelling rules: not empty, no separator, no leading digit. Returns the
// message number of the rule broken (with or without a label), 0 for none.
int SpellingFault(const char* name, bool labelled) {
  if (OnlyBlanks(name)) return labelled ? 2238 : 2288;
  if (std::strpbrk(name, kSeparatorCharacters) != nullptr) return labelled ? 2232 : 2289;
  if (IsDigit(*SkipBlanks(name))) return labelled ? 2233 : 2290;
  return 0;
}

}  // namespace

int Compiler::CheckIdentifier(char* name, int mode, int* index, const char* label, char* messageOut,
                              IDENTIFIERCLASHES* clashes) {
  int fault = SpellingFault(name, label != nullptr);
  if (fault != 0) {
    FormatMessage(messageOut, fault, label);
    return 0;
  }
  TrimInPlace(name);
  mode = mode < 0 ? -mode : mode;
  int skipped = index != nullptr ? *index : -1;
  auto report = [&](int number, int clashIndex) {
    FormatMessage(messageOut, number, name);
    if (index != nullptr) *index = clashIndex;
    return 0;
  };

  // Names that can never be taken.
  for (int v = 0; v < kSystemVariableCount; ++v) {
    if (EqualIgnoringCase(systemVariableNames[v], name)) return report(2292, -1);
  }
  for (int code = kFirstIdentifierBuiltin; code < kBuiltinCount; ++code) {
    if (EqualIgnoringCase(builtinNames[code], name)) return report(2293, -3);
  }

  // Objects that bear the name: an error in their own mode, a clash otherwise.
  IDENTIFIERCLASHES found;
  if (mode != 1) {
    for (int p = 0; p < nGlobalParameters; ++p) {
      if (!EqualIgnoringCase(globalParameterNames[p].name, name)) continue;
      found.push_back({kGlobalParameterObject, p, globalParameterNames[p].name});
      break;
    }
  }
  for (int p = 0; p < ProgramCount(); ++p) {
    if (mode == 3 && p == skipped) continue;
    if (!EqualIgnoringCase(programs[p]->info.name, name)) continue;
    if (mode == 3) return report(2235, p);
    found.push_back({kProgramObject, p, programs[p]->info.name});
    break;
  }
  for (int a = 0; a < ArrayCount(); ++a) {
    if ((mode == 5 || mode == 6) && a == skipped) continue;
    if (!EqualIgnoringCase(arrays[a].name, name)) continue;
    if (mode == 5) return report(2236, a);
    found.push_back({kArrayObject, a, arrays[a].name});
    break;
  }
  if (clashes != nullptr) clashes->insert(clashes->end(), found.begin(), found.end());
  return 1;
}
