// The ARRAYS block: the declarations of the user arrays, their initial
// values and the index base of every array.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/programinfo.h"
#include "core/text.h"
#include "language/compiler.h"
#include "language/decimal_scanner.h"

namespace {

constexpr int kMessageCapacity = kDiagnosticLength + 1;

// The element-type keywords, in the order in which a line is compared with them.
struct TYPEKEYWORD {
  const char* word;
  ArrayElementType type;
};
constexpr TYPEKEYWORD kTypeKeywords[] = {
    {"double", kElementDouble}, {"float", kElementFloat}, {"int", kElementInt},   {"uint", kElementUInt},
    {"int2", kElementInt2},     {"uint2", kElementUInt2}, {"int1", kElementInt1}, {"uint1", kElementUInt1},
};

// What the block has done so far, carried from line to line.
struct ARRAYSSTATE {
  int declared = 0;               // arrays this block has added
  bool listOpen = false;          // an initialiser list runs on to the next line
  int listArray = -1;             // the array that the open list fills
  int listType = kElementDouble;  // the type of the line that opened it
  int64_t nextElement = 0;        // the element the next value goes to
};

// The message framed as the block's errors are: "******** text ********".
std::string Framed(const char* format, ...) {
  char text[kMessageCapacity];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return std::string("******** ") + text + " ********";
}

// The lines of the text: a line ends at a carriage return, and a line feed
// right behind it is passed over.
std::vector<std::string> BlockLines(const char* text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p != '\r') {
      line += *p;
      continue;
    }
    lines.push_back(line);
    line.clear();
    if (p[1] == '\n') ++p;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string WithoutComment(const std::string& line) {
  size_t comment = line.find("//");
  return comment == std::string::npos ? line : line.substr(0, comment);
}

// The keyword at p when it is followed by a blank, a tab or (allowEnd) the end.
bool KeywordAt(const char* p, const char* word, bool allowEnd) {
  size_t n = std::strlen(word);
  if (!EqualNoCaseN(p, word, n)) return false;
  return IsBlank(p[n]) || (allowEnd && p[n] == '\0');
}

const char* SkipBlanksAndComma(const char* p) {
  p = SkipBlanks(p);
  if (*p == ',') ++p;
  return p;
}

}  // namespace

// ---------------------------------------------------------------- INDEX_BASE

namespace {

std::string ParseIndexBase(const char* p, const ARRAYSSTATE& state, int32_t* indexBase) {
  if (state.declared > 0) {
    return Framed("The keyword \"INDEX_BASE\" must be the first keyword after the \"ARRAYS\" directive.");
  }
  const std::string mustBeZeroOrOne = Framed("The keyword \"INDEX_BASE\" must be followed by 0 or 1.");
  p = SkipBlanks(p + std::strlen("INDEX_BASE"));
  int64_t value = 0;
  size_t length = 0;
  if (!ReadDecimalInteger(p, {false, true}, &value, &length)) return mustBeZeroOrOne;
  if ((value != 0 && value != 1) || !(p[length] == '\0' || IsBlank(p[length]))) return mustBeZeroOrOne;
  *indexBase = static_cast<int32_t>(value);
  if (!OnlyBlanks(p + length)) {
    return Framed("Error: the remainder of the line after the directive \"INDEX_BASE %d\" is not empty.",
                  static_cast<int>(value));
  }
  return "";
}

}  // namespace

// ---------------------------------------------------------------- declarations

namespace {

// Reads the dimensions behind the '[' at *p up to the closing ']'.
std::string ParseDimensions(const char** p, const char* name, int32_t* dimensions, int* count) {
  const char* at = *p;
  *count = 0;
  for (;;) {
    at = SkipBlanks(at);
    if (*at == '\0') return Framed("Missing right bracket in the definition of array \"%s\".", name);
    int64_t value = 0;
    size_t length = 0;
    if (!ReadDecimalInteger(at, {false, true}, &value, &length)) value = 0;
    char behind = at[length];
    // A line that ends behind the number misses its bracket (the next pass says so).
    bool ends = behind == ',' || behind == ']' || behind == '\0' || IsBlank(behind);
    if (value < 1 || value > kMaxArrayDimension || !ends) {
      return Framed("Invalid value of a dimension of array \"%s\".", name);
    }
    dimensions[(*count)++] = static_cast<int32_t>(value);
    at = SkipBlanks(at + length);
    if (*at == ']') break;
    if (*count == kMaxArrayDimensions) return Framed("Array \"%s\" has too many dimensions.", name);
    if (*at == ',') ++at;
  }
  *p = at + 1;
  return "";
}

// The name in front of the '[' that ends it, trimmed and checked.
std::string ParseArrayName(Compiler& language, const char* p, const char** bracket, std::string* name) {
  const char* open = std::strchr(p, '[');
  if (open == nullptr || open == p || IsBlank(open[-1]))
    return Framed("Incorrect format of the definition of an array.");
  std::vector<char> text(p, open);
  text.push_back('\0');
  int index = -1;
  if (!language.CheckIdentifier(text.data(), 5, &index, "Array name", language.message, nullptr)) {
    return Framed("%s", language.message);
  }
  if (std::strlen(text.data()) > static_cast<size_t>(kArrayNameLength)) {
    return Framed("Error: the name of array \"%.50s\" is longer than %d characters.", text.data(), kArrayNameLength);
  }
  *name = text.data();
  *bracket = open;
  return "";
}

// Allocates the array, after the checks of the table's and the array's size.
std::string AddDeclaredArray(Compiler& language, const std::string& name, int type, int count,
                             const int32_t* dimensions) {
  if (language.ArrayCount() >= kMaxArrays) return Framed("Error: the number of arrays is greater than %d.", kMaxArrays);
  ARRAYSIZE size = ArrayMemorySize(language.elementSizes[type], count, dimensions);
  if (size.bytes > static_cast<double>(kMaxArrayBytes)) {
    return Framed("Array \"%s\" would require %-.5g GB of memory. Array size cannot exceed 2 GB.", name.c_str(),
                  size.bytes / 1073741824.0);
  }
  if (language.AddArray(name.c_str(), type, count, dimensions) != kArrayAdded) {
    return Framed("Runtime error when attempting to allocate array \"%s\".", name.c_str());
  }
  return "";
}

// Values of the open initialiser list from *p on; closes the list at '}'.
std::string ParseInitializers(Compiler& language, const char** p, ARRAYSSTATE* state) {
  ARRAYINFO& array = language.arrays[state->listArray];
  const char* at = *p;
  for (;;) {
    double value = 0.0;
    size_t length = 0;
    if (ReadDecimal(at, kSignedDecimal, &value, &length)) {
      if (state->nextElement >= array.elementCount) return Framed("Too many initializers of array \"%s\".", array.name);
      int elementSize = language.elementSizes[array.elementType];
      StoreElement(array.elementType, static_cast<unsigned char*>(array.data) + state->nextElement * elementSize,
                   value);
      ++state->nextElement;
      at += length;
    }
    if (*at == '}') {
      state->listOpen = false;
      *p = SkipBlanksAndComma(at + 1);
      return "";
    }
    if (*at == '\0') {
      *p = at;
      return "";
    }
    if (*at != ',' && !IsBlank(*at)) return Framed("Invalid value of an array \"%s\" element.", array.name);
    ++at;
  }
}

// One array of the line's type at *p: name, dimensions, and an initialiser
// list when "=" follows.
std::string ParseOneArray(Compiler& language, const char** p, int type, ARRAYSSTATE* state) {
  std::string name;
  const char* bracket = nullptr;
  std::string fault = ParseArrayName(language, *p, &bracket, &name);
  if (!fault.empty()) return fault;
  int32_t dimensions[kMaxArrayDimensions];
  int count = 0;
  const char* at = bracket + 1;
  fault = ParseDimensions(&at, name.c_str(), dimensions, &count);
  if (!fault.empty()) return fault;
  fault = AddDeclaredArray(language, name, type, count, dimensions);
  if (!fault.empty()) return fault;
  ++state->declared;

  at = SkipBlanks(at);
  if (*at == ',') {
    *p = at + 1;
    return "";
  }
  if (*at != '=') {
    *p = at;
    return "";
  }
  at = SkipBlanks(at + 1);
  if (*at != '{') return Framed("Error: The equality sign in the \"ARRAYS\" block must be followed by the left brace.");
  state->listOpen = true;
  state->listArray = language.ArrayCount() - 1;
  state->listType = type;
  state->nextElement = 0;
  *p = at + 1;
  return ParseInitializers(language, p, state);
}

// The arrays of a line of the given type from *p to its end.
std::string ParseArraysOfLine(Compiler& language, const char* p, int type, ARRAYSSTATE* state) {
  for (;;) {
    if (state->listOpen) {
      std::string fault = ParseInitializers(language, &p, state);
      if (!fault.empty() || state->listOpen) return fault;
    }
    p = SkipBlanks(p);
    if (*p == '\0') return "";
    std::string fault = ParseOneArray(language, &p, type, state);
    if (!fault.empty()) return fault;
  }
}

// The element type whose keyword opens the line, or -1.
int DeclarationType(const char* p) {
  for (const TYPEKEYWORD& keyword : kTypeKeywords) {
    if (KeywordAt(p, keyword.word, false)) return keyword.type;
  }
  return -1;
}

std::string ParseArraysLine(Compiler& language, const std::string& line, ARRAYSSTATE* state) {
  const char* p = SkipBlanks(line.c_str());
  if (state->listOpen) return ParseArraysOfLine(language, p, state->listType, state);
  if (KeywordAt(p, "INDEX_BASE", true)) return ParseIndexBase(p, *state, &language.index_base);
  int type = DeclarationType(p);
  if (type < 0) {
    return Framed(
        "Incorrect format of the definition of an array: a new line must start with a keyword, unless it is inside the "
        "list of array initializers.");
  }
  return ParseArraysOfLine(language, p + std::strlen(kTypeKeywords[type].word) + 1, type, state);
}

}  // namespace

int Compiler::ParseArrays(const char* text, char* messageOut) {
  std::vector<std::string> lines = BlockLines(text);
  ARRAYSSTATE state;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = WithoutComment(lines[i]);
    if (OnlyBlanks(line.c_str())) continue;
    std::string fault = ParseArraysLine(*this, line, &state);
    if (!fault.empty()) {
      std::snprintf(messageOut, kMessageCapacity, "%s", fault.c_str());
      return static_cast<int>(i);
    }
  }
  std::string fault;
  if (state.declared == 0) {
    fault = Framed("Error: there are no arrays defined.");
  } else if (state.listOpen) {
    fault = Framed("Error: the list of initializers of array \"%s\" is not closed.", arrays[state.listArray].name);
  }
  if (fault.empty()) return -1;
  std::snprintf(messageOut, kMessageCapacity, "%s", fault.c_str());
  return static_cast<int>(lines.size());
}
