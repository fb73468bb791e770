// The words of a geometry directive line. The line is taken from the input
// reader piece by piece (a line continued with '&' comes in several pieces),
// so that a handler can look at the raw text after a word (a material name in
// double quotes) and the cell parser can read on through the same words.
#pragma once

#include "geometry/cell_parser.h"

// Starts a new directive line: nothing of an earlier line is left.
void BeginDirectiveWords();

// The next word of the line, or null at its end. A word stays valid until the
// line's next piece is read.
char* NextDirectiveWord();

// When the rest of the line (blanks and tabs skipped) starts with a double
// quote, skips the text up to and including the closing quote; false when
// there is none.
bool SkipQuotedName();

// The token reader for the cell parser: NextDirectiveWord.
DefinitionReader DirectiveDefinitionReader();
