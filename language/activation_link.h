// What the special built-ins use of the interpreter: the program of the
// running activation and the two recorders of runtime errors.
#pragma once

class CProgramCode;
class Compiler;
struct CALLFRAME;

// The compiled program of the activation being executed; the interpreter
// sets it before each instruction it runs.
extern CProgramCode* currentProgram;

// Record a runtime error of a built-in (its code and sub-code) or of an
// array reference (the array's index and the error code) at an instruction
// of the running activation, when its program has no error yet; then the
// program's nesting count is lowered and the result of the run becomes the
// undefined value.
void SetBuiltinError(CALLFRAME* frame, int code, int instruction, Compiler* language, int subCode);
void SetArrayError(CALLFRAME* frame, int arrayIndex, int instruction, Compiler* language, int subCode);
