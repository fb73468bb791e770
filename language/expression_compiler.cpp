#include "language/expression_compiler.h"

#include <cstring>
#include <vector>

#include "core/text.h"
#include "language/compiler.h"
#include "language/decimal_scanner.h"
#include "language/expression_lexer.h"
#include "language/expression_parser.h"

namespace {

constexpr const char* kIdentifierSeparators = "+-/*^=,().!?<>;:[]{}|\\'%\"";
constexpr const char* kOperatorCharacters = "+-*/^<>&|!";
constexpr const char* kNumberFollowers = "+-/*^=<>&|,()[]!";
constexpr size_t kGlobalNameCapacity = sizeof(GLOBALPARAM::name) - 1;  // 63 characters and a terminator

std::string Trimmed(const std::string& text) {
  const char* start = SkipBlanks(text.c_str());
  return TrimmedRight(start);
}

// ---------------------------------------------------------------- whole-statement checks

// The checks of the first and last characters of a statement.
COMPILEFAULT EdgeFault(const std::string& text, bool assignment) {
  std::string t = Trimmed(text);
  if (t.empty()) return {};
  char first = t.front();
  char last = t.back();
  if (std::strchr("*/^=><&|!", first) != nullptr || (assignment && (first == '+' || first == '-'))) {
    return Fault(NumberedMessage(2376));
  }
  if (first == ')' || first == ']' || (assignment && (first == '(' || first == '[')))
    return Fault(NumberedMessage(2377));
  if (first == ',') return Fault(NumberedMessage(2378));
  if (std::strchr("+-*/^=><&|!", last) != nullptr) return Fault(NumberedMessage(2379));
  if (last == ',') return Fault(NumberedMessage(2380));
  return {};
}

// True when a number that the scanner reads opens the text and ends where
// an operator, a bracket, a comma or the end follows it.
bool OpensWithNumber(const std::string& text) {
  size_t length = ScanDecimal(text.c_str(), kBareDecimal);
  if (length == 0) return false;
  const char* behind = SkipBlanks(text.c_str() + length);
  return *behind == '\0' || std::strchr(kNumberFollowers, *behind) != nullptr;
}

// An operator character outside the brackets of the text.
bool HasOperatorOutsideBrackets(const std::string& text) {
  int depth = 0;
  for (char ch : text) {
    if (ch == '[') ++depth;
    if (ch == ']') --depth;
    if (depth == 0 && std::strchr(kOperatorCharacters, ch) != nullptr) return true;
  }
  return false;
}

// The position of the ']' that closes the '[' at `open`, or npos.
size_t ClosingBracket(const std::string& text, size_t open) {
  int depth = 0;
  for (size_t k = open; k < text.size(); ++k) {
    if (text[k] == '[') ++depth;
    if (text[k] == ']' && --depth == 0) return k;
  }
  return std::string::npos;
}

// ---------------------------------------------------------------- the assignment's target

struct ASSIGNMENTTARGET {
  bool element = false;  // an array element (its tokens in elementTokens)
  RESOLVEDNAME name;     // the variable or the array
  std::vector<TOKEN> elementTokens;
  int declared = -1;  // a local that this statement declares
};

// A new variable: the spelling rules, the identifier check, and in the
// PARAMETERS code its entry among the new global parameters.
COMPILEFAULT DeclareVariable(CompileContext& context, const std::string& name, ASSIGNMENTTARGET* target) {
  if (name.find_first_of(kIdentifierSeparators) != std::string::npos) {
    return Fault(NumberedMessage(2907, CutName(name).c_str()));
  }
  Compiler& language = context.language;
  std::vector<char> checked(name.begin(), name.end());
  checked.push_back('\0');
  int index = -1;
  IDENTIFIERCLASHES clashes;
  if (!language.CheckIdentifier(checked.data(), 5, &index, nullptr, language.message, &clashes)) {
    return Fault(language.message);
  }
  if (context.parametersCode) {
    if (std::strlen(checked.data()) > kGlobalNameCapacity) {
      char text[kDiagnosticLength + 1];
      std::snprintf(text, sizeof text, "Error: the name of global parameter \"%s\" is longer than %d characters.",
                    CutName(checked.data()).c_str(), static_cast<int>(kGlobalNameCapacity));
      return Fault(text);
    }
    if (language.nGlobalParameters + language.nNewGlobalParameters >= kMaxGlobalParameters) {
      char text[kDiagnosticLength + 1];
      std::snprintf(text, sizeof text, "Error: the number of global parameters is greater than %d.\n",
                    kMaxGlobalParameters);
      return Fault(text);
    }
    language.AddNewGlobalParameter(checked.data());
  }
  target->declared = context.DeclareLocal(checked.data());
  target->name = {NameClass::kLocal, target->declared, checked.data()};
  context.locals[target->declared].declaring = true;
  return {};
}

// A variable alone before the "=".
COMPILEFAULT VariableTarget(CompileContext& context, const std::string& name, ASSIGNMENTTARGET* target) {
  if (name.find_first_of(" \t") != std::string::npos) return Fault(NumberedMessage(2385));
  RESOLVEDNAME resolved = context.Resolve(name);
  std::string shown = CutName(resolved.name);
  switch (resolved.what) {
    case NameClass::kSystem:
      return Fault(NumberedMessage(2416, shown.c_str()));
    case NameClass::kFormalValue:
      return Fault(NumberedMessage(2417, shown.c_str()));
    case NameClass::kFormalArray:
      return Fault(NumberedMessage(2783, shown.c_str()));
    case NameClass::kFormalFunction:
      return Fault(NumberedMessage(2785, shown.c_str()));
    case NameClass::kFormalOutput:
    case NameClass::kGlobal:
    case NameClass::kLocal:
      target->name = resolved;
      return {};
    default:
      return DeclareVariable(context, name, target);
  }
}

// A name with a parenthesis before the "=": never a target.
COMPILEFAULT CallTargetFault(CompileContext& context, const std::string& name) {
  RESOLVEDNAME resolved = context.Resolve(name);
  std::string shown = CutName(resolved.name);
  switch (resolved.what) {
    case NameClass::kBuiltin:
      return Fault(NumberedMessage(2784, shown.c_str()));
    case NameClass::kProgram:
      return Fault(NumberedMessage(2786, shown.c_str()));
    case NameClass::kFormalFunction:
      return Fault(NumberedMessage(2785, shown.c_str()));
    case NameClass::kArray:
    case NameClass::kFormalArray:
      return Fault(NumberedMessage(2783, shown.c_str()));
    default:
      return Fault(NumberedMessage(2386, shown.c_str()));
  }
}

COMPILEFAULT AnalyseTarget(CompileContext& context, const std::string& text, ASSIGNMENTTARGET* target) {
  std::string lhs = Trimmed(text);
  if (lhs.empty() || lhs.front() == '"') return Fault(NumberedMessage(2389));
  if (HasOperatorOutsideBrackets(lhs)) return Fault(NumberedMessage(2390));
  if (OpensWithNumber(lhs)) return Fault(NumberedMessage(2393));
  size_t open = lhs.find_first_of("[(");
  std::string name = TrimmedRight(lhs.substr(0, open));
  if (open == std::string::npos) return VariableTarget(context, name, target);
  if (name.find_first_of(" \t") != std::string::npos || name.empty()) return Fault(NumberedMessage(2385));
  if (lhs[open] == '(') return CallTargetFault(context, name);
  if (ClosingBracket(lhs, open) != lhs.size() - 1) return Fault(NumberedMessage(2385));
  RESOLVEDNAME resolved = context.Resolve(name);
  if (resolved.what != NameClass::kArray && resolved.what != NameClass::kFormalArray) {
    return Fault(NumberedMessage(2654, CutName(name).c_str()));
  }
  target->element = true;
  target->name = resolved;
  COMPILEFAULT fault = Tokenize(lhs, &target->elementTokens);
  if (fault) return fault;
  RewriteUnarySigns(&target->elementTokens);
  return {};
}

// ---------------------------------------------------------------- emission

class PostfixEmitter {
 public:
  explicit PostfixEmitter(CompileContext& context) : context_(context) {}
  COMPILEFAULT Run();

 private:
  struct SKIP {
    int block;  // the block in front of an inline expression
    int first;  // the expression's first instruction
  };

  bool Pop(size_t n, std::vector<OPERAND>* operands);
  COMPILEFAULT Assignment();
  COMPILEFAULT Operator(int op);
  COMPILEFAULT Call(const POSTFIXITEM& item);
  COMPILEFAULT ArrayAccess(const POSTFIXITEM& item);
  COMPILEFAULT ExpressionStart();
  COMPILEFAULT RepeatedCall(const POSTFIXITEM& item);
  int Emit(int opcode, int result, const std::vector<OPERAND>& operands) {
    return context_.emitter.Emit(opcode, result, operands, context_.line);
  }

  CompileContext& context_;
  std::vector<OPERAND> stack_;
  std::vector<SKIP> skips_;
};

bool PostfixEmitter::Pop(size_t n, std::vector<OPERAND>* operands) {
  if (stack_.size() < n) return false;
  operands->assign(stack_.end() - static_cast<long>(n), stack_.end());
  stack_.resize(stack_.size() - n);
  return true;
}

COMPILEFAULT PostfixEmitter::Run() {
  for (int k = 0; k < PostfixLength(); ++k) {
    POSTFIXITEM item = PostfixAt(k);
    // A value's or variable's item holds its place code in `value`; a
    // constant's holds the constant, which need not fit an int.
    auto place = [&item] { return static_cast<OPERAND::Place>(static_cast<int>(item.value)); };
    COMPILEFAULT fault;
    switch (item.kind) {
      case kItemConstant:
        stack_.push_back(context_.emitter.Constant(item.value));
        break;
      case kItemValue:
        stack_.push_back({place(), item.code, kOperandValue, false});
        break;
      case kItemVariable:
        stack_.push_back({place(), item.code, kOperandVariable, false});
        break;
      case kItemOperator:
        fault = item.code == kAssign ? Assignment() : Operator(item.code);
        break;
      case kItemCall:
        fault = Call(item);
        break;
      case kItemArrayRead:
      case kItemArrayTarget:
        fault = ArrayAccess(item);
        break;
      case kItemExpressionStart:
        fault = ExpressionStart();
        break;
      case kItemRepeatedCall:
        fault = RepeatedCall(item);
        break;
      default:
        break;
    }
    if (fault) return fault;
  }
  if (stack_.size() > 1) return Fault(NumberedMessage(2415));
  if (stack_.empty()) return Fault(NumberedMessage(2405));
  return {};
}

COMPILEFAULT PostfixEmitter::Assignment() {
  std::vector<OPERAND> operands;
  if (!Pop(2, &operands)) return Fault(NumberedMessage(2405));
  OPERAND& target = operands[0];
  int result = target.index;
  if (target.place == OPERAND::kGlobal) result = kSystemSlotCount + context_.layout.formalCount + target.index;
  bool store = target.designated;
  target.kind = kOperandVariable;
  target.designated = false;
  int instruction = Emit(kAssign, result, operands);
  if (store) context_.emitter.MarkStore(instruction);
  stack_.push_back({OPERAND::kSlot, result, kOperandValue, false});
  return {};
}

COMPILEFAULT PostfixEmitter::Operator(int op) {
  std::vector<OPERAND> operands;
  if (!Pop(2, &operands)) return Fault(NumberedMessage(2405));
  int result = context_.emitter.NewTemporary();
  Emit(op, result, operands);
  stack_.push_back({OPERAND::kSlot, result, kOperandValue, false});
  return {};
}

COMPILEFAULT PostfixEmitter::Call(const POSTFIXITEM& item) {
  std::vector<OPERAND> operands;
  if (!Pop(static_cast<size_t>(item.value), &operands)) return Fault(NumberedMessage(2405));
  int result = context_.emitter.NewTemporary();
  Emit(item.code, result, operands);
  int32_t kind = item.code == kLocBuiltin ? kOperandReference : kOperandValue;
  stack_.push_back({OPERAND::kSlot, result, kind, false});
  return {};
}

COMPILEFAULT PostfixEmitter::ArrayAccess(const POSTFIXITEM& item) {
  std::vector<OPERAND> operands;
  if (!Pop(static_cast<size_t>(item.value), &operands)) return Fault(NumberedMessage(2405));
  bool addresses = context_.code.values[operands.back().index] >= 0.0;  // the mode: -1 reads
  int result = context_.emitter.NewTemporary();
  int instruction = Emit(item.code, result, operands);
  bool target = item.kind == kItemArrayTarget;
  if (target) context_.emitter.MarkTarget(instruction);
  stack_.push_back({OPERAND::kSlot, result, addresses ? kOperandReference : kOperandValue, target});
  return {};
}

COMPILEFAULT PostfixEmitter::ExpressionStart() {
  int block = context_.emitter.EndBlock(false);
  if (block < 0) return Fault(TooManyBlocksMessage());
  skips_.push_back({block, context_.emitter.InstructionCount()});
  return {};
}

// Operands in reverse order; the expression's place is its first instruction.
COMPILEFAULT PostfixEmitter::RepeatedCall(const POSTFIXITEM& item) {
  std::vector<OPERAND> arguments;
  if (!Pop(static_cast<size_t>(item.value), &arguments) || skips_.empty()) return Fault(NumberedMessage(2405));
  SKIP skip = skips_.back();
  skips_.pop_back();
  std::vector<OPERAND> operands(arguments.rbegin() + 1, arguments.rend());
  operands.push_back(context_.emitter.Constant(skip.first, kOperandExpression));
  int result = context_.emitter.NewTemporary();
  int call = Emit(item.code, result, operands);
  context_.emitter.SetJump(skip.block, call, context_.emitter.OpenBlock());
  stack_.push_back({OPERAND::kSlot, result, kOperandValue, false});
  return {};
}

// ---------------------------------------------------------------- the statement

COMPILEFAULT ParseAssignment(CompileContext& context, ExpressionParser& parser, const std::string& text, size_t equals,
                             ASSIGNMENTTARGET* target) {
  COMPILEFAULT fault = AnalyseTarget(context, text.substr(0, equals), target);
  if (fault) return fault;
  std::vector<TOKEN> value;
  fault = Tokenize(text.substr(equals + 1), &value);
  if (fault) return fault;
  RewriteUnarySigns(&value);
  if (target->element) {
    fault = parser.Parse(target->elementTokens, true);
  } else {
    parser.AppendVariable(context.VariableOperand(target->name, kOperandVariable));
  }
  if (fault) return fault;
  fault = parser.Parse(value, false);
  if (fault) return fault;
  parser.AppendAssignment();
  return {};
}

COMPILEFAULT ParseExpression(ExpressionParser& parser, const std::string& text) {
  std::vector<TOKEN> tokens;
  COMPILEFAULT fault = Tokenize(text, &tokens);
  if (fault) return fault;
  RewriteUnarySigns(&tokens);
  EnsureInstruction(&tokens);
  return parser.Parse(tokens, false);
}

}  // namespace

std::string TooManyBlocksMessage() {
  char text[kDiagnosticLength + 1];
  std::snprintf(text, sizeof text, "Error: the program is too long: it needs more than %d blocks.", kMaxBlocks);
  return text;
}

std::vector<size_t> AssignmentOperators(const std::string& text) {
  std::vector<size_t> found;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (ch == '"') quoted = !quoted;
    if (quoted) continue;
    if (std::strchr("<>=!", ch) != nullptr && next == '=') {
      ++i;  // a two-character operator
    } else if (ch == '<' && next == '>') {
      ++i;
    } else if (ch == '=') {
      found.push_back(i);
    }
  }
  return found;
}

COMPILEFAULT CompileStatementText(CompileContext& context, const std::string& text, StatementRole role, bool* assigns) {
  *assigns = false;
  std::vector<size_t> equals = AssignmentOperators(text);
  if (equals.size() > 1) return Fault(NumberedMessage(2388));
  bool assignment = !equals.empty() && role == StatementRole::kStatement;
  if (assignment && OnlyBlanks(text.c_str() + equals[0] + 1)) return Fault(NumberedMessage(2698));
  COMPILEFAULT fault = EdgeFault(text, assignment);
  if (fault) return fault;

  context.textBuiltinSeen = false;
  ExpressionParser parser(context);
  parser.Begin();
  ASSIGNMENTTARGET target;
  fault = assignment ? ParseAssignment(context, parser, text, equals[0], &target) : ParseExpression(parser, text);
  if (target.declared >= 0) context.locals[target.declared].declaring = false;
  if (!fault) fault = PostfixEmitter(context).Run();
  if (fault) return fault;
  if (assignment) {
    context.NoteAssigned(target.name);
    *assigns = true;
  }
  return {};
}
