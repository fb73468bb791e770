#include "language/output_builtins.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "language/compiler.h"
#include "language/integer_conversion.h"
#include "language/interpreter.h"
#include "language/number_format.h"
#include "platform/keys.h"
#include "platform/process.h"

namespace {

constexpr size_t kNumberBuffer = kMaxOutputText + 2;  // a number longer than a whole text never fits

Compiler& Language() { return *language::activeCompiler; }

// The numbers that the executing instruction really holds: a count beyond
// its operands (a constant changed behind the compiler's back) is cut.
uint64_t NumbersAvailable(uint64_t asked) {
  const CProgramCode* code = language::currentProgram;
  if (code == nullptr) return asked;
  const int i = code->currentInstruction;
  if (i < 0 || i >= code->instructionCount) return asked;
  const int operands = code->OperandCount(i);
  const uint64_t held = operands > 2 ? static_cast<uint64_t>(operands - 2) : 0;
  return asked < held ? asked : held;
}

bool OnlyBlanksAndTabs(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

// The text goes to the input reader as directive output.
double ToDirectives(double** args, bool newline) {
  Compiler& language = Language();
  std::string text = OutputText(args, newline);
  if (language.directiveOutputEnabled.load(std::memory_order_acquire)) {
    const CProgramCode* running = language.runControl->code;
    int line = running != nullptr ? running->SourceLineOf(running->currentInstruction) : -1;
    language.WriteDirectiveOutput(text.c_str(), line);
  }
  return *args[1];
}

double ToStream(double** args, bool newline, FILE* stream) {
  std::string text = OutputText(args, newline);
  if (stream != nullptr) std::fputs(text.c_str(), stream);
  return *args[1];
}

double ToWriteFile(double** args, bool newline) {
  FILE* file = Language().writeFile;
  return file != nullptr ? ToStream(args, newline, file) : ToDirectives(args, newline);
}

// FopenW and FopenR: a name with something but blanks and tabs opens a file
// that replaces the open one; else the open one stays.
double OpenFile(double** args, const char* mode, FILE** member) {
  std::string name = OutputText(args, false);
  if (!OnlyBlanksAndTabs(name)) {
    FILE* file = std::fopen(name.c_str(), mode);
    if (file != nullptr) {
      if (*member != nullptr) std::fclose(*member);
      *member = file;
      return 1;
    }
  }
  return *member != nullptr ? -1 : 0;
}

// A stream is given up even when its close fails: it cannot be used again.
double CloseFile(FILE** member) {
  if (*member == nullptr) return 0;
  int status = std::fclose(*member);
  *member = nullptr;
  return status == 0 ? 0 : -1;
}

// A decimal count at text[*at] (saturated), its digits consumed.
int64_t DigitsAt(const std::string& text, size_t* at) {
  int64_t value = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
    if (value <= kMaxOutputText) value = value * 10 + (text[*at] - '0');
    ++*at;
  }
  return value;
}

}  // namespace

std::string OutputText(double** args, bool newline) {
  Compiler& language = Language();
  const CStrArray& literals = language.stringConstants;
  uint64_t first = 0;
  uint64_t n = 0;
  IntegerPartOfHalfUp(*args[0], &first);
  IntegerPartOfHalfUp(*args[1], &n);
  n = NumbersAvailable(n);

  std::string text;
  for (uint64_t i = 0;; ++i) {
    // The literal, cut to what is left of the 1000 characters.
    const uint64_t index = first + i;
    if (index < static_cast<uint64_t>(literals.GetCount())) {
      const char* literal = literals.GetAt(static_cast<int>(index));
      size_t room = static_cast<size_t>(kMaxOutputText) - text.size();
      text.append(literal, std::min(std::strlen(literal), room));
    }
    if (i == n || text.size() >= static_cast<size_t>(kMaxOutputText)) break;
    // The number, whole or not at all.
    char number[kNumberBuffer];
    int length = std::snprintf(number, sizeof number, language.numberFormat, *args[i + 2]);
    if (length < 0 || static_cast<size_t>(length) >= sizeof number ||
        text.size() + static_cast<size_t>(length) > static_cast<size_t>(kMaxOutputText)) {
      break;
    }
    text.append(number, static_cast<size_t>(length));
  }
  if (newline) text += '\n';
  return text;
}

bool NumberFormatIsBounded(const char* format) {
  NUMBERFORMATPARTS parts;
  if (!CheckNumberFormat(format, &parts)) return false;
  const std::string& conversion = parts.conversion;  // '%', flags and digits, the conversion character
  size_t at = 1;
  while (at < conversion.size() && (conversion[at] == '+' || conversion[at] == '-')) ++at;
  int64_t width = DigitsAt(conversion, &at);
  int64_t precision = 0;
  if (at < conversion.size() && conversion[at] == '.') {
    ++at;
    precision = DigitsAt(conversion, &at);
  }
  return width <= kMaxOutputText && precision <= kMaxOutputText;
}

double BuiltinDir(double** args) { return ToDirectives(args, true); }

double BuiltinDir2(double** args) { return ToDirectives(args, false); }

double BuiltinWrite(double** args) { return ToWriteFile(args, true); }

double BuiltinWrite2(double** args) { return ToWriteFile(args, false); }

double BuiltinPrint(double** args) { return ToStream(args, true, Language().printFile); }

double BuiltinPrint2(double** args) { return ToStream(args, false, Language().printFile); }

// The command runs with the files flushed and the terminal in its own mode;
// the input reader leaves the keyboard alone meanwhile.
double BuiltinSystem(double** args) {
  Compiler& language = Language();
  std::string command = OutputText(args, false);
  if (language.writeFile != nullptr) std::fflush(language.writeFile);
  std::fflush(stdout);
  language.keyboardPollingAllowed.store(0, std::memory_order_release);
  SuspendKeyMode();
  int status = RunShellCommand(command.c_str());
  ResumeKeyMode();
  language.keyboardPollingAllowed.store(1, std::memory_order_release);
  return status;
}

double BuiltinFopenW(double** args) { return OpenFile(args, "w", &Language().writeFile); }

double BuiltinFopenR(double** args) { return OpenFile(args, "r", &Language().readFile); }

// A blank text restores the default format; a format that is too long, not
// one conversion of a double, or wider than a text leaves the format as it is.
double BuiltinSetNumberFormat(double** args) {
  Compiler& language = Language();
  std::string format = OutputText(args, false);
  if (OnlyBlanksAndTabs(format)) {
    std::snprintf(language.numberFormat, sizeof language.numberFormat, "%s", language.defaultNumberFormat);
  } else if (format.size() <= static_cast<size_t>(kMaxNumberFormatLength) && NumberFormatIsBounded(format.c_str())) {
    std::snprintf(language.numberFormat, sizeof language.numberFormat, "%s", format.c_str());
  }
  return *args[1];
}

double BuiltinFcloseW(double** /*args*/) { return CloseFile(&Language().writeFile); }

double BuiltinFcloseR(double** /*args*/) { return CloseFile(&Language().readFile); }

// Lines of any length count once; a last line without a newline counts too.
double BuiltinSkipLines(double** args) {
  FILE* file = Language().readFile;
  int64_t wanted = 0;
  IntegerPartOfHalfUp(*args[0], &wanted);
  if (file == nullptr || wanted <= 0) return 0;
  int64_t skipped = 0;
  while (skipped < wanted) {
    int ch = std::fgetc(file);
    if (ch == EOF) break;
    while (ch != '\n' && ch != EOF) ch = std::fgetc(file);
    ++skipped;
  }
  return static_cast<double>(skipped);
}
