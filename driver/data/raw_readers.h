// Raw readers of the auxiliary data files: little-endian binary values as the
// program that wrote the files stored them, and the non-blank lines of text
// tables.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Size of the line buffer that ReadNonBlankLine fills (99 characters and the
// terminating zero).
constexpr int kNonBlankLineBuffer = 100;

// Each reads the next raw value of its size (8, 4 or 2 bytes, little-endian)
// into *out. Returns 1 when the value was read whole, 0 when the end of the
// file cut it short.
int ReadDouble(FILE* stream, double* out);
int ReadInt(FILE* stream, int32_t* out);
int ReadShort(FILE* stream, int16_t* out);

// The next line that holds anything but blanks and tabs, without its line end,
// in buffer (kNonBlankLineBuffer characters); null at the end of the file. A
// line longer than 99 characters is returned in pieces. A last line without a
// line end is returned like any other.
char* ReadNonBlankLine(FILE* stream, char* buffer);

// Reads the next text line whole, whatever its length, into *line without its
// line end ('\n', and any '\r' before it). False at the end of the file.
bool ReadTextLine(FILE* file, std::string* line);
