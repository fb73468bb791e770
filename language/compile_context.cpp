#include "language/compile_context.h"

#include <cstring>

#include "core/text.h"
#include "language/compiler.h"

namespace {

bool SameName(const std::string& a, const char* b) { return EqualNoCase(a, b); }

constexpr int kFirstFunctionKind = 22;    // kind bytes from here on are functions
constexpr int kFirstFormalArrayKind = 2;  // kind bytes 2..21 are arrays of kind - 1 dimensions

NameClass FormalClass(uint8_t kind) {
  if (kind == 0) return NameClass::kFormalValue;
  if (kind == 1) return NameClass::kFormalOutput;
  if (kind < kFirstFunctionKind) return NameClass::kFormalArray;
  return NameClass::kFormalFunction;
}

// Role of argument kind k of a function signature digit (0 number, 1 output
// variable, 2 and 3 arrays of one and two dimensions).
ARGUMENTDEMAND SignatureArgument(int digit) {
  switch (digit - 1) {
    case 1:
      return {ArgumentRole::kOutputVariable, 0, 0};
    case 2:
      return {ArgumentRole::kArray, 1, 0};
    case 3:
      return {ArgumentRole::kArray, 2, 0};
    default:
      return {};
  }
}

ARGUMENTDEMAND FormalListArgument(uint8_t kind) {
  if (kind == 1) return {ArgumentRole::kOutputVariable, 0, 0};
  if (kind >= kFirstFormalArrayKind && kind < kFirstFunctionKind) return {ArgumentRole::kArray, kind - 1, 0};
  if (kind >= kFirstFunctionKind) return {ArgumentRole::kFunction, 0, kind - kFirstFunctionKind};
  return {};
}

int Power5(int k) {
  int p = 1;
  while (k-- > 0) p *= 5;
  return p;
}

bool IsTextBuiltin(int code) { return code >= 14 && code <= 23; }

}  // namespace

int FormalFunctionArity(int kind) {
  int signature = kind - kFirstFunctionKind;
  if (signature <= 0) return 0;
  if (signature < 6) return 1;
  if (signature < 31) return 2;
  return 3;
}

std::vector<FORMALPARAMETER> FormalParametersOf(const char* list, const uint8_t* kinds, int count) {
  std::vector<FORMALPARAMETER> formals;
  const char* p = list;
  for (int j = 0; j < count && p != nullptr && *p != '\0'; ++j) {
    p = SkipBlanks(p);
    bool address = EqualNoCaseN(p, "loc(", 4);
    const char* start = address ? p + 4 : p;
    size_t length = std::strcspn(start, address ? ")[(" : ",");
    formals.push_back({TrimmedRight(std::string(start, length)), kinds[j]});
    // The next parameter follows the ", " behind this one.
    int depth = 0;
    const char* q = p;
    for (; *q != '\0'; ++q) {
      if (*q == '(' || *q == '[') ++depth;
      if (*q == ')' || *q == ']') --depth;
      if (*q == ',' && depth == 0) break;
    }
    p = *q == ',' ? q + 1 : q;
  }
  return formals;
}

CompileContext::CompileContext(Compiler& languageIn, PROGRAMINFO& infoIn, CProgramCode& codeIn, int programIn)
    : language(languageIn),
      info(infoIn),
      code(codeIn),
      program(programIn),
      layout{0, 0},
      emitter(languageIn, codeIn),
      parametersCode(infoIn.isParameters != 0) {}

RESOLVEDNAME CompileContext::Resolve(const std::string& name) const {
  for (int v = 0; v < kSystemVariableCount; ++v) {
    if (SameName(name, language.systemVariableNames[v]))
      return {NameClass::kSystem, v, language.systemVariableNames[v]};
  }
  for (size_t j = 0; j < formals.size(); ++j) {
    if (SameName(name, formals[j].name.c_str()))
      return {FormalClass(formals[j].kind), static_cast<int>(j), formals[j].name};
  }
  for (int g = 0; g < language.nGlobalParameters; ++g) {
    if (SameName(name, language.globalParameterNames[g].name))
      return {NameClass::kGlobal, g, language.globalParameterNames[g].name};
  }
  for (size_t l = 0; l < locals.size(); ++l) {
    if (SameName(name, locals[l].name.c_str())) return {NameClass::kLocal, static_cast<int>(l), locals[l].name};
  }
  for (int c = kFirstIdentifierBuiltin; c < kBuiltinCount; ++c) {
    if (SameName(name, language.builtinNames[c])) return {NameClass::kBuiltin, c, language.builtinNames[c]};
  }
  for (int p = 0; p < layout.programCodeCount; ++p) {
    if (SameName(name, language.programs[p]->info.name))
      return {NameClass::kProgram, p, language.programs[p]->info.name};
  }
  for (int a = 0; a < language.ArrayCount(); ++a) {
    if (SameName(name, language.arrays[a].name)) return {NameClass::kArray, a, language.arrays[a].name};
  }
  return {NameClass::kUnknown, -1, name};
}

int CompileContext::SlotOf(const RESOLVEDNAME& name) const {
  switch (name.what) {
    case NameClass::kSystem:
      return name.index;
    case NameClass::kGlobal:
      return kSystemSlotCount + layout.formalCount + name.index;
    case NameClass::kLocal:
      return locals[name.index].slot;
    default:
      return kSystemSlotCount + name.index;  // a formal parameter
  }
}

OPERAND CompileContext::VariableOperand(const RESOLVEDNAME& name, int32_t kind) const {
  if (name.what == NameClass::kSystem) return {OPERAND::kSystem, name.index, kind, false};
  if (name.what == NameClass::kGlobal) return {OPERAND::kGlobal, name.index, kind, false};
  return {OPERAND::kSlot, SlotOf(name), kind, false};
}

int CompileContext::DeclareLocal(const std::string& name) {
  LOCALVARIABLE local;
  local.name = name;
  local.slot = emitter.NewVariable();
  locals.push_back(local);
  return static_cast<int>(locals.size()) - 1;
}

COMPILEFAULT CompileContext::NoteRead(const RESOLVEDNAME& name) {
  if (name.what == NameClass::kFormalValue || name.what == NameClass::kFormalOutput) NoteFormalUsed(name.index);
  if (name.what != NameClass::kLocal) return {};
  const LOCALVARIABLE& local = locals[name.index];
  if (local.declaring) return Fault(NumberedMessage(2408, CutName(local.name).c_str()));
  for (int serial : local.assignedIn) {
    if (serial == 0) return {};
    for (int open : openSerials) {
      if (open == serial) return {};
    }
  }
  if (maybeUnsetLine < 0) {
    maybeUnsetName = local.name;
    maybeUnsetLine = line;
  }
  return {};
}

void CompileContext::NoteAssigned(const RESOLVEDNAME& name) {
  if (name.what == NameClass::kFormalOutput) NoteFormalUsed(name.index);
  if (name.what != NameClass::kLocal) return;
  locals[name.index].assignedIn.push_back(openSerials.empty() ? 0 : openSerials.back());
}

void CompileContext::NoteFormalUsed(int j) {
  if (j >= 0 && j < kMaxFormalParameters) code.parameterUsed[j] = 1;
}

CALLEE CompileContext::CalleeOf(const RESOLVEDNAME& name) const {
  switch (name.what) {
    case NameClass::kProgram:
      return {CalleeKind::kProgram, name.index, layout.ProgramCode(name.index), name.name};
    case NameClass::kFormalFunction:
      return {CalleeKind::kFormalFunction, name.index, layout.FormalCode(name.index), name.name};
    case NameClass::kArray:
      return {CalleeKind::kArray, name.index, layout.ArrayCode(name.index), name.name};
    case NameClass::kFormalArray:
      return {CalleeKind::kFormalArray, name.index, layout.FormalCode(name.index), name.name};
    default:
      return {CalleeKind::kBuiltin, name.index, name.index, name.name};
  }
}

int CompileContext::Arity(const CALLEE& callee) const {
  switch (callee.kind) {
    case CalleeKind::kProgram:
      return language.programs[callee.index]->parameters.count;
    case CalleeKind::kFormalFunction:
      return FormalFunctionArity(formals[callee.index].kind);
    case CalleeKind::kArray:
      return language.arrays[callee.index].dimensionCount;
    case CalleeKind::kFormalArray:
      return formals[callee.index].kind - 1;
    case CalleeKind::kBuiltin:
      break;
  }
  if (callee.index < kOrdinaryBuiltinCount) return language::kBuiltins[callee.index].argumentCount;
  return language.argumentDescriptors[callee.index].count;
}

ARGUMENTDEMAND CompileContext::ArgumentAt(const CALLEE& callee, int k) const {
  if (k < 0 || k >= Arity(callee)) return {};
  switch (callee.kind) {
    case CalleeKind::kProgram:
      return FormalListArgument(language.programs[callee.index]->parameters.kind[k]);
    case CalleeKind::kFormalFunction:
      return SignatureArgument((formals[callee.index].kind - kFirstFunctionKind) / Power5(k) % 5);
    case CalleeKind::kBuiltin:
      break;
    default:
      return {};
  }
  int builtin = callee.index;
  if (builtin < kOrdinaryBuiltinCount) return {};
  if (language.repeatedEvaluation[builtin]) {
    if (k == 0) return {ArgumentRole::kInlineExpression, 0, 0};
    if (k == 1) return {ArgumentRole::kEvaluationVariable, 0, 0};
  }
  switch (language.argumentDescriptors[builtin].kind[k]) {
    case kArgOutputVariable:
      return {ArgumentRole::kOutputVariable, 0, 0};
    case kArgArray:
      return {ArgumentRole::kArray, 0, 0};
    case kArgMatrix:
      return {ArgumentRole::kArray, 2, 0};
    default:
      return {};
  }
}

int CompileContext::PassableSignature(const RESOLVEDNAME& name) const {
  switch (name.what) {
    case NameClass::kFormalFunction:
      return formals[name.index].kind - kFirstFunctionKind;
    case NameClass::kProgram: {
      const PARAMLIST& parameters = language.programs[name.index]->parameters;
      return SignatureByteOf(parameters.count, parameters.kind);
    }
    case NameClass::kBuiltin:
      // Text built-ins read string constants, loc its own mode and Return
      // ends the caller: none of them can stand behind a formal function.
      if (IsTextBuiltin(name.index) || name.index == kLocBuiltin || name.index == kReturnBuiltin) return -1;
      return language.SignatureByte(name.index);
    default:
      return -1;
  }
}

int CompileContext::Dimensions(const RESOLVEDNAME& name) const {
  if (name.what == NameClass::kArray) return language.arrays[name.index].dimensionCount;
  if (name.what == NameClass::kFormalArray) return formals[name.index].kind - 1;
  return 0;
}

void CompileContext::NoteCalled(int callee) {
  if (callee >= 0 && callee < code.programFlags.GetCount()) code.programFlags.Items<uint8_t>()[callee] = 1;
  if (callee == program || failedCallee >= 0) return;
  if (language.programs[callee]->info.diagnosticKind >= 2) {
    failedCallee = callee;
    failedCalleeLine = line;
  }
}
