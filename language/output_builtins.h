// The output, console and file built-ins (codes 14 to 26). The text
// built-ins (Dir .. SetNumberFormat, codes 14 to 23) build one text of at
// most 1000 characters from their string constants and numbers (OutputText)
// and act on it; FcloseW, FcloseR and SkipLines take no text. They run on the
// user program's thread; Dir, Dir2 and Write and Write2 without a write file
// hand their lines to the input reader (Compiler::WriteDirectiveOutput).
//
// Arguments of a text built-in: the index of the first of its n + 1 string
// constants, the count n of its numbers, the n numbers. The result is n,
// except for System (the command's exit status, -1 when it could not run or
// did not end by itself), FopenW and FopenR (1 opened, 0 refused with no file
// open, -1 refused with a file open).
#pragma once

#include <string>

constexpr int kMaxOutputText = 1000;        // characters of a text, without its newline
constexpr int kMaxNumberFormatLength = 99;  // characters of a number format

double BuiltinDir(double** args);              // 14: a line for the input reader
double BuiltinDir2(double** args);             // 15: text that a later Dir completes
double BuiltinWrite(double** args);            // 16: a line of the write file (else as Dir)
double BuiltinWrite2(double** args);           // 17: text of the write file (else as Dir2)
double BuiltinPrint(double** args);            // 18: a line on the console
double BuiltinPrint2(double** args);           // 19: text on the console
double BuiltinSystem(double** args);           // 20: runs the text as a command
double BuiltinFopenW(double** args);           // 21: opens the write file
double BuiltinFopenR(double** args);           // 22: opens the read file, read-only
double BuiltinSetNumberFormat(double** args);  // 23: the format of the numbers of the texts
double BuiltinFcloseW(double** args);          // 24: 0 none open, else the close status
double BuiltinFcloseR(double** args);          // 25: likewise
double BuiltinSkipLines(double** args);        // 26: skips whole lines of the read file; the count skipped

// The text of a text built-in (the running program's string constants and
// args), cut to 1000 characters: a literal is cut to fit, a number that does
// not fit is dropped with everything behind it. With `newline` a "\n" is
// appended behind the cut.
std::string OutputText(double** args, bool newline);

// True when a number format that CheckNumberFormat accepts also keeps its
// field width and precision to at most 1000 characters.
bool NumberFormatIsBounded(const char* format);
