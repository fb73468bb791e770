// Reader of ENDF-6 text files (one file per element and sublibrary) and the
// tools for the point tables read from them: TAB1 point lists with their
// slopes and cumulative integrals, the clean-up of runs of equal values, the
// thinning of tabulated densities, and the two error reporters.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// One ENDF file being read line by line.
struct ENDFREADER {
  FILE* file = nullptr;
  char line[104] = {};   // current line, padded with blanks to 80 columns
  int sectionCode = 0;   // MF * 1000 + MT of the last section line examined
  int generation = 0;    // library generation NVER: 7 (ENDF/B-VII) or 8 (ENDF/B-VIII)
};

// Opens an ENDF file read-only and reads the library generation NVER from
// field 6 of its fourth line. False when the file cannot be opened.
bool OpenEndfFile(const std::string& name, ENDFREADER* reader);
void CloseEndfFile(ENDFREADER* reader);

// Reads the next line into reader->line (a line is read whole; a '\r' before
// the line end is dropped). False at the end of the file.
bool ReadEndfLine(ENDFREADER* reader);

// Converts one ENDF number of `length` characters: the letter-less exponent
// ("1.234567+6", "-2.5-3"), E/e and D/d exponents, plain decimals, and a blank
// field as 0. False when the text is not a number.
bool ParseEndfNumber(const char* text, int length, double* value);

// Field 1..6 (11 columns each) of an ENDF line, as a number or an integer.
double EndfField(const char* line, int field);
int EndfIntField(const char* line, int field);

// Section code MF * 1000 + MT of a line (columns 71-75); 0 when MT is 0.
int EndfLineCode(const char* line);

// Finds the head line of a section (reader->line holds it afterwards). With
// withControl the next line, which must carry the same code, is read too.
// Returns 0, or 1 for a wrong format (missing section, end of file).
int FindEndfSection(ENDFREADER* reader, int code, bool withControl);

// Passes over `count` lines; 1 when the file ends before the last of them.
int SkipEndfLines(ENDFREADER* reader, int count);

// Reads np raw (x, y) pairs, three to a line. 0, or 1 at a premature end.
int ReadEndfPairs(ENDFREADER* reader, int np, double* xs, double* ys);

// Builds a point table from np raw pairs: a pair whose abscissa equals the
// previous stored one is dropped (the first of a step is kept). Slopes by
// logFrom: -1 lin-lin throughout, 0 log-log exponents throughout, 1 lin-lin on
// the first interval and log-log after. With cum the table is normalised into
// a density (cumulative by the trapezoid rule ending at exactly 1, reciprocal
// normalised slopes). With refX every stored abscissa must equal refX[m].
// *n receives the stored count. Returns 0, or 1 on a reference-grid mismatch.
int BuildTab1(const double* xs, const double* ys, int np, double* x, double* y, double* slope,
              int* n, double* cum, int logFrom, const double* refX);

// Reads the *n points of a TAB1 list (the file at its first data line) into
// a table as BuildTab1 does. Returns 0, 1 on a reference-grid mismatch, 2 at
// a premature end of the file.
int ReadEndfTab1(ENDFREADER* reader, double* x, double* y, double* slope, int* n, double* cum,
                 int logFrom, const double* refX);

// Turns a tabulated density into the sampling form: cumulative integral by
// the trapezoid rule (first 0, last exactly 1), density divided by its total,
// lin-lin slopes replaced by total / slope where nonzero, last slope 0.
void NormaliseDensity(const double* x, double* y, double* cum, double* slope, int n);

// The largest index h <= n - 2 whose cumulative value is below 0.5 (0 when none).
int16_t MedianInterval(const double* cum, int n);

// Reduces every run of equal values to its two end points (exact comparison).
void CleanPoints(double* x, double* y, int16_t* n);

// Removes the points of a normalised density table that a chord reproduces
// within tolerance times the mean density over the chord (chords reach at most
// spanFraction of the cumulative), and lumps the part below the cumulative
// cutoff into one flat interval. Renormalises and sets medianIndex; a table
// that loses no point is left as it came.
void ThinTable(double* x, double* y, double* cum, double* slope, int16_t* n,
               int16_t* medianIndex, double spanFraction, double tolerance, double cutoff);

// Prints "Wrong format of the ENDF input file (code = %d).\n" and returns 1.
int EndfFormatError(int sectionCode);

// Prints "Error in file %s.\n" and returns 1.
int FileError(const char* fileName);
