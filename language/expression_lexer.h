// The tokens of one expression: numbers, names, string literals, operators,
// parentheses, brackets and commas; and the rewriting of unary signs into
// subtractions from 0 that the expression compiler relies on.
#pragma once

#include <string>
#include <vector>

#include "language/compile_messages.h"

enum class TokenType {
  kNumber,
  kName,
  kString,
  kOperator,
  kOpenParen,
  kCloseParen,
  kOpenBracket,
  kCloseBracket,
  kComma
};

struct TOKEN {
  TokenType type = TokenType::kNumber;
  int op = -1;       // kOperator: the operator code (the built-in code of its routine)
  double value = 0;  // kNumber
  std::string text;  // kName: the name; kString: the literal, "" inside made "
};

// Operator codes.
enum OperatorCode : int {
  kAdd = 0,
  kSubtract = 1,
  kDivide = 2,
  kMultiply = 3,
  kPower = 4,
  kAssign = 5,
  kGreater = 6,
  kLess = 7,
  kGreaterEqual = 8,
  kLessEqual = 9,
  kEqual = 10,
  kNotEqual = 11,
  kAnd = 12,
  kOr = 13,
};

// Priority of an operator: "=" 1, "|" 2, "&" 3, comparisons 4, "+" "-" 5,
// "*" "/" 6, "^" 7; every other code 0.
int OperatorPriority(int code);
bool IsBinaryOperator(int code);

// Cuts the text into tokens. A name runs up to the next character of
// "+-/*^=><&|!,()[]" and is trimmed; a number is what the decimal scanner
// reads, followed (behind blanks) by the end or one of "+-/*^=<>&|,()[]!".
// The first lexical fault ends the cut: a '!' that does not begin "!=", an
// open literal, a misplaced separator or an unknown one, a digit run into a
// name.
COMPILEFAULT Tokenize(const std::string& text, std::vector<TOKEN>* tokens);

// A sign that opens the expression or follows an operator, a comma, a left
// parenthesis or bracket or a literal becomes a subtraction from 0 (-x is
// 0-x, a=-b is a=0-b). A sign behind "*", "/" or "^" takes its operand into
// parentheses (a*-b is a*(0-b)); when that operand's end cannot be found the
// sign is left as it is.
void RewriteUnarySigns(std::vector<TOKEN>* tokens);

// An expression without any operator and without a call or an index (a bare
// number or variable, also in parentheses) yields no instruction: "0+" is put
// in front of it.
void EnsureInstruction(std::vector<TOKEN>* tokens);
