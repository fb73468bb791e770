// The frame into which the directive handlers plug. A directive module is
// entered with the first word of a directive line; it returns true when the
// word is one of its keywords, and has then handled the line: read its values
// with NextWord()/RestOfLine(), set lastKeyword to the keyword's index (or -1
// for a repeatable directive), and set lineDone on success. On an error it
// prints the message and leaves lineDone clear; the directive loop then ends
// the run with exit code 1 (in the second pass). Most handlers act only in
// the second pass (inputPass == 1) and skip their line in the first.
#pragma once

#include "driver/input/keyword_names.h"

// Handles one directive line whose first word is `word`: the binning lines of
// plane tallies, then every directive module in order, then the spectrum line.
void DispatchDirective(const char* word);

// Every directive keyword of the input language, as the user manual lists it:
// the binning lines, the keywords of every directive module and the keywords
// that open a program block. Lines of bare numbers (the energy spectrum) have
// no keyword.
KEYWORDNAMES DirectiveKeywordNames();
