#include "driver/directives/directive_dispatch.h"

#include <cstring>
#include <string>

#include "core/text.h"
#include "driver/directives/directive_modules.h"
#include "driver/directives/run_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/option_parsers.h"
#include "driver/input/options.h"
#include "driver/input/program_lines.h"
#include "driver/input/value_forms.h"

namespace {

// The binning quantities of plane tallies, in the order they are tested.
const char* const kBinningNames[] = {"E", "THETA", "MU", "R", "PHI", "X", "Y"};
constexpr int kBinningNameCount = 7;

// A binning line: the name alone, or followed by a positive integer (E2).
int BinningNameIndex(const char* word) {
  for (int i = 0; i < kBinningNameCount; ++i) {
    size_t length = std::strlen(kBinningNames[i]);
    if (!EqualNoCaseN(word, kBinningNames[i], length)) continue;
    if (word[length] == '\0' || PlainInteger(word + length) > 0) return i;
  }
  return -1;
}

// The log opens at the first directive of a pass when writeLog is on, unless
// that directive is LOG itself (which names the log).
bool OpenLogAtFirstDirective(const char* word) {
  if (input::logFile != nullptr || !input::runOptions.writeLog || input::directiveCount != 1) return true;
  if (input::runOptions.check != 0 && EqualNoCase(word, "LOG")) return true;
  return OpenLogFile() == kOk;
}

}  // namespace

void DispatchDirective(const char* word) {
  ++input::directiveCount;
  if (!OpenLogAtFirstDirective(word)) {
    input::inputExitCode = 1;
    return;
  }
  if (input::runOptions.check == 0) {
    input::lineDone = true;
    return;
  }
  std::snprintf(input::keywordCopy, kKeywordCopyLength + 1, "%s", word);

  int binning = BinningNameIndex(word);
  if (binning >= 0) {
    if (input::inputPass == 0) {
      SkipRestOfLine();
      input::lineDone = true;
      return;
    }
    input::lineDone = ParseBinningLine(word, binning) == 0;
    if (!input::lineDone) input::inputExitCode = 1;
    return;
  }
  for (int i = 0; i < directives::directiveModuleCount; ++i) {
    if (directives::directiveModules[i].handle(word)) return;
  }
  HandleSpectrumLine(word);
}

KEYWORDNAMES DirectiveKeywordNames() {
  KEYWORDNAMES names;
  for (const char* binning : kBinningNames) AddKeywordName(&names, std::string(binning) + "[<n>]");
  for (int i = 0; i < directives::directiveModuleCount; ++i) directives::directiveModules[i].list(&names);
  for (int kind = 0; kind < kNotABlock; ++kind) AddKeywordName(&names, input::kBlockKeywords[kind]);
  return names;
}
