// The input-line reader: every directive of the input is read word by word
// through ReadInputLine, which joins lines continued with '&', strips "//"
// comments, skips blank lines, echoes file lines into the output file (second
// pass), writes the log (first pass) and, while a user program runs, takes its
// lines from the program instead of the file. Lines of any length are read
// whole, and a '\r' before the line end is dropped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Separators of ReadInputLine: words, or the rest of the line as one word.
inline constexpr const char* kWordSeparators = " \t\n";
inline constexpr const char* kLineSeparators = "\n";

// Number of keyword indices of the directive language (one per keyword that
// may appear once; repeatable directives use -1).
constexpr int kKeywordIndexCount = 3000;

namespace input {
extern FILE* outputFile;       // the output file; null during the first pass
extern int inputPass;          // 0 first (silent) pass, 1 second pass
extern int lastKeyword;        // keyword index of the line just handled, -1 none
extern bool lineDone;          // set by a handler that finished its line successfully
extern int physicalLineCount;  // lines read in this pass (file or program)
extern int inputExitCode;      // set by a directive that ends the run at once (exit code)
extern int directiveCount;     // directive lines met in this pass
}  // namespace input
constexpr int kKeywordCopyLength = 999;
namespace input {
extern char keywordCopy[];             // the first word of the current directive line
extern int64_t directiveLinePosition;  // input position of the current directive line
}  // namespace input

// Returns the next word, or null at the end of the logical line or of the
// input. `output` is the output file in the second pass and null in the
// first; `text` non-null starts a new line, null continues the current one.
char* ReadInputLine(FILE* input, FILE* output, char* text, const char* separators);

// Reads one physical line of any length without its line end (and without a
// '\r' before it); false at the end of the file.
bool ReadWholeLine(FILE* input, std::string* line);

// The reader's line buffer, to pass as `text` when a new line must be started.
char* InputLineBuffer();

// Services for directive handlers, on the current line of the current pass.
char* NextWord();       // the next word (separators " \t\n")
char* RestOfLine();     // the rest of the line as one word (separator "\n")
void SkipRestOfLine();  // reads and discards the rest of the line

// "Keyword \"%s\" in the input file overridden by the corresponding command-line argument.\n"
void PrintOverrideNotice(const char* keyword);

// Resets the reader for a new pass (line counters, new-line flag).
void ResetInputReader();

// The line of the input file read last in this pass (1-based; 0 before the
// first) and its text as it stands in the file: where a bad input stopped.
int InputFileLineNumber();
const std::string& InputFileLineText();
