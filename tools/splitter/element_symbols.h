// Chemical symbols of the elements, indexed by the atomic number Z.
#pragma once

// Number of elements with bremsstrahlung angular tables: Z = 1 (H) to 100 (Fm).
constexpr int kElementCount = 100;

// Index 0 is the empty string, 1 to 100 the symbols "H" to "Fm".
extern const char* const elementSymbol[kElementCount + 1];
