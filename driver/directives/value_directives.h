// Table-driven handling of the directives that set one option from one value:
// the value form, the accepted range and the two messages (missing value,
// illegal value) are data, so each module lists its keywords in one table.
#pragma once

#include <cstdint>

enum ValueForm : int8_t {
  kPlainIntegerForm,   // the C library's atoi: no check of trailing text
  kWholeIntegerForm,   // base-10 integer, whole token
  kWholeNumberForm,    // number, whole token
  kLenientNumberForm,  // the C library's atof: trailing text ignored
};

// What the illegal-value message prints after its format.
enum IllegalArgument : int8_t {
  kTokenArgument,        // the value token ("%s")
  kValueArgument,        // the value as read ("%-.14g")
  kTokenAndIndexLimit,   // the token and the index-exponent limit 21
  kTokenAndChunkLimits,  // the token and the track-chunk limits 10 and 1000000
};

struct VALUEDIRECTIVE {
  const char* keyword;
  ValueForm form;
  int32_t* intTarget;  // exactly one target is set
  double* doubleTarget;
  double low, high;        // accepted range (when illegalMessage is set)
  bool lowOpen, highOpen;  // true: the limit itself is not accepted
  bool storeAsSwitch;      // store (v != 0) rather than v
  bool* givenFlag;         // set when the directive is met (may be null)
  const char* missingMessage;
  const char* illegalMessage;  // null: every value is accepted
  IllegalArgument illegalArgument;
};

// Index of word in the table (compared without regard to case), or -1.
int FindValueDirective(const VALUEDIRECTIVE* table, int count, const char* word);

// Reads the value of the current line with NextWord() and stores it; prints
// the directive's message and returns false when it is missing or illegal.
bool ReadValueDirective(const VALUEDIRECTIVE& directive);

// Word access with one word of look-ahead, for directives whose next item
// depends on whether the line goes on. TakeWord() returns the looked-at word
// first, then continues with NextWord().
const char* TakeWord();
bool LineHasMoreWords();
// Drops a looked-at word left from an earlier line (for handlers entered
// outside RunDirectiveLine).
void ForgetLookAhead();

// The directive-module frame for keyword index keywordIndex: in the first
// pass the line is skipped; in the second, handler runs. Sets lastKeyword and
// lineDone; always returns true (the word was the module's).
bool RunDirectiveLine(int keywordIndex, bool (*handler)(const char* word), const char* word);
