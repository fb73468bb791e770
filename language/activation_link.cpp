// The special built-ins' link to the interpreter: the call that a routine
// sees, and the recording of the error that its outcome names through the
// interpreter's own recorders (interpreter.h).
#include "language/compiler.h"
#include "language/evaluating_call.h"
#include "language/interpreter.h"

SPECIALCALL SpecialCallOf(CALLFRAME* frame, CALLSTATE* state, int instruction) {
  SPECIALCALL call;
  call.language = language::activeCompiler;
  call.code = language::currentProgram;
  call.instruction = instruction;
  call.frame = frame;
  call.state = state;
  return call;
}

int FinishSpecialCall(const SPECIALCALL& call, int code, const SPECIALOUTCOME& outcome) {
  if (outcome.errorKind == kNoProgramError) return outcome.stop != 0 ? 1 : 0;
  CProgramCode* program = call.code;
  const int current = program != nullptr ? program->currentInstruction : -1;
  if (outcome.errorKind == kArrayReferenceError) {
    SetArrayError(call.frame, outcome.arrayIndex, call.instruction, call.language, outcome.subCode);
  } else {
    SetBuiltinError(call.frame, code, call.instruction, call.language, outcome.subCode);
  }
  if (outcome.stop != 0) return 1;
  // Going on: the activation runs on from the instruction it was at.
  if (program != nullptr) program->currentInstruction = current;
  return 0;
}
