// A readable listing of a compiled program: one line per instruction with its
// source line, result slot, opcode and operands, then one line per block.
// Operands are shown by what they point at: "s7" a value slot of the program,
// "g2" a global parameter, "IER" a system variable, "?" anything else.
#pragma once

#include <string>

class Compiler;
class CProgramCode;

std::string ProgramListing(const CProgramCode& code, const Compiler& language);
