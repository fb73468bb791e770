// One expression into postfix order: the tokens are read left to right with
// an operator stack (the shunting-yard method); operands, operators, calls
// and array accesses are written to the postfix queue in the order in which
// their instructions are emitted. Both live in the compiler's six work
// arrays (postfixCodes/Kinds/Values, operatorCodes/Kinds/Values).
//
// Calls are checked as their arguments are read: the number of arguments or
// indices, and the kind of each argument (numbers, output variables, array
// names, functions passed with loc). An output variable is passed as loc of
// the variable, an array as loc of the array. A repeated evaluation's inline
// expression is moved behind its other arguments, right in front of the call,
// behind an item that marks where it begins.
#pragma once

#include <string>
#include <vector>

#include "language/compile_context.h"
#include "language/expression_lexer.h"

// Items of the postfix queue (the kind; code and value as noted).
enum PostfixKind : int32_t {
  kItemConstant = 1,     // value: the constant
  kItemValue,            // code: index, value: OPERAND::Place of a variable that is read
  kItemVariable,         // the same, of a variable that the instruction writes or addresses
  kItemOperator,         // code: the operator
  kItemCall,             // code: the opcode, value: the number of operands
  kItemArrayRead,        // code: the opcode, value: the number of operands (indices and mode)
  kItemArrayTarget,      // the same, designating the element that the assignment stores into
  kItemExpressionStart,  // a repeated evaluation's inline expression begins here
  kItemRepeatedCall,     // code: the opcode, value: the number of arguments
};

struct POSTFIXITEM {
  int32_t code = 0;
  int32_t kind = 0;
  double value = 0;
};

// The postfix queue as it stands.
int PostfixLength();
POSTFIXITEM PostfixAt(int i);

class ExpressionParser {
 public:
  explicit ExpressionParser(CompileContext& context) : context_(context) {}

  // Empties the queue and the stack for a new statement.
  void Begin();
  // Parses the tokens of one expression onto the queue. With `target` the
  // tokens are the array element that an assignment stores into.
  COMPILEFAULT Parse(const std::vector<TOKEN>& tokens, bool target);
  // Appends an assignment's target variable, and the assignment itself.
  void AppendVariable(const OPERAND& variable);
  void AppendAssignment();

 private:
  enum class Previous { kStart, kOperand, kNumber, kClose, kOperator, kOpen, kComma, kLiteral };

  // A call or an index list that is open on the operator stack.
  struct OPENCALL {
    CALLEE callee;
    bool index = false;  // an index list, not an argument list
    int arity = 0;       // arguments or indices demanded
    int arguments = 0;   // arguments or indices completed
    bool text = false;   // a text built-in's list of literals and numbers
    std::vector<std::string> literals{""};
    bool literalSeen = false;
    int numbers = 0;
    int firstItem = 0;        // text: the queue item of the first string constant's index
    bool repeated = false;    // a repeated evaluation
    int listStart = 0;        // the queue length when the list opened
    int expressionEnd = -1;   // repeated: the queue length when the inline expression ended
    bool locElement = false;  // loc of an array element
    bool address = false;     // index list: yields the element's address
    bool target = false;      // index list: designates the assignment's element
  };

  COMPILEFAULT Step();
  COMPILEFAULT OnNumber();
  COMPILEFAULT OnName();
  COMPILEFAULT OnString();
  COMPILEFAULT OnOperator();
  COMPILEFAULT OnOpenParen();
  COMPILEFAULT OnCloseParen();
  COMPILEFAULT OnCloseBracket();
  COMPILEFAULT OnComma();
  COMPILEFAULT Finish();

  COMPILEFAULT OnBareName(const RESOLVEDNAME& name);
  COMPILEFAULT OnLoc();
  COMPILEFAULT OnLocName(const RESOLVEDNAME& name);
  COMPILEFAULT OpenCall(const RESOLVEDNAME& name);
  COMPILEFAULT CloseCall();
  void OpenIndex(const RESOLVEDNAME& name);
  COMPILEFAULT CloseIndex(int indices);
  void EndArgument();
  void EndTextNumber();
  void MoveInlineExpression(const OPENCALL& call);

  // A whole argument that a call asks for by name (an array, an output
  // variable, a function); *handled when it was taken here.
  COMPILEFAULT SpecialArgument(bool* handled);
  COMPILEFAULT VariableArgument(const OPENCALL& call, const ARGUMENTDEMAND& demand, size_t end, bool* handled);
  COMPILEFAULT ArrayArgument(const OPENCALL& call, const ARGUMENTDEMAND& demand, size_t end, bool* handled);
  COMPILEFAULT FunctionArgument(const OPENCALL& call, const ARGUMENTDEMAND& demand, size_t end, bool* handled);
  COMPILEFAULT WrongArgumentType(const OPENCALL& call) const;
  bool AtArgumentStart() const;
  size_t ArgumentEnd(size_t from) const;
  bool ClosesAt(size_t open, size_t close) const;

  void PushLoc(int mode, double index);
  void PushVariable(const RESOLVEDNAME& name, int32_t itemKind);
  int PopOperators();  // returns the kind of the marker reached, 0 for none

  CompileContext& context_;
  const std::vector<TOKEN>* tokens_ = nullptr;
  size_t i_ = 0;
  Previous previous_ = Previous::kStart;
  bool target_ = false;
  bool nextIndexAddresses_ = false;
  std::vector<OPENCALL> calls_;
};
