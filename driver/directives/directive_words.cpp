#include "driver/directives/directive_words.h"

#include <string>

#include "core/text.h"
#include "driver/input/input_reader.h"

namespace {

std::string piece;       // the piece of the line being read; words are cut out of it in place
size_t position = 0;     // first character not yet read
bool lineEnded = false;  // the input reader has no further piece

bool IsGap(char ch) { return IsBlank(ch) || ch == '\0'; }

// True when unread text is left, after the gaps before it; reads the next
// piece when the current one is used up.
bool TextLeft() {
  for (;;) {
    while (position < piece.size() && IsGap(piece[position])) ++position;
    if (position < piece.size()) return true;
    if (lineEnded) return false;
    const char* text = RestOfLine();
    if (text == nullptr) {
      lineEnded = true;
      return false;
    }
    piece = text;
    position = 0;
  }
}

char* ReadToken(FILE*, FILE*, char*, const char*) { return NextDirectiveWord(); }

}  // namespace

void BeginDirectiveWords() {
  piece.clear();
  position = 0;
  lineEnded = false;
}

char* NextDirectiveWord() {
  if (!TextLeft()) return nullptr;
  const size_t start = position;
  while (position < piece.size() && !IsGap(piece[position])) ++position;
  if (position < piece.size()) piece[position++] = '\0';
  return &piece[start];
}

bool SkipQuotedName() {
  if (!TextLeft() || piece[position] != '"') return true;
  const size_t close = piece.find('"', position + 1);
  if (close == std::string::npos) return false;
  position = close + 1;
  return true;
}

DefinitionReader DirectiveDefinitionReader() { return DefinitionReader{nullptr, nullptr, ReadToken}; }
