// A readable listing of a compiled program: one line per instruction, then
// one line per block.
//
//   <instruction>  line <source line>  s<result slot> = <opcode>(<operands>)[ target][ store]
//   block <b>  end <end>  jump <target> in block <next>  loop <marker>[  conditional]
//
// Opcodes: a built-in by its name ("Add", "sin", "loc"), a program by its name,
// an array by its name with the operands in brackets ("m[s14, 2, -1]"), formal
// parameter j as "param<j>". Operands: a constant by its value ("2.5", "-1"),
// the start of an inline expression as "i<instruction>", a value slot of the
// program as "s<slot>", a global parameter as "g<index>", a system variable
// by its name ("IER"), anything else "?".
#pragma once

#include <string>

class Compiler;
class CProgramCode;

std::string ProgramListing(const CProgramCode& code, const Compiler& language);
