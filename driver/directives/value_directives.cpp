#include "driver/directives/value_directives.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/text.h"
#include "driver/input/input_reader.h"
#include "driver/input/value_forms.h"

namespace {

constexpr int kIndexExponentLimit = 21;

std::string lookAheadWord;  // the word that LineHasMoreWords() has read
bool haveLookAhead = false;
constexpr int kMinTrackChunk = 10;
constexpr int kMaxTrackChunk = 1000000;

bool ReadForm(ValueForm form, const char* text, double* value) {
  switch (form) {
    case kPlainIntegerForm:
      *value = PlainInteger(text);
      return true;
    case kWholeIntegerForm: {
      int64_t v = 0;
      if (!ReadWholeInteger(text, &v)) return false;
      *value = static_cast<double>(v);
      return true;
    }
    case kWholeNumberForm:
      return ReadWholeNumber(text, value);
    case kLenientNumberForm:
      *value = LenientNumber(text);
      return true;
  }
  return false;
}

bool InRange(const VALUEDIRECTIVE& d, double v) {
  const bool aboveLow = d.lowOpen ? v > d.low : v >= d.low;
  const bool belowHigh = d.highOpen ? v < d.high : v <= d.high;
  return aboveLow && belowHigh;
}

void PrintIllegal(const VALUEDIRECTIVE& d, const char* token, double value) {
  switch (d.illegalArgument) {
    case kTokenArgument:
      printf(d.illegalMessage, token);
      break;
    case kValueArgument:
      printf(d.illegalMessage, value);
      break;
    case kTokenAndIndexLimit:
      printf(d.illegalMessage, token, kIndexExponentLimit);
      break;
    case kTokenAndChunkLimits:
      printf(d.illegalMessage, token, kMinTrackChunk, kMaxTrackChunk);
      break;
  }
}

}  // namespace

int FindValueDirective(const VALUEDIRECTIVE* table, int count, const char* word) {
  for (int i = 0; i < count; ++i) {
    if (EqualNoCase(word, table[i].keyword)) return i;
  }
  return -1;
}

const char* TakeWord() {
  if (haveLookAhead) {
    haveLookAhead = false;
    return lookAheadWord.c_str();
  }
  return NextWord();
}

bool LineHasMoreWords() {
  if (haveLookAhead) return true;
  const char* word = NextWord();
  if (word == nullptr) return false;
  lookAheadWord = word;
  haveLookAhead = true;
  return true;
}

void ForgetLookAhead() { haveLookAhead = false; }

bool ReadValueDirective(const VALUEDIRECTIVE& d) {
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("%s", d.missingMessage);
    return false;
  }
  double value = 0.0;
  const bool formed = ReadForm(d.form, token, &value);
  if (d.illegalMessage != nullptr && (!formed || !InRange(d, value))) {
    PrintIllegal(d, token, value);
    return false;
  }
  if (d.storeAsSwitch) value = value != 0.0 ? 1.0 : 0.0;
  if (d.intTarget != nullptr) *d.intTarget = static_cast<int32_t>(value);
  if (d.doubleTarget != nullptr) *d.doubleTarget = value;
  if (d.givenFlag != nullptr) *d.givenFlag = true;
  return true;
}

bool RunDirectiveLine(int keywordIndex, bool (*handler)(const char* word), const char* word) {
  input::lastKeyword = keywordIndex;
  haveLookAhead = false;
  if (input::inputPass == 0) {
    SkipRestOfLine();
    input::lineDone = true;
    return true;
  }
  input::lineDone = handler(word);
  return true;
}
