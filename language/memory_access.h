// The language's own memory, as far as a program may reach it through an
// address (a number that `loc` gives): the value slots of every compiled
// program (and those of activations that a recursive call keeps aside while
// it runs), the global-parameter and system-variable values, and the data
// block of every user array. `indirect` and `memcpy` touch nothing else, so
// an input file cannot read or write the rest of the process.
#pragma once

#include <cstddef>
#include <cstdint>

class Compiler;

// True when the bytes [begin, begin + length) lie wholly inside one region
// of the language's memory. The descriptor half of a value buffer does not
// belong to it: references are made by the interpreter, not written by hand.
bool LanguageMemoryContains(const Compiler& language, uintptr_t begin, size_t length);

// The address that a value of the language denotes: the integer part of the
// value plus 0.5. False for a NaN.
bool AddressFromValue(double value, uintptr_t* address);

// Reads the double at the address `addressValue`; false (nothing read) when
// its eight bytes are not inside the language's memory.
bool ReadLanguageDouble(const Compiler& language, double addressValue, double* value);

// Copies n bytes from the address `sourceValue` to the address
// `destinationValue` (the ranges may overlap); false, with nothing copied,
// when either range is not wholly inside one region of the language's memory.
bool CopyLanguageBytes(const Compiler& language, double destinationValue, double sourceValue, size_t n);
