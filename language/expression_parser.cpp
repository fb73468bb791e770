#include "language/expression_parser.h"

#include <cstdio>

#include "core/text.h"
#include "language/compiler.h"

namespace {

// Kinds of the operator stack's entries.
enum StackKind : int32_t {
  kStackOperator = 1,  // code: the operator
  kStackGroup,         // a parenthesised group
  kStackCall,          // an argument list (the open call is the innermost of the parser's)
  kStackIndex,         // an index list
};

// ---------------------------------------------------------------- work arrays

template <typename T>
T At(const CDynArray& array, int i) {
  return array.Items<T>()[i];
}

void Push(CDynArray& codes, CDynArray& kinds, CDynArray& values, int32_t code, int32_t kind, double value) {
  int n = codes.GetCount();
  codes.SetAtGrow(n, &code);
  kinds.SetAtGrow(n, &kind);
  values.SetAtGrow(n, &value);
}

void Truncate(CDynArray& codes, CDynArray& kinds, CDynArray& values, int n) {
  while (codes.GetCount() > n) {
    int last = codes.GetCount() - 1;
    codes.RemoveAt(last);
    kinds.RemoveAt(last);
    values.RemoveAt(last);
  }
}

void QueuePush(const POSTFIXITEM& item) {
  Push(language::postfixCodes, language::postfixKinds, language::postfixValues, item.code, item.kind, item.value);
}
void QueueTruncate(int n) { Truncate(language::postfixCodes, language::postfixKinds, language::postfixValues, n); }
void QueueSetValue(int i, double value) { language::postfixValues.Items<double>()[i] = value; }

int StackDepth() { return language::operatorCodes.GetCount(); }
int32_t StackTopKind() { return At<int32_t>(language::operatorKinds, StackDepth() - 1); }
int32_t StackTopCode() { return At<int32_t>(language::operatorCodes, StackDepth() - 1); }
void StackPush(int32_t code, int32_t kind) {
  Push(language::operatorCodes, language::operatorKinds, language::operatorValues, code, kind, 0.0);
}
void StackPop() {
  Truncate(language::operatorCodes, language::operatorKinds, language::operatorValues, StackDepth() - 1);
}

POSTFIXITEM Constant(double value) { return {0, kItemConstant, value}; }

bool IsOperandItem(const POSTFIXITEM& item) {
  return item.kind == kItemConstant || item.kind == kItemValue || item.kind == kItemVariable;
}

// ---------------------------------------------------------------- names

bool IsCallable(NameClass what) {
  return what == NameClass::kBuiltin || what == NameClass::kProgram || what == NameClass::kFormalFunction;
}

bool IsArrayLike(NameClass what) { return what == NameClass::kArray || what == NameClass::kFormalArray; }

bool IsTextBuiltin(const CALLEE& callee) {
  return callee.kind == CalleeKind::kBuiltin && callee.index >= 14 && callee.index <= 23;
}

// "Functions Dir, Dir2, ... and SetNumberFormat cannot be ...": the text
// built-ins by their names.
std::string TextBuiltinsOnceMessage(const Compiler& language) {
  const char* n[10];
  for (int k = 0; k < 10; ++k) n[k] = language.builtinNames[14 + k];
  char text[2001];
  std::snprintf(text, sizeof text,
                "Error: Functions %s, %s, %s, %s, %s, %s, %s, %s, %s and %s cannot be specified more than once in a "
                "single statement.",
                n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9]);
  return text;
}

}  // namespace

int PostfixLength() { return language::postfixCodes.GetCount(); }

POSTFIXITEM PostfixAt(int i) {
  return {At<int32_t>(language::postfixCodes, i), At<int32_t>(language::postfixKinds, i),
          At<double>(language::postfixValues, i)};
}

void ExpressionParser::Begin() {
  QueueTruncate(0);
  Truncate(language::operatorCodes, language::operatorKinds, language::operatorValues, 0);
  calls_.clear();
  nextIndexAddresses_ = false;
}

void ExpressionParser::AppendVariable(const OPERAND& variable) {
  QueuePush({variable.index, kItemVariable, static_cast<double>(variable.place)});
}

void ExpressionParser::AppendAssignment() { QueuePush({kAssign, kItemOperator, 0}); }

COMPILEFAULT ExpressionParser::Parse(const std::vector<TOKEN>& tokens, bool target) {
  tokens_ = &tokens;
  i_ = 0;
  previous_ = Previous::kStart;
  target_ = target;
  while (i_ < tokens.size()) {
    if (AtArgumentStart()) {
      bool handled = false;
      COMPILEFAULT fault = SpecialArgument(&handled);
      if (fault) return fault;
      if (handled) continue;
    }
    COMPILEFAULT fault = Step();
    if (fault) return fault;
  }
  return Finish();
}

COMPILEFAULT ExpressionParser::Step() {
  switch ((*tokens_)[i_].type) {
    case TokenType::kNumber:
      return OnNumber();
    case TokenType::kName:
      return OnName();
    case TokenType::kString:
      return OnString();
    case TokenType::kOperator:
      return OnOperator();
    case TokenType::kOpenParen:
      return OnOpenParen();
    case TokenType::kCloseParen:
      return OnCloseParen();
    case TokenType::kOpenBracket:
      return Fault(NumberedMessage(2395));
    case TokenType::kCloseBracket:
      return OnCloseBracket();
    case TokenType::kComma:
      return OnComma();
  }
  return {};
}

// ---------------------------------------------------------------- operands

COMPILEFAULT ExpressionParser::OnNumber() {
  if (previous_ == Previous::kClose) return Fault(NumberedMessage(2394));
  QueuePush(Constant((*tokens_)[i_].value));
  previous_ = Previous::kNumber;
  ++i_;
  return {};
}

void ExpressionParser::PushVariable(const RESOLVEDNAME& name, int32_t itemKind) {
  OPERAND operand = context_.VariableOperand(name, kOperandValue);
  QueuePush({operand.index, itemKind, static_cast<double>(operand.place)});
}

void ExpressionParser::PushLoc(int mode, double index) {
  QueuePush(Constant(mode));
  QueuePush(Constant(index));
  QueuePush({kLocBuiltin, kItemCall, 2});
}

COMPILEFAULT ExpressionParser::OnName() {
  const TOKEN& token = (*tokens_)[i_];
  RESOLVEDNAME name = context_.Resolve(token.text);
  TokenType next = i_ + 1 < tokens_->size() ? (*tokens_)[i_ + 1].type : TokenType::kComma;
  if (previous_ == Previous::kClose) {
    if (IsCallable(name.what)) return Fault(NumberedMessage(2398));
    if (IsArrayLike(name.what)) return Fault(NumberedMessage(2655));
    return Fault(NumberedMessage(2399, CutName(token.text).c_str()));
  }
  if (next == TokenType::kOpenParen) {
    if (name.what == NameClass::kBuiltin && name.index == kLocBuiltin) return OnLoc();
    if (IsCallable(name.what)) return OpenCall(name);
    if (IsArrayLike(name.what)) return Fault(NumberedMessage(2783, CutName(name.name).c_str()));
    return Fault(NumberedMessage(2386, CutName(token.text).c_str()));
  }
  if (next == TokenType::kOpenBracket) {
    if (!IsArrayLike(name.what)) return Fault(NumberedMessage(2654, CutName(token.text).c_str()));
    OpenIndex(name);
    return {};
  }
  return OnBareName(name);
}

COMPILEFAULT ExpressionParser::OnBareName(const RESOLVEDNAME& name) {
  if (name.what == NameClass::kUnknown) return Fault(NumberedMessage(2402, CutName(name.name).c_str()));
  if (IsCallable(name.what)) return Fault(NumberedMessage(2392, CutName(name.name).c_str()));
  if (IsArrayLike(name.what)) return Fault(NumberedMessage(2653, CutName(name.name).c_str()));
  COMPILEFAULT fault = context_.NoteRead(name);
  if (fault) return fault;
  PushVariable(name, kItemValue);
  previous_ = Previous::kOperand;
  ++i_;
  return {};
}

COMPILEFAULT ExpressionParser::OnString() {
  bool inText = StackDepth() > 0 && StackTopKind() == kStackCall && calls_.back().text;
  if (!inText) return Fault(NumberedMessage(2906, '"'));
  if (previous_ == Previous::kOperator) return Fault(NumberedMessage(2396));
  if (previous_ == Previous::kOperand || previous_ == Previous::kNumber || previous_ == Previous::kClose) {
    EndTextNumber();
  }
  OPENCALL& call = calls_.back();
  call.literals.back() += (*tokens_)[i_].text;
  call.literalSeen = true;
  previous_ = Previous::kLiteral;
  ++i_;
  return {};
}

// ---------------------------------------------------------------- operators and groups

int ExpressionParser::PopOperators() {
  while (StackDepth() > 0 && StackTopKind() == kStackOperator) {
    QueuePush({StackTopCode(), kItemOperator, 0});
    StackPop();
  }
  return StackDepth() > 0 ? StackTopKind() : 0;
}

COMPILEFAULT ExpressionParser::OnOperator() {
  switch (previous_) {
    case Previous::kOperand:
    case Previous::kNumber:
    case Previous::kClose:
      break;
    case Previous::kStart:
      return Fault(NumberedMessage(2376));
    default:
      return Fault(NumberedMessage(2396));
  }
  int op = (*tokens_)[i_].op;
  if (op == kAssign) return Fault(NumberedMessage(2388));
  while (StackDepth() > 0 && StackTopKind() == kStackOperator &&
         OperatorPriority(op) <= OperatorPriority(StackTopCode())) {
    QueuePush({StackTopCode(), kItemOperator, 0});
    StackPop();
  }
  StackPush(op, kStackOperator);
  previous_ = Previous::kOperator;
  ++i_;
  return {};
}

COMPILEFAULT ExpressionParser::OnOpenParen() {
  if (previous_ == Previous::kClose) return Fault(NumberedMessage(2384));
  if (previous_ == Previous::kNumber || previous_ == Previous::kOperand) return Fault(NumberedMessage(2387));
  StackPush(0, kStackGroup);
  previous_ = Previous::kOpen;
  ++i_;
  return {};
}

COMPILEFAULT ExpressionParser::OnCloseParen() {
  if (previous_ == Previous::kOperator) return Fault(NumberedMessage(2396));
  if (previous_ == Previous::kComma) return Fault(NumberedMessage(2383));
  int marker = PopOperators();
  if (marker == 0) return Fault(NumberedMessage(2381));
  if (marker == kStackIndex) return Fault(NumberedMessage(2651));
  if (marker == kStackGroup) {
    if (previous_ == Previous::kOpen) return Fault(NumberedMessage(2405));
    StackPop();
    previous_ = Previous::kClose;
    ++i_;
    return {};
  }
  if (previous_ != Previous::kOpen) EndArgument();
  COMPILEFAULT fault = CloseCall();
  previous_ = Previous::kClose;
  ++i_;
  return fault;
}

COMPILEFAULT ExpressionParser::OnCloseBracket() {
  if (previous_ == Previous::kOperator) return Fault(NumberedMessage(2396));
  if (previous_ == Previous::kComma) return Fault(NumberedMessage(2383));
  int marker = PopOperators();
  if (marker == 0) return Fault(NumberedMessage(2652));
  if (marker != kStackIndex) return Fault(NumberedMessage(2651));
  int indices = calls_.back().arguments + (previous_ == Previous::kOpen ? 0 : 1);
  COMPILEFAULT fault = CloseIndex(indices);
  previous_ = Previous::kClose;
  ++i_;
  return fault;
}

COMPILEFAULT ExpressionParser::OnComma() {
  if (previous_ == Previous::kOperator) return Fault(NumberedMessage(2396));
  if (previous_ == Previous::kComma || previous_ == Previous::kOpen) return Fault(NumberedMessage(2383));
  int marker = PopOperators();
  if (marker != kStackCall && marker != kStackIndex) return Fault(NumberedMessage(2382));
  if (marker == kStackIndex) {
    ++calls_.back().arguments;
  } else if (!calls_.back().text || previous_ != Previous::kLiteral) {
    EndArgument();
  }
  previous_ = Previous::kComma;
  ++i_;
  return {};
}

COMPILEFAULT ExpressionParser::Finish() {
  if (previous_ == Previous::kOperator) return Fault(NumberedMessage(2379));
  if (previous_ == Previous::kComma) return Fault(NumberedMessage(2380));
  bool parenthesis = false;
  bool bracket = false;
  while (StackDepth() > 0) {
    int marker = PopOperators();
    if (marker == 0) break;
    (marker == kStackIndex ? bracket : parenthesis) = true;
    StackPop();
  }
  if (bracket) return Fault(NumberedMessage(parenthesis ? 2651 : 2652));
  if (parenthesis) return Fault(NumberedMessage(2381));
  return {};
}

// ---------------------------------------------------------------- calls

COMPILEFAULT ExpressionParser::OpenCall(const RESOLVEDNAME& name) {
  OPENCALL call;
  call.callee = context_.CalleeOf(name);
  call.arity = context_.Arity(call.callee);
  if (IsTextBuiltin(call.callee)) {
    if (context_.textBuiltinSeen) return Fault(TextBuiltinsOnceMessage(context_.language));
    context_.textBuiltinSeen = true;
    call.text = true;
    call.firstItem = PostfixLength();
    QueuePush(Constant(0));  // the first string constant, set when the list closes
    QueuePush(Constant(0));  // the count of numbers, likewise
  }
  call.repeated = call.callee.kind == CalleeKind::kBuiltin && context_.language.repeatedEvaluation[call.callee.index];
  if (call.callee.kind == CalleeKind::kProgram) context_.NoteCalled(call.callee.index);
  if (call.callee.kind == CalleeKind::kFormalFunction) context_.NoteFormalUsed(call.callee.index);
  call.listStart = PostfixLength();
  calls_.push_back(call);
  StackPush(0, kStackCall);
  previous_ = Previous::kOpen;
  i_ += 2;
  return {};
}

void ExpressionParser::EndArgument() {
  OPENCALL& call = calls_.back();
  if (call.text) {
    if (previous_ == Previous::kOperand || previous_ == Previous::kNumber || previous_ == Previous::kClose) {
      EndTextNumber();
    }
    return;
  }
  ++call.arguments;
  if (call.repeated && call.arguments == 1) call.expressionEnd = PostfixLength();
}

void ExpressionParser::EndTextNumber() {
  PopOperators();
  OPENCALL& call = calls_.back();
  ++call.numbers;
  call.literals.push_back("");
}

COMPILEFAULT ExpressionParser::CloseCall() {
  OPENCALL call = calls_.back();
  calls_.pop_back();
  StackPop();
  if (call.text) {
    if (call.numbers == 0 && !call.literalSeen) return Fault(NumberedMessage(2737, CutName(call.callee.name).c_str()));
    CStrArray& strings = context_.language.stringConstants;
    QueueSetValue(call.firstItem, strings.GetCount());
    QueueSetValue(call.firstItem + 1, call.numbers);
    for (const std::string& literal : call.literals) strings.Add(literal.c_str());
    QueuePush({call.callee.opcode, kItemCall, static_cast<double>(call.numbers + 2)});
    return {};
  }
  if (call.locElement) {
    QueuePush({kLocBuiltin, kItemCall, 2});
    return {};
  }
  if (call.arguments < call.arity) return Fault(NumberedMessage(2737, CutName(call.callee.name).c_str()));
  if (call.arguments > call.arity) return Fault(NumberedMessage(2738, CutName(call.callee.name).c_str()));
  if (call.repeated) {
    MoveInlineExpression(call);
    return {};
  }
  QueuePush({call.callee.opcode, kItemCall, static_cast<double>(call.arity)});
  return {};
}

// [expression][other arguments] becomes [other arguments][start][expression][call];
// an expression of one operand gets an instruction of its own (0 + operand).
void ExpressionParser::MoveInlineExpression(const OPENCALL& call) {
  std::vector<POSTFIXITEM> expression;
  std::vector<POSTFIXITEM> others;
  for (int k = call.listStart; k < PostfixLength(); ++k) {
    (k < call.expressionEnd ? expression : others).push_back(PostfixAt(k));
  }
  if (expression.size() == 1 && IsOperandItem(expression[0])) {
    expression.insert(expression.begin(), Constant(0));
    expression.push_back({kAdd, kItemOperator, 0});
  }
  QueueTruncate(call.listStart);
  for (const POSTFIXITEM& item : others) QueuePush(item);
  QueuePush({0, kItemExpressionStart, 0});
  for (const POSTFIXITEM& item : expression) QueuePush(item);
  QueuePush({call.callee.opcode, kItemRepeatedCall, static_cast<double>(call.arity)});
}

// ---------------------------------------------------------------- index lists

void ExpressionParser::OpenIndex(const RESOLVEDNAME& name) {
  OPENCALL list;
  list.callee = context_.CalleeOf(name);
  list.index = true;
  list.arity = context_.Arity(list.callee);
  list.address = nextIndexAddresses_;
  list.target = target_ && calls_.empty() && i_ == 0;
  nextIndexAddresses_ = false;
  if (name.what == NameClass::kArray) {
    context_.code.arrayFlags.Items<uint8_t>()[name.index] = 1;
    if (list.target) context_.code.arrayFlags2.Items<uint8_t>()[name.index] = 1;
  } else {
    context_.NoteFormalUsed(name.index);
  }
  calls_.push_back(list);
  StackPush(0, kStackIndex);
  previous_ = Previous::kOpen;
  i_ += 2;
}

COMPILEFAULT ExpressionParser::CloseIndex(int indices) {
  OPENCALL list = calls_.back();
  calls_.pop_back();
  StackPop();
  if (indices < list.arity) return Fault(NumberedMessage(2739, CutName(list.callee.name).c_str()));
  if (indices > list.arity) return Fault(NumberedMessage(2740, CutName(list.callee.name).c_str()));
  QueuePush(Constant(list.address ? indices : kReadElement));
  int32_t kind = list.target ? kItemArrayTarget : kItemArrayRead;
  QueuePush({list.callee.opcode, kind, static_cast<double>(indices + 1)});
  return {};
}

// ---------------------------------------------------------------- loc

// loc(argument): a variable, an array element, an array, or a function name.
COMPILEFAULT ExpressionParser::OnLoc() {
  const std::vector<TOKEN>& tokens = *tokens_;
  size_t first = i_ + 2;
  size_t close = ArgumentEnd(first);
  if (close >= tokens.size()) return OpenCall(context_.Resolve("loc"));  // unclosed: reported at the end
  if (tokens[close].type == TokenType::kComma) return Fault(NumberedMessage(2738, "loc"));
  if (close == first) return Fault(NumberedMessage(2737, "loc"));
  const TOKEN& argument = tokens[first];
  bool single = close == first + 1;
  if (single && argument.type == TokenType::kNumber) return Fault(NumberedMessage(2730));
  if (argument.type != TokenType::kName) return Fault(NumberedMessage(2732));
  RESOLVEDNAME name = context_.Resolve(argument.text);
  if (single) {
    COMPILEFAULT fault = OnLocName(name);
    if (fault) return fault;
    i_ = close + 1;
    previous_ = Previous::kClose;
    return {};
  }
  if (tokens[first + 1].type == TokenType::kOpenBracket && IsArrayLike(name.what) && ClosesAt(first + 1, close - 1)) {
    OPENCALL call;
    call.callee = context_.CalleeOf(context_.Resolve("loc"));
    call.locElement = true;
    QueuePush(Constant(kLocReferenceMode));
    calls_.push_back(call);
    StackPush(0, kStackCall);
    nextIndexAddresses_ = true;
    i_ = first;
    previous_ = Previous::kOpen;
    return {};
  }
  if (IsCallable(name.what)) return Fault(NumberedMessage(2810, CutName(name.name).c_str()));
  return Fault(NumberedMessage(2732));
}

COMPILEFAULT ExpressionParser::OnLocName(const RESOLVEDNAME& name) {
  switch (name.what) {
    case NameClass::kUnknown:
      return Fault(NumberedMessage(2402, CutName(name.name).c_str()));
    case NameClass::kSystem:
      return Fault(NumberedMessage(2789, CutName(name.name).c_str()));
    case NameClass::kFormalValue:
      return Fault(NumberedMessage(2731, CutName(name.name).c_str()));
    case NameClass::kGlobal:
    case NameClass::kLocal:
      QueuePush(Constant(kLocVariableMode));
      PushVariable(name, kItemVariable);
      QueuePush({kLocBuiltin, kItemCall, 2});
      return {};
    case NameClass::kFormalOutput:
    case NameClass::kFormalArray:
    case NameClass::kFormalFunction:
      context_.NoteFormalUsed(name.index);
      PushLoc(kLocFormalMode, name.index);
      return {};
    case NameClass::kArray:
      context_.code.arrayFlags.Items<uint8_t>()[name.index] = 1;
      PushLoc(kLocArrayMode, name.index);
      return {};
    case NameClass::kProgram:
      PushLoc(kLocProgramMode, name.index);
      return {};
    case NameClass::kBuiltin:
      if (name.index == kLocBuiltin) return Fault(NumberedMessage(2750));
      PushLoc(kLocBuiltinMode, name.index);
      return {};
  }
  return {};
}

// ---------------------------------------------------------------- arguments by name

bool ExpressionParser::AtArgumentStart() const {
  if (previous_ != Previous::kOpen && previous_ != Previous::kComma) return false;
  if (StackDepth() == 0 || StackTopKind() != kStackCall) return false;
  const OPENCALL& call = calls_.back();
  return !call.text && !call.locElement;
}

// The token that ends the argument starting at `from`: a comma or a closing
// parenthesis or bracket at its own depth, or the end.
size_t ExpressionParser::ArgumentEnd(size_t from) const {
  int depth = 0;
  for (size_t k = from; k < tokens_->size(); ++k) {
    TokenType type = (*tokens_)[k].type;
    if (type == TokenType::kOpenParen || type == TokenType::kOpenBracket) ++depth;
    if (type == TokenType::kCloseParen || type == TokenType::kCloseBracket) {
      if (depth == 0) return k;
      --depth;
    }
    if (type == TokenType::kComma && depth == 0) return k;
  }
  return tokens_->size();
}

// True when the parenthesis or bracket at `open` is closed at `close`.
bool ExpressionParser::ClosesAt(size_t open, size_t close) const {
  int depth = 0;
  for (size_t k = open; k < tokens_->size(); ++k) {
    TokenType type = (*tokens_)[k].type;
    if (type == TokenType::kOpenParen || type == TokenType::kOpenBracket) ++depth;
    if ((type == TokenType::kCloseParen || type == TokenType::kCloseBracket) && --depth == 0) return k == close;
  }
  return false;
}

COMPILEFAULT ExpressionParser::WrongArgumentType(const OPENCALL& call) const {
  std::string name = CutName(call.callee.name);
  int number = call.arguments + 1;
  switch (call.callee.kind) {
    case CalleeKind::kProgram:
      return Fault(NumberedMessage(2736, name.c_str(), number));
    case CalleeKind::kFormalFunction:
      return Fault(NumberedMessage(2905, name.c_str(), number));
    default:
      return Fault(NumberedMessage(2746, name.c_str(), number));
  }
}

COMPILEFAULT ExpressionParser::SpecialArgument(bool* handled) {
  const OPENCALL& call = calls_.back();
  ARGUMENTDEMAND demand = context_.ArgumentAt(call.callee, call.arguments);
  size_t end = ArgumentEnd(i_);
  switch (demand.role) {
    case ArgumentRole::kOutputVariable:
    case ArgumentRole::kEvaluationVariable:
      return VariableArgument(call, demand, end, handled);
    case ArgumentRole::kArray:
      return ArrayArgument(call, demand, end, handled);
    case ArgumentRole::kFunction:
      return FunctionArgument(call, demand, end, handled);
    default:
      break;
  }
  // A number: an array name alone is of the wrong type.
  const TOKEN& token = (*tokens_)[i_];
  if (end == i_ + 1 && token.type == TokenType::kName && IsArrayLike(context_.Resolve(token.text).what)) {
    return WrongArgumentType(call);
  }
  return {};
}

COMPILEFAULT ExpressionParser::VariableArgument(const OPENCALL& call, const ARGUMENTDEMAND& demand, size_t end,
                                                bool* handled) {
  if (end == i_) return {};  // an empty argument: reported by the comma
  const TOKEN& token = (*tokens_)[i_];
  std::string callee = CutName(call.callee.name);
  int number = call.arguments + 1;
  if (end != i_ + 1) return Fault(NumberedMessage(2796, number, callee.c_str()));
  if (token.type == TokenType::kNumber) return Fault(NumberedMessage(2795, number, callee.c_str()));
  if (token.type != TokenType::kName) return Fault(NumberedMessage(2796, number, callee.c_str()));
  RESOLVEDNAME name = context_.Resolve(token.text);
  switch (name.what) {
    case NameClass::kUnknown:
      return Fault(NumberedMessage(2402, CutName(token.text).c_str()));
    case NameClass::kSystem:
      return Fault(NumberedMessage(2793, CutName(name.name).c_str(), number, callee.c_str()));
    case NameClass::kFormalValue:
      return Fault(NumberedMessage(2794, number, callee.c_str()));
    case NameClass::kGlobal:
    case NameClass::kLocal:
    case NameClass::kFormalOutput:
      break;
    default:
      return WrongArgumentType(call);
  }
  context_.NoteAssigned(name);
  if (demand.role == ArgumentRole::kEvaluationVariable) {
    PushVariable(name, kItemVariable);
  } else if (name.what == NameClass::kFormalOutput) {
    PushLoc(kLocFormalMode, name.index);
  } else {
    QueuePush(Constant(kLocVariableMode));
    PushVariable(name, kItemVariable);
    QueuePush({kLocBuiltin, kItemCall, 2});
  }
  i_ = end;
  previous_ = Previous::kOperand;
  *handled = true;
  return {};
}

COMPILEFAULT ExpressionParser::ArrayArgument(const OPENCALL& call, const ARGUMENTDEMAND& demand, size_t end,
                                             bool* handled) {
  if (end == i_) return {};
  const TOKEN& token = (*tokens_)[i_];
  if (end != i_ + 1 || token.type != TokenType::kName) return WrongArgumentType(call);
  RESOLVEDNAME name = context_.Resolve(token.text);
  if (!IsArrayLike(name.what)) {
    if (name.what == NameClass::kUnknown) return Fault(NumberedMessage(2402, CutName(token.text).c_str()));
    return WrongArgumentType(call);
  }
  if (demand.dimensions != 0 && context_.Dimensions(name) != demand.dimensions) return WrongArgumentType(call);
  if (name.what == NameClass::kArray) {
    context_.code.arrayFlags.Items<uint8_t>()[name.index] = 1;
    PushLoc(kLocArrayMode, name.index);
  } else {
    context_.NoteFormalUsed(name.index);
    PushLoc(kLocFormalMode, name.index);
  }
  i_ = end;
  previous_ = Previous::kOperand;
  *handled = true;
  return {};
}

COMPILEFAULT ExpressionParser::FunctionArgument(const OPENCALL& call, const ARGUMENTDEMAND& demand, size_t end,
                                                bool* handled) {
  if (end == i_) return {};
  const std::vector<TOKEN>& tokens = *tokens_;
  bool locForm = end == i_ + 4 && tokens[i_].type == TokenType::kName && EqualNoCase(tokens[i_].text, "loc") &&
                 tokens[i_ + 1].type == TokenType::kOpenParen && tokens[i_ + 2].type == TokenType::kName &&
                 tokens[i_ + 3].type == TokenType::kCloseParen;
  if (!locForm) return WrongArgumentType(call);
  RESOLVEDNAME name = context_.Resolve(tokens[i_ + 2].text);
  if (context_.PassableSignature(name) != demand.signature) return WrongArgumentType(call);
  if (name.what == NameClass::kFormalFunction) {
    context_.NoteFormalUsed(name.index);
    PushLoc(kLocFormalMode, name.index);
  } else {
    PushLoc(name.what == NameClass::kProgram ? kLocProgramMode : kLocBuiltinMode, name.index);
  }
  i_ = end;
  previous_ = Previous::kOperand;
  *handled = true;
  return {};
}
