// The special built-ins' link to the interpreter, as far as it does not need
// the interpreter's records of an activation (CALLFRAME, CALLSTATE), which
// this build does not have: the program of an activation is the one in
// currentProgram, an error is recorded as an error of the program started by
// the run, no formal parameter is bound, and no inline expression can be run
// (its value is the undefined value).
#include "language/activation_link.h"

#include "language/compiler.h"
#include "language/special_call.h"
#include "language/undefined_value.h"

CProgramCode* currentProgram = nullptr;

namespace {

constexpr int kStartedProgram = -1;  // the error program of the program started by the run

void Record(CProgramCode* code, int kind, int arrayNumber, int builtinNumber, int instruction, Compiler* language,
            int subCode) {
  if (code == nullptr) return;
  if (code->errorProgram == -2) {
    code->errorKind = kind;
    code->errorCode = subCode;
    code->errorArray = arrayNumber;
    code->errorBuiltin = builtinNumber;
    code->errorProgram = kStartedProgram;
    code->errorLine = code->SourceLineOf(instruction);
    code->currentInstruction = -1;
  }
  --code->nestingCount;
  if (language != nullptr && language->runControl != nullptr) language->runControl->lastResult = kUndefined;
}

}  // namespace

void SetBuiltinError(CALLFRAME* /*frame*/, int code, int instruction, Compiler* language, int subCode) {
  Record(currentProgram, kBuiltinError, 0, code + 1, instruction, language, subCode);
}

void SetArrayError(CALLFRAME* /*frame*/, int arrayIndex, int instruction, Compiler* language, int subCode) {
  Record(currentProgram, kArrayReferenceError, arrayIndex + 1, 0, instruction, language, subCode);
}

SPECIALCALL SpecialCallOf(CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call;
  call.language = activeCompiler;
  call.code = currentProgram;
  call.instruction = instruction;
  call.frame = frame;
  call.state = state;
  return call;
}

int FinishSpecialCall(const SPECIALCALL& call, int code, const SPECIALOUTCOME& outcome) {
  if (outcome.errorKind == kNoProgramError) return outcome.stop != 0 ? 1 : 0;
  CProgramCode* program = call.code;
  int nesting = program != nullptr ? program->nestingCount : 0;
  int current = program != nullptr ? program->currentInstruction : -1;
  if (outcome.errorKind == kArrayReferenceError) {
    SetArrayError(call.frame, outcome.arrayIndex, call.instruction, call.language, outcome.subCode);
  } else {
    SetBuiltinError(call.frame, code, call.instruction, call.language, outcome.subCode);
  }
  if (outcome.stop != 0) return 1;
  // Going on: the activation runs as before the recording.
  if (program != nullptr) {
    program->nestingCount = nesting;
    program->currentInstruction = current;
  }
  return 0;
}

bool FormalArgument(const SPECIALCALL& /*call*/, int /*j*/, double* /*value*/, VALUEDESCRIPTOR* /*descriptor*/) {
  return false;
}

double EvaluateInlineExpression(const SPECIALCALL& /*call*/) { return kUndefined; }
