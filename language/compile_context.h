// What one compilation of a program block works on: the Compiler's tables,
// the block's records, the names that the statements see, the emitter, and
// what the statements have shown so far for the warnings at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "language/compile_messages.h"
#include "language/emitter.h"

class Compiler;
class CProgramCode;
struct PROGRAMINFO;

// What a name stands for, in the order in which names are looked up.
enum class NameClass {
  kUnknown,
  kSystem,          // "@0".."@9", IER, AbsErr, nEval
  kFormalValue,     // a formal parameter passed by value (read-only)
  kFormalOutput,    // a formal output variable
  kFormalArray,     // a formal array
  kFormalFunction,  // a formal function
  kGlobal,          // a global parameter
  kLocal,           // a variable of the block
  kBuiltin,         // built-ins 14..93
  kProgram,
  kArray,  // a user array
};

struct RESOLVEDNAME {
  NameClass what = NameClass::kUnknown;
  int index = -1;    // system, formal, global, local, built-in, program or array index
  std::string name;  // the declared spelling
};

struct FORMALPARAMETER {
  std::string name;
  uint8_t kind = 0;  // the kind byte of the formal-parameter list
};

struct LOCALVARIABLE {
  std::string name;
  int slot = 0;
  std::vector<int> assignedIn;  // blocks (by serial) whose statements assign it; 0: outside every block
  bool declaring = false;       // the statement that declares it is being compiled
};

// What a call asks of one argument.
enum class ArgumentRole {
  kNumber,
  kOutputVariable,      // a variable of the caller that receives a value
  kArray,               // an array name (dimensions: 0 any)
  kFunction,            // loc(name) of a function with the given signature byte
  kInlineExpression,    // the expression that a repeated evaluation evaluates
  kEvaluationVariable,  // the variable that a repeated evaluation sets
};

struct ARGUMENTDEMAND {
  ArgumentRole role = ArgumentRole::kNumber;
  int dimensions = 0;  // kArray: the dimensions demanded, 0 any
  int signature = 0;   // kFunction: the signature byte demanded
};

// The callee of a call or an indexed name.
enum class CalleeKind { kBuiltin, kProgram, kFormalFunction, kArray, kFormalArray };

struct CALLEE {
  CalleeKind kind = CalleeKind::kBuiltin;
  int index = 0;  // built-in code, program, formal parameter or array index
  int opcode = 0;
  std::string name;  // for messages
};

class CompileContext {
 public:
  CompileContext(Compiler& language, PROGRAMINFO& info, CProgramCode& code, int program);

  // Names.
  RESOLVEDNAME Resolve(const std::string& name) const;
  // The operand of a variable (system, formal, global or local).
  OPERAND VariableOperand(const RESOLVEDNAME& name, int32_t kind) const;
  // The value slot of a variable (a global's slot holds nothing but is its place).
  int SlotOf(const RESOLVEDNAME& name) const;
  // A new variable of the block.
  int DeclareLocal(const std::string& name);

  // Reading and assigning, for the checks of unset variables.
  COMPILEFAULT NoteRead(const RESOLVEDNAME& name);
  void NoteAssigned(const RESOLVEDNAME& name);
  void NoteFormalUsed(int j);

  // Callees.
  CALLEE CalleeOf(const RESOLVEDNAME& name) const;
  int Arity(const CALLEE& callee) const;
  ARGUMENTDEMAND ArgumentAt(const CALLEE& callee, int k) const;
  // The signature byte of a function that loc names (-1: none that may be passed).
  int PassableSignature(const RESOLVEDNAME& name) const;
  // Dimensions of an array or formal array.
  int Dimensions(const RESOLVEDNAME& name) const;
  // Remembers the first program called whose own compilation failed.
  void NoteCalled(int program);

  Compiler& language;
  PROGRAMINFO& info;
  CProgramCode& code;
  int program;  // the block's index among the programs
  CODELAYOUT layout;
  std::vector<FORMALPARAMETER> formals;
  std::vector<LOCALVARIABLE> locals;
  ProgramEmitter emitter;
  bool parametersCode;           // the PARAMETERS block: new variables are global parameters
  int line = 0;                  // source line of the statement being compiled
  std::vector<int> openSerials;  // serials of the open blocks, innermost last
  int failedCallee = -1;         // the first called program whose compilation failed
  int failedCalleeLine = -1;
  std::string maybeUnsetName;  // the first variable read while maybe unset
  int maybeUnsetLine = -1;
  bool textBuiltinSeen = false;  // the statement calls one of the text built-ins
};

// Formal parameters read back from the normal form of a formal-parameter list.
std::vector<FORMALPARAMETER> FormalParametersOf(const char* list, const uint8_t* kinds, int count);
// Number of arguments of a formal function of the given kind byte.
int FormalFunctionArity(int kind);
