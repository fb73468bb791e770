// Raw reads from the binary bremsstrahlung angular-distribution file: every
// value is read strictly in sequence, integers as 32-bit two's complement and
// reals as IEEE 754 binary64, both little-endian, with no conversion.
#pragma once

#include <cstdint>
#include <cstdio>

// Reads the next 8 bytes into *value; 1 when all of them were there, 0 when the
// file ends (or fails) part-way, so that a value cut short is never used.
int ReadBinaryDouble(FILE* input, double* value);

// Reads the next 4 bytes into *value; 1 on success, 0 as above.
int ReadBinaryInt32(FILE* input, int32_t* value);
