// A block's text cut into statement segments: each line loses its "//"
// comment and is cut at every ';', '{' and '}' outside double quotes. A
// "for" loop's header is rewritten on the way: its initial statement becomes
// a segment of its own, its condition the segment "for(condition)", and its step
// is kept with that segment, to be compiled where the loop's body closes. A
// one-statement body on the header's line is given braces.
#pragma once

#include <string>
#include <vector>

#include "language/compile_messages.h"

struct STATEMENTSEGMENT {
  std::string text;               // the segment without its terminator
  char terminator = '\0';         // '\0', ';', '{' or '}'
  int line = 0;                   // source-line index
  bool forHeader = false;         // "for(condition)": text holds the condition only
  std::string forStep;            // the step statement of a "for" header
  bool braceNotLast = false;      // a '}' behind which its line goes on
  bool braceBeforeBrace = false;  // ... with a second '}'
};

// Cuts the text; lines are numbered from firstLine. On a fault *faultLine
// is the line where it was found.
COMPILEFAULT CutStatementSegments(const std::string& text, int firstLine, std::vector<STATEMENTSEGMENT>* segments,
                                  int* faultLine);

// The keyword ("if", "while", "for") that opens the text, followed by blanks
// and a '(' (any case); the position of that '(' in *open, or npos.
bool OpensWithHeader(const std::string& text, size_t* open, std::string* keyword);
// "else" opening the text, followed by its end, a blank, a tab or '{'.
bool OpensWithElse(const std::string& text);
// The position of the ')' that closes the '(' at open, skipping double-quoted
// text; npos when it is not closed.
size_t ClosingParenthesis(const std::string& text, size_t open);
